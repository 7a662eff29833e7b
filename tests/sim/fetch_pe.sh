#!/usr/bin/env bash
# Unpacks zlib's Windows DLLs (real PE32 and PE32+ files) from Debian's
# libz-mingw-w64 into <folder>/root. Never fails: without network the tests that
# need the files skip and say why.
set -uo pipefail
dest=${1:?usage: fetch_pe.sh <folder>}
[ -f "$dest/fetched" ] && exit 0
mkdir -p "$dest/debs" "$dest/root" && cd "$dest/debs" || exit 0
if ! apt-get download libz-mingw-w64 >download.log 2>&1; then
  echo "fetch_pe: apt-get download libz-mingw-w64 failed (see $dest/debs/download.log)"
  exit 0
fi
for deb in *.deb; do dpkg-deb -x "$deb" ../root || exit 0; done
touch ../fetched
