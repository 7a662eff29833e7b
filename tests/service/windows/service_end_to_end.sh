#!/usr/bin/env bash
# BrumevaleLogger.exe as a real service under Wine, in a Wine prefix of its own:
# remove on a machine without it, install (twice), start through the service
# control manager with no driver port, let reg.exe and a file in the Startup
# folder change the machine and find each change recorded, stop; then start with
# the stand-in Filter Manager library beside it, let a test program change the
# machine, stop, read the database with sqlite3; then, in one running service, the
# stand-in's port refused, accepted and failing, and the service following it;
# remove. Every step checks what a
# user would look at: exit codes, service states, the registry, the UTF-16 log
# files, the database.
# Usage: service_end_to_end.sh BrumevaleLogger.exe service_probe.exe fltlib.dll
#                              change_maker.exe adapter_check.exe WORK_FOLDER
set -euo pipefail
logger_exe=$1 probe_exe=$2 standin_dll=$3 change_exe=$4 check_exe=$5 work=$6
wine=${BRUMEVALE_WINE:-wine}
sqlite=${BRUMEVALE_SQLITE3:-sqlite3}
# fltlib: a native library beside the program first (the stand-in, when it is
# there), Wine's own otherwise. Set before the service manager starts, whose
# environment every service inherits.
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;fltlib=n,b"

fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "== $*"; }
# A server left by an interrupted run would serve the new prefix too.
[ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null || true
rm -rf "$work"
mkdir -p "$work"
trap 'wineserver -k 2>/dev/null || true' EXIT
mkdir -p "$WINEPREFIX"
"$wine" wineboot --init >/dev/null 2>&1
# The prefix's first session ends before the test starts: a program started while
# Wine's service manager is still shutting down would bring up a second one.
wineserver -w

program_dir="$WINEPREFIX/drive_c/Program Files/Kelvra Security/Brumevale"
data_dir="$WINEPREFIX/drive_c/ProgramData/Kelvra Security/Brumevale"
mkdir -p "$program_dir"
cp "$logger_exe" "$program_dir/BrumevaleLogger.exe"
cp "$probe_exe" "$work/service_probe.exe"
cp "$check_exe" "$work/adapter_check.exe"
# Wine ends its service manager when the last program ends and starts the
# auto-start services again with the next one, as at a boot. One program held open
# for the whole run keeps one session and one manager, so that only this script
# starts the service.
"$wine" "$work/service_probe.exe" hold >"$work/hold.out" 2>&1 &
for _ in $(seq 300); do grep -q ready "$work/hold.out" && break; sleep 0.1; done
grep -q ready "$work/hold.out" || fail "Wine's service manager did not come up"

logger() { (cd "$program_dir" && "$wine" BrumevaleLogger.exe "$@"); }
probe() { "$wine" "$work/service_probe.exe" "$@" | tr -d '\r'; }
change() { "$wine" "$change_dir/change_maker.exe" "$@" || fail "change_maker $1 failed"; }
queue_dir="$WINEPREFIX/drive_c/ProgramData/BrumevaleStandInQueue"
# Waits until the service has taken every queued batch of records; the first batch
# waits for the start-up rescan of the whole registry, slow on a busy machine.
wait_for_queue() {
  for _ in $(seq 1200); do
    compgen -G "$queue_dir/*.rec" >/dev/null || return 0
    sleep 0.1
  done
  fail "the service did not take the queued driver records"
}
database="$data_dir/Brumevale.data"
query() { "$sqlite" -readonly -cmd ".timeout 5000" "$database" "$@"; }
# A log file as text, after checking that it is UTF-16 little-endian with its mark.
log_text() {
  [ -f "$1" ] || fail "no log file $1"
  [ "$(head -c 2 "$1" | od -An -tx1 | tr -d ' ')" = "fffe" ] || fail "$1 is not UTF-16LE with a BOM"
  iconv -f UTF-16 -t UTF-8 "$1" | tr -d '\r'
}
# The shell's size text of a file ("1023 bytes", "2.51 MB": three digits, cut).
size_text() {
  awk -v n="$(stat -c %s "$1")" 'BEGIN {
    if (n < 1024) { printf "%d bytes", n; exit }
    split("KB MB GB TB", unit, " "); d = 1024; u = 1
    while (u < 4 && n >= d * 1000) { d *= 1024; u++ }
    w = n / d; p = w < 10 ? 2 : w < 100 ? 1 : 0; s = 10 ^ p
    printf "%.*f %s", p, int(n * s / d) / s, unit[u] }'
}
# Every change after event $1 was made by the signed test program: its Processes row
# holds the program's real path, size and version strings, and its signature row
# the verdict of the machine's trust check.
check_live_attribution() {
  local expected got
  expected=$(printf '%s|%s|2.5.0.17|Autostart change maker|Orrindale Test Works|Change Maker|2.5.0.17|Orrindale Test Works Code Signing|Y\n' \
    "$change_path" "$(size_text "$change_dir/change_maker.exe")")
  got=$(query "SELECT p.PROCESS_PATH, p.FILE_SIZE, p.VERSION, p.DESCRIPTION, p.COMPANY_NAME,
                      p.PRODUCT_NAME, p.PRODUCT_VERSION, d.SIGNER_NAME, d.VALID
               FROM ChangeEvents e JOIN Processes p ON p.KEY = e.PROCESS_ENTRY_KEY
               LEFT JOIN DigitalSignatures d ON d.KEY = p.DIGITAL_SIGNATURE_KEY
               WHERE e.KEY > $1 AND e.EVENT_TYPE <> 9 ORDER BY e.KEY")
  [ "$got" = "$(for _ in 1 2 3 4; do echo "$expected"; done)" ] || {
    echo "expected four times: $expected" >&2
    fail "live changes not attributed to the test program: $got"; }
  # The Run value is added (13), changed (1) and deleted (2), one load point whose
  # row goes with the deletion; the startup file is added.
  got=$(query "SELECT e.EVENT_TYPE, COALESCE(l.ENTRY_NAME, 'removed')
               FROM ChangeEvents e LEFT JOIN LoadPoints l ON l.KEY = e.LOAD_POINT_KEY
               WHERE e.KEY > $1 AND e.EVENT_TYPE <> 9 ORDER BY e.KEY")
  [ "$got" = "$(printf '13|removed\n1|removed\n2|removed\n13|Brumevale test.url')" ] &&
    [ "$(query "SELECT COUNT(DISTINCT LOAD_POINT_KEY) FROM ChangeEvents
                WHERE KEY > $1 AND EVENT_TYPE IN (1, 2)")" = 1 ] ||
    fail "live changes recorded against other load points: $got"
}
expect_state() {
  local got
  got=$(probe state "$1")
  [ "$got" = "$2" ] || fail "service $1: state '$got', expected '$2'"
}
reg_value() { "$wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v n="$2" '$1 == n {print $NF}'; }

step "the test program, signed by a throw-away root that the machine trusts"
# A root, a code-signing certificate below it, and the test program signed with it;
# all made for this run and gone with its folder.
signing="$work/signing"
mkdir -p "$signing"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -keyout "$signing/root.key" \
  -out "$signing/root.pem" -subj "/CN=Orrindale Throwaway Test Root" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout "$signing/signer.key" -out "$signing/signer.csr" \
  -subj "/CN=Orrindale Test Works Code Signing/emailAddress=signing@orrindale.test" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=digitalSignature\nextendedKeyUsage=codeSigning\n' \
  >"$signing/signer.ext"
openssl x509 -req -days 2 -in "$signing/signer.csr" -CA "$signing/root.pem" \
  -CAkey "$signing/root.key" -CAcreateserial -extfile "$signing/signer.ext" \
  -out "$signing/signer.pem" 2>/dev/null
cat "$signing/signer.pem" "$signing/root.pem" >"$signing/chain.pem"
openssl x509 -in "$signing/root.pem" -outform DER -out "$signing/root.der"
# The program lives on the machine's C: drive, where its path is an ordinary one.
change_dir="$WINEPREFIX/drive_c/Orrindale Tools"
change_path='c:\orrindale tools\change_maker.exe'
mkdir -p "$change_dir"
osslsigncode sign -certs "$signing/chain.pem" -key "$signing/signer.key" -n "Change Maker" \
  -in "$change_exe" -out "$change_dir/change_maker.exe" >/dev/null || fail "signing failed"
"$wine" "$work/adapter_check.exe" add-root "$(winepath -w "$signing/root.der")" ||
  fail "the root could not be added to the machine's ROOT store"
check() { "$wine" "$work/adapter_check.exe" "$@" | tr -d '\r'; }
signed=$(check trust "$change_path")
grep -qx "status: 00000000" <<<"$signed" || fail "signed program not trusted: $signed"
grep -qx "signer: Orrindale Test Works Code Signing" <<<"$signed" || fail "signer: $signed"
grep -qx "issuer: Orrindale Throwaway Test Root" <<<"$signed" || fail "issuer: $signed"
grep -qx "status: 800b0100" <<<"$(check trust "$(winepath -w "$work/service_probe.exe")")" ||
  fail "an unsigned program was not reported as unsigned"
version=$(check version "$change_path")
grep -qx "FileVersion: 2.5.0.17" <<<"$version" && grep -qx "CompanyName: Orrindale Test Works" <<<"$version" ||
  fail "version resource: $version"

step "remove on a machine without the service"
logger -r || fail "-r exited with $?"
expect_state Brumevale absent

step "install from System32, where an elevated prompt starts"
(cd "$WINEPREFIX/drive_c/windows/system32" && "$wine" "$program_dir/BrumevaleLogger.exe" -i) ||
  fail "-i exited with $?"
install_log="$data_dir/Logs/BrumevaleLogger_Install_Log.txt"
log_text "$install_log" | grep -q "Service Install: SUCCESS" || fail "install log: no service success"
log_text "$install_log" | grep -q "Driver Install: SUCCESS" || fail "install log: no driver success"
expect_state Brumevale 1
expect_state BrumevaleLookout 1
driver_key='HKLM\SYSTEM\CurrentControlSet\Services\BrumevaleLookout'
[ "$(reg_value "$driver_key\\Instances\\AltitudeAndFlags" Altitude)" = 373495 ] ||
  fail "minifilter altitude not registered"
[ "$(reg_value "$driver_key\\Instances" DefaultInstance)" = AltitudeAndFlags ] ||
  fail "minifilter default instance not registered"
# The whole data of a value, spaces included.
reg_data() { "$wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }
program_folder='C:\Program Files\Kelvra Security\Brumevale'
image=$(reg_data 'HKLM\SYSTEM\CurrentControlSet\Services\Brumevale' ImagePath)
[ "${image,,}" = "\"${program_folder,,}\\brumevalelogger.exe\"" ] ||
  fail "service image path not the program's own, quoted: $image"
image=$(reg_data "$driver_key" ImagePath)
[ "${image,,}" = "${program_folder,,}\\brumevalelookout.sys" ] ||
  fail "driver image path not in the program folder, unquoted: $image"
saved=$(reg_data 'HKLM\SOFTWARE\Kelvra Security\Brumevale' ProgramPath)
[ "${saved,,}" = "${program_folder,,}" ] || fail "saved program path: $saved"

step "install again"
logger -i || fail "second -i exited with $?"
log_text "$install_log" | grep -q "Service Install: FAILED" || fail "install log: no failure on the second -i"
expect_state Brumevale 1

step "start without a driver port"
# No stand-in beside the program: Wine's own fltlib, which connects no port.
[ "$(probe start Brumevale)" = running ] || fail "the service did not reach the running state"
service_log="$data_dir/Logs/BrumevaleLogger_Log.txt"
for _ in $(seq 300); do
  log_text "$service_log" 2>/dev/null | grep -q "StartLogger: Failed to initialize driver connection." && break
  sleep 0.1
done
log_text "$service_log" | grep -q "StartLogger: Failed to initialize driver connection." ||
  fail "service log: no driver-connection failure"
sleep 1
expect_state Brumevale 4
# Without the port the service still records: the first rescan fills the database,
# then change notifications bring each change in, with no process known.
for _ in $(seq 1200); do
  [ -f "$database" ] && [ "$(query "SELECT (SELECT COUNT(*) FROM LoadPoints) > 0 AND
      EXISTS (SELECT 1 FROM ChangeEvents WHERE EVENT_TYPE = 9)" 2>/dev/null)" = 1 ] && break
  sleep 0.1
done
[ -f "$database" ] || fail "no database without the driver"
[ "$(query "SELECT COUNT(*) > 0 FROM LoadPoints")" = 1 ] ||
  fail "the first rescan without the driver found no load points"
[ "$(query "SELECT COUNT(*) > 0 FROM ChangeEvents WHERE EVENT_TYPE = 9")" = 1 ] ||
  fail "the first rescan without the driver noted no settings check"
# A change made by $2.. must reach ChangeEvents within 30 s as an event of type $1
# (with load point $NAME while its row exists), process 0, seen by a notification.
notified_change() {
  local type=$1 before started got ms; shift
  before=$(query "SELECT COALESCE(MAX(KEY), 0) FROM ChangeEvents")
  started=$(date +%s%N)
  "$@" >/dev/null || fail "the change '$*' could not be made"
  local match="SELECT COUNT(*) FROM ChangeEvents e
               JOIN EventOrigin o ON o.CHANGE_EVENT_KEY = e.KEY
               LEFT JOIN LoadPoints l ON l.KEY = e.LOAD_POINT_KEY
               WHERE e.KEY > $before AND e.EVENT_TYPE = $type AND o.ORIGIN = 2
                 AND e.PROCESS_ENTRY_KEY = 0${NAME:+ AND l.ENTRY_NAME = '$NAME'}"
  for _ in $(seq 300); do
    [ "$(query "$match")" = 1 ] && break
    sleep 0.1
  done
  got=$(query "SELECT e.EVENT_TYPE, e.PROCESS_ENTRY_KEY, COALESCE(o.ORIGIN, '-')
               FROM ChangeEvents e LEFT JOIN EventOrigin o ON o.CHANGE_EVENT_KEY = e.KEY
               WHERE e.KEY > $before AND e.EVENT_TYPE <> 9 ORDER BY e.KEY")
  [ "$(query "$match")" = 1 ] ||
    fail "'$*' did not reach the record as type $type, origin 2 within 30 s (events since: ${got:-none})"
  ms=$(( ($(date +%s%N) - started) / 1000000 ))
  echo "   type $type recorded $ms ms after: $*"
}
run_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
quiet_name='Brumevale driverless entry'
NAME=$quiet_name notified_change 13 "$wine" reg add "$run_key" /v "$quiet_name" /t REG_SZ \
  /d 'C:\Orrindale Tools\agent.exe'
NAME=$quiet_name notified_change 1 "$wine" reg add "$run_key" /v "$quiet_name" /t REG_SZ \
  /d 'C:\Orrindale Tools\agent.exe /changed' /f
notified_change 2 "$wine" reg delete "$run_key" /v "$quiet_name" /f
# The prefix spells the common Startup folder "StartUp"; the Linux side needs its
# own spelling of it.
startup_dir=$(find "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs" \
  -maxdepth 1 -iname startup)
[ -d "$startup_dir" ] || fail "the prefix has no common Startup folder"
drop_startup_file() { printf '[InternetShortcut]\r\nURL=file:///C:/Orrindale%%20Tools/agent.exe\r\n' >"$startup_dir/$1"; }
NAME='Brumevale driverless.url' notified_change 13 drop_startup_file 'Brumevale driverless.url'

step "stop"
stop_report=$(probe stop Brumevale 'Global\{E5AB9899-A93A-418f-B769-2D86975B21C8}') || {
  echo "$stop_report"; fail "the service did not stop"; }
echo "$stop_report"
grep -q "answer state 3 wait hint 3000" <<<"$stop_report" || fail "stop was not answered as pending"
grep -q "logger event signalled: yes" <<<"$stop_report" || fail "the logger event was not signalled"
elapsed=$(sed -n 's/^final state 1 after \([0-9]*\) ms$/\1/p' <<<"$stop_report")
[ -n "$elapsed" ] && [ "$elapsed" -le 3000 ] || fail "stopped late or not at all"

step "start with the stand-in driver library"
cp "$standin_dll" "$program_dir/fltlib.dll"
# A command line past 260 characters, non-Latin letters and a value name with quotes,
# in place before the service starts, so that its first rescan must find them.
long_dir='C:\Program Files\Ørsted Prüfwerk\研究所 ツール\Ελληνικά каталог'
for i in 1 2 3 4 5 6 7 8; do long_dir+="\\segment number $i of a deliberately long path"; done
run_name='Brumevale "quoted" entry'
run_data="\"$long_dir\\tool.exe\" /autostart"
[ ${#run_data} -gt 260 ] || fail "the test path is not long enough"
change set-run "$run_name" "$run_data"
[ "$(probe start Brumevale)" = running ] || fail "the service did not reach the running state"
change marker
wait_for_queue
stored=$(query "SELECT COMMAND_LINE FROM LoadPoints WHERE ENTRY_NAME = '${run_name//\'/\'\'}'")
[ "$stored" = "$run_data" ] || fail "Run value read back as '$stored', expected '$run_data'"
probe stop Brumevale 'Global\{E5AB9899-A93A-418f-B769-2D86975B21C8}' >/dev/null || fail "stop failed"
[ "$(query 'PRAGMA integrity_check')" = ok ] || fail "database integrity check failed"
# Every rescan notes that it checked the system settings (event type 9); anything
# else it writes is a change it found.
snapshot() {
  query "SELECT COUNT(*) FROM ChangeEvents WHERE EVENT_TYPE <> 9" \
        "SELECT * FROM LoadPoints ORDER BY KEY" "SELECT * FROM SystemSetting ORDER BY KEY"
}
# A start whose rescan must find the database as it was ($1 names what came before).
expect_quiet_rescan() {
  local before after
  before=$(snapshot)
  [ "$(probe start Brumevale)" = running ] || fail "the service did not start again"
  change marker
  wait_for_queue
  probe stop Brumevale 'Global\{E5AB9899-A93A-418f-B769-2D86975B21C8}' >/dev/null || fail "stop failed"
  after=$(snapshot)
  [ "$after" = "$before" ] || {
    diff <(echo "$before") <(echo "$after") >&2 || true
    fail "the rescan after $1 changed the database"; }
}

step "a second start rescans without changing anything"
expect_quiet_rescan "a restart"

step "changes while the service runs reach it as driver records"
[ "$(probe start Brumevale)" = running ] || fail "the service did not start again"
change marker
wait_for_queue
events() { query "SELECT COUNT(*) FROM ChangeEvents WHERE EVENT_TYPE <> 9"; }
release="$work/release"
# One live change: the program stays alive until the service has written the change
# (it reads who made it from the running process), then is let go.
live_change() {
  local count
  count=$(events)
  rm -f "$release"
  BRUMEVALE_CHANGE_RELEASE=$(winepath -w "$release") "$wine" "$change_dir/change_maker.exe" "$@" &
  local maker=$!
  for _ in $(seq 1200); do [ "$(events)" -gt "$count" ] && break; sleep 0.1; done
  touch "$release"
  wait "$maker" || fail "change_maker $1 failed"
  [ "$(events)" -gt "$count" ] || fail "the service did not record change_maker $1 live"
}
first_live=$(query "SELECT COALESCE(MAX(KEY), 0) FROM ChangeEvents")
live_name='Brumevale live entry'
live_change set-run "$live_name" 'C:\Orrindale Tools\agent.exe'
live_change set-run "$live_name" 'C:\Orrindale Tools\agent.exe /changed'
live_change delete-run "$live_name"
live_change startup-file 'Brumevale test.url'
probe stop Brumevale 'Global\{E5AB9899-A93A-418f-B769-2D86975B21C8}' >/dev/null || fail "stop failed"
[ "$(query 'PRAGMA integrity_check')" = ok ] || fail "database integrity check failed"
log_text "$data_dir/Logs/BrumevaleLogger_Log.txt" >/dev/null
check_live_attribution "$first_live"

step "a rescan after the live changes changes nothing"
expect_quiet_rescan "the live changes"

step "the driver's port refused, then accepted, then failing, in one running service"
# The stand-in plays a driver that is not loaded when the service starts, is loaded
# a little later (the port is tried again every minute) and then stops under the
# connected service. Each switch is logged and followed by one full rescan, whose
# settings check (type 9) marks its end.
mkdir -p "$queue_dir"
touch "$queue_dir/refuse-port"
log_count() { log_text "$service_log" | grep -c "$1" || true; }
wait_for_log() {
  for _ in $(seq $(( $3 * 10 ))); do [ "$(log_count "$1")" -gt "$2" ] && return 0; sleep 0.1; done
  fail "service log: no '$1' within $3 s"
}
checks() { query "SELECT COUNT(*) FROM ChangeEvents WHERE EVENT_TYPE = 9"; }
wait_for_rescan() {
  for _ in $(seq 1200); do [ "$(checks)" -gt "$1" ] && return 0; sleep 0.1; done
  fail "no rescan ended after $2"
}
rescans=$(checks)
[ "$(probe start Brumevale)" = running ] || fail "the service did not start with the port refused"
# The service log begins anew at each start.
wait_for_log "StartLogger: running without the driver (port error 0x80070002)" 0 60
wait_for_rescan "$rescans" "the start with the port refused"
NAME='Brumevale port refused' notified_change 13 "$wine" reg add "$run_key" /v 'Brumevale port refused' \
  /t REG_SZ /d 'C:\Orrindale Tools\agent.exe'
rescans=$(checks)
rm "$queue_dir/refuse-port"
wait_for_log "StartLogger: connected to the driver" 0 90
wait_for_rescan "$rescans" "the switch to the driver"
sleep 2
[ "$(checks)" = $((rescans + 1)) ] || fail "the switch to the driver ran $(( $(checks) - rescans )) rescans"
first_live=$(query "SELECT COALESCE(MAX(KEY), 0) FROM ChangeEvents")
live_change set-run 'Brumevale port accepted' 'C:\Orrindale Tools\agent.exe'
got=$(query "SELECT DISTINCT p.PROCESS_PATH FROM ChangeEvents e JOIN Processes p ON p.KEY = e.PROCESS_ENTRY_KEY
             WHERE e.KEY > $first_live AND e.EVENT_TYPE <> 9")
[ "$got" = "$change_path" ] || fail "after the switch to the driver the change was made by '$got'"
rescans=$(checks)
touch "$queue_dir/fail-exchange"
wait_for_log "StartLogger: the driver's port failed" 0 30
wait_for_rescan "$rescans" "the fall back from the driver"
NAME='Brumevale port failed' notified_change 13 "$wine" reg add "$run_key" /v 'Brumevale port failed' \
  /t REG_SZ /d 'C:\Orrindale Tools\agent.exe'
probe stop Brumevale 'Global\{E5AB9899-A93A-418f-B769-2D86975B21C8}' >/dev/null || fail "stop failed"
rm "$queue_dir/fail-exchange"
[ "$(query 'PRAGMA integrity_check')" = ok ] || fail "database integrity check failed"

step "a stop during a first rescan of 200,000 Run values ends inside the wait hint"
"$wine" "$change_dir/change_maker.exe" bulk-run 200000 || fail "the Run values were not written"
[ "$(probe start Brumevale)" = running ] || fail "the service did not start again"
# The engine's start runs the first rescan, many seconds for this key; the stop comes
# inside it.
sleep 2
stop_report=$(probe stop Brumevale 'Global\{E5AB9899-A93A-418f-B769-2D86975B21C8}') || {
  echo "$stop_report"; fail "the service did not stop"; }
echo "$stop_report"
elapsed=$(sed -n 's/^final state 1 after \([0-9]*\) ms$/\1/p' <<<"$stop_report")
[ -n "$elapsed" ] && [ "$elapsed" -le 3000 ] || fail "stopped late or not at all during the rescan"
log_text "$service_log" | grep -q "FullLoadPointScan: stopped; its changes were rolled back." ||
  fail "the stop did not come during the rescan (no rollback logged)"
[ "$(query "SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME LIKE 'Bulk%'")" = 0 ] ||
  fail "the stopped rescan left rows behind"
[ "$(query 'PRAGMA integrity_check')" = ok ] || fail "database integrity check failed"

step "remove"
logger -r || fail "-r exited with $?"
expect_state Brumevale absent
expect_state BrumevaleLookout absent
echo "service end to end: passed"
