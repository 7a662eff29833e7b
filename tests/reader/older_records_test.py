"""Events as an earlier service wrote them for startup shortcuts: no extended data,
and a deletion without its process. The reader says that these details were not
kept, and never passes such an event off as a rescan's finding."""

import json
import os
import shutil
import unittest

import record_files as rf

# A shortcut added and rewritten by setup.exe, then deleted (process 0, no details,
# its row gone); a Run value that a rescan found gone (its extended data without a
# process key); the rescan's summary.
ROWS = """
INSERT INTO Processes (KEY, PROCESS_PATH, PROCESS_FILE_NAME, VERSION, COMPANY_NAME, DIGITAL_SIGNATURE_KEY)
  VALUES (1, 'C:\\setup.exe', 'setup.exe', '1.0', 'Kelvra', 0);
INSERT INTO ChangeEvents VALUES (1, '2024-03-01 09:00:00', 1, 7, 13);
INSERT INTO ChangeEvents VALUES (2, '2024-03-01 09:00:01', 1, 7, 1);
INSERT INTO ChangeEvents VALUES (3, '2024-03-01 09:04:00', 0, 7, 2);
INSERT INTO ChangeEvents VALUES (4, '2024-03-01 09:05:00', 0, 8, 2);
INSERT INTO ExtendedEvent VALUES (1, 4, 4, '1', 'Updater', '', '', 'C:\\u.exe', '');
INSERT INTO ChangeEvents VALUES (5, '2024-03-01 09:05:00', 0, 0, 6);
"""


class OlderRecords(unittest.TestCase):
    def setUp(self):
        self.folder = rf.temp_folder()
        self.db = os.path.join(self.folder, "Brumevale.data")
        rf.make_database(self.db, rf.SCHEMA + ROWS)

    def tearDown(self):
        shutil.rmtree(self.folder)

    def run_ok(self, *args):
        code, out, err = rf.run(*args)
        self.assertEqual(code, 0, err)
        return out

    def test_bare_events_say_what_was_not_kept(self):
        blocks = self.run_ok("history", self.db).split("\n2024")
        self.assertEqual(len(blocks), 5)
        for block in blocks[:3]:
            self.assertIn("(details not kept)", block)
        self.assertIn("by:  setup.exe (C:\\setup.exe)", blocks[0])
        self.assertIn("by:  no process recorded", blocks[2])
        self.assertIn("Run                       Updater", blocks[3])
        self.assertIn("by:  found by a rescan, no process known", blocks[3])
        for block in blocks[:3]:
            self.assertNotIn("found by a rescan", block)

        lines = [json.loads(l) for l in self.run_ok("history", self.db, "--format", "json").splitlines()]
        self.assertEqual([l["foundByRescan"] for l in lines], [False, False, False, True, True])
        self.assertEqual([l["process"] for l in lines], ["setup.exe", "setup.exe", None, None, None])
        # Both removals are unattributed: neither names a process.
        unattributed = self.run_ok("history", self.db, "--unattributed", "--format", "json").splitlines()
        # An older record keeps no UTC offset: ISO local times, and the listing says so.
        self.assertEqual([json.loads(l)["time"] for l in unattributed],
                         ["2024-03-01T09:04:00", "2024-03-01T09:05:00", "2024-03-01T09:05:00"])
        self.assertIn("2024-03-01 09:04:00 (offset unknown)", self.run_ok("history", self.db))

        page = self.run_ok("html", self.db)
        self.assertIn('"no process recorded"', page)
        self.assertIn('"found by a rescan, no process known"', page)


if __name__ == "__main__":
    unittest.main()
