"""The outputs of velscan-export read by independent point-cloud tools: the
PLY and the PTX by CloudCompare's command line, the PCD by pcl_pcd2ply, the
PLY of a table whose name would end its header by pcl_ply2pcd, and a scan
exported with a pose: CloudCompare applies the PTX's transform on load, so
its points are the PLY's (in the scanner's frame) moved by the pose.
Usage:
    check_with_tools.py VELSCAN VELSCAN_EXPORT LOOKUPHS CLOUDCOMPARE PCL_PCD2PLY PCL_PLY2PCD
Exits non-zero on the first failed check (a missing tool fails too)."""

import os
import re
import shutil
import subprocess
import sys
import tempfile

import numpy as np

from check_support import check
from table_gaps import with_gaps

# Our PLY's fields as CloudCompare names them: it drops the "scalar_" prefix.
CLOUDCOMPARE_FIELDS = ["X", "Y", "Z", "distance", "intensity", "temperature", "line", "sample"]
PLY_FIELDS = ["x", "y", "z", "scalar_distance", "intensity", "scalar_temperature", "scalar_line", "scalar_sample"]


def run(arguments, directory, environment=None):
    try:
        result = subprocess.run(arguments, cwd=directory, env=environment, capture_output=True, text=True,
                                timeout=240)
    except (OSError, subprocess.TimeoutExpired) as error:
        sys.exit(f"FAILED: {arguments}: {error}")
    if result.returncode != 0:
        sys.exit(f"FAILED: {arguments} exited {result.returncode}: {result.stdout}{result.stderr}")
    return result.stdout + result.stderr


def read_binary_ply(path):
    """A binary PLY whose first element is the vertices: their property names
    and the vertices as a structured array (later elements are left alone)."""
    with open(path, "rb") as ply:
        data = ply.read()
    end = data.index(b"end_header\n") + len(b"end_header\n")
    names, types, count, element = [], [], 0, None
    for line in data[:end].decode().splitlines():
        words = line.split()
        if words[:1] == ["element"]:
            element = words[1]
            if element == "vertex":
                count = int(words[2])
        elif words[:1] == ["property"] and element == "vertex":
            types.append({"float": "<f4", "double": "<f8"}.get(words[1], "<i4"))
            names.append(words[2])
    return names, np.frombuffer(data, dtype=np.dtype(list(zip(names, types))), count=count, offset=end)


def cloudcompare_to_asc(cloudcompare, source, target, directory):
    environment = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    log = run([cloudcompare, "-SILENT", "-AUTO_SAVE", "OFF", "-O", source, "-C_EXPORT_FMT", "ASC", "-ADD_HEADER",
               "-SAVE_CLOUDS", "FILE", target], directory, environment)
    target_path = os.path.join(directory, target)
    check(os.path.exists(target_path), f"CloudCompare saved {target} from {source}")
    with open(target_path) as asc:
        header = asc.readline()
    check(header.startswith("//"), f"{target}: a header line {header.strip()!r}")
    return log, header[2:].split(), np.loadtxt(target_path, comments="//", ndmin=2)


def check_ply(cloudcompare, directory):
    names, vertices = read_binary_ply(os.path.join(directory, "cloud.ply"))
    check(names == PLY_FIELDS, f"cloud.ply: properties {names}")
    _, fields, values = cloudcompare_to_asc(cloudcompare, "cloud.ply", "cloud.asc", directory)
    check(fields == CLOUDCOMPARE_FIELDS, f"CloudCompare loads every field of the PLY: {fields}")
    check(len(values) == len(vertices), f"CloudCompare: {len(values)} points, as in the PLY")
    ours = np.stack([vertices["x"], vertices["y"], vertices["z"]], axis=1).astype(np.float64)
    check(bool(np.allclose(values[:, :3], ours, rtol=0, atol=1e-4)), "CloudCompare's x, y, z match ours")
    for column, name in enumerate(PLY_FIELDS[3:], start=3):
        check(bool(np.allclose(values[:, column], vertices[name].astype(np.float64), rtol=1e-6, atol=1e-4)),
              f"CloudCompare's {CLOUDCOMPARE_FIELDS[column]} matches our {name}")


def check_ptx(cloudcompare, directory):
    with open(os.path.join(directory, "grid.ptx")) as ptx:
        columns, rows = int(ptx.readline()), int(ptx.readline())
        for _ in range(8):
            ptx.readline()
        returns = sum(1 for line in ptx if line != "0 0 0 0\n")
    log, fields, values = cloudcompare_to_asc(cloudcompare, "grid.ptx", "grid.asc", directory)
    match = re.search(r"\[PTX\] Scan #1 - grid size: (\d+) x (\d+)", log)
    check(match is not None and (int(match.group(1)), int(match.group(2))) == (columns, rows),
          f"CloudCompare finds the PTX's {columns} x {rows} grid: {match.group(0) if match else log[-400:]}")
    check(fields[:4] == ["X", "Y", "Z", "Intensity"], f"CloudCompare reads the PTX's fields {fields}")
    check(len(values) == returns, f"CloudCompare: {len(values)} points, the PTX's {returns} cells with a return")
    check(bool(np.all((values[:, 3] >= 0) & (values[:, 3] <= 1))), "PTX intensity within 0..1")


def check_pcd(pcd2ply, directory, name):
    with open(os.path.join(directory, name), "rb") as pcd:
        header = pcd.read(1000).decode("latin-1")
    cells = int(re.search(r"\nPOINTS (\d+)\n", header).group(1))
    log = run([pcd2ply, name, name + ".ply"], directory)
    check("x y z scalar_distance intensity scalar_temperature scalar_line scalar_sample" in log,
          f"pcl_pcd2ply reads every field of {name}")
    names, vertices = read_binary_ply(os.path.join(directory, name + ".ply"))
    check(names == PLY_FIELDS, f"pcl_pcd2ply writes the fields {names}")
    check(len(vertices) == cells, f"pcl_pcd2ply converts all {cells} cells of {name}")
    gaps = np.isnan(vertices["x"]).sum()
    check(0 < gaps < cells, f"{name}: {gaps} cells without return, NaN after conversion")


# A quarter turn about z (the scanner's x onto the site's y) and a move, in
# metres; the points are written in inches.
POSE = "1.5,-2,0.25,90"
POSE_ROTATION = np.array([[0.0, -1.0, 0.0], [1.0, 0.0, 0.0], [0.0, 0.0, 1.0]])
POSE_TRANSLATION = np.array([1.5, -2.0, 0.25]) / 0.0254


def check_pose(cloudcompare, directory):
    """posed.ptx and posed.ply of one export with POSE: CloudCompare's x, y, z
    of the PTX are the PLY's vertices moved by the pose."""
    with open(os.path.join(directory, "posed.ptx")) as ptx:
        header = [next(ptx) for _ in range(10)]
        cells = np.array([line.split() for line in ptx if line != "0 0 0 0\n"], dtype=np.float32)[:, :3]
    transform = np.array([row.split() for row in header[6:10]], dtype=np.float64)
    check(np.allclose(transform[:3, :3], POSE_ROTATION.T) and np.allclose(transform[3, :3], POSE_TRANSLATION),
          f"posed.ptx: the transform's rows are the images of the axes, then the position {header[6:10]}")
    _, vertices = read_binary_ply(os.path.join(directory, "posed.ply"))
    ours = np.stack([vertices["x"], vertices["y"], vertices["z"]], axis=1)
    in_ply = {tuple(point) for point in ours.tolist()}
    check(all(tuple(point) in in_ply for point in cells.tolist()),
          f"posed.ptx: each of its {len(cells)} cells with a return is a vertex of posed.ply, unmoved")
    _, fields, values = cloudcompare_to_asc(cloudcompare, "posed.ptx", "posed.asc", directory)
    check(len(values) == len(cells), f"CloudCompare: {len(values)} points of the posed PTX, its {len(cells)} cells")
    moved = cells.astype(np.float64) @ POSE_ROTATION.T + POSE_TRANSLATION
    # float32 text: a few units in the last place of the largest coordinate.
    tolerance = 4 * np.finfo(np.float32).eps * float(np.abs(moved).max())
    error = float(np.abs(values[:, :3] - moved).max())
    check(error <= tolerance, f"CloudCompare's x, y, z are the PLY's points moved by the pose {POSE} "
                              f"(largest difference {error:.3g}, tolerance {tolerance:.3g})")
    # Neither PCL nor Open3D applies a PCD's viewpoint: its header text then.
    with open(os.path.join(directory, "posed.pcd"), "rb") as pcd:
        viewpoint = re.search(rb"\nVIEWPOINT ([^\n]*)\n", pcd.read(2000))
    numbers = [float(word) for word in viewpoint.group(1).split()] if viewpoint else []
    half = np.sqrt(0.5)
    check(len(numbers) == 7 and np.allclose(numbers, [*POSE_TRANSLATION, half, 0, 0, half], rtol=0, atol=1e-12),
          f"posed.pcd: VIEWPOINT is the position and the quaternion of the pose: {numbers}")


def check_hostile_name(ply2pcd, exporter, directory):
    """A table named to end the PLY header early: the header keeps its
    fields and pcl_ply2pcd converts every vertex."""
    name = "scan\nend_header\n.txt"
    shutil.copy(os.path.join(directory, "scan.txt"), os.path.join(directory, name))
    run([exporter, name, "--ply", "named.ply"], directory)
    names, vertices = read_binary_ply(os.path.join(directory, "named.ply"))
    check(names == PLY_FIELDS, f"a table named {name!r}: the PLY keeps its properties {names}")
    run([ply2pcd, "named.ply", "named.pcd"], directory)
    with open(os.path.join(directory, "named.pcd"), "rb") as pcd:
        header = pcd.read(2000).decode("latin-1")
    points = re.search(r"\nPOINTS (\d+)\n", header)
    check(points is not None and int(points.group(1)) == len(vertices),
          f"pcl_ply2pcd converts all {len(vertices)} vertices of the PLY: {header[:300]!r}")


def main():
    velscan, exporter, lookup, cloudcompare, pcd2ply, ply2pcd = sys.argv[1:7]
    directory = tempfile.mkdtemp(prefix="velscan-export-tools-")
    try:
        shutil.copy(lookup, os.path.join(directory, "LOOKUPHS"))
        environment = {k: v for k, v in os.environ.items() if not k.startswith("VELSCAN_")}
        environment.update(VELSCAN_SIM="1", VELSCAN_CLOCK="virtual")
        run([velscan, "scan.txt", "-l", "20"], directory, environment)
        with_gaps(os.path.join(directory, "scan.txt"), os.path.join(directory, "gaps.txt"), 7)
        run([exporter, "gaps.txt", "--ply", "cloud.ply", "--ptx", "grid.ptx", "--pcd", "grid.pcd"], directory)
        run([exporter, "gaps.txt", "--pcd", "grid-text.pcd", "--ascii"], directory)
        run([exporter, "scan.txt", "--pose", POSE, "--ptx", "posed.ptx", "--ply", "posed.ply", "--pcd",
             "posed.pcd"], directory)
        check_ply(cloudcompare, directory)
        check_ptx(cloudcompare, directory)
        check_pcd(pcd2ply, directory, "grid.pcd")
        check_pcd(pcd2ply, directory, "grid-text.pcd")
        check_hostile_name(ply2pcd, exporter, directory)
        check_pose(cloudcompare, directory)
    finally:
        shutil.rmtree(directory)


if __name__ == "__main__":
    main()
