#!/usr/bin/env bash
# Gives a copy of the demo machine real programs, so that what the record shows of
# each file is what the file says of itself:
#   - every program of examples/demo-programs.txt, built at set-up with a version
#     resource of its own (scripts/build_demo_programs.sh);
#   - the system's own programs (explorer.exe, the programs under C:\Windows, the
#     browser) vouched for by a catalog in CatRoot, registered in the machine's catalog
#     database and signed under a root that the machine declares as the system
#     vendor's (Corvallen Systems), as the system's own files are signed;
#   - velaupdate.exe signed by its publisher (Velanto Software) in the file itself;
#   - the others (tallyo.exe, the downloaded PixelMoorSetup.exe ...) unsigned.
# Both roots go into the machine's ROOT store. Certificates are made fresh each run.
# Without MinGW-w64 the demo keeps the image's placeholder files.
#
#   scripts/prepare_demo_image.sh <image copy> <work folder>
set -euo pipefail
image=${1:?usage: prepare_demo_image.sh <image> <work folder>}
work=${2:?usage: prepare_demo_image.sh <image> <work folder>}
here=$(cd "$(dirname "$0")" && pwd)
for tool in x86_64-w64-mingw32-gcc x86_64-w64-mingw32-windres osslsigncode openssl python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "prepare_demo_image: $tool not found (scripts/setup.sh installs it); the demo keeps its placeholder files"
    exit 0
  fi
done
table="$here/../examples/demo-programs.txt"
drive="$image/drives/C"
programs="$work/programs"
rm -rf "$programs"
"$here/build_demo_programs.sh" "$table" "$programs" >/dev/null

# The programs whose table row says how they are signed, as paths on drive C.
signed_as() { awk -F'|' -v how="$1" '$0 !~ /^#/ && $3 == how { print $1 }' "$table"; }

# The publisher's own signature, embedded in its updater.
"$here/make_test_signer.sh" "$work/velanto" "Velanto Software"
while read -r path; do
  rm -f "$programs/$path.signed"
  osslsigncode sign -certs "$work/velanto/chain.pem" -key "$work/velanto/signer.key" -h sha256 \
    -n "VelaSync Updater" -in "$programs/$path" -out "$programs/$path.signed" >/dev/null
  mv "$programs/$path.signed" "$programs/$path"
done < <(signed_as velanto)

# Every program in place (the placeholders replaced).
while IFS='|' read -r path _; do
  case "$path" in ''|'#'*) continue ;; esac
  mkdir -p "$(dirname "$drive/$path")"
  cp "$programs/$path" "$drive/$path"
done <"$table"

# The system's catalog over its own programs, signed under the system vendor's root.
"$here/make_test_signer.sh" "$work/system" "Corvallen Systems" "Corvallen Systems Root Authority"
catalog_name="CorvallenSystemBase.cat"
catroot="$drive/Windows/System32/CatRoot/{F750E6C3-38EE-11D1-85E5-00C04FC295EE}"
mkdir -p "$catroot"
mapfile -t members < <(signed_as system | sed "s|^|$drive/|")
python3 "$here/make_catalog.py" "$catroot/$catalog_name" "$work/system/signer.pem" \
  "$work/system/signer.key" "$work/system/root.pem" "${members[@]}"

# The roots in the machine's ROOT store as Windows keeps them: the key is the SHA-1
# thumbprint, "Blob" the serialized certificate.
for ca in "$work/velanto" "$work/system"; do
  blob=$(od -An -v -tx1 "$ca/root.blob" | tr -s ' \n' ',' | sed 's/^,//; s/,$//')
  printf '\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\SystemCertificates\\ROOT\\Certificates\\%s]\r\n"Blob"=hex:%s\r\n' \
    "$(cat "$ca/root.thumbprint")" "$blob" >>"$drive/Windows/System32/config/SOFTWARE.reg"
done

# The machine declares the system root as its vendor's and registers the catalog.
python3 - "$image/machine.json" "$(cat "$work/system/root.thumbprint")" "$catalog_name" <<'PY'
import json, sys
path, root, catalog = sys.argv[1:]
machine = json.load(open(path))
trust = machine.setdefault("trust", {})
trust.setdefault("vendorRoots", []).append(root)
trust.setdefault("registeredCatalogs", []).append(catalog)
json.dump(machine, open(path, "w"), indent=2)
PY
echo "prepare_demo_image: $(grep -vc '^#' "$table") programs with their own version strings;" \
     "${#members[@]} system programs in the catalog $catalog_name, velaupdate.exe signed by Velanto Software"
