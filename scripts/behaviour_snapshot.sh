#!/usr/bin/env bash
# behaviour_snapshot.sh BUILD_DIR OUT_DIR: plays the demo scenario with the driver and the
# driverless scenario without it, and keeps every table (times blanked) and every reader
# output, so that two builds can be compared with `diff -r OUT_A OUT_B` when a change must
# leave the record as it was. Run from the repository's top folder. The demo scenario played
# without the driver is left out: its re-reads race the scenario, so its keys vary from run
# to run. The HTML view is left out too: it shares equal times between rows, so it varies
# with the wall clock.
set -uo pipefail
build=$(realpath "$1"); out=$(realpath -m "$2")
rm -rf "$out"; mkdir -p "$out"
blank() { sed -E -e 's/[0-9]{4}-[0-9]{2}-[0-9]{2}[ T][0-9]{2}:[0-9]{2}(:[0-9]{2})?(\.[0-9]+)?/<t>/g' -E -e 's/nonce(-|=")[0-9a-f]+/nonce\1N/g' ; }
play() {  # name, scenario, extra run options
  local name=$1 scenario=$2; shift 2
  local work=$out/work/$name img=$out/work/$name/img
  mkdir -p "$work"; cp -r examples/demo-machine "$img"
  scripts/prepare_demo_image.sh "$img" "$work" >/dev/null 2>&1
  "$build/src/sim/brumevale-sim" run "$img" --scenario "$scenario" "$@" 2>&1 | blank > "$out/$name.run.txt"
  local db="$img/drives/C/ProgramData/Kelvra Security/Brumevale/Brumevale.data"
  python3 scripts/record_digest.py "$db" > "$out/$name.tables.txt"
  "$build/src/sim/brumevale-sim" report "$img" 2>&1 | blank > "$out/$name.report.txt"
  "$build/src/sim/brumevale-sim" report "$img" --json 2>&1 | blank > "$out/$name.report.json"
  for f in text json csv; do
    "$build/src/brumevale/brumevale" history "$db" --format $f 2>&1 | blank > "$out/$name.history.$f"
    "$build/src/brumevale/brumevale" inventory "$db" --format $f 2>&1 | blank > "$out/$name.inventory.$f"
    "$build/src/sim/brumevale-sim" inventory "$img" --format $f --verify 2>&1 | blank > "$out/$name.inventory-verify.$f"
  done
  "$build/src/brumevale/brumevale" history "$db" --net 2>&1 | blank > "$out/$name.history-net.txt"
  "$build/src/brumevale/brumevale" history "$db" --unattributed 2>&1 | blank > "$out/$name.history-unattributed.txt"
}
play demo examples/demo.scenario
play driverless examples/driverless.scenario --driverless
rm -rf "$out/work"
