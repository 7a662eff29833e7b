#!/usr/bin/env bash
# Puts real Windows programs into a copy of the demo machine, so that the report
# shows what their files say of themselves:
#   velaupdate.exe      signed at set-up by a throw-away code-signing authority
#                       whose root certificate goes into the machine's ROOT store
#   tallyo.exe          unsigned, with version strings
#   PixelMoorSetup.exe  an installer stub that maren's browser downloads
# The programs come from Debian packages (scripts/fetch_test_pe.sh); without them
# the demo still runs with the image's placeholder files.
#
#   scripts/prepare_demo_image.sh <image copy> <work folder>
set -euo pipefail
image=${1:?usage: prepare_demo_image.sh <image> <work folder>}
work=${2:?usage: prepare_demo_image.sh <image> <work folder>}
here=$(cd "$(dirname "$0")" && pwd)
"$here/fetch_test_pe.sh" "$work/test-pe"
pe="$work/test-pe/root"
loader="$pe/usr/share/win32/win32-loader.exe"
stub="$pe/usr/share/nsis/Stubs/zlib-amd64-unicode"
if [ ! -f "$loader" ] || [ ! -f "$stub" ]; then
  echo "prepare_demo_image: real programs not available; the demo keeps its placeholder files"
  exit 0
fi
drive="$image/drives/C"
ca="$work/ca"

# The authority and the publisher's certificate, made fresh for every demo run.
"$here/make_test_signer.sh" "$ca" "Velanto Software"
rm -f "$drive/Program Files/Velanto/Sync/velaupdate.exe"
osslsigncode sign -certs "$ca/chain.pem" -key "$ca/signer.key" -h sha256 -n "VelaSync Updater" \
  -in "$loader" -out "$drive/Program Files/Velanto/Sync/velaupdate.exe" >/dev/null
cp "$loader" "$drive/Users/maren/AppData/Local/Tallyo/tallyo.exe"
cp "$stub" "$drive/Users/maren/Downloads/PixelMoorSetup.exe"

# The root in the machine's ROOT store as Windows keeps it: the key is the SHA-1
# thumbprint, "Blob" the serialized certificate.
thumbprint=$(cat "$ca/root.thumbprint")
blob=$(od -An -v -tx1 "$ca/root.blob" | tr -s ' \n' ',' | sed 's/^,//; s/,$//')
{
  printf '\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\SystemCertificates\\ROOT\\Certificates\\%s]\r\n' "$thumbprint"
  printf '"Blob"=hex:%s\r\n' "$blob"
} >>"$drive/Windows/System32/config/SOFTWARE.reg"
echo "prepare_demo_image: velaupdate.exe signed by Velanto Software (root $thumbprint in the ROOT store)"
