"""Reads a metadata file back with Python's json and checks it against the
files of the run it describes.

usage: check_metadata.py JSON DESCRIBES TABLE CAPTURE LINES LOST EXIT
  LOST: the 0-based lines expected to have lost samples, comma separated, or "-"
Prints one line per mismatch and exits 1 when there was any.
"""
import hashlib
import json
import os
import re
import sys

json_path, describes, table, capture, lines, lost, exit_code = sys.argv[1:8]
lines = int(lines)
lost = [] if lost == "-" else [int(x) for x in lost.split(",")]
problems = []


def check(what, got, expected):
    if got != expected:
        problems.append(f"{what}: {got!r}, expected {expected!r}")


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


with open(json_path, encoding="utf-8") as f:
    doc = json.load(f)

# The lines' figures are the table's alone (check_line_figures.py checks them).
check("keys", list(doc), ["format", "describes", "program", "system", "times", "commandLine",
                          "settings", "backend", "faults", "clock", "calibration", "lookup",
                          "lines", "rows"] + (["lineFigures"] if describes == "table" else []) +
      ["table", "capture", "end"])
check("format", doc["format"], {"name": "velscan-scan-metadata", "version": 1})
check("describes", doc["describes"], describes)
check("program", doc["program"]["name"], "velscan")
stamp = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")
times = doc["times"]
for name in ("start", "mirrorReady", "end"):
    if not isinstance(times[name], str) or not stamp.match(times[name]):
        problems.append(f"times.{name}: {times[name]!r}")
if not problems and not times["start"] <= times["mirrorReady"] <= times["end"]:
    problems.append(f"times out of order: {times}")
check("commandLine", doc["commandLine"][1:], [table, "-l", str(lines)])
check("settings", doc["settings"],
      {"outputFile": table, "port": 1, "board": 1, "samplePeriod": 20, "lines": lines,
       "maxRange": 650, "motor": 1, "motorPower": 255})
check("clock", doc["clock"], "virtual")
check("lookup.name", doc["lookup"]["name"], "LOOKUPHS")
check("lookup.sha256", doc["lookup"]["sha256"], sha256("LOOKUPHS"))
check("lookup.size", doc["lookup"]["size"], os.path.getsize("LOOKUPHS"))
check("lines", doc["lines"], {"asked": lines, "recorded": lines, "withLostSamples": lost})

with open(table, "rb") as f:
    rows = f.read().decode("ascii").split("\n")[1:]
without = sum(1 for row in rows if float(row.split("\t")[0]) == 0.0)
check("rows", doc["rows"], {"total": len(rows), "withoutRange": without})
check("table", doc["table"], {"name": table, "sha256": sha256(table)})
check("capture", doc["capture"],
      {"name": capture, "records": os.path.getsize(capture) // 16, "sha256": sha256(capture),
       "samplingStartsAtRecord": 20})
check("end", doc["end"], {"how": "complete", "message": None, "exitCode": int(exit_code)})

for problem in problems:
    print(problem)
sys.exit(1 if problems else 0)
