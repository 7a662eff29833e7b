#!/usr/bin/env bash
# Fetches the Debian source packages that the Windows build compiles for the target
# (SQLite, pugixml, GoogleTest) into build/windows-sources/, through an apt
# configuration of its own so that the machine's apt sources stay as they are.
# apt checks every file against the signed Sources index; dpkg-source unpacks.
# Usage: scripts/windows-sources.sh [destination]
set -euo pipefail
cd "$(dirname "$0")/.."
dest=${1:-build/windows-sources}
packages=(sqlite3 pugixml googletest)
mkdir -p "$dest"
dest=$(cd "$dest" && pwd)
stamp="$dest/.fetched"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "${packages[*]}" ]; then exit 0; fi

apt_dir="$dest/apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial" "$apt_dir/parts"
# The same Debian release and mirror as the machine's own binary packages.
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
mirror=${BRUMEVALE_DEBIAN_MIRROR:-http://deb.debian.org/debian}
cat >"$apt_dir/sources.list" <<LIST
deb-src $mirror $suite main
LIST
apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list"
             -o "Dir::Etc::SourceParts=$apt_dir/parts"
             -o "Dir::State::Lists=$apt_dir/lists"
             -o "Dir::Cache=$apt_dir/cache"
             -o "APT::Sandbox::User=root")
apt-get "${apt_options[@]}" -qq update
cd "$dest"
for p in "${packages[@]}"; do
  rm -rf "$p"
  mkdir -p "$p.download"
  (cd "$p.download" && apt-get "${apt_options[@]}" -qq source --download-only "$p")
  dsc=$(ls "$p.download"/*.dsc)
  # apt checked the .dsc against the signed index; dpkg-source checks every file
  # against the .dsc before unpacking.
  dpkg-source -x "$dsc" "$p" >/dev/null 2>&1
done
# SQLite's single-file form is generated from its source tree by host tools (tclsh).
mkdir -p sqlite3/amalgamation
(cd sqlite3/amalgamation && ../configure --disable-tcl >/dev/null && make sqlite3.c >/dev/null)
echo "${packages[*]}" >"$stamp"
