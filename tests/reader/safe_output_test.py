"""Hostile texts from the machine through every view: a value name a spreadsheet would
run as a formula, and one whose right-to-left override makes "invoice<RLO>fdp.exe" read
as "invoiceexe.pdf". The listing, the CSV of both commands and the page (in headless
chromium) show the stored text, neutralised and with the mark visible."""

import csv
import io
import json
import os
import shutil
import sqlite3
import unittest

import record_files as rf

FORMULA = "=cmd|' /C calc'!A0"
OVERRIDE = "invoice\u202efdp.exe"
SHOWN_OVERRIDE = "invoice<U+202E>fdp.exe"
HIDDEN = "\u200bplain\ufeff"


def hostile_database(path):
    rf.make_database(path, rf.SCHEMA)
    db = sqlite3.connect(path)
    for key, name, command in ((1, FORMULA, "-c calc"), (2, OVERRIDE, "C:\\Users\\Public\\" + OVERRIDE),
                               (3, HIDDEN, "@x")):
        db.execute("INSERT INTO ChangeEvents VALUES (?, '2024-03-01 10:00:0%d', 0, ?, 13)" % key, (key, key))
        db.execute("INSERT INTO ExtendedEvent (CHANGE_EVENT_KEY, EX_EVENT_TYPE, PARAM_0, PARAM_1, PARAM_2, "
                   "PARAM_3, PARAM_4, PARAM_5) VALUES (?, 1, '1', ?, '', '', ?, '')", (key, name, command))
        db.execute("INSERT INTO LoadPoints VALUES (?, 1, '', ?, ?, ?, '2024-03-01 10:00:00', 0, '')",
                   (key, name, command, key))
    db.commit()
    db.close()


class SafeOutput(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = rf.temp_folder()
        cls.db = os.path.join(cls.folder, "hostile.data")
        hostile_database(cls.db)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def output(self, *args):
        code, out, err = rf.run(*args)
        self.assertEqual(code, 0, err)
        return out

    def test_listings_show_the_marks(self):
        for command in ("history", "inventory"):
            text = self.output(command, self.db)
            self.assertIn(SHOWN_OVERRIDE, text)
            self.assertIn("<U+200B>plain<U+FEFF>", text)
            for mark in ("\u202e", "\u200b", "\ufeff"):
                self.assertNotIn(mark, text)

    def test_csv_cells_are_text_to_a_spreadsheet(self):
        for command in ("history", "inventory"):
            rows = list(csv.DictReader(io.StringIO(self.output(command, self.db, "--format", "csv"), newline="")))
            entries = [row["entry"] for row in rows]
            self.assertIn("'" + FORMULA, entries)
            self.assertIn(SHOWN_OVERRIDE, entries)
            for row in rows:
                for column, cell in row.items():
                    self.assertFalse(cell[:1] in ("=", "+", "-", "@", "\t", "\r"), (command, column, cell))
                    self.assertNotIn("\u202e", cell)

    def test_json_keeps_the_stored_text(self):
        entries = [json.loads(line)["entry"] for line in self.output("history", self.db, "--format", "json").splitlines()]
        self.assertEqual(entries, [FORMULA, OVERRIDE, HIDDEN])

    def test_page_shows_the_marks(self):
        if not shutil.which("chromium"):
            self.fail("chromium is not installed (scripts/setup.sh installs it)")
        from browser import Browser
        page = os.path.join(self.folder, "hostile.html")
        self.output("html", self.db, "-o", page)
        browser = Browser()
        try:
            browser.open(page)
            cells = browser.run("return [...document.querySelectorAll('td')].map(td => td.textContent)")
        finally:
            browser.quit()
        self.assertIn(SHOWN_OVERRIDE, cells)
        self.assertIn(FORMULA, cells)  # the page is no spreadsheet: the text stays as it is
        self.assertFalse(any("\u202e" in cell or "\u200b" in cell for cell in cells))


if __name__ == "__main__":
    unittest.main()
