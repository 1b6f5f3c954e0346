"""The outputs of velscan-export read back by independent readers: the point
cloud and the organised grid by Open3D, the pictures by Pillow. Usage:
    check_with_readers.py VELSCAN VELSCAN_EXPORT LOOKUPHS
Exits non-zero on the first failed check (a missing module fails too)."""

import os
import re
import shutil
import sys
import tempfile

import numpy as np
import open3d as o3d
from PIL import Image

from check_support import check, pcd_header, run
from table_gaps import with_gaps

# The built-in room around the scanner, inches: x -300..350, y -250..250, z -60..120.
ROOM_LOW = np.array([-300.0, -250.0, -60.0])
ROOM_HIGH = np.array([350.0, 250.0, 120.0])
PROPERTIES = {"positions", "scalar_distance", "intensity", "scalar_temperature", "scalar_line", "scalar_sample"}
# The table's metadata file (velscan writes one) adds each point's time and lost mark.
TIMED_PROPERTIES = PROPERTIES | {"scalar_time", "scalar_lost"}


def summary_number(summary, pattern):
    match = re.search(pattern, summary)
    check(match is not None, f"summary has {pattern!r}")
    return [float(group) for group in match.groups()]


def check_cloud(path, summary, scale):
    cloud = o3d.t.io.read_point_cloud(path)
    points = cloud.point.positions.numpy()
    (count,) = summary_number(summary, r"points \(rows with range\): (\d+)")
    check(len(points) == int(count), f"{path}: {len(points)} points, as the summary says")
    check(set(cloud.point) == TIMED_PROPERTIES, f"{path}: properties {sorted(cloud.point)}")
    low, high = points.min(axis=0), points.max(axis=0)
    check(bool(np.all(low >= (ROOM_LOW - 1.0) * scale) and np.all(high <= (ROOM_HIGH + 1.0) * scale)),
          f"{path}: bounding box {low} .. {high} inside the room")
    nearest, _, farthest = summary_number(summary, r"min ([\d.]+), median ([\d.]+), max ([\d.]+)")
    norms = np.linalg.norm(points.astype(np.float64), axis=1)
    check(abs(norms.min() - nearest * scale) < 0.01 * scale and abs(norms.max() - farthest * scale) < 0.01 * scale,
          f"{path}: distances from the scanner {norms.min():.4f} .. {norms.max():.4f} match the summary")
    distance = cloud.point.scalar_distance.numpy().ravel()
    check(bool(np.allclose(distance, norms, atol=1e-3 * scale)), f"{path}: distance property is |xyz|")
    line = cloud.point.scalar_line.numpy().ravel()
    sample = cloud.point.scalar_sample.numpy().ravel()
    check(line.min() == 0 and line.max() == 19 and sample.max() == 4999, f"{path}: line and sample numbers")
    # The default sample period of 20 us, from the start of the scan.
    time = cloud.point.scalar_time.numpy().ravel()
    expected = (line.astype(np.float64) * 5000 + sample) * 20e-6
    check(bool(np.allclose(time, expected, rtol=0, atol=1e-9)), f"{path}: each point's time from the start")


def pcd_grid(path):
    header = pcd_header(path)
    return int(header["WIDTH"][0]), int(header["HEIGHT"][0])


def check_grid(path, summary, ascii_twin):
    """The organised cloud: every cell a point, NaN where there was no return,
    nearly every row with range in a cell of its own."""
    width, height = pcd_grid(path)
    cloud = o3d.t.io.read_point_cloud(path, remove_nan_points=False)
    points = cloud.point.positions.numpy()
    check(set(cloud.point) == PROPERTIES, f"{path}: the PLY's fields {sorted(cloud.point)}")
    check(len(points) == width * height, f"{path}: {len(points)} points, a {width} x {height} grid")
    (count,) = summary_number(summary, r"points \(rows with range\): (\d+)")
    (turns,) = summary_number(summary, r"span [\d.]+ rad \([\d.]+ degrees, ([\d.]+) turns\)")
    check(width == round(turns), f"{path}: a column per mirror turn ({width}, {turns} turns)")
    returns = ~np.isnan(points).any(axis=1)
    check(0.95 * count <= returns.sum() <= count, f"{path}: {returns.sum()} cells with a return of {count} points")
    distance = cloud.point.scalar_distance.numpy().ravel()
    check(bool(np.all(np.isnan(distance[~returns]))), f"{path}: NaN distance where there was no return")
    norms = np.linalg.norm(points[returns].astype(np.float64), axis=1)
    check(bool(np.allclose(distance[returns], norms, atol=1e-3)), f"{path}: distance is |xyz| in the cells")
    check(bool(np.all(cloud.point.scalar_line.numpy().ravel()[~returns] == -1)), f"{path}: line -1 without return")
    twin = o3d.t.io.read_point_cloud(ascii_twin, remove_nan_points=False)
    check(bool(np.allclose(twin.point.positions.numpy(), points, equal_nan=True)),
          f"{ascii_twin}: the same grid as the binary PCD")


def check_picture(path, mode):
    picture = Image.open(path)
    picture.load()
    check(picture.format == "PNG" and picture.mode == mode, f"{path}: {picture.format} {picture.mode}")
    extrema = picture.getextrema()
    bands = extrema if mode != "L" else [extrema]
    check(any(low != high for low, high in bands), f"{path}: not one flat colour")
    return picture.size


def main():
    velscan, exporter, lookup = sys.argv[1:4]
    directory = tempfile.mkdtemp(prefix="velscan-export-readers-")
    try:
        shutil.copy(lookup, os.path.join(directory, "LOOKUPHS"))
        environment = {k: v for k, v in os.environ.items() if not k.startswith("VELSCAN_")}
        environment.update(VELSCAN_SIM="1", VELSCAN_CLOCK="virtual")
        run([velscan, "scan.txt", "-l", "20"], directory, environment)

        summary = run([exporter, "scan.txt", "--ply", "cloud.ply", "--png", "range.png",
                       "--amplitude-png", "amplitude.png"], directory)
        check_cloud(os.path.join(directory, "cloud.ply"), summary, 1.0)
        run([exporter, "scan.txt", "--ply", "cloud-text.ply", "--ascii", "--metres"], directory)
        check_cloud(os.path.join(directory, "cloud-text.ply"), summary, 0.0254)

        with_gaps(os.path.join(directory, "scan.txt"), os.path.join(directory, "gaps.txt"), 7)
        gap_summary = run([exporter, "gaps.txt", "--pcd", "grid.pcd"], directory)
        run([exporter, "gaps.txt", "--pcd", "grid-text.pcd", "--ascii"], directory)
        check_grid(os.path.join(directory, "grid.pcd"), gap_summary, os.path.join(directory, "grid-text.pcd"))

        width, height = check_picture(os.path.join(directory, "range.png"), "RGB")
        amplitude_width, amplitude_height = check_picture(os.path.join(directory, "amplitude.png"), "L")
        # Both pictures share one frame (title, axes, legend) around at least
        # a pixel per mirror turn across and 64 rows down.
        check((amplitude_width, amplitude_height) == (width, height) and width >= 40 and height >= 64,
              f"range picture {width}x{height}, amplitude {amplitude_width}x{amplitude_height}, one frame")
    finally:
        shutil.rmtree(directory)


main()
