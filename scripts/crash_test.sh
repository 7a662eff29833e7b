#!/usr/bin/env bash
# Kills the simulator with SIGKILL at random moments while the service runs its
# first rescan and a burst of live changes on a generated machine, and checks after
# every kill that nothing was lost or damaged:
#   - PRAGMA integrity_check of the database as the kill left it says "ok";
#   - in that database every live change of the burst that reached LoadPoints has
#     its change event, every change event its process row, and every process row
#     the event it was written for;
#   - the next run on the same image starts, rescans and stops cleanly;
#   - its LoadPoints rows equal, row by row, those of a clean run on the same image.
#
#   scripts/crash_test.sh [--kills N] [--seeds "S1 S2 ..."] [--load-points N]
#                         [--sim PATH] [--work DIR] [--keep] [--driverless]
#
# --driverless runs every simulation on the machine without its driver: the burst
# then reaches the record through change notifications, and the kills fall into
# their re-reads.
#
# The default is a short run of 3 kills (the test suite runs it); the full check is
# --kills 50. Every kill prints its seed; --seeds replays exactly those kills.
# A failed kill keeps its image under the work folder and ends with exit code 1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kills=3; seeds=""; points=5000; sim=""; work=""; keep=0; simflags=()
while (($#)); do
  case "$1" in
    --kills) kills=$2; shift 2 ;;
    --seeds) seeds=$2; shift 2 ;;
    --load-points) points=$2; shift 2 ;;
    --sim) sim=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    --driverless) simflags=(--driverless); shift ;;
    *) echo "crash_test.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
if [ -z "$sim" ]; then
  for candidate in "$root/build/release/src/sim/brumevale-sim" "$root/build/asan/src/sim/brumevale-sim"; do
    [ -x "$candidate" ] && { sim=$candidate; break; }
  done
fi
[ -x "$sim" ] || { echo "crash_test.sh: brumevale-sim not built (give --sim PATH)" >&2; exit 2; }
command -v sqlite3 >/dev/null || { echo "crash_test.sh: the sqlite3 shell is missing" >&2; exit 2; }
[ -n "$work" ] || work=$(mktemp -d "${TMPDIR:-/tmp}/brumevale-crash-XXXXXX")
mkdir -p "$work"
failed=0
cleanup() { ((keep || failed)) || rm -rf "$work"; }
trap cleanup EXIT

database() { echo "$1/drives/C/ProgramData/Kelvra Security/Brumevale/Brumevale.data"; }

# Every column a load point is known by; keys and times differ from run to run.
# Identities are compared exactly; command lines and display names as the service
# compares them, folding A to Z only (SQLite's lower() folds ASCII alone). A startup
# file recorded live keeps the folder as the writer spelled it ("...\Startup\x.lnk"),
# one found by a rescan the special folder's spelling ("...\StartUp\x.lnk"); the
# service treats both as the same command, and so does this comparison.
load_points() {
  sqlite3 -readonly "$(database "$1")" \
    "SELECT quote(LP_TYPE), quote(USER_ID), quote(ENTRY_NAME), quote(lower(COMMAND_LINE)), quote(lower(DISPLAY_NAME))
     FROM LoadPoints ORDER BY 1, 2, 3, 4, 5"
}

# The file as the kill left it, hot journal included, checked on a copy so that the
# service itself does the recovery at its next start.
integrity() {
  local db; db=$(database "$1")
  [ -f "$db" ] || { echo "no database yet"; return 0; }
  rm -f "$work/check.data" "$work/check.data-journal"
  cp "$db" "$work/check.data"
  [ ! -f "$db-journal" ] || cp "$db-journal" "$work/check.data-journal"
  sqlite3 "$work/check.data" "PRAGMA integrity_check"
}

# What the kill left, as the next start finds it (integrity ran first and rolled
# back a hot journal): live changes of the burst without their change events,
# change events without their process, process rows without the event they were
# written for. Prints nothing when there are none; before the first rescan has
# committed there is nothing to check. The burst adds BurstAgent values,
# points GenAgent values at C:\changed\ and deletes GenAgent values, all after
# the first rescan and before any other, so only live events can have made them.
live_orphans() {
  # A kill while the tables were being created leaves some of them missing; nothing
  # live has been written then.
  local tables
  tables=$(sqlite3 "$work/check.data" "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND
    name IN ('LoadPoints', 'ChangeEvents', 'ExtendedEvent', 'Processes')")
  [ "$tables" = 4 ] || return 0
  sqlite3 "$work/check.data" "
    SELECT 'added without its event: ' || ENTRY_NAME FROM LoadPoints l
     WHERE ENTRY_NAME LIKE 'BurstAgent%' AND NOT EXISTS (SELECT 1 FROM ChangeEvents c
       WHERE c.LOAD_POINT_KEY = l.KEY AND c.EVENT_TYPE = 13);
    SELECT 'changed without its event: ' || ENTRY_NAME FROM LoadPoints l
     WHERE ENTRY_NAME LIKE 'GenAgent%' AND COMMAND_LINE LIKE 'C:\changed\%' AND NOT EXISTS
       (SELECT 1 FROM ChangeEvents c WHERE c.LOAD_POINT_KEY = l.KEY AND c.EVENT_TYPE = 1);
    SELECT 'deleted without its event: ' || kept || ' rows + ' || removed || ' removals' FROM
      (SELECT (SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME LIKE 'GenAgent%') AS kept,
              (SELECT COUNT(*) FROM ChangeEvents c JOIN ExtendedEvent e ON e.CHANGE_EVENT_KEY = c.KEY
                WHERE c.EVENT_TYPE = 2 AND e.PARAM_1 LIKE 'GenAgent%') AS removed)
     WHERE kept + removed NOT IN (0, $runs);
    SELECT 'event without its process: ' || c.KEY FROM ChangeEvents c WHERE c.PROCESS_ENTRY_KEY > 0
       AND NOT EXISTS (SELECT 1 FROM Processes p WHERE p.KEY = c.PROCESS_ENTRY_KEY);
    SELECT 'process without its event: ' || p.KEY FROM Processes p WHERE NOT EXISTS
       (SELECT 1 FROM ChangeEvents c WHERE c.PROCESS_ENTRY_KEY = p.KEY);" | head -5
}

now_ms() { date +%s%3N; }

echo "crash test: $points generated load points, simulator $sim, work folder $work"
"$root/scripts/make_crash_machine.sh" "$work/base" "$work/burst.scenario" "$points"
# The generated Run values (make_crash_machine.sh takes 35% of the load points).
runs=$((points * 35 / 100))

# One undisturbed run sets the window in which the kills fall, and when the
# database appears in it (the boot before that has nothing to lose).
cp -r "$work/base" "$work/timing"
start=$(now_ms)
"$sim" run "$work/timing" "${simflags[@]}" --scenario "$work/burst.scenario" > "$work/timing.log" 2>&1 &
timing=$!
opened=""; burst_at=""; burst_end=""
while kill -0 "$timing" 2>/dev/null; do
  [ -n "$opened" ] || [ ! -f "$(database "$work/timing")" ] || opened=$(( $(now_ms) - start ))
  # The simulator says so once the first rescan is recorded; the burst follows, and
  # it says so again once the burst has been played.
  [ -n "$burst_at" ] || ! grep -q "^service started" "$work/timing.log" || burst_at=$(( $(now_ms) - start ))
  [ -n "$burst_end" ] || ! grep -q "^scenario played" "$work/timing.log" || burst_end=$(( $(now_ms) - start ))
  sleep 0.05
done
wait "$timing"
window=$(( $(now_ms) - start ))
opened=${opened:-0}; burst_at=${burst_at:-$opened}; burst_end=${burst_end:-$window}
rows=$(load_points "$work/timing" | wc -l)
echo "an undisturbed run takes $window ms (database created at $opened ms, burst from $burst_at to $burst_end ms) and records $rows load points"
rm -rf "$work/timing"

if [ -z "$seeds" ]; then
  for ((i = 0; i < kills; i++)); do seeds+="$(( (RANDOM << 15 | RANDOM) % 1000000 )) "; done
fi
set -- $seeds
total=$#; n=0; passed=0
for seed in "$@"; do
  n=$((n + 1))
  RANDOM=$seed
  # Every other kill falls into the fifth of the run after the database appeared:
  # the first rescan, which holds the longest transaction; the others into the
  # burst of live changes.
  if ((RANDOM % 2)); then
    delay=$(( opened + (RANDOM << 15 | RANDOM) % ((window - opened) / 5 + 1) ))
  else
    delay=$(( burst_at + (RANDOM << 15 | RANDOM) % (burst_end - burst_at + 1) ))
  fi
  victim="$work/kill-$seed"
  rm -rf "$victim" "$victim.reference"
  cp -r "$work/base" "$victim"
  "$sim" run "$victim" "${simflags[@]}" --scenario "$work/burst.scenario" > "$victim.killed.log" 2>&1 &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
  if kill -KILL "$pid" 2>/dev/null; then moment="killed at $delay ms"; else moment="ended before $delay ms"; fi
  wait "$pid" 2>/dev/null || true
  problem=""
  check=$(integrity "$victim")
  [ "$check" = "ok" ] || [ "$check" = "no database yet" ] || problem="integrity_check: $check"
  if [ -z "$problem" ] && [ "$check" = "ok" ]; then
    orphans=$(live_orphans)
    [ -z "$orphans" ] || problem="live rows out of step: $orphans"
  fi
  if [ -z "$problem" ] && ! "$sim" run "$victim" "${simflags[@]}" > "$victim.next.log" 2>&1; then
    problem="the next run failed (see $victim.next.log)"
  fi
  if [ -z "$problem" ]; then
    cp -r "$victim" "$victim.reference"
    rm -rf "$(dirname "$(database "$victim.reference")")"
    "$sim" run "$victim.reference" "${simflags[@]}" > "$victim.reference.log" 2>&1 || problem="the clean run failed"
  fi
  if [ -z "$problem" ] && ! diff <(load_points "$victim") <(load_points "$victim.reference") > "$victim.diff"; then
    problem="LoadPoints differ from a clean run's (see $victim.diff)"
  fi
  if [ -n "$problem" ]; then
    failed=1
    echo "kill $n/$total seed $seed, $moment: FAILED: $problem"
  else
    passed=$((passed + 1))
    echo "kill $n/$total seed $seed, $moment, database $check: LoadPoints equal a clean run's ($(load_points "$victim" | wc -l) rows)"
    rm -rf "$victim" "$victim.reference" "$victim".*.log "$victim.diff"
  fi
done
echo "crash test: $passed of $total kills recovered; seeds: $*"
exit $failed
