"""What brumevale does with files it cannot read, with layouts other than today's,
with a database the service holds locked, and with one the service is writing: one
line on standard error and exit 2 (3 for the lock), and the file byte-identical with
no journal of the reader's own beside it."""

import hashlib
import json
import os
import shutil
import sqlite3
import subprocess
import threading
import time
import unittest

import record_files as rf

ROWS = """
INSERT INTO Processes (KEY, PROCESS_PATH, PROCESS_FILE_NAME, VERSION, COMPANY_NAME, DIGITAL_SIGNATURE_KEY)
  VALUES (1, 'C:\\setup.exe', 'setup.exe', '1.0', 'Kelvra', 0);
INSERT INTO LoadPoints VALUES (1, 1, '', 'Updater', 'C:\\u.exe', 2, '2024-03-01 09:00:00', 0, '');
INSERT INTO ChangeEvents VALUES (1, '2024-03-01 09:00:00', 1, 1, 13);
INSERT INTO ChangeEvents VALUES (2, '2024-03-01 09:05:00', 0, 1, 1);
INSERT INTO ExtendedEvent VALUES (1, 1, 1, '1', 'Updater', '', '1', 'C:\\u.exe', '');
"""


def snapshot(folder):
    """Every file of the folder with its SHA-256."""
    out = {}
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if os.path.isfile(path):
            with open(path, "rb") as f:
                out[name] = hashlib.sha256(f.read()).hexdigest()
        else:
            out[name] = "folder"
    return out


class ReadOnlyInputs(unittest.TestCase):
    def setUp(self):
        self.folder = rf.temp_folder()
        self.db = os.path.join(self.folder, "Brumevale.data")

    def tearDown(self):
        shutil.rmtree(self.folder)

    def good_database(self, path=None):
        rf.make_database(path or self.db, rf.SCHEMA + ROWS)
        return path or self.db

    def assert_refused(self, path, *args, code=2):
        before = snapshot(self.folder)
        exit_code, out, err = rf.run(*args) if not path else rf.run(args[0], path, *args[1:])
        self.assertEqual(exit_code, code, err)
        self.assertEqual(len(err.splitlines()), 1, err)
        self.assertEqual(snapshot(self.folder), before)
        return err

    def test_each_bad_input_is_one_line_and_exit_2(self):
        self.assertIn("no such file", self.assert_refused(os.path.join(self.folder, "none.data"), "history"))
        os.mkdir(os.path.join(self.folder, "sub"))
        self.assertIn("folder", self.assert_refused(os.path.join(self.folder, "sub"), "inventory"))
        text = os.path.join(self.folder, "notes.txt")
        with open(text, "w") as f:
            f.write("this is not a database, just some text long enough to fill a header" * 20)
        self.assertIn("not a SQLite database", self.assert_refused(text, "history"))
        good = self.good_database()
        for command in ("history", "inventory", "html"):
            self.assertIn("unknown option", self.assert_refused(good, command, "--frobnicate"))
        self.assert_refused(None, "summary", good)
        self.assert_refused(good, "history", "--type", "Startup thing")
        self.assert_refused(good, "history", "--type", "66")
        self.assert_refused(good, "history", "--since", "yesterday")
        self.assert_refused(good, "history", "--until", "2024-13-01")
        self.assert_refused(good, "history", "--format", "xml")
        self.assert_refused(good, "history", "--since")
        self.assert_refused(good, "html", "-o", good)
        other = os.path.join(self.folder, "other.data")
        rf.make_database(other, "CREATE TABLE Notes (KEY INTEGER PRIMARY KEY, TEXT VARCHAR);")
        self.assertIn("ChangeEvents", self.assert_refused(other, "history"))

    def test_damaged_databases(self):
        good = self.good_database()
        with open(good, "rb") as f:
            data = f.read()
        truncated = os.path.join(self.folder, "truncated.data")
        with open(truncated, "wb") as f:
            f.write(data[: len(data) // 2])
        self.assert_refused(truncated, "history")
        corrupted = os.path.join(self.folder, "corrupted.data")
        with open(corrupted, "wb") as f:
            f.write(data[:4096] + bytes(range(256)) * ((len(data) - 4096) // 256))
        self.assert_refused(corrupted, "inventory")
        header = os.path.join(self.folder, "header.data")
        with open(header, "wb") as f:
            f.write(data[:16] + b"\xff" * 84 + data[100:])
        self.assert_refused(header, "history")

    def test_empty_databases_give_empty_results(self):
        empty = os.path.join(self.folder, "empty.data")
        open(empty, "wb").close()
        rf.make_database(self.db, rf.SCHEMA)
        for path in (empty, self.db):
            self.assertEqual(rf.run("history", path, "--format", "json"), (0, "", ""))
            self.assertEqual(rf.run("inventory", path, "--format", "json"), (0, "", ""))
            self.assertEqual(rf.run("history", path)[:2], (0, "No changes recorded.\n"))

    def test_legacy_and_older_layouts(self):
        legacy = rf.SCHEMA.replace("INDIRECTION_KEY INTEGER, DISPLAY_NAME VARCHAR",
                                   "INDIRECTION_KEY INTEGER, QUARANTINE_KEY INTEGER, DISPLAY_NAME VARCHAR")
        rf.make_database(self.db, legacy + ROWS.replace("0, '');", "0, 0, '');", 1))
        before = snapshot(self.folder)
        code, out, err = rf.run("inventory", self.db, "--format", "json")
        self.assertEqual(code, 0, err)
        self.assertEqual(json.loads(out)["commandLine"], "C:\\u.exe")
        self.assertEqual(snapshot(self.folder), before)
        older = os.path.join(self.folder, "older.data")
        rf.make_database(older, rf.SCHEMA.replace(", EVENT_TYPE INTEGER", "")
                         .replace(",\n  DOWNLOAD_DATA VARCHAR", "").replace(", DISPLAY_NAME VARCHAR", "")
                         .replace("CREATE TABLE ExtendedEvent", "CREATE TABLE Unused"))
        db = sqlite3.connect(older)
        db.execute("INSERT INTO LoadPoints VALUES (1, 1, '', 'Updater', 'C:\\u.exe', 1, '2024-03-01', 0)")
        db.execute("INSERT INTO ChangeEvents VALUES (1, '2024-03-01 09:00:00', 0, 1)")
        db.commit()
        db.close()
        code, out, err = rf.run("history", older, "--format", "json")
        self.assertEqual(code, 0, err)
        line = json.loads(out)
        self.assertEqual((line["entry"], line["newCommandLine"], line["type"]), ("Updater", "C:\\u.exe", "Run"))
        code, out, err = rf.run("inventory", older, "--format", "json")
        self.assertEqual((code, json.loads(out)["displayName"]), (0, ""))

    def test_a_lock_held_over_five_seconds_is_exit_3(self):
        good = self.good_database()
        holder = sqlite3.connect(good, isolation_level=None, check_same_thread=False)
        holder.execute("BEGIN EXCLUSIVE TRANSACTION")
        release = threading.Timer(8, holder.rollback)
        release.start()
        try:
            started = time.monotonic()
            code, out, err = rf.run("history", good)
            self.assertEqual(code, 3, err)
            self.assertEqual(len(err.splitlines()), 1)
            self.assertIn("locked", err)
            self.assertGreaterEqual(time.monotonic() - started, 4.5)
        finally:
            release.join()
            holder.close()
        self.assertEqual(rf.run("history", good)[0], 0)


class WhileTheServiceWrites(unittest.TestCase):
    def test_reading_while_a_scenario_plays(self):
        folder = rf.temp_folder()
        try:
            image = rf.copy_demo(folder)
            db = os.path.join(image, rf.DATABASE_IN_IMAGE)
            player = rf.play_demo(image, wait=False)
            seen = []
            while player.poll() is None:
                if os.path.exists(db):
                    code, out, err = rf.run("history", db, "--format", "json")
                    self.assertIn(code, (0, 3), err)
                    if code == 0:
                        seen.append([json.loads(line) for line in out.splitlines()])
                time.sleep(0.05)
            problems = player.stderr.read().decode()
            player.stderr.close()
            self.assertEqual(player.returncode, 0, problems)
            final = [json.loads(line) for line in rf.run("history", db, "--format", "json")[1].splitlines()]
            self.assertTrue(seen)
            # Every read is a beginning of the final history: events once read stay as they were.
            def facts(lines):
                return [(l["time"], l["eventType"], l["processPath"]) for l in lines]
            for lines in seen:
                self.assertEqual(facts(lines), facts(final[: len(lines)]))
        finally:
            shutil.rmtree(folder)


if __name__ == "__main__":
    unittest.main()
