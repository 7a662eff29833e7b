#!/usr/bin/env bash
# The fleet demo: three NATS nodes with JetStream on loopback ports (one cluster), a
# PostgreSQL instance in a temporary folder, the demo scenario played on several
# simulated machines under different computer names, their records exported and
# collected, and the fleet's answers printed. Everything it starts is stopped again.
# Usage: scripts/fleet-demo.sh [PRESET]   (the build to use, release unless named)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-release}
scripts/setup.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target brumevale-sim brumevale >/dev/null
sim=build/$preset/src/sim/brumevale-sim
brumevale=build/$preset/src/brumevale/brumevale
pgbin=/usr/lib/postgresql/15/bin
work=$(mktemp -d /tmp/brumevale-fleet-demo-XXXXXX)
chmod 755 "$work"
pids=()

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
# PostgreSQL refuses to run as root, and CI runs as root.
as_owner() { if [ "$(id -u)" -eq 0 ]; then runuser -u nobody -- "$@"; else "$@"; fi; }
stop_all() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ -d "$work/pg/data" ] && as_owner "$pgbin/pg_ctl" -D "$work/pg/data" -m fast -w stop >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap stop_all EXIT

# Three NATS nodes, one cluster.
ports=() cports=() mports=()
for i in 0 1 2; do ports+=("$(free_port)"); cports+=("$(free_port)"); mports+=("$(free_port)"); done
urls=""
for i in 0 1 2; do
  routes=""
  for j in 0 1 2; do [ "$j" = "$i" ] || routes+="    nats-route://127.0.0.1:${cports[$j]}"$'\n'; done
  cat > "$work/n$i.conf" <<CONF
server_name: n$i
listen: 127.0.0.1:${ports[$i]}
http: 127.0.0.1:${mports[$i]}
jetstream { store_dir: "$work/js$i" }
cluster {
  name: brumevale-demo
  listen: 127.0.0.1:${cports[$i]}
  routes: [
$routes  ]
}
CONF
  nats-server -c "$work/n$i.conf" >"$work/n$i.log" 2>&1 &
  pids+=($!)
  urls+="${urls:+,}nats://127.0.0.1:${ports[$i]}"
done

# Waits until the first node's JetStream report (its monitoring port) satisfies a
# Python condition on it, d; fails after 30 s saying what was awaited.
await_jetstream() {
  local what=$1 condition=$2
  for _ in $(seq 1 300); do
    python3 - "http://127.0.0.1:${mports[0]}/jsz?accounts=true&streams=true" "$condition" <<'PY' && return 0
import json, sys, urllib.request
try:
    d = json.load(urllib.request.urlopen(sys.argv[1], timeout=1))
except Exception:
    sys.exit(1)
sys.exit(0 if eval(sys.argv[2], {"d": d}) else 1)
PY
    sleep 0.1
  done
  echo "fleet-demo: no $what after 30 s" >&2
  return 1
}
await_jetstream "JetStream meta leader" 'd.get("meta_cluster", {}).get("leader")'

# PostgreSQL in the temporary folder.
mkdir -p "$work/pg"
[ "$(id -u)" -eq 0 ] && chown nobody "$work/pg"
pgport=$(free_port)
as_owner "$pgbin/initdb" -D "$work/pg/data" -A trust -U postgres --no-sync >/dev/null
as_owner "$pgbin/pg_ctl" -D "$work/pg/data" -l "$work/pg/server.log" -w \
  -o "-p $pgport -k $work/pg -c listen_addresses=127.0.0.1" start >/dev/null
conninfo="host=127.0.0.1 port=$pgport user=postgres dbname=postgres"

# Four machines play the demo scenario at once, each under its own computer name.
names=(DESKTOP-7Q2M4LK LAB-PC-07 RECEPTION-01 BUILD-AGENT-3)
sims=()
for name in "${names[@]}"; do
  cp -r examples/demo-machine "$work/$name"
  sed -i "s/\"computerName\": \"[^\"]*\"/\"computerName\": \"$name\"/" "$work/$name/machine.json"
  "$sim" run "$work/$name" --scenario examples/demo.scenario >"$work/sim-$name.log" 2>&1 &
  sims+=($!)
done
for pid in "${sims[@]}"; do wait "$pid"; done

# The operator makes the streams and consumers, and the tables; the machines export
# once the stream has a leader.
"$brumevale" fleet setup --server "$urls" --max-bytes 1G >/dev/null
"$brumevale" fleet --database "$conninfo" migrate >/dev/null
await_jetstream "leader of the stream BRUMEVALE" \
  'any(s["name"] == "BRUMEVALE" and s.get("cluster", {}).get("leader")
       for a in d.get("account_details", []) for s in a.get("stream_detail", []))'
db="drives/C/ProgramData/Kelvra Security/Brumevale/Brumevale.data"
for name in "${names[@]}"; do
  # Each machine under an id of the MachineGuid's shape, made of its name.
  id=$(python3 -c 'import sys, uuid; print(uuid.uuid5(uuid.NAMESPACE_DNS, sys.argv[1]))' "$name")
  "$brumevale" export --server "$urls" "$work/$name/$db" --machine "$name" --machine-id "$id" &
  sims+=($!)
done
for pid in "${sims[@]}"; do wait "$pid"; done
"$brumevale" collect --server "$urls" --database "$conninfo" --drain

echo "== brumevale fleet machines"
"$brumevale" fleet --database "$conninfo" machines
echo
echo "== brumevale fleet new --unsigned (machine, time, type, entry; cut at 120 columns)"
"$brumevale" fleet --database "$conninfo" new --unsigned --format json | python3 -c '
import json, sys
for line in sys.stdin:
    r = json.loads(line)
    print(("%-15s %s %-24s %s" % (r["machine"], r["time"], r["type"], r["entry"] or ""))[:120])'

echo
echo "== brumevale fleet status"
"$brumevale" fleet --database "$conninfo" status --server "$urls"
