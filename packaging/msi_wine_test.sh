#!/usr/bin/env bash
# The installer package under Wine, end to end: a silent install with the fleet's
# properties, both services and the settings in place, the services started after a
# restart of the Wine session, the logger recording a Run value added with reg.exe
# and the exporter sending it to a JetStream server on 127.0.0.1; the exporter
# killed and started again with "net start" sending nothing twice; an upgrade to a
# newer package keeping the record; removal keeping the data, and REMOVE_DATA=1
# removing it.
# Usage: msi_wine_test.sh MSI WIXL_SOURCE_DIR WORK_DIR
# Where Wine 8 departs from Windows the check is skipped here, with the reason:
# - its msiexec cannot start a service installed in the same Wine session (the
#   package starts them with sc.exe, which fails quietly there; they are started
#   after the session restarts);
# - its service installer writes the image path unquoted;
# - its service manager keeps no recovery actions (ChangeServiceConfig2W answers
#   ERROR_INVALID_LEVEL, which the exporter logs).
set -euo pipefail
msi=$1 bin=$2 work=$3
wine=${BRUMEVALE_WINE:-wine}
rm -rf "$work" && mkdir -p "$work"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true; [ -n "${nats_pid:-}" ] && kill "$nats_pid" 2>/dev/null || true' EXIT
"$wine" wineboot --init >/dev/null 2>&1
data="$WINEPREFIX/drive_c/ProgramData/Kelvra Security/Brumevale"
fail() { echo "FAILED: $*" >&2; exit 1; }
restart_session() { wineserver -k 2>/dev/null || true; wineserver -w; }
reg_value() { "$wine" reg query "$1" /v "$2" /reg:64 2>/dev/null | tr -d '\r' | awk -v n="$2" '$1 == n {sub(/^[^R]*REG_[A-Z_]+ +/, ""); print}'; }

# One JetStream server on a free port, run as nobody as the fleet suites run theirs.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
monitor=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mkdir -p "$work/js" && chmod 777 "$work/js"
runuser -u nobody -- nats-server -js -sd "$work/js" -a 127.0.0.1 -p "$port" -m "$monitor" >"$work/nats.log" 2>&1 &
nats_pid=$!
messages() { curl -sf "http://127.0.0.1:$monitor/jsz" | python3 -c 'import json,sys; print(json.load(sys.stdin)["messages"])'; }
sleep 1

echo "install, silent, with the fleet's settings"
"$wine" msiexec /i "$msi" /qn "FLEET_URLS=nats://127.0.0.1:$port" "FLEET_CA=C:\\fleet\\ca.pem" \
  "FLEET_CREDENTIALS=C:\\fleet\\export.creds" || fail "msiexec /i"
for service in Brumevale BrumevaleExport; do
  image=$(reg_value "HKLM\\SYSTEM\\CurrentControlSet\\Services\\$service" ImagePath)
  [[ "$image" == *'C:\Program Files\Kelvra Security\Brumevale\'* ]] || fail "$service image path: $image"
  [ "$(reg_value "HKLM\\SYSTEM\\CurrentControlSet\\Services\\$service" Start)" = 0x2 ] || fail "$service not automatic"
  echo "  skipped under Wine: $service's image path in quotes (Wine writes it unquoted: $image)"
done
[[ "$(reg_value 'HKLM\SYSTEM\CurrentControlSet\Services\BrumevaleExport' ImagePath)" == *'brumevale.exe export --service' ]] \
  || fail "the exporter's service runs something else"
reg_value 'HKLM\SYSTEM\CurrentControlSet\Services\BrumevaleLookout' ImagePath | grep -q 'BrumevaleLookout.sys' \
  || fail "no driver entry"
settings='HKLM\SOFTWARE\Kelvra Security\Brumevale\Export'
[ "$(reg_value "$settings" Servers)" = "nats://127.0.0.1:$port" ] || fail "Servers setting"
[ "$(reg_value "$settings" CAFile)" = 'C:\fleet\ca.pem' ] || fail "CAFile setting"
[ "$(reg_value "$settings" CredentialsFile)" = 'C:\fleet\export.creds' ] || fail "CredentialsFile setting"
# Back to a server without credentials or TLS for the rest of the run.
"$wine" reg delete "$settings" /v CAFile /f /reg:64 >/dev/null
"$wine" reg delete "$settings" /v CredentialsFile /f /reg:64 >/dev/null

echo "services started after a new Wine session"
restart_session
"$wine" net start Brumevale >/dev/null 2>&1 || true
"$wine" net start BrumevaleExport >/dev/null 2>&1 || true
for _ in $(seq 60); do [ -f "$data/Brumevale.data" ] && break; sleep 1; done
[ -f "$data/Brumevale.data" ] || fail "the logger made no record"
"$wine" reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v MsiWineProbe /d 'C:\probe\probe.exe' /f >/dev/null
recorded() { sqlite3 -readonly "$data/Brumevale.data" \
  "SELECT COUNT(*) FROM ChangeEvents e JOIN LoadPoints p ON p.KEY = e.LOAD_POINT_KEY WHERE p.ENTRY_NAME LIKE '%MsiWineProbe%'" 2>/dev/null || echo 0; }
for _ in $(seq 60); do [ "$(recorded)" -gt 0 ] && break; sleep 1; done
[ "$(recorded)" -gt 0 ] || fail "the Run value was not recorded"
events=$(sqlite3 -readonly "$data/Brumevale.data" "SELECT COUNT(*) FROM ChangeEvents")
for _ in $(seq 60); do [ "$(messages)" -ge "$events" ] && break; sleep 1; done
[ "$(messages)" -ge "$events" ] || fail "the exporter sent $(messages) messages for $events events"
grep -q "error 124\|recovery actions" "$data/Logs/BrumevaleExport.log" &&
  echo "  skipped under Wine: the exporter's recovery actions (Wine keeps none)"

echo "the exporter killed and started again: nothing lost, nothing twice"
count() { sqlite3 -readonly "$data/Brumevale.data" "$1"; }
before=$(messages) events_before=$(count "SELECT COUNT(*) FROM ChangeEvents")
"$wine" taskkill /f /im brumevale.exe >/dev/null 2>&1 || true
"$wine" reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v MsiWineProbe2 /d 'C:\probe\two.exe' /f >/dev/null
sleep 3
"$wine" net start BrumevaleExport >/dev/null 2>&1 || true
events=$(count "SELECT COUNT(*) FROM ChangeEvents")
for _ in $(seq 60); do [ "$(messages)" -ge "$(( before + events - events_before ))" ] && break; sleep 1; done
sleep 3
events=$(count "SELECT COUNT(*) FROM ChangeEvents")
grown=$(( $(messages) - before )) new=$(( events - events_before ))
# A rescan among the new events also sends the new inventory: one message a load
# point and a closing one.
rescans=$(count "SELECT COUNT(*) FROM ChangeEvents WHERE KEY > $events_before AND EVENT_TYPE = 9")
allowed=$new
[ "$rescans" -gt 0 ] && allowed=$(( new + $(count "SELECT COUNT(*) FROM LoadPoints") + rescans ))
[ "$grown" -ge "$new" ] || fail "after the restart $grown messages for $new new events: events lost"
[ "$grown" -le "$allowed" ] || fail "after the restart $grown messages for $new new events: sent twice"

echo "upgrade to a newer package keeps the record and the settings"
mkdir -p "$work/newer"
(cd "$bin" && wixl -a x64 -D Version=99.0.0 -o "$work/newer/BrumevaleLogger-99.0.0-x64.msi" BrumevaleLogger.wxs)
rows=$(sqlite3 -readonly "$data/Brumevale.data" "SELECT COUNT(*) FROM ChangeEvents")
restart_session
"$wine" msiexec /i "$work/newer/BrumevaleLogger-99.0.0-x64.msi" /qn || fail "msiexec upgrade"
[ "$(sqlite3 -readonly "$data/Brumevale.data" "SELECT COUNT(*) FROM ChangeEvents")" -ge "$rows" ] || fail "rows lost"
[ "$(reg_value "$settings" Servers)" = "nats://127.0.0.1:$port" ] || fail "the upgrade lost the settings"

echo "removal keeps the data; REMOVE_DATA=1 removes it"
restart_session
"$wine" msiexec /x "$work/newer/BrumevaleLogger-99.0.0-x64.msi" /qn || fail "msiexec /x"
for service in Brumevale BrumevaleExport BrumevaleLookout; do
  "$wine" reg query "HKLM\\SYSTEM\\CurrentControlSet\\Services\\$service" >/dev/null 2>&1 && fail "$service left"
done
[ -f "$data/Brumevale.data" ] || fail "removal took the record"
"$wine" msiexec /i "$work/newer/BrumevaleLogger-99.0.0-x64.msi" /qn || fail "msiexec /i again"
restart_session
"$wine" msiexec /x "$work/newer/BrumevaleLogger-99.0.0-x64.msi" /qn REMOVE_DATA=1 || fail "msiexec /x REMOVE_DATA=1"
[ ! -e "$data" ] || fail "REMOVE_DATA=1 left $data"
"$wine" reg query "$settings" /reg:64 >/dev/null 2>&1 && fail "REMOVE_DATA=1 left the settings"
echo "msi under Wine: passed"
