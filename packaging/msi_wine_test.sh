#!/usr/bin/env bash
# The installer package under Wine, end to end: a silent install with the fleet's
# properties, both services and the settings in place, the services started after a
# restart of the Wine session, the logger recording a Run value added with reg.exe
# and the exporter sending it to a 3-node JetStream cluster on 127.0.0.1, from which
# the Linux "brumevale collect" stores it in PostgreSQL under the prefix's
# MachineGuid; the exporter killed and started again with "net start", losing and
# repeating nothing; an upgrade to a newer package keeping the record and the rows;
# removal keeping the data, and REMOVE_DATA=1 removing it.
# Usage: msi_wine_test.sh MSI WIXL_SOURCE_DIR WORK_DIR LINUX_BRUMEVALE
# Where Wine 8 departs from Windows the check is skipped here, with the reason:
# - its msiexec cannot start a service installed in the same Wine session (the
#   package starts them with sc.exe instead, whose failure does not undo the
#   installation); the test starts them with "net start" after a session restart;
# - its service installer writes the image path unquoted;
# - its service manager keeps no recovery actions (ChangeServiceConfig2W answers
#   ERROR_INVALID_LEVEL, which the exporter logs).
set -euo pipefail
msi=$1 bin=$2 work=$3 collector=$4
wine=${BRUMEVALE_WINE:-wine}
[ -x "$collector" ] || { echo "FAILED: no Linux brumevale at $collector (build the asan preset's brumevale first)" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$wine" wineboot --init >/dev/null 2>&1
data="$WINEPREFIX/drive_c/ProgramData/Kelvra Security/Brumevale"
fail() { echo "FAILED: $*" >&2; exit 1; }
restart_session() { wineserver -k 2>/dev/null || true; wineserver -w; }
# The record read as the service writes it: a lock is waited for, not taken as an answer.
sql() { sqlite3 -readonly -cmd ".timeout 10000" "$data/Brumevale.data" "$1"; }
reg_value() { "$wine" reg query "$1" /v "$2" /reg:64 2>/dev/null | tr -d '\r' | awk -v n="$2" '$1 == n {sub(/^[^R]*REG_[A-Z_]+ +/, ""); print}'; }

# A 3-node JetStream cluster and PostgreSQL, run as nobody when the test runs as root
# (PostgreSQL refuses root), as the fleet suites run theirs.
as_owner() { if [ "$(id -u)" = 0 ]; then runuser -u nobody -- "$@"; else "$@"; fi; }
own() { if [ "$(id -u)" = 0 ]; then chown nobody "$@"; fi; }
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
chmod o+x "$work" && mkdir -p "$work/nats" && own "$work/nats"
ports=() routes=() monitors=()
for i in 0 1 2; do ports+=("$(free_port)"); routes+=("$(free_port)"); monitors+=("$(free_port)"); done
urls=""
for i in 0 1 2; do
  others=""
  for j in 0 1 2; do [ "$j" = "$i" ] || others+="${others:+,} nats-route://127.0.0.1:${routes[$j]}"; done
  cat >"$work/nats/n$i.conf" <<CONF
server_name: n$i
pid_file: "$work/nats/n$i.pid"
listen: 127.0.0.1:${ports[$i]}
http: 127.0.0.1:${monitors[$i]}
jetstream { store_dir: "$work/nats/js$i" }
cluster { name: msi-test, listen: 127.0.0.1:${routes[$i]}, routes: [$others ] }
CONF
  as_owner nats-server -c "$work/nats/n$i.conf" >"$work/nats/n$i.log" 2>&1 &
  urls+="${urls:+,}nats://127.0.0.1:${ports[$i]}"
done
pg="$work/pg" pg_bin=/usr/lib/postgresql/15/bin pg_port=$(free_port)
mkdir -p "$pg" && own "$pg"
as_owner "$pg_bin/initdb" -D "$pg/data" -A trust -U postgres --no-sync >/dev/null
as_owner "$pg_bin/pg_ctl" -D "$pg/data" -l "$pg/server.log" -w \
  -o "-p $pg_port -k $pg -c listen_addresses=127.0.0.1 -c fsync=off" start >/dev/null
conninfo="host=127.0.0.1 port=$pg_port user=postgres dbname=postgres connect_timeout=3"
# The servers by their own pid files (no newline at their end): the background jobs
# are the runuser wrappers.
trap 'wineserver -k 2>/dev/null || true
      for f in "$work"/nats/n*.pid; do [ -f "$f" ] && kill "$(cat "$f")" 2>/dev/null; done
      as_owner "$pg_bin/pg_ctl" -D "$pg/data" -m immediate stop >/dev/null 2>&1 || true' EXIT
# The stream's messages as the node holding most of them reports it.
messages() {
  python3 - "${monitors[@]}" <<'PY'
import json, sys, urllib.request
def count(port):
    try:
        return json.load(urllib.request.urlopen(f"http://127.0.0.1:{port}/jsz", timeout=3))["messages"]
    except OSError:
        return 0
print(max(count(port) for port in sys.argv[1:]))
PY
}
psql_value() { psql -qtA "$conninfo" -c "$1"; }
collect() { timeout 120 "$collector" collect --server "$urls" --database "$conninfo" --drain --give-up-after 30 \
              >>"$work/collect.log" 2>&1 || fail "collect (see $work/collect.log)"; }
for i in 0 1 2; do
  for _ in $(seq 50); do curl -sf "http://127.0.0.1:${monitors[$i]}/healthz" >/dev/null && break; sleep 0.2; done
done
# The operator's one set-up: exporters and collectors never make the stream or its
# consumers. A cluster still electing the stream's leader refuses for a moment.
for _ in $(seq 50); do
  "$collector" fleet setup --server "$urls" --replicas 3 --max-bytes 1G >>"$work/setup.log" 2>&1 && break
  sleep 0.5
done || true
"$collector" fleet setup --server "$urls" --replicas 3 --max-bytes 1G >>"$work/setup.log" 2>&1 \
  || fail "fleet setup (see $work/setup.log)"

echo "install, silent, with the fleet's settings"
"$wine" msiexec /i "$msi" /qn "FLEET_URLS=$urls" "FLEET_CA=C:\\fleet\\ca.pem" \
  "FLEET_CREDENTIALS=C:\\fleet\\export.creds" >/dev/null || fail "msiexec /i"
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
[ "$(reg_value "$settings" Servers)" = "$urls" ] || fail "Servers setting"
[ "$(reg_value "$settings" CAFile)" = 'C:\fleet\ca.pem' ] || fail "CAFile setting"
[ "$(reg_value "$settings" CredentialsFile)" = 'C:\fleet\export.creds' ] || fail "CredentialsFile setting"

echo "a password file others can read is refused"
program="$WINEPREFIX/drive_c/Program Files/Kelvra Security/Brumevale/brumevale.exe"
mkdir -p "$WINEPREFIX/drive_c/fleet" && echo secret >"$WINEPREFIX/drive_c/fleet/password"
refusal=$("$wine" "$program" export --server "$urls" --user exporter --password-file 'C:\fleet\password' 2>&1 >/dev/null) \
  && fail "export took a password file others can read"
[[ "$refusal" == *"C:\fleet\password is owned by "*"; only SYSTEM and the Administrators may read it"* ]] \
  || fail "refusal: $refusal"
echo "  skipped under Wine: a password file closed to others (Wine makes every file's owner the Unix user's account)"

echo "the exporter's service says which setting it cannot use, and --service is for the service manager"
out=$("$wine" "$program" export --service 2>&1 >/dev/null) && fail "export --service ran from a console"
[[ "$out" == *'--service is for the service manager (the service "BrumevaleExport")'* ]] || fail "--service: $out"
restart_session
log="$data/Logs/BrumevaleExport.log"
# start_until TEXT: the service started until its log says TEXT (it stops by itself).
start_until() {
  for _ in $(seq 30); do
    grep -qF "$1" "$log" 2>/dev/null && return
    "$wine" net start BrumevaleExport >/dev/null 2>&1 || true
    sleep 1
  done
  fail "the exporter's log never said: $1"
}
start_until 'brumevale export: cannot read a user name and a password from C:\fleet\export.creds'
# Back to a server without credentials or TLS for the rest of the run.
"$wine" reg delete "$settings" /v CredentialsFile /f /reg:64 >/dev/null
start_until 'brumevale export: cannot read the certificate file C:\fleet\ca.pem'
"$wine" reg delete "$settings" /v CAFile /f /reg:64 >/dev/null

echo "services started after a new Wine session"
restart_session
"$wine" net start Brumevale >/dev/null 2>&1 || true
"$wine" net start BrumevaleExport >/dev/null 2>&1 || true
# A value added during the first rescan would be found by it, not recorded as a change.
first_rescan() { sql "SELECT COUNT(*) > 0 FROM ChangeEvents WHERE EVENT_TYPE = 9" 2>/dev/null || echo 0; }
for _ in $(seq 90); do [ "$(first_rescan)" = 1 ] && break; sleep 1; done
[ "$(first_rescan)" = 1 ] || fail "the logger made no record"
"$wine" reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v MsiWineProbe /d 'C:\probe\probe.exe' /f >/dev/null
recorded() { sql \
  "SELECT COUNT(*) FROM ChangeEvents e JOIN LoadPoints p ON p.KEY = e.LOAD_POINT_KEY WHERE p.ENTRY_NAME LIKE '%MsiWineProbe%'" 2>/dev/null || echo 0; }
for _ in $(seq 60); do [ "$(recorded)" -gt 0 ] && break; sleep 1; done
[ "$(recorded)" -gt 0 ] || fail "the Run value was not recorded"
events=$(sql "SELECT COUNT(*) FROM ChangeEvents")
for _ in $(seq 60); do [ "$(messages)" -ge "$events" ] && break; sleep 1; done
[ "$(messages)" -ge "$events" ] || fail "the exporter sent $(messages) messages for $events events"
guid=$(reg_value 'HKLM\SOFTWARE\Microsoft\Cryptography' MachineGuid)
[ -n "$guid" ] || fail "the prefix has no MachineGuid"
collect
[ "$(psql_value "SELECT COUNT(*) FROM fleet_events WHERE machine_key = (SELECT machine_key FROM fleet_machine_keys WHERE machine_id = '$guid') AND event::text LIKE '%MsiWineProbe%'")" -ge 1 ] \
  || fail "PostgreSQL holds no event of the Run value under $guid"
grep -q "error 124\|recovery actions" "$data/Logs/BrumevaleExport.log" &&
  echo "  skipped under Wine: the exporter's recovery actions (Wine keeps none)"

echo "the exporter killed and started again: nothing lost, nothing twice"
count() { sql "$1"; }
# The stream at rest first: the inventory of the first rescan follows its events.
settle() {
  local last=-1 now
  for _ in $(seq 60); do now=$(messages); [ "$now" = "$last" ] && return; last=$now; sleep 2; done
}
settle
before=$(messages) events_before=$(count "SELECT COUNT(*) FROM ChangeEvents")
"$wine" taskkill /f /im brumevale.exe >/dev/null 2>&1 || true
"$wine" reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' /v MsiWineProbe2 /d 'C:\probe\two.exe' /f >/dev/null
sleep 3
"$wine" net start BrumevaleExport >/dev/null 2>&1 || true
events=$(count "SELECT COUNT(*) FROM ChangeEvents")
for _ in $(seq 60); do [ "$(messages)" -ge "$(( before + events - events_before ))" ] && break; sleep 1; done
settle
events=$(count "SELECT COUNT(*) FROM ChangeEvents")
grown=$(( $(messages) - before )) new=$(( events - events_before ))
# Besides the new events the exporter sends an inventory snapshot (one message a
# load point and a closing one) for each new rescan that changed the load points,
# and after its restart one more when they differ from the snapshot last sent; a
# repeated event carries its earlier message id, which the stream drops, so
# repeats would show as more than that.
rescans=$(count "SELECT COUNT(*) FROM ChangeEvents WHERE KEY > $events_before AND EVENT_TYPE = 9")
allowed=$(( new + (rescans + 1) * ($(count "SELECT COUNT(*) FROM LoadPoints") + 1) ))
[ "$grown" -ge "$new" ] || fail "after the restart $grown messages for $new new events: events lost"
[ "$grown" -le "$allowed" ] || fail "after the restart $grown messages for $new new events: sent twice"
# The logger may record more meanwhile; every event reaches PostgreSQL once.
for _ in $(seq 15); do
  collect
  stored=$(psql_value "SELECT COUNT(*) FROM fleet_events WHERE machine_key = (SELECT machine_key FROM fleet_machine_keys WHERE machine_id = '$guid')")
  events=$(count "SELECT COUNT(*) FROM ChangeEvents")
  [ "$stored" = "$events" ] && break
  sleep 2
done
[ "$stored" = "$events" ] || fail "PostgreSQL holds $stored events of $guid, the record $events"

echo "upgrade to a newer package keeps the record and the settings"
mkdir -p "$work/newer"
(cd "$bin" && wixl -a x64 -D Version=99.0.0 -o "$work/newer/BrumevaleLogger-99.0.0-x64.msi" BrumevaleLogger.wxs)
rows=$(sql "SELECT COUNT(*) FROM ChangeEvents")
restart_session
"$wine" msiexec /i "$work/newer/BrumevaleLogger-99.0.0-x64.msi" /qn >/dev/null || fail "msiexec upgrade"
[ "$(sql "SELECT COUNT(*) FROM ChangeEvents")" -ge "$rows" ] || fail "rows lost"
[ "$(reg_value "$settings" Servers)" = "$urls" ] || fail "the upgrade lost the settings"
"$wine" reg export 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' "$work/products.reg" /reg:64 /y >/dev/null
products=$(iconv -f utf-16 -t utf-8 "$work/products.reg" | tr -d '\r')
[ "$(grep -c '^"DisplayName"="Brumevale"$' <<<"$products")" = 1 ] || fail "the upgrade left two products"
grep -q '^"DisplayVersion"="99.0.0"$' <<<"$products" || fail "the newer package is not the one installed"
collect
[ "$(psql_value "SELECT COUNT(*) FROM fleet_events WHERE machine_key = (SELECT machine_key FROM fleet_machine_keys WHERE machine_id = '$guid')")" -ge "$stored" ] || fail "rows lost"

echo "removal keeps the data; REMOVE_DATA=1 removes it"
restart_session
"$wine" msiexec /x "$work/newer/BrumevaleLogger-99.0.0-x64.msi" /qn >/dev/null || fail "msiexec /x"
for service in Brumevale BrumevaleExport BrumevaleLookout; do
  "$wine" reg query "HKLM\\SYSTEM\\CurrentControlSet\\Services\\$service" >/dev/null 2>&1 && fail "$service left"
done
[ -f "$data/Brumevale.data" ] || fail "removal took the record"
"$wine" msiexec /i "$work/newer/BrumevaleLogger-99.0.0-x64.msi" /qn >/dev/null || fail "msiexec /i again"
restart_session
"$wine" msiexec /x "$work/newer/BrumevaleLogger-99.0.0-x64.msi" /qn REMOVE_DATA=1 >/dev/null || fail "msiexec /x REMOVE_DATA=1"
[ ! -e "$data" ] || fail "REMOVE_DATA=1 left $data"
"$wine" reg query "$settings" /reg:64 >/dev/null 2>&1 && fail "REMOVE_DATA=1 left the settings"
echo "msi under Wine: passed"
