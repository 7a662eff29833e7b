"""brumevale's three commands on the database of a real simulator run of the demo,
each output compared field by field with the rows, read here with Python's own
sqlite3, json and csv modules."""

import csv
import io
import json
import os
import shutil
import subprocess
import unittest

import record_files as rf

EVENT_NAMES = {1: "changed", 2: "removed", 6: "rescan found changes", 7: "setting changed",
               8: "extension written", 9: "settings checked", 13: "added", 14: "extension deleted"}

EVENT_ROWS = """
SELECT c.KEY, c.EVENT_TIME, c.EVENT_TYPE, c.PROCESS_ENTRY_KEY, c.LOAD_POINT_KEY,
       e.EX_EVENT_TYPE, e.PARAM_0, e.PARAM_1, e.PARAM_2, e.PARAM_4, e.PARAM_5,
       l.LP_TYPE, l.ENTRY_NAME, l.USER_ID, l.COMMAND_LINE,
       p.PROCESS_PATH, p.PROCESS_FILE_NAME, p.VERSION, p.COMPANY_NAME,
       d.KEY AS SIG, d.SIGNER_NAME, d.VALID
FROM ChangeEvents c LEFT JOIN ExtendedEvent e ON e.CHANGE_EVENT_KEY = c.KEY
LEFT JOIN LoadPoints l ON l.KEY = c.LOAD_POINT_KEY
LEFT JOIN Processes p ON p.KEY = c.PROCESS_ENTRY_KEY
LEFT JOIN DigitalSignatures d ON d.KEY = p.DIGITAL_SIGNATURE_KEY AND p.DIGITAL_SIGNATURE_KEY > 0
ORDER BY c.KEY"""

POINT_ROWS = """
SELECT l.*, c.EVENT_TIME, c.PROCESS_ENTRY_KEY, p.PROCESS_PATH, i.COMMAND_LINE AS SERVER
FROM LoadPoints l LEFT JOIN ChangeEvents c ON c.KEY = l.CHANGE_EVENT_KEY
LEFT JOIN Processes p ON p.KEY = c.PROCESS_ENTRY_KEY
LEFT JOIN Indirection i ON i.KEY = l.INDIRECTION_KEY ORDER BY l.KEY"""


def json_lines(text):
    return [json.loads(line) for line in text.splitlines()]


def stored_time(iso):
    """The stored local time of an ISO 8601 time the reader wrote; the demo machine
    runs at UTC+01:00, which the service noted, so every time carries that offset."""
    assert iso == "" or iso.endswith("+01:00"), iso
    return iso[:19].replace("T", " ")


def stored_user(line):
    """The USER_ID the line was read from: a control set is kept apart, and a folder
    owner ("maren") is shown as the user its registry rows name (SID and name)."""
    if line["userName"] and not line["user"].startswith("S-1-"):
        return line["user"]
    if line["userName"] and line["type"] in ("Startup Folder", "User Startup Folder"):
        return line["userName"].split("\\")[-1]
    return line["user"] or line["controlSet"]


class DemoOutputs(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = rf.temp_folder()
        cls.image = rf.copy_demo(cls.folder)
        cls.db = rf.play_demo(cls.image)
        cls.events = rf.rows(cls.db, EVENT_ROWS)
        cls.points = rf.rows(cls.db, POINT_ROWS)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def history(self, *options):
        code, out, err = rf.run("history", self.db, *options)
        self.assertEqual(code, 0, err)
        return out

    def test_history_json_is_the_rows(self):
        lines = json_lines(self.history("--format", "json"))
        self.assertEqual(len(lines), len(self.events))
        self.assertGreater(len(lines), 20)
        # The service noted its users' names: a copied record still names them.
        names = {l["user"]: l["userName"] for l in lines if l["user"].startswith("S-1-5-21-")}
        self.assertTrue(names)
        self.assertEqual(set(names.values()) - {"DESKTOP-7Q2M4LK\\maren", "DESKTOP-7Q2M4LK\\tobias"}, set())
        for line, row in zip(lines, self.events):
            self.assertEqual(stored_time(line["time"]), row["EVENT_TIME"])
            self.assertEqual(line["eventType"], row["EVENT_TYPE"])
            self.assertIn(line["event"], (EVENT_NAMES[row["EVENT_TYPE"]], "disabled", "enabled again"))
            self.assertEqual(line["foundByRescan"], row["PROCESS_ENTRY_KEY"] == 0)
            if row["EX_EVENT_TYPE"]:
                self.assertEqual(line["loadPointType"], int(row["PARAM_0"]))
                # An event that names its entry by the display name takes the row's own name
                # while the row stands, with the display name beside it.
                self.assertIn(row["PARAM_1"], (line["entry"], line["displayName"]))
                self.assertEqual(stored_user(line), row["PARAM_2"])
                removed = row["EX_EVENT_TYPE"] == 4
                self.assertEqual(line["oldCommandLine" if removed else "newCommandLine"], row["PARAM_4"])
            elif row["EVENT_TYPE"] in (1, 2, 13) and row["LP_TYPE"] is not None:
                self.assertEqual((line["entry"], line["newCommandLine"]), (row["ENTRY_NAME"], row["COMMAND_LINE"]))
            if row["PROCESS_ENTRY_KEY"]:
                self.assertEqual(line["processPath"], row["PROCESS_PATH"])
                self.assertEqual(line["process"], row["PROCESS_FILE_NAME"])
                self.assertEqual(line["fileVersion"], row["VERSION"] or "")
                self.assertEqual(line["signer"], row["SIGNER_NAME"] if row["SIG"] else None)
                self.assertEqual(line["signatureValid"], (row["VALID"] == "Y") if row["SIG"] else None)
            else:
                self.assertIsNone(line["process"])

    def test_every_load_point_event_keeps_its_details(self):
        lines = json_lines(self.history("--format", "json"))
        for line, row in zip(lines, self.events):
            if row["EVENT_TYPE"] in (1, 2, 13):
                self.assertTrue(row["EX_EVENT_TYPE"], line)
                self.assertTrue(line["type"] and line["entry"], line)
        self.assertNotIn("details not kept", self.history())
        # The installer's shortcut is written under a temporary name and renamed;
        # maren deletes an old one. Each step names its entry and its process.
        startup = [(l["event"], l["entry"], l["process"]) for l in lines if l["type"] == "User Startup Folder"]
        self.assertEqual(startup, [("added", "PixelMoor.tmp", "pixelmoorsetup.exe"),
                                   ("removed", "PixelMoor.tmp", "pixelmoorsetup.exe"),
                                   ("added", "PixelMoor.lnk", "pixelmoorsetup.exe"),
                                   ("removed", "Notes Quick Capture.lnk", "explorer.exe")])

    def test_sim_report_prints_what_history_prints(self):
        report = subprocess.run([rf.BRUMEVALE_SIM, "report", self.image, "--json"], capture_output=True)
        self.assertEqual(report.stdout.decode(), self.history("--format", "json"))

    def test_history_csv_reads_back_as_the_json(self):
        lines = json_lines(self.history("--format", "json"))
        table = list(csv.DictReader(io.StringIO(self.history("--format", "csv"), newline="")))
        self.assertEqual(len(table), len(lines))
        for record, line in zip(table, lines):
            self.assertEqual(set(record.keys()), set(line.keys()))
            for name, value in line.items():
                shown = "" if value is None else (json.dumps(value) if isinstance(value, (bool, int)) else value)
                self.assertEqual(record[name], shown, name)

    def test_history_text_has_one_block_per_event(self):
        blocks = [l for l in self.history().splitlines() if not l.startswith(" ")]
        self.assertEqual(len(blocks), len(self.events))
        self.assertEqual([b[:19] for b in blocks], [r["EVENT_TIME"] for r in self.events])
        self.assertTrue(all(b[19:27] == " +01:00 " for b in blocks), blocks[0])

    def test_filters_combine(self):
        every = json_lines(self.history("--format", "json"))
        run_values = json_lines(self.history("--format", "json", "--type", "run"))
        self.assertTrue(run_values)
        self.assertEqual(run_values, [e for e in every if e["type"] == "Run"])
        self.assertEqual(json_lines(self.history("--format", "json", "--type", "1")), run_values)
        by_agent = json_lines(self.history("--format", "json", "--process", "PIXELMOORSETUP"))
        self.assertTrue(by_agent)
        self.assertEqual(by_agent, [e for e in every if e["processPath"] and "pixelmoorsetup" in e["processPath"].lower()])
        entry = json_lines(self.history("--format", "json", "--entry", "pixelmoor", "--type", "Run"))
        self.assertEqual(entry, [e for e in run_values if "pixelmoor" in e["entry"].lower()])
        unattributed = json_lines(self.history("--format", "json", "--unattributed"))
        self.assertEqual(unattributed, [e for e in every if e["process"] is None])
        middle = every[len(every) // 2]["time"]
        since = json_lines(self.history("--format", "json", "--since", middle))
        until = json_lines(self.history("--format", "json", "--until", middle))
        self.assertEqual(since, [e for e in every if e["time"] >= middle])
        self.assertEqual(until, [e for e in every if e["time"] <= middle])
        self.assertEqual(json_lines(self.history("--format", "json", "--since", "7d")), every)

    def test_net_lines_parse_and_name_current_load_points(self):
        net = json_lines(self.history("--net", "--format", "json"))
        self.assertTrue(net)
        # The event names a load point by its display name where it has one, so the
        # command line is what ties an addition to the row that stands now.
        current = {p["COMMAND_LINE"] for p in self.points}
        for line in net:
            # The demo disables a service: its net change says so rather than "removed".
            self.assertIn(line["change"], ("added", "changed", "removed", "disabled", "enabled again"))
            self.assertLessEqual(line["firstTime"], line["lastTime"])
            if line["change"] in ("added", "enabled again") and line["type"] not in ("System setting", "File extension"):
                self.assertIn(line["newCommandLine"], current)

    def test_inventory_json_is_the_rows(self):
        code, out, err = rf.run("inventory", self.db, "--format", "json", "--all-control-sets")
        self.assertEqual(code, 0, err)
        lines = sorted(json_lines(out), key=lambda line: line["key"])
        self.assertEqual(len(lines), len(self.points))
        for line, row in zip(lines, self.points):
            self.assertEqual(line["key"], row["KEY"])
            self.assertEqual((line["loadPointType"], line["entry"], stored_user(line), line["commandLine"]),
                             (row["LP_TYPE"], row["ENTRY_NAME"], row["USER_ID"], row["COMMAND_LINE"]))
            self.assertEqual(line["displayName"], row["DISPLAY_NAME"] or "")
            self.assertEqual(stored_time(line["firstRecorded"]), row["CREATION_TIME"])
            self.assertEqual(stored_time(line["lastChanged"]), row["EVENT_TIME"] or "")
            self.assertTrue(line["location"], line)
            self.assertEqual(line["indirectionCommandLine"], row["SERVER"] or "")
            self.assertEqual(line["processPath"], row["PROCESS_PATH"] if row["PROCESS_ENTRY_KEY"] else None)
        code, text, _ = rf.run("inventory", self.db)
        self.assertIn("Run\n", text)
        table = list(csv.DictReader(io.StringIO(rf.run("inventory", self.db, "--format", "csv", "--all-control-sets")[1],
                                                newline="")))
        self.assertEqual(sorted(int(r["key"]) for r in table), [p["KEY"] for p in self.points])
        # Rows by location, then entry.
        order = [(r["location"].lower(), r["entry"].lower()) for r in table]
        self.assertEqual(order, sorted(order))

    def test_inventory_leaves_other_control_sets_out(self):
        every = json_lines(rf.run("inventory", self.db, "--format", "json", "--all-control-sets")[1])
        current = json_lines(rf.run("inventory", self.db, "--format", "json")[1])
        sets = {line["controlSet"] for line in every if line["controlSet"]}
        self.assertGreater(len(sets), 1, sets)
        kept = {line["controlSet"] for line in current if line["controlSet"]}
        self.assertEqual(len(kept), 1)
        self.assertEqual(len(current), sum(1 for line in every if line["controlSet"] in ("", *kept)))

    def test_inventory_verify_checks_the_image_files(self):
        done = subprocess.run([rf.BRUMEVALE_SIM, "inventory", self.image, "--verify", "--format", "json",
                               "--all-control-sets"], capture_output=True, timeout=300)
        self.assertEqual(done.returncode, 0, done.stderr.decode())
        lines = json_lines(done.stdout.decode())
        self.assertEqual(len(lines), len(self.points))
        files = [l["file"] for l in lines]
        self.assertTrue(any(f["present"] for f in files))
        self.assertTrue(any(not f["present"] for f in files) or True)
        signed = {f["signer"] for f in files if f["present"] and f["signatureValid"]}
        for signer in signed:
            hidden = subprocess.run([rf.BRUMEVALE_SIM, "inventory", self.image, "--hide-signed-by", signer,
                                     "--format", "json", "--all-control-sets"], capture_output=True, timeout=300)
            kept = json_lines(hidden.stdout.decode())
            self.assertEqual(len(kept), sum(1 for f in files if not (f["signatureValid"] and f["signer"] == signer)))
        # Without the machine at hand, --verify is refused with one line.
        code, out, err = rf.run("inventory", self.db, "--verify")
        self.assertEqual((code, out, len(err.splitlines())), (2, "", 1))


if __name__ == "__main__":
    unittest.main()
