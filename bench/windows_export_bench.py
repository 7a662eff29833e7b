#!/usr/bin/env python3
"""brumevale.exe export under Wine against the Linux brumevale export, in the same run:
  one record of 30,000 events exported into a 3-node cluster's 3-replica stream,
  each program under its own machine name so that neither finds the other's
  messages; best of two runs each, the Wine prefix and its server started
  beforehand (a Windows machine has its system running already).
Figures in events per second; the ratio is the Windows program's over the Linux one's.
Usage: windows_export_bench.py LINUX_BRUMEVALE BRUMEVALE_EXE [WORK_DIR]"""

import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(__file__))

EVENTS, POINTS, RUNS = 30_000, 1000, 2


def main():
    linux, exe = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    os.environ.setdefault("BRUMEVALE", linux)  # the record helpers want the program
    from fleet_bench import Servers, report, timed
    from reader_bench import make_record
    work = os.path.abspath(sys.argv[3] if len(sys.argv) > 3 else tempfile.mkdtemp(prefix="brumevale-win-bench-"))
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    os.chmod(work, 0o755)
    record = os.path.join(work, "machine.data")
    make_record(record, EVENTS, POINTS)
    os.environ.update(WINEPREFIX=os.path.join(work, "prefix"), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    subprocess.run(["wine", "wineboot", "--init"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    wineserver = subprocess.Popen(["wineserver", "-f", "-p"])
    servers = Servers(work)
    try:
        import time
        # The operator's set-up, retried while the cluster elects its JetStream leader:
        # exporters never make the stream.
        for _ in range(60):
            if subprocess.run([linux, "fleet", "setup", "--server", servers.urls, "--max-bytes", "8G"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0:
                break
            time.sleep(0.5)
        else:
            sys.exit("windows_export_bench: fleet setup failed")
        best = {"linux": 0.0, "wine": 0.0}
        for run in range(RUNS):
            seconds = timed([[linux, "export", "--server", servers.urls, record, "--machine", "LINUX-%d" % run]])
            best["linux"] = max(best["linux"], EVENTS / seconds)
            seconds = timed([["wine", exe, "export", "--server", servers.urls, "Z:" + record.replace("/", "\\"),
                              "--machine", "WINE-%d" % run]])
            best["wine"] = max(best["wine"], EVENTS / seconds)
        report("export under Wine vs Linux, 3-replica stream", best["wine"], best["linux"], 0.5)
    finally:
        servers.stop()
        subprocess.run(["wineserver", "-k"], stderr=subprocess.DEVNULL)
        wineserver.wait()


if __name__ == "__main__":
    main()
