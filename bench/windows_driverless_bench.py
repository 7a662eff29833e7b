#!/usr/bin/env python3
"""BrumevaleLogger.exe under Wine without its driver against the same service with the
stand-in Filter Manager library as its driver, in one run and one Wine prefix:
  - latency: one process (change_maker bench-run) sets a Run value, the clock runs
    from the moment the benchmark hands it the change until the change is in a
    committed row of the database; 1,000 changes (ten values, each set again and
    again), a random pause of 5 to 25 ms after each commit so that the changes do
    not fall into step with the service's own waits; median and 99th percentile;
  - burst: 10,000 new Run values set as fast as the process can, from the moment
    the benchmark asks for them until the row of the last is committed, with the
    number of writing transactions the service committed meanwhile;
  - idle: once the first rescan has ended and before any change, the CPU time the
    service's process used over 60 s of wall time (and the Wine server's, which
    answers every registry call and wait the service makes), and the service's
    resident memory at the end of it; with --load-points=N as well on a prefix
    given N more Run values before the service starts.
Each configuration gets a fresh install (-i, started through the service control
manager, removed with -r afterwards), an empty data folder and the Run key emptied;
timing starts once the first rescan has ended. With the stand-in, the changer queues
the driver record of each set as the driver would send it (a burst's in batches of
100). A commit is seen from Linux: the database file's change counter (header offset
24, bumped once per writing transaction) is read every millisecond, and only when it
moves is the row looked for with a read-only connection. The time includes handing
the change to the Wine process through a pipe (well under a millisecond).
Ratios are without the driver over with it.
Usage: windows_driverless_bench.py BUILD_DIR [WORK_DIR] [--change-maker=EXE]
         [--changes=1000] [--burst=10000] [--idle=60] [--load-points=0]
BUILD_DIR is a Windows build folder (BrumevaleLogger.exe, service_probe.exe, the
stand-in fltlib.dll, change_maker.exe); --change-maker takes that program from
elsewhere."""

import os
import random
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import time

RUN_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
STOP_EVENT = r"Global\{E5AB9899-A93A-418f-B769-2D86975B21C8}"
CHANGE_TIMEOUT, BURST_TIMEOUT, START_TIMEOUT = 10.0, 600.0, 300.0


def options():
    args = {"changes": 1000, "burst": 10000, "idle": 60, "load-points": 0, "change-maker": None}
    positional = []
    for arg in sys.argv[1:]:
        if arg.startswith("--") and "=" in arg:
            name, value = arg[2:].split("=", 1)
            args[name] = value if name == "change-maker" else int(value)
        else:
            positional.append(arg)
    if not positional:
        sys.exit(__doc__)
    args["build"] = os.path.abspath(positional[0])
    args["work"] = os.path.abspath(positional[1] if len(positional) > 1 else
                                   tempfile.mkdtemp(prefix="brumevale-driverless-bench-"))
    return args


def fail(text):
    sys.exit("windows_driverless_bench: " + text)


def wine(*args, **kwargs):
    return subprocess.run(["wine", *args], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, **kwargs)


def wait_until(condition, timeout, poll=0.1):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(poll)
    return False


class Record:
    """The service's database seen from outside, as another program would see it."""

    def __init__(self, path):
        self.path = path

    def counter(self):
        try:
            with open(self.path, "rb") as f:
                header = f.read(28)
            return int.from_bytes(header[24:28], "big") if len(header) == 28 else -1
        except OSError:
            return -1

    def count(self, sql, *params):
        try:
            db = sqlite3.connect("file:%s?mode=ro" % self.path, uri=True, timeout=2)
            try:
                return db.execute(sql, params).fetchone()[0]
            finally:
                db.close()
        except sqlite3.Error:
            return -1

    def wait_for(self, want, timeout, poll, sql, *params):
        """Polls until sql counts at least want; the time it was first seen, or None."""
        deadline = time.monotonic() + timeout
        seen = None  # look once at the start whatever the counter says
        while time.monotonic() < deadline:
            now = self.counter()
            if now != seen:
                seen = now
                if self.count(sql, *params) >= want:
                    return time.monotonic()
            time.sleep(poll)
        return None


class Machine:
    """One Wine prefix with the service's program folder and one held session."""

    def __init__(self, args):
        self.args, self.work = args, args["work"]
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        prefix = os.path.join(self.work, "prefix")
        # fltlib: a native library beside the program first (the stand-in, when it is
        # there), Wine's own otherwise.
        os.environ.update(WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=;fltlib=n,b")
        wine("wineboot", "--init")
        subprocess.run(["wineserver", "-w"])
        self.program_dir = os.path.join(prefix, "drive_c/Program Files/Kelvra Security/Brumevale")
        self.data_dir = os.path.join(prefix, "drive_c/ProgramData/Kelvra Security/Brumevale")
        self.queue_dir = os.path.join(prefix, "drive_c/ProgramData/BrumevaleStandInQueue")
        self.changer = os.path.join(prefix, "drive_c/Orrindale Tools/change_maker.exe")
        os.makedirs(self.program_dir)
        os.makedirs(os.path.dirname(self.changer))
        build = args["build"]
        self.logger_exe = os.path.join(build, "src/service/windows/BrumevaleLogger.exe")
        tests = os.path.join(build, "tests/service/windows")
        self.standin = os.path.join(tests, "fltlib.dll")
        self.probe_exe = os.path.join(self.work, "service_probe.exe")
        shutil.copy(os.path.join(tests, "service_probe.exe"), self.probe_exe)
        shutil.copy(args["change-maker"] or os.path.join(tests, "change_maker.exe"), self.changer)
        # Wine ends its service manager with the last program; one program held open
        # keeps one session, so that only the benchmark starts the service.
        self.hold_out = open(os.path.join(self.work, "hold.out"), "w")
        self.hold = subprocess.Popen(["wine", self.probe_exe, "hold"], stdout=self.hold_out,
                                     stderr=subprocess.STDOUT)
        if not wait_until(lambda: "ready" in open(self.hold_out.name).read(), 30):
            fail("Wine's service manager did not come up")
        self.record = Record(os.path.join(self.data_dir, "Brumevale.data"))

    def probe(self, *args):
        return wine(self.probe_exe, *args).stdout.replace("\r", "").strip()

    def processes(self, name):
        """The ids of this prefix's processes whose command line holds name."""
        ids = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/environ" % pid, "rb") as f:
                    if ("WINEPREFIX=%s\0" % os.environ["WINEPREFIX"]).encode() not in f.read() + b"\0":
                        continue
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    if name.encode() in f.read():
                        ids.append(pid)
            except OSError:
                continue
        return ids

    def logger(self, *args):
        return wine(os.path.join(self.program_dir, "BrumevaleLogger.exe"), *args, cwd=self.program_dir)

    def start(self, driver, load_points=0):
        """A fresh install, started, its first rescan over; load_points more Run values
        made before it starts."""
        shutil.rmtree(self.data_dir, ignore_errors=True)
        shutil.rmtree(self.queue_dir, ignore_errors=True)
        wine("reg", "delete", RUN_KEY, "/va", "/f")
        if load_points and wine(self.changer, "bulk-run", str(load_points)).returncode != 0:
            fail("change_maker bulk-run failed")
        shutil.copy(self.logger_exe, self.program_dir)
        standin = os.path.join(self.program_dir, "fltlib.dll")
        if driver:
            shutil.copy(self.standin, standin)
        elif os.path.exists(standin):
            os.remove(standin)
        if self.logger("-i").returncode != 0:
            fail("-i failed")
        if self.probe("start", "Brumevale") != "running":
            fail("the service did not reach the running state")
        # Every rescan ends by noting its settings check (event type 9).
        if not wait_until(lambda: self.record.count("SELECT COUNT(*) FROM ChangeEvents WHERE EVENT_TYPE = 9") > 0,
                          START_TIMEOUT):
            fail("the first rescan did not end")

    def stop(self):
        if "final state 1" not in self.probe("stop", "Brumevale", STOP_EVENT):
            fail("the service did not stop")
        if self.logger("-r").returncode != 0:
            fail("-r failed")

    def close(self):
        self.hold.kill()
        subprocess.run(["wineserver", "-k"], stderr=subprocess.DEVNULL)
        self.hold.wait()
        self.hold_out.close()


def cpu_ticks(pid):
    try:
        with open("/proc/%s/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return int(fields[11]) + int(fields[12])  # utime + stime
    except OSError:
        return 0


def resident_kb(pid):
    try:
        with open("/proc/%s/status" % pid) as f:
            return next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))
    except (OSError, StopIteration):
        return 0


def idle(machine, seconds):
    """The service's and the Wine server's CPU over seconds of idle time, as a
    percentage of one core, and the service's resident memory at the end."""
    service, server = machine.processes("BrumevaleLogger.exe"), machine.processes("wineserver")
    if len(service) != 1 or len(server) != 1:
        fail("the service's or the Wine server's process was not found")
    time.sleep(2)  # the first rescan's last writes
    before = cpu_ticks(service[0]), cpu_ticks(server[0])
    started = time.monotonic()
    time.sleep(seconds)
    wall = time.monotonic() - started
    after = cpu_ticks(service[0]), cpu_ticks(server[0])
    tick = os.sysconf("SC_CLK_TCK")
    return {"idle_cpu": 100.0 * (after[0] - before[0]) / tick / wall,
            "idle_server_cpu": 100.0 * (after[1] - before[1]) / tick / wall,
            "resident_mb": resident_kb(service[0]) / 1024.0}


class Changer:
    """change_maker bench-run: one process making every change, one line each."""

    def __init__(self, machine, driver):
        self.process = subprocess.Popen(["wine", machine.changer, "bench-run", "records" if driver else "no-records"],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        text=True, bufsize=1)

    def send(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()

    def answered(self):
        if self.process.stdout.readline().strip() != "ok":
            fail("change_maker bench-run failed")

    def close(self):
        self.process.stdin.close()
        if self.process.wait() != 0:
            fail("change_maker bench-run exited with %d" % self.process.returncode)


def run(machine, args, driver):
    figures = {"missed": 0, "over100": 0}
    machine.start(driver)
    if args["idle"] > 0:
        figures.update(idle(machine, args["idle"]))
    changer = Changer(machine, driver)
    if driver:  # the process start's record taken: the driver knows the changer
        wait_until(lambda: not [f for f in os.listdir(machine.queue_dir) if f.endswith(".rec")]
                   if os.path.isdir(machine.queue_dir) else False, 60)
    # One untimed change first, in both configurations: the first clock must not
    # run while Wine is still starting change_maker (a few hundred milliseconds,
    # which without this wait used to show as one slow change without the driver).
    changer.send("set BenchWarmUp C:\\Program Files\\Bench\\warmup.exe")
    changer.answered()
    machine.record.wait_for(1, CHANGE_TIMEOUT, 0.01, "SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME = 'BenchWarmUp'")
    rng = random.Random(20261207)
    times = []
    tag = "drv" if driver else "none"
    for i in range(args["changes"]):
        name = "BenchValue%d" % (i % 10)
        tool = "%stool%d.exe" % (tag, i)
        started = time.monotonic()
        changer.send("set %s C:\\Program Files\\Bench\\%s" % (name, tool))
        seen = machine.record.wait_for(1, CHANGE_TIMEOUT, 0.001,
                                       "SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME = ? AND COMMAND_LINE LIKE ?",
                                       name, "%\\" + tool + "%")
        changer.answered()
        if seen is None:
            figures["missed"] += 1
        else:
            times.append((seen - started) * 1000)
            figures["over100"] += times[-1] > 100
        time.sleep(rng.uniform(0.005, 0.025))
    times.sort()
    if times:
        figures.update(median=times[len(times) // 2], p99=times[min(len(times) - 1, len(times) * 99 // 100)],
                       max=times[-1])
    if args["burst"] > 0:
        sql = "SELECT COUNT(*) FROM LoadPoints WHERE ENTRY_NAME LIKE 'BurstValue%'"
        counter = machine.record.counter()
        started = time.monotonic()
        changer.send("burst %d" % args["burst"])
        changer.answered()
        figures["burst_set"] = time.monotonic() - started
        seen = machine.record.wait_for(args["burst"], BURST_TIMEOUT, 0.01, sql)
        figures["burst_rows"] = machine.record.count(sql)
        figures["burst_commits"] = machine.record.counter() - counter
        figures["burst"] = seen - started if seen is not None else 0
    changer.close()
    machine.stop()
    return figures


def run_idle(machine, args, driver):
    """Idle only, on a prefix with the extra load points."""
    machine.start(driver, args["load-points"])
    figures = idle(machine, args["idle"])
    machine.stop()
    return figures


def print_idle(label, without, with_):
    print("%s: idle CPU %.2f%% of one core without the driver, %.2f%% with it: %.2fx (target <= 1.5x); the Wine "
          "server meanwhile %.2f%% and %.2f%%; resident memory %.1f MB and %.1f MB"
          % (label, without["idle_cpu"], with_["idle_cpu"], ratio(without["idle_cpu"], with_["idle_cpu"]),
             without["idle_server_cpu"], with_["idle_server_cpu"], without["resident_mb"], with_["resident_mb"]))


def ratio(value, baseline):
    return value / baseline if baseline else 0


def main():
    args = options()
    print("windows_driverless_bench: %d changes, a burst of %d, under Wine; without the driver (Wine's own "
          "Filter Manager library, no port) against the stand-in port" % (args["changes"], args["burst"]))
    machine = Machine(args)
    large = {}
    try:
        without = run(machine, args, False)
        with_ = run(machine, args, True)
        if args["idle"] > 0 and args["load-points"] > 0:
            large = {driver: run_idle(machine, args, driver) for driver in (False, True)}
    finally:
        machine.close()
    if "median" not in without or "median" not in with_:
        fail("no change reached the record (missed %d without, %d with)" % (without["missed"], with_["missed"]))
    print("change to commit, median: %.1f ms without the driver, %.1f ms with it: %.2fx (target < 100 ms)"
          % (without["median"], with_["median"], ratio(without["median"], with_["median"])))
    print("change to commit, 99th percentile: %.1f ms without the driver, %.1f ms with it: %.2fx (target < 1000 ms)"
          % (without["p99"], with_["p99"], ratio(without["p99"], with_["p99"])))
    print("change to commit, slowest: %.1f ms without the driver, %.1f ms with it; over 100 ms: %d without, %d with; "
          "not seen within %d s: %d without, %d with" % (without["max"], with_["max"], without["over100"],
                                                         with_["over100"], CHANGE_TIMEOUT, without["missed"],
                                                         with_["missed"]))
    if args["burst"] > 0:
        print("burst of %d values, first set to last commit: %.2f s without the driver (%d rows), %.2f s with it "
              "(%d rows): %.2fx (target <= 1.0x); the sets alone took %.2f s and %.2f s, the service committed "
              "%d and %d transactions" % (args["burst"], without["burst"], without["burst_rows"], with_["burst"],
                                          with_["burst_rows"], ratio(without["burst"], with_["burst"]),
                                          without["burst_set"], with_["burst_set"], without["burst_commits"],
                                          with_["burst_commits"]))
    if args["idle"] > 0:
        print_idle("idle, %d s, default prefix" % args["idle"], without, with_)
    if large:
        print_idle("idle, %d s, %d more Run values" % (args["idle"], args["load-points"]), large[False], large[True])
    return 0 if not without["missed"] and not with_["missed"] else 1


if __name__ == "__main__":
    sys.exit(main())
