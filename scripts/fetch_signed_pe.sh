#!/usr/bin/env bash
# Fetches real Windows executables from Debian packages into a folder of the build
# tree, for the tests of signature checking. Nothing of it is committed. Without
# network the folder stays empty and those tests skip.
#
#   scripts/fetch_signed_pe.sh <folder>
#
# What lands there (below <folder>/root):
#   usr/x86_64-w64-mingw32/lib/zlib1.dll     unsigned PE32+, signed by the tests themselves
#   usr/lib/shim/fbx64.efi.signed            signed by Debian's Secure Boot signer
#   usr/lib/shim/shimx64.efi.signed          signed by a commercial CA, time-stamped, two
#                                            certificate entries; its image carries the
#                                            Debian Secure Boot CA certificate
set -uo pipefail
dest=${1:?usage: fetch_signed_pe.sh <folder>}
packages=(libz-mingw-w64 shim-signed shim-helpers-amd64-signed)
mkdir -p "$dest/debs" "$dest/root"
dest=$(cd "$dest" && pwd)
[ -f "$dest/fetched" ] && exit 0
cd "$dest/debs" || exit 0
if ! apt-get download "${packages[@]}" >download.log 2>&1; then
  echo "fetch_signed_pe: could not download ${packages[*]} (see $dest/debs/download.log);" \
       "the tests that need real PE files will skip"
  exit 0
fi
for deb in *.deb; do dpkg-deb -x "$deb" "$dest/root" || exit 0; done
touch "$dest/fetched"
echo "fetch_signed_pe: $(find "$dest/root" -type f | wc -l) files from ${packages[*]} in $dest/root"
