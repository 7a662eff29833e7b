#!/usr/bin/env python3
"""The fleet end to end against its baselines, each measured in the same run:
  100,000 events of 10 machines exported at once into a 3-node cluster's 3-replica
  stream  vs  the same messages published in a plain loop on one connection with up
  to 256 acknowledgements outstanding;
  the stream collected into PostgreSQL  vs  a plain COPY of the same rows into a
  table of the same layout.
Each figure is in events per second; ratios are ours over the baseline.
Then the fleet's queries over a generated fleet: SCALE_EVENTS (10,000,000; the
environment's FLEET_BENCH_EVENTS) events of 10,000 machines over a year in the
tables as `fleet migrate` makes them, each query run by the program with its plan
(from auto_explain) and its time, beside the same queries over the second layout's
tables (a text machine id and time in every row, no partitions, no counters) at
1,000,000 events; with the disk and the load time of each.
Usage: fleet_bench.py BRUMEVALE PUBLISH_BASELINE [WORK_DIR] [--queries-only]"""

import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(__file__))

MACHINES, EVENTS = 10, 10_000
PG = "/usr/lib/postgresql/15/bin"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def as_owner(command):
    """PostgreSQL refuses to run as root."""
    return (["runuser", "-u", "nobody", "--"] + command) if os.getuid() == 0 else command


class Servers:
    def __init__(self, work):
        self.work, self.nodes = work, []
        ports, routes = [free_port() for _ in range(3)], [free_port() for _ in range(3)]
        for i in range(3):
            others = "\n".join("    nats-route://127.0.0.1:%d" % routes[j] for j in range(3) if j != i)
            conf = os.path.join(work, "n%d.conf" % i)
            with open(conf, "w") as f:
                f.write('server_name: n%d\nlisten: 127.0.0.1:%d\njetstream { store_dir: "%s/js%d" }\n'
                        "cluster {\n  name: bench\n  listen: 127.0.0.1:%d\n  routes: [\n%s\n  ]\n}\n"
                        % (i, ports[i], work, i, routes[i], others))
            self.nodes.append(subprocess.Popen(["nats-server", "-c", conf], stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL))
        self.urls = ",".join("nats://127.0.0.1:%d" % p for p in ports)
        pg = os.path.join(work, "pg")
        os.makedirs(pg)
        if os.getuid() == 0:
            shutil.chown(pg, "nobody")
        self.pgdata, port = os.path.join(pg, "data"), free_port()
        subprocess.run(as_owner([PG + "/initdb", "-D", self.pgdata, "-A", "trust", "-U", "postgres", "--no-sync"]),
                       stdout=subprocess.DEVNULL, check=True)
        subprocess.run(as_owner([PG + "/pg_ctl", "-D", self.pgdata, "-l", pg + "/server.log", "-w", "-o",
                                 "-p %d -k %s -c listen_addresses=127.0.0.1" % (port, pg), "start"]),
                       stdout=subprocess.DEVNULL, check=True)
        self.conninfo = "host=127.0.0.1 port=%d user=postgres dbname=postgres" % port
        self.log = pg + "/server.log"

    def psql(self, command, database=None):
        subprocess.run(["psql", "-q", "-v", "ON_ERROR_STOP=1", self.on(database), "-c", command],
                       stdout=subprocess.DEVNULL, check=True)

    def value(self, command, database=None):
        return subprocess.run(["psql", "-qAtX", "-v", "ON_ERROR_STOP=1", self.on(database), "-c", command],
                              capture_output=True, text=True, check=True).stdout.strip()

    def on(self, database):
        return self.conninfo if database is None else self.conninfo.replace("dbname=postgres", "dbname=" + database)

    def stop(self):
        for node in self.nodes:
            node.terminate()
            node.wait()
        subprocess.run(as_owner([PG + "/pg_ctl", "-D", self.pgdata, "-m", "fast", "-w", "stop"]),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def timed(commands):
    """Runs the commands at once; the wall time until the last has ended."""
    started = time.perf_counter()
    running = [subprocess.Popen(c, stdout=subprocess.DEVNULL) for c in commands]
    if any(p.wait() != 0 for p in running):
        sys.exit("failed: %s" % commands)
    return time.perf_counter() - started


def report(label, ours, baseline, target):
    print("%-52s %9.0f events/s  baseline %9.0f events/s  ratio %.2fx (target >= %sx)"
          % (label, ours, baseline, ours / baseline, target))


FLEET_MACHINES = 10_000
SCALE_EVENTS = int(os.environ.get("FLEET_BENCH_EVENTS", "10000000"))
SECOND_LAYOUT_EVENTS = int(os.environ.get("FLEET_BENCH_SECOND_EVENTS", "1000000"))
DAYS = 360
CHUNK = 500_000

# The fields of a generated event: every tenth adds a load point, one in ten removes
# one, the rest change one; five thousand entries spread over the machines; one
# writer in seven unsigned. Each machine's events follow each other a few hours apart.
EVENT_FIELDS = r"""
  i %% %(machines)d + 1 AS mk, i / %(machines)d + 1 AS k,
  now() - interval '%(days)d days' + (i::float8 / %(events)d) * interval '%(days)d days' AS at,
  CASE i %% 10 WHEN 0 THEN 13 WHEN 1 THEN 2 ELSE 1 END AS t, i %% 5000 AS e, i %% 7 <> 0 AS signed
"""

def event_json(fields):
    """The event message's text, from the generated fields (SQL)."""
    return (r"""format('{"machine":"PC-%%s","machineId":"bench-%%s","key":%%s,"time":"%%s+01:00","event":"%%s",'
      '"eventType":%%s,"type":"Run","entry":"Agent%%s","user":"S-1-5-21-1-2-3-1001",'
      '"newCommandLine":"\"C:\\Program Files\\Vendor%%s\\agent.exe\" --tray",'
      '"processPath":"C:\\Program Files\\Vendor%%s\\setup.exe","signer":"Vendor %%s Ltd",'
      '"signatureValid":%%s,"raw":{"ChangeEvents":{"KEY":%%s,"EVENT_TIME":"%%s","EVENT_TYPE":%%s,'
      '"LOAD_POINT_KEY":%%s,"PROCESS_ENTRY_KEY":0}}}', lpad(mk::text, 5, '0'), mk, k, replace(%s, ' ', 'T'),
      CASE t WHEN 13 THEN 'added' WHEN 2 THEN 'removed' ELSE 'changed' END, t, e, e, e, e, signed::text, k, %s, t, e)"""
            % (fields, fields))

LOCAL_TIME = "to_char(at AT TIME ZONE 'UTC' + interval '1 hour', 'YYYY-MM-DD HH24:MI:SS')"

def load_third(servers, db, events):
    """The tables as fleet migrate makes them, filled as collectors would."""
    servers.psql("SELECT fleet_add_month(now() - make_interval(months => n)) FROM generate_series(1, 13) n", db)
    servers.psql("INSERT INTO fleet_machine_keys (machine_id) OVERRIDING SYSTEM VALUE "
                 "SELECT 'bench-' || m FROM generate_series(1, %d) m" % FLEET_MACHINES, db)
    fields = EVENT_FIELDS % {"machines": FLEET_MACHINES, "events": events, "days": DAYS}
    chunks = []
    for first in range(0, events, CHUNK):
        last = min(first + CHUNK, events) - 1
        chunks.append(["psql", "-q", "-v", "ON_ERROR_STOP=1", servers.on(db), "-c",
                       "INSERT INTO fleet_events SELECT mk, k, at, 60, t, e, 0, ev::jsonb, convert_to(ev, 'UTF8') "
                       "FROM (SELECT *, %s AS ev FROM (SELECT %s FROM generate_series(%d, %d) i) g) j; "
                       "INSERT INTO fleet_event_keys SELECT mk, k, at FROM (SELECT %s FROM generate_series(%d, %d) i) g"
                       % (event_json(LOCAL_TIME), fields, first, last, fields, first, last)])
    for pair in range(0, len(chunks), 2):  # two at once: the machine has two cores
        timed(chunks[pair:pair + 2])
    servers.psql(r"""
INSERT INTO fleet_machines (machine_id, machine_key, machine, last_key, last_event_time, last_event_at, last_offset,
  events, added, changed, removed, last_heard, last_added_at)
SELECT 'bench-' || machine_key, machine_key, 'PC-' || lpad(machine_key::text, 5, '0'), max(key),
  to_char(max(event_at) AT TIME ZONE 'UTC' + interval '1 hour', 'YYYY-MM-DD HH24:MI:SS'), max(event_at), 60,
  count(*), count(*) FILTER (WHERE event_type = 13), count(*) FILTER (WHERE event_type = 1),
  count(*) FILTER (WHERE event_type = 2), now() - (machine_key % 500 = 0)::int * interval '3 days',
  max(event_at) FILTER (WHERE event_type = 13)
FROM fleet_events GROUP BY machine_key""", db)
    load_inventory(servers, db)
    servers.psql("VACUUM ANALYZE", db)

def load_second(servers, db, events):
    """The second layout's tables and indexes, filled with the same kind of events."""
    servers.psql(r"""
CREATE TABLE fleet_events (machine_id text, machine text, key bigint, event_time text, event_type integer,
  load_point_key bigint, process_entry_key bigint, event jsonb, message bytea, unique (machine_id, key));
CREATE TABLE fleet_machines (machine_id text PRIMARY KEY, machine text, last_key bigint, last_event_time text,
  snapshot bigint);
CREATE TABLE fleet_inventory (machine_id text, machine text, snapshot bigint, load_point_key bigint, lp_type integer,
  user_id text, entry_name text, command_line text, load_point jsonb, PRIMARY KEY (machine_id, load_point_key));
CREATE INDEX fleet_events_added ON fleet_events (machine_id, event_time) WHERE event_type = 13;
CREATE EXTENSION IF NOT EXISTS pg_trgm;
CREATE INDEX fleet_inventory_entry_trgm ON fleet_inventory USING gin (lower(entry_name) gin_trgm_ops);
CREATE INDEX fleet_inventory_command_trgm ON fleet_inventory USING gin (lower(command_line) gin_trgm_ops);""", db)
    fields = EVENT_FIELDS % {"machines": FLEET_MACHINES, "events": events, "days": DAYS}
    chunks = []
    for first in range(0, events, CHUNK):
        last = min(first + CHUNK, events) - 1
        chunks.append(["psql", "-q", "-v", "ON_ERROR_STOP=1", servers.on(db), "-c",
                       "INSERT INTO fleet_events SELECT 'bench-' || mk, 'PC-' || lpad(mk::text, 5, '0'), k, %s, t, e, 0, "
                       "ev::jsonb, convert_to(ev, 'UTF8') FROM (SELECT *, %s AS ev FROM (SELECT %s FROM "
                       "generate_series(%d, %d) i) g) j" % (LOCAL_TIME, event_json(LOCAL_TIME), fields, first, last)])
    for pair in range(0, len(chunks), 2):
        timed(chunks[pair:pair + 2])
    servers.psql("INSERT INTO fleet_machines SELECT machine_id, min(machine), max(key), max(event_time), NULL "
                 "FROM fleet_events GROUP BY machine_id", db)
    load_inventory(servers, db)
    servers.psql("VACUUM ANALYZE", db)

def load_inventory(servers, db):
    """Twenty load points a machine, from the same five thousand entries."""
    servers.psql(r"""
INSERT INTO fleet_inventory (machine_id, machine, snapshot, load_point_key, lp_type, user_id, entry_name, command_line,
  load_point)
SELECT 'bench-' || m, 'PC-' || lpad(m::text, 5, '0'), 1, p, 1, 'S-1-5-18', 'Agent' || ((m * 20 + p) %% 5000),
  '"C:\Program Files\Vendor' || ((m * 20 + p) %% 5000) || '\agent.exe" --tray', '{}'::jsonb
FROM generate_series(1, %d) m, generate_series(1, 20) p""" % FLEET_MACHINES, db)

def disk(servers, db):
    return int(servers.value("SELECT sum(pg_total_relation_size(oid)) FROM pg_class "
                             "WHERE relkind = 'r' AND relname LIKE 'fleet%%'", db))

# The second layout's queries, as its program ran them.
SECOND_QUERIES = {
    "machines": """SELECT m.machine, m.machine_id, m.last_event_time, count(e.key),
       count(*) FILTER (WHERE e.event_type = 13), count(*) FILTER (WHERE e.event_type = 1),
       count(*) FILTER (WHERE e.event_type = 2)
FROM fleet_machines m LEFT JOIN fleet_events e USING (machine_id)
GROUP BY m.machine, m.machine_id, m.last_event_time ORDER BY m.machine, m.machine_id""",
    "new --since 24h": """WITH latest AS (SELECT machine_id, last_event_time AS t FROM fleet_machines)
SELECT e.machine, e.machine_id, e.event_time, e.event->>'type', e.event->>'entry', e.event->>'user',
       e.event->>'newCommandLine', e.event->>'processPath', e.event->>'signer', e.event->>'signatureValid'
FROM fleet_events e JOIN latest l USING (machine_id)
WHERE e.event_type = 13 AND e.event_time >= to_char(l.t::timestamp - '24 hours'::interval, 'YYYY-MM-DD HH24:MI:SS')
ORDER BY e.machine, e.machine_id, e.key""",
    "where agent4242": """SELECT machine, machine_id, lp_type, entry_name, user_id, command_line
FROM fleet_inventory, (SELECT '%agent4242%' AS pattern) p
WHERE lower(entry_name) LIKE p.pattern OR lower(command_line) LIKE p.pattern
ORDER BY machine, machine_id, load_point_key""",
    "history": """SELECT coalesce(convert_from(message, 'UTF8'), event::text) FROM fleet_events
WHERE machine_id = 'bench-4242' ORDER BY key""",
}

THIRD_QUERIES = {
    "machines": ["machines"],
    "new --since 24h": ["new", "--since", "24h"],
    "where agent4242": ["where", "agent4242"],
    "history": ["history", "--machine-id", "bench-4242"],
}

def explained(servers, db, sql):
    """EXPLAIN ANALYZE's plan, and its execution time in ms."""
    plan = servers.value("EXPLAIN (ANALYZE, BUFFERS) " + sql, db)
    return plan, float(plan.rsplit("Execution Time:", 1)[1].split()[0])

def logged_plans(servers, since):
    """The plans auto_explain wrote after offset since: (duration ms, plan) each."""
    with open(servers.log, errors="replace") as f:
        f.seek(since)
        text = f.read()
    plans = []
    for part in text.split("LOG:  duration: ")[1:]:
        ms = float(part.split(" ms", 1)[0])
        plans.append((ms, part.split("\n", 1)[1] if "\n" in part else ""))
    return plans

def queries(brumevale, servers):
    """The fleet queries over a generated fleet, both layouts; plans printed."""
    servers.psql("CREATE DATABASE second")
    started = time.perf_counter()
    load_second(servers, "second", SECOND_LAYOUT_EVENTS)
    second_load = time.perf_counter() - started
    servers.psql("CREATE DATABASE third")
    third = servers.on("third")
    subprocess.run([brumevale, "fleet", "--database", third, "migrate"], stdout=subprocess.DEVNULL, check=True)
    started = time.perf_counter()
    load_third(servers, "third", SCALE_EVENTS)
    third_load = time.perf_counter() - started
    print("second layout: %d events, loaded in %.0f s, %.2f GB on disk"
          % (SECOND_LAYOUT_EVENTS, second_load, disk(servers, "second") / 1e9))
    print("third layout:  %d events of %d machines, loaded in %.0f s, %.2f GB on disk"
          % (SCALE_EVENTS, FLEET_MACHINES, third_load, disk(servers, "third") / 1e9))
    explain = " options='-c session_preload_libraries=auto_explain -c auto_explain.log_min_duration=0 " \
              "-c auto_explain.log_analyze=on -c auto_explain.log_buffers=on'"
    for label, args in THIRD_QUERIES.items():
        for _ in range(2):  # the first run warms the cache; the second is reported
            since = os.path.getsize(servers.log)
            started = time.perf_counter()
            subprocess.run([brumevale, "fleet", "--database", third + explain] + args,
                           stdout=subprocess.DEVNULL, check=True)
            wall = (time.perf_counter() - started) * 1000
        plans = logged_plans(servers, since)
        ms, plan = max(plans) if plans else (float("nan"), "")
        explained(servers, "second", SECOND_QUERIES[label])
        old_plan, old_ms = explained(servers, "second", SECOND_QUERIES[label])
        print("\n== %-18s %8.1f ms in the database (%d statements, %.1f ms in all), %6.0f ms the whole command;"
              "  second layout at 1 M: %8.1f ms" % (label, ms, len(plans), sum(p[0] for p in plans), wall, old_ms))
        print(plan.rstrip())
        print("-- second layout:")
        print(old_plan)


def main():
    only_queries = "--queries-only" in sys.argv
    sys.argv = [a for a in sys.argv if a != "--queries-only"]
    brumevale, publish = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    os.environ.setdefault("BRUMEVALE", brumevale)  # the record helpers want the program
    from reader_bench import make_record  # a busy machine's record
    work = os.path.abspath(sys.argv[3] if len(sys.argv) > 3 else tempfile.mkdtemp(prefix="brumevale-fleet-bench-"))
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    os.chmod(work, 0o755)
    machines = [("BENCH-%02d" % i, os.path.join(work, "machine-%02d.data" % i)) for i in range(MACHINES)]
    for _, path in machines:
        if not only_queries:
            make_record(path, EVENTS, 1000)
    servers = Servers(work)
    try:
        if only_queries:
            queries(brumevale, servers)
            return
        for _ in range(50):  # the cluster elects its JetStream leader
            if subprocess.run([brumevale, "fleet", "setup", "--server", servers.urls, "--max-bytes", "8G"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0:
                break
            time.sleep(0.5)
        args = [publish, servers.urls] + [x for name, path in machines for x in (path, name)]
        plain = subprocess.run(args, capture_output=True, text=True, check=True).stdout.split()
        publish_rate = int(plain[1]) / float(plain[0])
        export = timed([[brumevale, "export", "--server", servers.urls, path, "--machine", name]
                        for name, path in machines])
        collect = timed([[brumevale, "collect", "--server", servers.urls, "--database", servers.conninfo,
                          "--drain"]])
        total = MACHINES * EVENTS
        rows = os.path.join(work, "rows.copy")
        # The rows as the collector sends them: the message bytes in bytea's escape format.
        subprocess.run(["psql", "-q", "-v", "ON_ERROR_STOP=1", servers.conninfo + " options='-c bytea_output=escape'",
                        "-c", "\\copy (SELECT * FROM fleet_events) TO '%s'" % rows], stdout=subprocess.DEVNULL, check=True)
        servers.psql("CREATE TABLE copied (LIKE fleet_events INCLUDING ALL)")
        copy = timed([["psql", "-q", servers.conninfo, "-c", "\\copy copied FROM '%s'" % rows]])
        report("export, 10 machines at once, 3-replica stream", total / export, publish_rate, 0.5)
        report("collect into PostgreSQL", total / collect, total / copy, 0.5)
        print("%-52s %9.0f events/s" % ("end to end (export, then collect)", total / (export + collect)))
        sys.stdout.flush()
        if SCALE_EVENTS > 0:  # FLEET_BENCH_EVENTS=0: the stages alone
            queries(brumevale, servers)
    finally:
        servers.stop()


if __name__ == "__main__":
    main()
