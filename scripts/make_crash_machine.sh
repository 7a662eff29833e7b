#!/usr/bin/env bash
# Builds a large machine image for fault runs: the demo machine plus generated load
# points (Run values, services, debugger redirections and startup-folder files),
# and a scenario that changes many of them in one burst.
#
#   scripts/make_crash_machine.sh IMAGE SCENARIO [LOAD_POINTS]
#
# LOAD_POINTS (default 5000) is the number of generated load points; the demo
# machine's own come on top. IMAGE must not exist yet.
set -euo pipefail
cd "$(dirname "$0")/.."
image=${1:?usage: make_crash_machine.sh IMAGE SCENARIO [LOAD_POINTS]}
scenario=${2:?usage: make_crash_machine.sh IMAGE SCENARIO [LOAD_POINTS]}
count=${3:-5000}
[ ! -e "$image" ] || { echo "make_crash_machine.sh: $image exists already" >&2; exit 1; }
mkdir -p "$(dirname "$image")"
cp -r examples/demo-machine "$image"
config="$image/drives/C/Windows/System32/config"
startup="$image/drives/C/ProgramData/Microsoft/Windows/Start Menu/Programs/Startup"

# Run values, services and debugger redirections, and a few startup-folder files
# (every file event in a startup folder re-reads the folder, so a full one makes a
# burst slow without testing anything more).
runs=$((count * 35 / 100)); services=$((count * 4 / 10)); debuggers=$((count * 2 / 10))
files=$((count - runs - services - debuggers))

awk -v runs="$runs" -v debuggers="$debuggers" 'BEGIN {
  printf "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
  for (i = 0; i < runs; i++)
    printf "\"GenAgent%05d\"=\"\\\"C:\\\\Program Files\\\\Gen\\\\agent%05d.exe\\\" --tray\"\r\n", i, i
  for (i = 0; i < debuggers; i++)
    printf "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\gen%05d.exe]\r\n\"Debugger\"=\"C:\\\\Tools\\\\dbg%05d.exe\"\r\n", i, i
}' >> "$config/SOFTWARE.reg"

awk -v services="$services" 'BEGIN {
  for (i = 0; i < services; i++) {
    printf "\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\GenSvc%05d]\r\n", i
    printf "\"Type\"=dword:00000010\r\n\"Start\"=dword:00000002\r\n"
    printf "\"ImagePath\"=\"C:\\\\Program Files\\\\Gen\\\\svc%05d.exe -service\"\r\n", i
    printf "\"DisplayName\"=\"Generated Service %05d\"\r\n", i
  }
}' >> "$config/SYSTEM.reg"

mkdir -p "$startup"
for ((i = 0; i < files; i++)); do printf 'L' > "$startup/$(printf 'Gen Shortcut %05d.lnk' "$i")"; done

# The burst: explorer (4120) adds, changes and deletes Run values, repoints and
# disables services and drops shortcuts, with no pause between the actions.
burst=$((count / 20))
{
  echo "# A burst of changes on the generated load points."
  run='"HKLM\Software\Microsoft\Windows\CurrentVersion\Run"'
  for ((i = 0; i < burst; i++)); do
    printf '4120 reg add %s /v BurstAgent%05d /d "C:\\burst\\b%05d.exe" /f\n' "$run" "$i" "$i"
    printf '4120 reg add %s /v GenAgent%05d /d "C:\\changed\\a%05d.exe" /f\n' "$run" "$i" "$i"
    printf '4120 reg delete %s /v GenAgent%05d /f\n' "$run" "$((runs - 1 - i))"
    printf '4120 reg add "HKLM\\SYSTEM\\CurrentControlSet\\Services\\GenSvc%05d" /v Start /t REG_DWORD /d 4 /f\n' "$i"
    ((i % 10)) || printf '4120 file create "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\Burst %05d.lnk"\n' "$i"
  done
} > "$scenario"
