#!/usr/bin/env bash
# Seeds for the simulator's fuzz targets, from the demo image, its scenario and the
# real regedit exports (../shared/testdata/real/registry when present):
#
#   fuzz/sim_seeds.sh <corpus folder>
#   build/fuzz/fuzz/image_boot_fuzz -max_total_time=600 <corpus folder>/image_boot
#
# One subfolder per target: scenario_parse, image_manifest, image_boot.
set -euo pipefail
out=${1:?usage: sim_seeds.sh <corpus folder>}
repo=$(cd "$(dirname "$0")/.." && pwd)
demo="$repo/examples/demo-machine"
config="$demo/drives/C/Windows/System32/config"
real="${BRUMEVALE_SHARED_DIR:-$repo/../shared}/testdata/real/registry"
mkdir -p "$out/scenario_parse" "$out/image_manifest" "$out/image_boot"

cp "$repo"/examples/*.scenario "$out/scenario_parse/"
printf '%s\n' '4120 file copy "D:\setup\agent.exe" "C:\Program Files\A\agent.exe"' \
  '4120:4200 file write "C:\Windows\System32\Tasks\A" "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Task/>" encoding=utf-16le' \
  > "$out/scenario_parse/copy_and_utf16.scenario"

cp "$demo/machine.json" "$out/image_manifest/demo.json"
manifest='{"users": [{"sid": "S-1-5-21-3623811015-3361044348-30300820-1001", "account": "PC\\fuzz", "profile": "C:\\Users\\fuzz", "loggedOn": true},
 {"sid": "S-1-5-21-1-2-3-1002", "account": "PC\\off", "profile": "C:\\Users\\off"}],
 "processes": [{"pid": 4120, "image": "C:\\Windows\\explorer.exe", "owner": "S-1-5-21-3623811015-3361044348-30300820-1001"}]}'
printf '%s' "$manifest" > "$out/image_manifest/users.json"

users=$'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_USERS\\.DEFAULT\\Control Panel\\Desktop]\r\n"ScreenSaveActive"="1"\r\n\r\n[HKEY_USERS\\S-1-5-20\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce]\r\n"Cleanup"="C:\\\\cleanup.exe"\r\n'
system_profile=$'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"SCRNSAVE.EXE"="scrnsave.scr"\r\n'
# The parts joined with the separator the target splits at.
image() {
  local name=$1 system=$2
  {
    printf '%s' "$manifest"
    for part in "$system" "$config/SOFTWARE.reg" <(printf '%s' "$users") <(printf '%s' "$system_profile") \
                "$demo/drives/C/Users/maren/NTUSER.reg" \
                "$demo/drives/C/Users/maren/AppData/Local/Microsoft/Windows/UsrClass.reg"; do
      printf '\n\0FILE\0\n'
      cat "$part"
    done
  } > "$out/image_boot/$name"
}
image demo "$config/SYSTEM.reg"
if [ -d "$real" ]; then
  for export in "$real"/*.reg; do image "real_$(basename "$export" .reg)" "$export"; done
else
  echo "sim_seeds: no real exports at $real; seeding from the demo image only"
fi
