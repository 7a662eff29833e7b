"""The report page in a real headless chromium: it loads with no console error and
no network request, its row counts are the database's, the filter narrows the rows,
sorting by time reverses them, and value names holding markup show as text. Where
chromium is installed these tests fail rather than skip."""

import json
import os
import shutil
import sqlite3
import unittest

import record_files as rf
from browser import Browser

HOSTILE = [
    "<script>window.__ran = 1</script>",
    "<img src=x onerror=\"window.__ran = 2\">",
    "</script><script>window.__ran = 3</script>",
    "\"'><svg onload=window.__ran=4>",
]


def hostile_database(path, events):
    rf.make_database(path, rf.SCHEMA)
    db = sqlite3.connect(path)
    db.execute("INSERT INTO Processes (KEY, PROCESS_PATH, PROCESS_FILE_NAME, DIGITAL_SIGNATURE_KEY) "
               "VALUES (1, 'C:\\<b>evil</b>.exe', '<b>evil</b>.exe', 0)")
    for key in range(1, events + 1):
        name = HOSTILE[key % len(HOSTILE)] if key <= 40 else "Value %06d" % key
        minute = "2024-03-%02d %02d:%02d:%02d" % (1 + key // 86400, key // 3600 % 24, key // 60 % 60, key % 60)
        db.execute("INSERT INTO ChangeEvents VALUES (?, ?, ?, ?, 13)", (key, minute, key % 2, key))
        db.execute("INSERT INTO ExtendedEvent (CHANGE_EVENT_KEY, EX_EVENT_TYPE, PARAM_0, PARAM_1, PARAM_2, "
                   "PARAM_3, PARAM_4, PARAM_5) VALUES (?, 1, '1', ?, '', '1', ?, '')",
                   (key, name, "C:\\p%d.exe" % key))
        if key <= 60:
            db.execute("INSERT INTO LoadPoints VALUES (?, 1, '', ?, ?, ?, '2024-03-01 00:00:00', 0, '')",
                       (key, name, "C:\\p%d.exe" % key, key))
    db.commit()
    db.close()


class ReportPage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not shutil.which("chromium"):
            raise unittest.SkipTest("chromium is not installed (scripts/setup.sh installs it)")
        cls.folder = rf.temp_folder()
        cls.browser = Browser()

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        shutil.rmtree(cls.folder)

    def page_of(self, events, *options):
        db = os.path.join(self.folder, "record-%d.data" % events)
        if not os.path.exists(db):
            hostile_database(db, events)
        page = os.path.join(self.folder, "page-%d.html" % events)
        code, out, err = rf.run("html", db, "-o", page, *options)
        self.assertEqual(code, 0, err)
        self.browser.open(page)
        return db

    def count(self, section):
        return int(self.browser.run("return document.querySelector('#%s .count').dataset.shown" % section))

    def rows_in_dom(self, section):
        return self.browser.run("return document.querySelectorAll('#%s tbody tr').length" % section)

    def test_page_shows_every_row_as_text_and_runs_nothing(self):
        db = self.page_of(300, "--machine", "<i>DESK</i>")
        self.assertEqual(self.browser.console_errors(), [])
        self.assertEqual(self.browser.network_requests(), [])
        events = sqlite3.connect(db).execute("SELECT COUNT(*) FROM ChangeEvents").fetchone()[0]
        points = sqlite3.connect(db).execute("SELECT COUNT(*) FROM LoadPoints").fetchone()[0]
        self.assertEqual((self.count("timeline"), self.rows_in_dom("timeline")), (events, events))
        self.assertEqual((self.count("inventory"), self.rows_in_dom("inventory")), (points, points))
        self.assertIsNone(self.browser.run("return window.__ran"))
        self.assertEqual(self.browser.run("return document.getElementById('machine').textContent"), "<i>DESK</i>")
        cells = self.browser.run("return [...document.querySelectorAll('#timeline td')].map(td => td.textContent)")
        for name in HOSTILE:
            self.assertIn(name, cells)
        self.assertEqual(self.browser.run("return document.querySelectorAll('tbody script, tbody img, tbody svg').length"), 0)
        # The policy itself forbids remote loads, whatever a later change puts in the page.
        policy = self.browser.run("return document.querySelector('meta[http-equiv]').content")
        self.assertIn("default-src 'none'", policy)

    def test_filter_narrows_and_time_sort_reverses(self):
        self.page_of(300)
        first_times = self.browser.column("timeline", 0)
        self.assertEqual(first_times, sorted(first_times))
        self.browser.type_filter("value 00010")
        narrowed = self.count("timeline")
        self.assertEqual(narrowed, 10)  # Value 000100 to Value 000109
        self.assertEqual(self.rows_in_dom("timeline"), narrowed)
        self.browser.type_filter("")
        self.assertEqual(self.count("timeline"), 300)
        heading = "return document.querySelector('#timeline h2').textContent"
        self.assertEqual(self.browser.run(heading), "Changes, oldest first")
        self.browser.click_header("timeline", 0)
        self.assertEqual(self.browser.column("timeline", 0), list(reversed(first_times)))
        self.assertEqual(self.browser.run(heading), "Changes, newest first")
        self.browser.click_header("timeline", 1)
        self.assertEqual(self.browser.run(heading), "Changes, by event, A to Z")

    def test_filter_waits_for_a_pause_in_typing(self):
        self.page_of(300)
        self.browser.run("delete document.documentElement.dataset.filterRuns")
        self.browser.type_filter("value 000101")
        self.assertEqual(self.browser.run("return document.documentElement.dataset.filterRuns"), "1")
        self.assertEqual(self.count("timeline"), 1)

    def test_words_and_times_are_never_broken(self):
        self.page_of(300)
        styles = self.browser.run("const td = document.querySelector('#timeline td'); const s = getComputedStyle(td);"
                                  "return [s.wordBreak, s.overflowWrap, s.whiteSpace]")
        self.assertEqual(styles, ["normal", "normal", "nowrap"])  # the first cell is a time
        self.browser.driver.set_window_size(700, 900)
        # A time stays on one line however narrow the window.
        lines = self.browser.run("const range = document.createRange();"
                                 "range.selectNodeContents(document.querySelector('#timeline td'));"
                                 "return range.getClientRects().length")
        self.assertEqual(lines, 1)

    def test_beyond_five_thousand_rows_the_page_pages(self):
        db = self.page_of(12000)
        self.assertEqual(self.browser.console_errors(), [])
        self.assertEqual(self.count("timeline"), 12000)
        self.assertLessEqual(self.rows_in_dom("timeline"), 5000)
        self.browser.type_filter("value 0100")
        self.assertEqual(self.count("timeline"), 100)
        self.assertEqual(self.rows_in_dom("timeline"), 100)
        self.browser.type_filter("")
        # A pager above the table and one below, each with first, last and the page number.
        pagers = "return [...document.querySelectorAll('#timeline .pager')].filter(p => !p.hidden).length"
        self.assertEqual(self.browser.run(pagers), 2)
        self.browser.run("document.querySelectorAll('#timeline .pager')[1].querySelector('.last').click()")
        self.assertEqual(self.browser.run("return document.querySelector('#timeline .pager .number').value"), "12")
        self.assertEqual(self.browser.column("timeline", 3)[-1], "Value 012000")
        self.browser.run("document.querySelector('#timeline .pager .first').click()")
        self.assertEqual(self.browser.run("return document.querySelector('#timeline .pager .number').value"), "1")
        # Repeated texts travel once: the page stays small for its rows.
        page = os.path.join(self.folder, "page-12000.html")
        self.assertLess(os.path.getsize(page) / 12000, 150)


if __name__ == "__main__":
    unittest.main()
