#!/usr/bin/python3
"""Prints the three statistics tables of a profile directory as JSON, read with dbfread.

Usage: read_tables.py PROFILE_DIRECTORY
Output: {"Players": [{FIELD: value, ...}, ...], "Kills": [...], "Missions": [...]}
A table whose file does not exist is null.
"""

import json
import os
import sys

import dbfread

directory = sys.argv[1]
out = {}
for table in ("Players", "Kills", "Missions"):
    path = os.path.join(directory, table + ".dbf")
    if not os.path.exists(path):
        out[table] = None
        continue
    # The engine stores text in the OEM code page.
    rows = dbfread.DBF(path, encoding="cp437", char_decode_errors="strict", load=True)
    out[table] = [dict(r) for r in rows.records]
    if len(rows.deleted) != 0:
        out[table + ".deleted"] = len(rows.deleted)
json.dump(out, sys.stdout)
