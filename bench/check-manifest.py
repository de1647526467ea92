#!/usr/bin/env python3
"""Checks an SQLite file converted from a fixture against MANIFEST.json: for
every user table its row count, NULLs per column, true values per Boolean
column and exact sums of integer columns. Prints one line per table and
exits 1 on any difference."""
import json, sqlite3, sys

manifest, fixture, target = sys.argv[1:4]
entry = next(f for f in json.load(open(manifest))["files"] if f["file"] == fixture)
db = sqlite3.connect(target)
bad = False
for table in entry["tables"]:
    if not table.get("userTable"):
        continue
    name = table["name"]
    want = table.get("checksum", {"rowCount": table["rowCount"]})
    q = lambda sql: db.execute(sql).fetchone()[0]
    got = {"rowCount": q(f'SELECT count(*) FROM "{name}"')}
    problems = [] if got["rowCount"] == want["rowCount"] else [f"rows {got['rowCount']} != {want['rowCount']}"]
    for col, n in want.get("nullCount", {}).items():
        if q(f'SELECT count(*) FROM "{name}" WHERE "{col}" IS NULL') != n:
            problems.append(f"NULLs of {col}")
    for col, n in want.get("countTrue", {}).items():
        if q(f'SELECT count(*) FROM "{name}" WHERE "{col}" IN (1, -1, \'True\')') != n:
            problems.append(f"true values of {col}")
    for col, s in want.get("sumExact", {}).items():
        if "." not in s and str(q(f'SELECT sum("{col}") FROM "{name}"')) != s:
            problems.append(f"sum of {col}")
    print(f"  {name}: {got['rowCount']} rows, " + ("manifest checks pass" if not problems else "; ".join(problems)))
    bad = bad or bool(problems)
sys.exit(1 if bad else 0)
