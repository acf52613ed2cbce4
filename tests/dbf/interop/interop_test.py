#!/usr/bin/python3
"""Interoperability of the DBF engine with independent dBASE readers and writers.

Files written by the engine (through the in-memory table's WriteToDisk and through the
vexmoor-dbf tool) must read back identically with dbfread; files written by the `dbf`
package must open in the engine with the same values.

Usage: interop_test.py TOOL HELPER WORKDIR
  TOOL    the vexmoor-dbf executable
  HELPER  the dbf_interop_helper executable (TTzVFile round trips)
"""

import csv
import datetime
import io
import os
import subprocess
import sys

try:
    import dbf
    import dbfread
except ImportError as exc:  # pragma: no cover - reported as a test failure
    print(f"missing Python package: {exc.name} (install python3-dbf and python3-dbfread)")
    sys.exit(1)

TOOL, HELPER, WORKDIR = sys.argv[1], sys.argv[2], sys.argv[3]
os.makedirs(WORKDIR, exist_ok=True)

passed = 0
failed = 0


def check(cond, what):
    global passed, failed
    if cond:
        passed += 1
    else:
        failed += 1
        print(f"FAIL: {what}")


def run(args, stdin=None):
    proc = subprocess.run(args, input=stdin, capture_output=True, text=True)
    if proc.returncode != 0:
        raise RuntimeError(f"{args} exited {proc.returncode}: {proc.stderr}")
    return proc.stdout


# Field definitions: the players table of the statistics plus a logical and a date field.
DEFS = [
    "Name,C,30,0",
    "dbID,N,10,0",
    "GameID,N,4,0",
    "Connect,N,20,13",
    "TotalTime,N,20,13",
    "LastTime,C,19,0",
    "Score,N,10,0",
    "AdjScore,N,12,4",
    "Active,L,1,0",
    "Seen,D,8,0",
]

ROWS = [
    ["Bob", "1", "2049", "45321.5123456789012345", "0.0625", "02/29/2024 13:05:09", "-17",
     "3.14159", "T", "2024-02-29"],
    ["A name that is much longer than thirty characters", "2", "0", "0", "1.5",
     "", "2147483647", "-1.23456", "F", ""],
    ["", "0", "0", "0", "0", "", "0", "0", "F", "1999-12-31"],
    ["Trailing  ", "-999999999", "9999", "36498.5", "12345.0000000000001", "x", "5",
     "99999.9999", "T", "2000-01-01"],
]


def parse_def(d):
    name, typ, width, dec = [x.strip() for x in d.split(",")]
    return name[:10].upper(), typ.upper(), int(width), int(dec)


FIELDS = [parse_def(d) for d in DEFS]


def expected_value(field, text):
    """The value a reader must find once `text` went through the engine."""
    name, typ, width, dec = field
    if typ == "C":
        return text[:width].rstrip()
    if typ == "N" and dec == 0:
        return int(text)
    if typ == "N":
        return round(float(text), dec)
    if typ == "L":
        return text == "T"
    if typ == "D":
        return datetime.date.fromisoformat(text) if text else None
    raise ValueError(typ)


def same(field, got, want):
    name, typ, width, dec = field
    if typ == "N" and dec > 0:
        return got is not None and abs(float(got) - want) <= 0.5 * 10 ** -dec + 1e-9 * abs(want)
    if typ == "C":
        return (got or "").rstrip() == want
    return got == want


def compare_dbfread(path, rows, label):
    table = dbfread.DBF(path, encoding="cp437", char_decode_errors="strict")
    check([f.name for f in table.fields] == [f[0] for f in FIELDS], f"{label}: field names")
    for f, spec in zip(table.fields, FIELDS):
        check((f.type, f.length, f.decimal_count) == (spec[1], spec[2], spec[3]),
              f"{label}: descriptor of {f.name}")
    records = list(table)
    check(len(records) == len(rows), f"{label}: {len(records)} records, want {len(rows)}")
    for i, (rec, row) in enumerate(zip(records, rows)):
        for field, text in zip(FIELDS, row):
            want = expected_value(field, text)
            got = rec[field[0]]
            check(same(field, got, want), f"{label}: record {i + 1} {field[0]} = {got!r}, want {want!r}")
    raw = open(path, "rb").read()
    check(raw[0] == 0x03, f"{label}: version byte")
    check(raw[-1] == 0x1A, f"{label}: end-of-file marker")


def csv_text(rows):
    out = io.StringIO()
    csv.writer(out, lineterminator="\n").writerows(rows)
    return out.getvalue()


def read_engine_csv(text):
    """Parses the engine's CSV dump: a header row DELETED + field names, then records."""
    rows = list(csv.reader(io.StringIO(text)))
    return rows[0], rows[1:]


def engine_value(field, text):
    name, typ, width, dec = field
    if typ == "C":
        return text
    if typ in "NF" and dec == 0:
        return int(text)
    if typ in "NF":
        return float(text)
    if typ == "L":
        return text == "T"
    if typ == "D":
        return datetime.date.fromisoformat(text) if text else None
    return text


# 1. In-memory table written with WriteToDisk, read with dbfread.
path = os.path.join(WORKDIR, "vfile.dbf")
if os.path.exists(path):
    os.remove(path)
run([HELPER, "write", path] + DEFS, csv_text(ROWS))
compare_dbfread(path, ROWS, "WriteToDisk")

# 2. The same rows through vexmoor-dbf create + append.
path2 = os.path.join(WORKDIR, "tool.dbf")
if os.path.exists(path2):
    os.remove(path2)
run([TOOL, "create", path2] + DEFS)
run([TOOL, "append", path2], csv_text(ROWS[:2]))
run([TOOL, "append", path2], csv_text(ROWS[2:]))
compare_dbfread(path2, ROWS, "vexmoor-dbf append")

# 3. A file written by the dbf package, with a deleted record, opened by the engine.
path3 = os.path.join(WORKDIR, "foreign.dbf")
if os.path.exists(path3):
    os.remove(path3)
foreign_spec = "name C(30); dbid N(10,0); connect N(19,12); score N(10,0); ok L; day D"
foreign_fields = [("NAME", "C", 30, 0), ("DBID", "N", 10, 0), ("CONNECT", "N", 19, 12),
                  ("SCORE", "N", 10, 0), ("OK", "L", 1, 0), ("DAY", "D", 8, 0)]
foreign_rows = [
    ("Bob", 7, 36498.5, -12, True, datetime.date(2024, 2, 29)),
    ("Alice", -3, 0.123456789012, 0, False, None),
    ("Zed the deleted", 9, 1.25, 40, True, datetime.date(1970, 1, 1)),
    ("", 0, 0.0, 2147483647, False, datetime.date(2038, 1, 19)),
]
table = dbf.Table(path3, foreign_spec, dbf_type="db3", codepage="cp437")
table.open(dbf.READ_WRITE)
for r in foreign_rows:
    table.append(r)
dbf.delete(table[2])
table.close()


def compare_engine_dump(text, label):
    header, rows = read_engine_csv(text)
    check(header == ["DELETED"] + [f[0] for f in foreign_fields], f"{label}: header {header}")
    check(len(rows) == len(foreign_rows), f"{label}: {len(rows)} records")
    for i, (row, want_row) in enumerate(zip(rows, foreign_rows)):
        check(row[0] == ("*" if i == 2 else ""), f"{label}: deletion mark of record {i + 1}")
        for field, got_text, want in zip(foreign_fields, row[1:], want_row):
            got = engine_value(field, got_text)
            if field[1] == "N" and field[3] > 0:
                ok = abs(got - want) <= 0.5 * 10 ** -field[3]
            else:
                ok = got == want
            check(ok, f"{label}: record {i + 1} {field[0]} = {got_text!r}, want {want!r}")


compare_engine_dump(run([TOOL, "dump", "--csv", path3]), "vexmoor-dbf dump")
compare_engine_dump(
    run([HELPER, "read", path3, "Name,C,30,0", "dbID,N,10,0", "Connect,N,19,12",
         "Score,N,10,0", "Ok,L,1,0", "Day,D,8,0"]),
    "ReadFromDisk")

# 4. The engine's own round trip of the file written in step 1.
header, rows = read_engine_csv(run([HELPER, "read", path] + DEFS))
check(len(rows) == len(ROWS), "round trip: record count")
for i, (row, src) in enumerate(zip(rows, ROWS)):
    for field, got_text, text in zip(FIELDS, row[1:], src):
        want = expected_value(field, text)
        got = engine_value(field, got_text)
        check(same(field, got, want), f"round trip: record {i + 1} {field[0]} = {got_text!r}")

print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
