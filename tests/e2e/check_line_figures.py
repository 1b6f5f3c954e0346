"""Recomputes every line's figures from a table with numpy and compares them
with the lineFigures of the table's metadata file.

usage: check_line_figures.py TABLE JSON
Prints one line per mismatch and exits 1 when there was any.

Exact where the table allows it:
- withRange, the distance points (numpy's nearest rank, "inverted_cdf", over
  the distances that do not read 0.00, compared as the table writes them,
  with two decimals), meanAmplitude (whole numbers) and lostSamples;
- mirrorTurnsPerSecond: the encoder counts behind the first and last angle
  of the line give the angles exactly as velscan had them, and the figure is
  recomputed in velscan's order of operations;
- meanTemperature: the temperature byte behind each one-decimal value gives
  the temperature velscan had; its mean is summed in another order, so it is
  compared to 1e-12 of its value.
"""
import json
import math
import sys

import numpy as np

ROWS_PER_LINE = 5000
FULL_TURN = 6.283185307179586

table_path, json_path = sys.argv[1:3]
problems = []


def problem(text):
    problems.append(text)


with open(json_path, encoding="utf-8") as f:
    doc = json.load(f)
with open(table_path, "rb") as f:
    rows = f.read().decode("ascii").split("\n")[1:]
fields = np.array([row.split("\t")[:6] for row in rows])
distance_text = fields[:, 0]
distance = distance_text.astype(float)
amplitude = fields[:, 2].astype(float)
temperature_text = fields[:, 3]
angle1 = fields[:, 4].astype(float)

figures = doc.get("lineFigures")
lines = len(rows) // ROWS_PER_LINE
if figures is None or len(figures) != lines or len(rows) != lines * ROWS_PER_LINE:
    print(f"lineFigures: {None if figures is None else len(figures)} for {len(rows)} rows")
    sys.exit(1)

period = doc["settings"]["samplePeriod"]
counts_per_turn = doc["calibration"]["encoderCounts"][0]
angle_step = FULL_TURN / counts_per_turn
lost = set(doc["lines"]["withLostSamples"])

# The temperature byte behind each value: the bytes are 0.6 degrees apart, so
# one decimal names one; the value it gives must print as the table's.
temperature_byte = np.rint((temperature_text.astype(float) - 5.3478) / 0.6023)
temperature = temperature_byte * 0.6023 + 5.3478
if any(f"{t:.1f}" != text for t, text in zip(temperature, temperature_text)):
    problem("the table's temperatures are not those of whole bytes")

for k, got in enumerate(figures):
    line = slice(k * ROWS_PER_LINE, (k + 1) * ROWS_PER_LINE)
    ranged = distance[line] != 0.0
    if got["withRange"] != np.count_nonzero(ranged) / ROWS_PER_LINE:
        problem(f"line {k} withRange: {got['withRange']!r}")
    for name, percent in (("distanceP5", 5), ("distanceMedian", 50), ("distanceP95", 95)):
        if not ranged.any():
            if got[name] is not None:
                problem(f"line {k} {name}: {got[name]!r}, expected null")
            continue
        expected = np.percentile(distance[line][ranged], percent, method="inverted_cdf")
        if got[name] is None or float(f"{got[name]:.2f}") != expected:
            problem(f"line {k} {name}: {got[name]!r}, the table's is {expected:.2f}")
    if got["meanAmplitude"] != np.mean(amplitude[line]):
        problem(f"line {k} meanAmplitude: {got['meanAmplitude']!r}, expected {np.mean(amplitude[line])!r}")
    mean_temperature = np.mean(temperature[line])
    if not math.isclose(got["meanTemperature"], mean_temperature, rel_tol=1e-12):
        problem(f"line {k} meanTemperature: {got['meanTemperature']!r}, expected {mean_temperature!r}")
    first, last = (round(a / angle_step) * angle_step for a in angle1[line][[0, -1]])
    turns = (last - first) / FULL_TURN
    seconds = (ROWS_PER_LINE - 1.0) * period / 1e6
    if got["mirrorTurnsPerSecond"] != turns / seconds:
        problem(f"line {k} mirrorTurnsPerSecond: {got['mirrorTurnsPerSecond']!r}, expected {turns / seconds!r}")
    if got["lostSamples"] != (k in lost):
        problem(f"line {k} lostSamples: {got['lostSamples']!r}")

# The figures agree with the table's own count of rows without range.
with_range = round(sum(line["withRange"] for line in figures) * ROWS_PER_LINE)
if with_range != doc["rows"]["total"] - doc["rows"]["withoutRange"]:
    problem(f"rows with range by the figures: {with_range}, by the rows member: "
            f"{doc['rows']['total'] - doc['rows']['withoutRange']}")

for text in problems:
    print(text)
sys.exit(1 if problems else 0)
