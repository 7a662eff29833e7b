#!/usr/bin/env bash
# Fetches real Windows executables from Debian packages into a folder of the build
# tree, for the tests that read PE files (version resources, signatures). Nothing of
# it is committed. Without network the folder stays empty and those tests skip.
#
#   scripts/fetch_test_pe.sh <folder>
#
# What lands there (below <folder>/root):
#   usr/i686-w64-mingw32/lib/zlib1.dll     PE32, version resource keyed "040904E4"
#   usr/x86_64-w64-mingw32/lib/zlib1.dll   PE32+, the same resource
#   usr/share/nsis/Stubs/*                 PE32 and PE32+ with resources but no version
#   usr/share/win32/win32-loader.exe       PE32 program with CompanyName, table "040904e4"
set -uo pipefail
dest=${1:?usage: fetch_test_pe.sh <folder>}
packages=(libz-mingw-w64 nsis-common win32-loader)
stamp="$dest/fetched"
[ -f "$stamp" ] && exit 0
mkdir -p "$dest/debs" "$dest/root"
dest=$(cd "$dest" && pwd)
stamp="$dest/fetched"
cd "$dest/debs" || exit 0
# A fresh machine may not have read the package lists yet: read them once and retry.
if ! apt-get download "${packages[@]}" >download.log 2>&1 &&
   ! { [ "$(id -u)" -eq 0 ] && apt-get update -qq >>download.log 2>&1 &&
       apt-get download "${packages[@]}" >>download.log 2>&1; }; then
  echo "fetch_test_pe: could not download ${packages[*]} (see $dest/debs/download.log);" \
       "the tests that need real PE files will skip"
  exit 0
fi
for deb in *.deb; do dpkg-deb -x "$deb" "$dest/root" || exit 0; done
touch "$stamp"
echo "fetch_test_pe: $(find "$dest/root" -type f | wc -l) files from ${packages[*]} in $dest/root"
