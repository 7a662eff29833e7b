"""history --net over windows that add, change, remove and re-add a load point: the
net change of each load point, as comparing a scan at the window's start with one
at its end would give."""

import csv
import io
import json
import os
import shutil
import unittest

import record_files as rf

# Run value "Agent": added 09:00, changed 09:10, removed 09:20, added again 09:30
# with another command. "Blip": added and removed inside 09:00-09:20. "Tray"
# existed before the history and is changed at 09:10 by setup.exe.
HISTORY = """
INSERT INTO Processes (KEY, PROCESS_PATH, PROCESS_FILE_NAME, DIGITAL_SIGNATURE_KEY) VALUES
  (1, 'C:\\setup.exe', 'setup.exe', 0), (2, 'C:\\fix.exe', 'fix.exe', 0);
INSERT INTO ChangeEvents VALUES (1, '2024-03-01 09:00:00', 1, 1, 13), (2, '2024-03-01 09:05:00', 1, 2, 13),
  (3, '2024-03-01 09:10:00', 2, 1, 1), (4, '2024-03-01 09:10:00', 1, 3, 1),
  (5, '2024-03-01 09:15:00', 0, 2, 2), (6, '2024-03-01 09:20:00', 2, 1, 2),
  (7, '2024-03-01 09:30:00', 1, 4, 13);
INSERT INTO ExtendedEvent (CHANGE_EVENT_KEY, EX_EVENT_TYPE, PARAM_0, PARAM_1, PARAM_2, PARAM_3, PARAM_4, PARAM_5) VALUES
  (1, 1, '1', 'Agent', '', '1', 'C:\\a1.exe', ''), (2, 1, '1', 'Blip', '', '1', 'C:\\b.exe', ''),
  (3, 2, '1', 'Agent', '', '2', 'C:\\a2.exe', 'C:\\a1.exe'), (4, 2, '1', 'Tray', 'S-1-5-21-9', '1', 'C:\\t2.exe', 'C:\\t1.exe'),
  (5, 4, '1', 'Blip', '', '', 'C:\\b.exe', ''), (6, 4, '1', 'agent', '', '2', 'C:\\a2.exe', ''),
  (7, 1, '1', 'Agent', '', '1', 'C:\\a3.exe', '');
"""


class NetWindows(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = rf.temp_folder()
        cls.db = os.path.join(cls.folder, "Brumevale.data")
        rf.make_database(cls.db, rf.SCHEMA + HISTORY)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def net(self, since, until, form="json"):
        code, out, err = rf.run("history", self.db, "--net", "--format", form,
                                "--since", "2024-03-01 " + since, "--until", "2024-03-01 " + until)
        self.assertEqual(code, 0, err)
        if form != "json":
            return out
        return {(l["entry"].lower()): l for l in map(json.loads, out.splitlines())}

    def test_windows(self):
        whole = self.net("09:00", "09:59")
        self.assertEqual(sorted(whole), ["agent", "tray"])  # Blip came and went
        self.assertEqual((whole["agent"]["change"], whole["agent"]["oldCommandLine"], whole["agent"]["newCommandLine"]),
                         ("added", "", "C:\\a3.exe"))
        self.assertEqual(whole["agent"]["processes"], ["C:\\setup.exe", "C:\\fix.exe", "C:\\setup.exe"])
        self.assertEqual((whole["agent"]["firstTime"], whole["agent"]["lastTime"]),
                         ("2024-03-01T09:00:00", "2024-03-01T09:30:00"))  # no offset kept: ISO local time
        self.assertEqual((whole["tray"]["change"], whole["tray"]["oldCommandLine"], whole["tray"]["newCommandLine"],
                          whole["tray"]["user"]), ("changed", "C:\\t1.exe", "C:\\t2.exe", "S-1-5-21-9"))
        middle = self.net("09:10", "09:20")
        self.assertEqual((middle["agent"]["change"], middle["agent"]["oldCommandLine"]), ("removed", "C:\\a1.exe"))
        self.assertEqual(middle["blip"]["change"], "removed")
        readded = self.net("09:20", "09:30")
        self.assertEqual((readded["agent"]["change"], readded["agent"]["oldCommandLine"],
                          readded["agent"]["newCommandLine"]), ("changed", "C:\\a2.exe", "C:\\a3.exe"))
        self.assertEqual(self.net("09:40", "09:50"), {})

    def test_csv_and_text_carry_the_same(self):
        table = list(csv.DictReader(io.StringIO(self.net("09:00", "09:59", "csv"), newline="")))
        self.assertEqual([(r["entry"], r["change"], r["processes"]) for r in table],
                         [("Agent", "added", "C:\\setup.exe; C:\\fix.exe; C:\\setup.exe"),
                          ("Tray", "changed", "C:\\setup.exe")])
        text = self.net("09:00", "09:59", "text").splitlines()
        self.assertEqual(len(text), 2)
        self.assertTrue(text[0].startswith("added") and "Agent" in text[0])


if __name__ == "__main__":
    unittest.main()
