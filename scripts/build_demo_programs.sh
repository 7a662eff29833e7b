#!/usr/bin/env bash
# Builds the demo machine's programs as small Windows images, each with a version
# resource of its own (company, description, product, versions, file names), from the
# table in examples/demo-programs.txt, with MinGW-w64's windres and gcc. The images
# do nothing when run: what the demo reads is their version strings and signatures.
# Each lands at its place on drive C below <out>, e.g. <out>/Windows/explorer.exe.
#
#   scripts/build_demo_programs.sh <table> <out>
set -euo pipefail
table=${1:?usage: build_demo_programs.sh <table> <out>}
out=${2:?usage: build_demo_programs.sh <table> <out>}
cc=x86_64-w64-mingw32-gcc
windres=x86_64-w64-mingw32-windres
mkdir -p "$out/obj"
printf 'int start(void) { return 0; }\n' >"$out/obj/start.c"
"$cc" -c -Os "$out/obj/start.c" -o "$out/obj/start.o"

# "4.12.0.318" as the four numbers a VERSIONINFO statement takes.
numbers() { local IFS=.; set -- $1; echo "${1:-0},${2:-0},${3:-0},${4:-0}"; }
# A string for a resource script: quotes doubled, as windres reads them.
quoted() { printf '"%s"' "${1//\"/\"\"}"; }

write_resource() {  # <rc file> <kind> <version> <company> <description> <product> <original>
  local filetype=1; [ "$2" = dll ] && filetype=2; [ "$2" = sys ] && filetype=3
  cat >"$1" <<RC
1 VERSIONINFO
FILEVERSION $(numbers "$3")
PRODUCTVERSION $(numbers "$3")
FILEOS 0x40004
FILETYPE $filetype
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904B0"
    BEGIN
      VALUE "CompanyName", $(quoted "$4")
      VALUE "FileDescription", $(quoted "$5")
      VALUE "FileVersion", $(quoted "$3")
      VALUE "InternalName", $(quoted "${7%.*}")
      VALUE "LegalCopyright", $(quoted "(c) $4. All rights reserved.")
      VALUE "OriginalFilename", $(quoted "$7")
      VALUE "ProductName", $(quoted "$6")
      VALUE "ProductVersion", $(quoted "$3")
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200
  END
END
RC
}

count=0
while IFS='|' read -r path kind _signature version company description product original; do
  case "$path" in ''|'#'*) continue ;; esac
  stem="$out/obj/$count"
  write_resource "$stem.rc" "$kind" "$version" "$company" "$description" "$product" "$original"
  "$windres" "$stem.rc" -O coff -o "$stem.res.o"
  case "$kind" in
    dll) link=(-shared) ;;
    sys) link=(-shared -Wl,--subsystem,native) ;;
    *) link=(-Wl,--subsystem,windows) ;;
  esac
  mkdir -p "$(dirname "$out/$path")"
  "$cc" -s -nostdlib "${link[@]}" -Wl,--entry=start "$out/obj/start.o" "$stem.res.o" -o "$out/$path"
  count=$((count + 1))
done <"$table"
echo "build_demo_programs: $count programs with version resources in $out"
