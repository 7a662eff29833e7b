#!/usr/bin/env python3
"""The fleet end to end against its baselines, each measured in the same run:
  100,000 events of 10 machines exported at once into a 3-node cluster's 3-replica
  stream  vs  the same messages published in a plain loop on one connection with up
  to 256 acknowledgements outstanding;
  the stream collected into PostgreSQL  vs  a plain COPY of the same rows into a
  table of the same layout.
Each figure is in events per second; ratios are ours over the baseline.
Usage: fleet_bench.py BRUMEVALE PUBLISH_BASELINE [WORK_DIR]"""

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

    def psql(self, command):
        subprocess.run(["psql", "-q", "-v", "ON_ERROR_STOP=1", self.conninfo, "-c", command],
                       stdout=subprocess.DEVNULL, check=True)

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


def main():
    brumevale, publish = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    os.environ.setdefault("BRUMEVALE", brumevale)  # the record helpers want the program
    from reader_bench import make_record  # a busy machine's record
    work = os.path.abspath(sys.argv[3] if len(sys.argv) > 3 else tempfile.mkdtemp(prefix="brumevale-fleet-bench-"))
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    os.chmod(work, 0o755)
    machines = [("BENCH-%02d" % i, os.path.join(work, "machine-%02d.data" % i)) for i in range(MACHINES)]
    for _, path in machines:
        make_record(path, EVENTS, 1000)
    servers = Servers(work)
    try:
        time.sleep(2)  # the cluster elects its JetStream leader
        args = [publish, servers.urls] + [x for name, path in machines for x in (path, name)]
        plain = subprocess.run(args, capture_output=True, text=True, check=True).stdout.split()
        publish_rate = int(plain[1]) / float(plain[0])
        export = timed([[brumevale, "export", "--server", servers.urls, path, "--machine", name]
                        for name, path in machines])
        collect = timed([[brumevale, "collect", "--server", servers.urls, "--database", servers.conninfo,
                          "--drain"]])
        total = MACHINES * EVENTS
        rows = os.path.join(work, "rows.copy")
        servers.psql("\\copy fleet_events TO '%s'" % rows)
        servers.psql("CREATE TABLE copied (LIKE fleet_events INCLUDING ALL)")
        copy = timed([["psql", "-q", servers.conninfo, "-c", "\\copy copied FROM '%s'" % rows]])
        report("export, 10 machines at once, 3-replica stream", total / export, publish_rate, 0.5)
        report("collect into PostgreSQL", total / collect, total / copy, 0.5)
        print("%-52s %9.0f events/s" % ("end to end (export, then collect)", total / (export + collect)))
    finally:
        servers.stop()


if __name__ == "__main__":
    main()
