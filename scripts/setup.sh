#!/usr/bin/env bash
# Installs from Debian's packages whatever the build needs and the machine lacks.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev
          libsqlite3-dev sqlite3 libpugixml-dev libssl-dev nlohmann-json3-dev
          libgtest-dev libgmock-dev libbenchmark-dev
          # The Windows build and its tests under Wine; tcl and dpkg-dev turn
          # SQLite's Debian sources into its single-file form.
          g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64
          osslsigncode openssl tcl dpkg-dev
          # The demo machine's system catalog is written by a Python script.
          python3
          # The report page is checked in a real headless browser.
          chromium chromium-driver python3-selenium
          # Fleets: the replicated stream, the central store and their C clients.
          nats-server libnats-dev postgresql-15 libpq-dev pkg-config)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
