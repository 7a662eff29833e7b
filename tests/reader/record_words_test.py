"""What the reader says of who, where and when, on small records written here with
the service's layout and its additive tables (EventOrigin, UtcOffsets, UserNames):
each case beside the same record without the table, which must read the old way."""

import csv
import io
import json
import os
import shutil
import sqlite3
import unittest

import record_files as rf

MAREN = "S-1-5-21-3623811015-3361044348-30300820-1001"
ADDITIVE = """
CREATE TABLE EventOrigin (CHANGE_EVENT_KEY INTEGER PRIMARY KEY, ORIGIN INTEGER, STATE_CHANGE INTEGER);
CREATE TABLE UtcOffsets (KEY INTEGER PRIMARY KEY AUTOINCREMENT, SINCE VARCHAR, OFFSET_MINUTES INTEGER);
CREATE TABLE UserNames (SID VARCHAR PRIMARY KEY, NAME VARCHAR, SINCE VARCHAR);
"""


def offline_record(path, additive):
    """The service stopped, VelaSync pointed at evil.exe, the service started: the
    rescan's own event for the row; a change seen by a notification; a service
    disabled and enabled again; a 40,000-character value; a per-user Run value."""
    rf.make_database(path, rf.SCHEMA + (ADDITIVE if additive else ""))
    db = sqlite3.connect(path)
    db.execute("INSERT INTO Processes (KEY, PROCESS_PATH, PROCESS_FILE_NAME, DIGITAL_SIGNATURE_KEY) "
               "VALUES (1, 'c:\\program files\\velanto\\sync\\velaupdate.exe', 'velaupdate.exe', 0)")
    events = [  # key, time, process, load point, type, ex type, lp type, entry, user, new, old
        (1, "2024-03-01 09:00:00", 1, 1, 1, 2, 1, "VelaSync", "", "C:\\vela.exe /quiet", "C:\\vela.exe"),
        (2, "2024-03-01 10:00:00", 0, 1, 1, 2, 1, "VelaSync", "", "C:\\Users\\Public\\evil.exe", "C:\\vela.exe /quiet"),
        (3, "2024-03-01 10:00:05", 0, 2, 13, 1, 1, "Notified", "", "C:\\n.exe", ""),
        (4, "2024-03-01 10:01:00", 1, 3, 2, 4, 12, "Spooler", "ControlSet001", "C:\\spoolsv.exe", ""),
        (5, "2024-03-01 10:02:00", 1, 4, 13, 1, 12, "Spooler", "ControlSet001", "C:\\spoolsv.exe", ""),
        (6, "2024-03-01 10:03:00", 1, 5, 13, 1, 1, "Padded", "", "C:\\p.exe " + "x" * 40000, ""),
        (7, "2024-03-01 10:04:00", 1, 6, 13, 1, 3, "Tallyo", MAREN, "C:\\tallyo.exe", ""),
    ]
    for key, time, process, point, kind, ex, lp, entry, user, new, old in events:
        db.execute("INSERT INTO ChangeEvents VALUES (?, ?, ?, ?, ?)", (key, time, process, point, kind))
        db.execute("INSERT INTO ExtendedEvent (CHANGE_EVENT_KEY, EX_EVENT_TYPE, PARAM_0, PARAM_1, PARAM_2, PARAM_3, "
                   "PARAM_4, PARAM_5) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                   (key, ex, str(lp), entry, user, str(process) if process else "", new, old))
    points = [(1, 1, "", "VelaSync", "C:\\Users\\Public\\evil.exe", 2 if additive else 1),
              (2, 1, "", "Notified", "C:\\n.exe", 3), (4, 12, "ControlSet001", "Spooler", "C:\\spoolsv.exe", 5),
              (7, 12, "ControlSet002", "Spooler", "C:\\spoolsv.exe", 0),
              (5, 1, "", "Padded", "C:\\p.exe " + "x" * 40000, 6), (6, 3, MAREN, "Tallyo", "C:\\tallyo.exe", 7),
              (8, 28, "maren", "Notes.lnk", "C:\\Users\\maren\\Startup\\Notes.lnk", 0)]
    for key, lp, user, entry, command, event in points:
        db.execute("INSERT INTO LoadPoints VALUES (?, ?, ?, ?, ?, ?, '2024-03-01 08:00:00', 0, '')",
                   (key, lp, user, entry, command, event))
    if additive:
        db.executemany("INSERT INTO EventOrigin VALUES (?, ?, ?)", [(2, 1, 0), (3, 2, 0), (4, 0, 1), (5, 0, 2)])
        db.execute("INSERT INTO UtcOffsets (SINCE, OFFSET_MINUTES) VALUES ('2024-03-01 08:00:00', 60)")
        db.execute("INSERT INTO UserNames VALUES (?, 'DESKTOP-7Q2M4LK\\maren', '2024-03-01 08:00:00')", (MAREN,))
    db.commit()
    db.close()


class RecordWords(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = rf.temp_folder()
        cls.db = os.path.join(cls.folder, "now.data")
        cls.older = os.path.join(cls.folder, "older.data")
        offline_record(cls.db, True)
        offline_record(cls.older, False)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def out(self, *args):
        code, out, err = rf.run(*args)
        self.assertEqual(code, 0, err)
        return out

    def events(self, db, *args):
        return [json.loads(l) for l in self.out("history", db, "--format", "json", *args).splitlines()]

    def test_an_offline_change_names_the_rescan_not_a_process(self):
        history = self.out("history", self.db)
        self.assertIn("by:  found by a rescan at 2024-03-01 10:00:00 +01:00: changed while nothing watched", history)
        self.assertIn("seen by a change notification; no driver, so no process is known", history)
        inventory = self.out("inventory", self.db)
        vela = inventory[inventory.index("  VelaSync"):].split("\n\n")[0]
        self.assertIn("found by a rescan at 2024-03-01 10:00:00 +01:00", vela)
        self.assertNotIn("velaupdate", vela)
        # The older record left the row on the live event: the process that wrote
        # another value is not credited with evil.exe.
        older = self.out("inventory", self.older)
        vela = older[older.index("  VelaSync"):].split("\n\n")[0]
        self.assertNotIn("velaupdate", vela)
        self.assertIn("changed after its last recorded change while nothing watched", vela)

    def test_disabled_and_enabled_again_are_not_removed_and_added(self):
        words = [e["event"] for e in self.events(self.db, "--entry", "Spooler")]
        self.assertEqual(words, ["disabled", "enabled again"])
        self.assertEqual([e["event"] for e in self.events(self.older, "--entry", "Spooler")], ["removed", "added"])
        # Over a window that ends before its return, the net change is the disabling.
        net = [json.loads(l) for l in self.out("history", self.db, "--net", "--format", "json", "--entry", "Spooler",
                                               "--until", "2024-03-01 10:01:30").splitlines()]
        self.assertEqual([n["change"] for n in net], ["disabled"])
        self.assertIn("disabled", self.out("history", self.db, "--net", "--entry", "Spooler", "--until", "2024-03-01 10:01:30"))

    def test_times_carry_the_offset_or_say_it_is_unknown(self):
        self.assertEqual(self.events(self.db)[0]["time"], "2024-03-01T09:00:00+01:00")
        self.assertEqual(self.events(self.older)[0]["time"], "2024-03-01T09:00:00")
        self.assertIn("2024-03-01 09:00:00 (offset unknown)", self.out("history", self.older))
        # 09:03:30 UTC is 10:03:30 at +01:00: only the event from then on. Without an
        # offset (the older record) a stored time is taken as UTC.
        later = self.events(self.db, "--since", "2024-03-01T09:03:30Z")
        self.assertEqual([e["entry"] for e in later], ["Tallyo"])
        self.assertEqual(self.events(self.db, "--since", "2024-03-01T10:03:30+01:00"), later)
        self.assertEqual(len(self.events(self.older, "--since", "2024-03-01T09:03:30Z")), 6)
        self.assertEqual(len(self.events(self.db, "--since", "2m")), 3)  # back from 10:04
        for bad in (("--since", "2024-02-30"), ("--since", "2024-03-02", "--until", "2024-03-01")):
            code, out, err = rf.run("history", self.db, *bad)
            self.assertEqual((code, out, len(err.splitlines())), (2, "", 1), bad)

    def test_one_name_per_user_and_control_sets_apart(self):
        by_name = self.events(self.db, "--user", "maren")
        self.assertEqual([(e["entry"], e["userName"]) for e in by_name], [("Tallyo", "DESKTOP-7Q2M4LK\\maren")])
        self.assertEqual(self.events(self.db, "--user", MAREN[-12:]), by_name)
        self.assertIn("[DESKTOP-7Q2M4LK\\maren (%s)]" % MAREN, self.out("history", self.db))
        self.assertEqual(self.events(self.older, "--user", "maren"), [])  # no names kept
        spooler = self.events(self.db, "--entry", "Spooler")[0]
        self.assertEqual((spooler["user"], spooler["controlSet"]), ("", "ControlSet001"))
        self.assertEqual(spooler["location"], "HKLM\\SYSTEM\\ControlSet001\\Services\\Spooler")
        inventory = [json.loads(l) for l in self.out("inventory", self.db, "--format", "json").splitlines()]
        self.assertEqual([p["controlSet"] for p in inventory if p["entry"] == "Spooler"], ["ControlSet001"])
        # A folder row's owner is the same user as the registry rows' SID.
        notes = next(p for p in inventory if p["entry"] == "Notes.lnk")
        self.assertEqual((notes["user"], notes["userName"]), (MAREN, "DESKTOP-7Q2M4LK\\maren"))
        self.assertEqual(notes["location"], "C:\\Users\\maren\\Startup")
        older = [json.loads(l) for l in self.out("inventory", self.older, "--format", "json").splitlines()]
        self.assertEqual(next(p["user"] for p in older if p["entry"] == "Notes.lnk"), "maren")
        tallyo = next(p for p in inventory if p["entry"] == "Tallyo")
        self.assertEqual(tallyo["location"], "HKU\\%s\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run" % MAREN)

    def test_a_value_beyond_the_buffers_is_flagged(self):
        padded = self.events(self.db, "--entry", "Padded")[0]
        self.assertTrue(padded["beyondBuffers"])
        self.assertEqual(len(padded["newCommandLine"]), 40009)
        self.assertFalse(self.events(self.db, "--entry", "Tallyo")[0]["beyondBuffers"])
        self.assertIn("note: value of 40009 characters: longer than the service's 2048-byte buffers",
                      self.out("history", self.db, "--entry", "Padded"))
        table = list(csv.DictReader(io.StringIO(self.out("history", self.db, "--format", "csv"), newline="")))
        self.assertEqual([r["beyondBuffers"] for r in table if r["entry"] == "Padded"], ["true"])

    def test_each_command_explains_itself(self):
        for command, option in (("history", "--since"), ("inventory", "--all-control-sets"), ("html", "-o FILE")):
            code, out, err = rf.run(command, "--help")
            self.assertEqual((code, err), (0, ""), command)
            self.assertIn(option, out)


if __name__ == "__main__":
    unittest.main()
