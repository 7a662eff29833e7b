#!/usr/bin/env python3
"""Dump every table of a Brumevale.data ordered by its key, with the columns that hold
times blanked, so that two records of the same scenario can be compared with diff."""
import sqlite3, sys, re
TIME_COLUMNS = re.compile(r"(TIME|SINCE|FILE_CREATED|FILE_MODIFIED|FILE_ACCESSED)$")
STAMP = re.compile(r"\d{4}-\d\d-\d\d[ T]\d\d:\d\d:\d\d(\.\d+)?")


def shown(column, value):
    if value is not None and TIME_COLUMNS.search(column):
        return "<t>"
    return STAMP.sub("<t>", repr(value))
db = sqlite3.connect("file:%s?mode=ro" % sys.argv[1], uri=True)
for (table,) in db.execute("SELECT name FROM sqlite_master WHERE type='table' ORDER BY name"):
    if table == "sqlite_sequence":
        continue
    cols = [r[1] for r in db.execute("PRAGMA table_info(%s)" % table)]
    print("== %s (%s)" % (table, ", ".join(cols)))
    for row in db.execute("SELECT * FROM %s ORDER BY 1" % table):
        print("|".join(shown(c, v) for c, v in zip(cols, row)))
for (sql,) in db.execute("SELECT sql FROM sqlite_master WHERE sql IS NOT NULL ORDER BY name"):
    print(sql)
