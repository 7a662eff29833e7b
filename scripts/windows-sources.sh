#!/usr/bin/env bash
# Fetches the Debian source packages that the Windows build compiles for the target
# (SQLite, pugixml, GoogleTest, OpenSSL) into build/windows-sources/, through an apt
# configuration of its own so that the machine's apt sources stay as they are.
# apt checks every file against the signed Sources index; dpkg-source unpacks.
# A package fetched before is kept: adding one to the list fetches only that one.
# Usage: scripts/windows-sources.sh [destination]
set -euo pipefail
cd "$(dirname "$0")/.."
dest=${1:-build/windows-sources}
packages=(sqlite3 pugixml googletest openssl)
mkdir -p "$dest"
dest=$(cd "$dest" && pwd)
stamp="$dest/.fetched"
fetched=" $(cat "$stamp" 2>/dev/null || true) "
wanted=()
for p in "${packages[@]}"; do [[ "$fetched" == *" $p "* ]] || wanted+=("$p"); done
if ((${#wanted[@]} == 0)); then exit 0; fi

# The mirrors are the machine's own: the entries of its apt sources (one-line .list
# files and deb822 .sources files alike) for its release's own suite, as deb-src
# entries. The -updates and -security suites are left out: a mirror may list a newer
# source there without serving its files, and the release's own suite is the one
# the other Windows sources come from.
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
debian_src_entries() {
  python3 scripts/apt_mirrors.py "$suite" /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
    /etc/apt/sources.list.d/*.sources
}

apt_dir="$dest/apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial" "$apt_dir/parts"
debian_src_entries >"$apt_dir/sources.list"
if [ ! -s "$apt_dir/sources.list" ]; then
  echo "windows-sources.sh: the machine's apt sources name no Debian mirror for $suite main" >&2
  exit 1
fi
apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list"
             -o "Dir::Etc::SourceParts=$apt_dir/parts"
             -o "Dir::State::Lists=$apt_dir/lists"
             -o "Dir::Cache=$apt_dir/cache"
             -o "APT::Sandbox::User=root")
apt-get "${apt_options[@]}" -qq update
cd "$dest"
for p in "${wanted[@]}"; do
  rm -rf "$p" "$p.download"
  mkdir -p "$p.download"
  (cd "$p.download" && apt-get "${apt_options[@]}" -qq source --download-only "$p")
  dsc=$(ls "$p.download"/*.dsc)
  # apt checked the .dsc against the signed index; dpkg-source checks every file
  # against the .dsc before unpacking.
  dpkg-source -x "$dsc" "$p" >/dev/null 2>&1
  if [ "$p" = sqlite3 ]; then
    # SQLite's single-file form is generated from its source tree by host tools (tclsh).
    mkdir -p sqlite3/amalgamation
    (cd sqlite3/amalgamation && ../configure --disable-tcl >/dev/null && make sqlite3.c >/dev/null)
  fi
  echo "$(cat "$stamp" 2>/dev/null || true) $p" | xargs >"$stamp.new" && mv "$stamp.new" "$stamp"
done
