"""velscan-export's E57 and npz read back by independent readers: web-e57
under Node (the points, at several point counts; a file with one byte
flipped is refused), xml.etree (the E57's XML section), numpy.load (the
npz's members), against the PLY and the PCD as Open3D reads them. Usage:
    check_e57_npz.py VELSCAN VELSCAN_EXPORT LOOKUPHS NODE
Exits non-zero on the first failed check; 77 (skipped) when web-e57 is not
installed in tests/node_modules (`npm ci` in tests/), 1 then under CI."""

import datetime
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

import numpy as np
import open3d as o3d

from check_support import check, pcd_header, run
from table_gaps import with_gaps

HERE = os.path.dirname(os.path.abspath(__file__))
READ_E57 = os.path.join(HERE, "read_e57.mjs")
WEB_E57 = os.path.join(HERE, "..", "node_modules", "web-e57", "package.json")
NS = {"e57": "http://www.astm.org/COMMIT/E57/2010-e57-v1.0"}
PAGE, PAGE_DATA = 1024, 1020
# GPS time runs ahead of UTC by the leap seconds since 1980: 18 from 2017 on.
GPS_EPOCH = datetime.datetime(1980, 1, 6, tzinfo=datetime.timezone.utc)
LEAP_SECONDS_SINCE_2017 = 18


def read_e57(node, path):
    """The points web-e57 reads (x y z of each line), or None when it refuses the file."""
    out = path + ".xyz"
    result = subprocess.run([node, "--no-warnings", "--experimental-wasm-modules", READ_E57, path, out],
                            capture_output=True, text=True)
    if result.returncode != 0:
        return None
    with open(out) as text:
        rows = [line.split()[:3] for line in text if line.strip()]
    return np.array(rows, dtype=np.float64).reshape(-1, 3)


def e57_header(path):
    with open(path, "rb") as e57:
        head = e57.read(48)
    signature, major, minor, length, xml_offset, xml_length, page = struct.unpack("<8sIIQQQQ", head)
    return {"signature": signature, "version": (major, minor), "length": length, "xml_offset": xml_offset,
            "xml_length": xml_length, "page": page}


def e57_xml(path):
    """The XML section, its pages' checksums skipped."""
    header = e57_header(path)
    with open(path, "rb") as e57:
        data = e57.read()
    logical = bytearray()
    offset = header["xml_offset"]
    while len(logical) < header["xml_length"]:
        page_end = (offset // PAGE) * PAGE + PAGE_DATA
        take = min(page_end - offset, header["xml_length"] - len(logical))
        logical += data[offset:offset + take]
        offset = page_end + 4
    return ET.fromstring(bytes(logical))


def table_columns(path):
    return np.loadtxt(path, delimiter="\t", skiprows=1, usecols=range(6), ndmin=2)


def ply(path):
    return o3d.t.io.read_point_cloud(path)


def gps_seconds(utc):
    moment = datetime.datetime.strptime(utc, "%Y-%m-%dT%H:%M:%S.%fZ").replace(tzinfo=datetime.timezone.utc)
    check(moment.year >= 2017, f"{utc} is after the last leap second")
    return (moment - GPS_EPOCH).total_seconds() + LEAP_SECONDS_SINCE_2017


def pose_matrix(viewpoint):
    """The 4 x 4 matrix of a pose given as x y z (translation) w x y z (unit quaternion)."""
    tx, ty, tz, w, x, y, z = viewpoint
    return np.array([[1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y), tx],
                     [2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x), ty],
                     [2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y), tz],
                     [0, 0, 0, 1]])


def number(element, path):
    found = element.find(path, NS)
    if found is None:
        sys.exit(f"FAILED: the XML has no {path}")
    return float(found.text)


def check_e57_points(node, e57, ply_path, rows_with_range, what):
    points = read_e57(node, e57)
    check(points is not None, f"{what}: web-e57 reads {e57}")
    check(len(points) == rows_with_range, f"{what}: web-e57 reads {len(points)} points, the table's rows with range")
    cloud = ply(ply_path).point.positions.numpy().astype(np.float64) if rows_with_range else np.zeros((0, 3))
    # The PLY's points are in the scanner's frame; web-e57 gives them moved by the E57's pose.
    scan = e57_xml(e57).find("e57:data3D/e57:vectorChild", NS)
    pose = pose_matrix([number(scan, "e57:pose/e57:translation/e57:" + axis) for axis in "xyz"] +
                       [number(scan, "e57:pose/e57:rotation/e57:" + part) for part in "wxyz"])
    cloud = cloud @ pose[:3, :3].T + pose[:3, 3]
    check(points.shape == cloud.shape and np.allclose(points, cloud, rtol=0, atol=1e-6),
          f"{what}: x, y, z in metres are the PLY's moved by the E57's pose")


def check_e57_xml(e57, pcd_path, metadata, records):
    header = e57_header(e57)
    check(header["signature"] == b"ASTM-E57" and header["version"] == (1, 0) and header["page"] == PAGE,
          f"{e57}: the file header of E57 1.0 with pages of 1024 bytes")
    check(header["length"] == os.path.getsize(e57) and header["length"] % PAGE == 0,
          f"{e57}: whole pages, as long as the header says")
    root = e57_xml(e57)
    scan = root.find("e57:data3D/e57:vectorChild", NS)
    check(scan is not None, "the XML holds one data3D scan")
    pcd = pcd_header(pcd_path)
    width, height = int(pcd["WIDTH"][0]), int(pcd["HEIGHT"][0])
    bounds = {name: number(scan, "e57:indexBounds/e57:" + name)
              for name in ("rowMinimum", "rowMaximum", "columnMinimum", "columnMaximum")}
    check(bounds == {"rowMinimum": 0, "rowMaximum": height - 1, "columnMinimum": 0, "columnMaximum": width - 1},
          f"index bounds {bounds}: the PCD's {width} x {height} grid")
    # The PCD's viewpoint is the same pose: translation, then the quaternion w x y z.
    viewpoint = [float(value) for value in pcd["VIEWPOINT"]]
    pose = [number(scan, "e57:pose/e57:translation/e57:" + axis) for axis in "xyz"]
    pose += [number(scan, "e57:pose/e57:rotation/e57:" + part) for part in "wxyz"]
    check(np.allclose(pose, viewpoint, rtol=0, atol=1e-9), f"pose {pose}: the PCD's viewpoint")
    points = scan.find("e57:points", NS)
    check(int(points.get("recordCount")) == records, f"recordCount {points.get('recordCount')}: {records}")
    if metadata is None:
        check(scan.find("e57:acquisitionStart", NS) is None, "no acquisition time without the metadata")
        return
    check(number(scan, "e57:acquisitionStart/e57:dateTimeValue") == gps_seconds(metadata["times"]["start"]),
          "acquisitionStart: the metadata's start in GPS time")
    check(number(scan, "e57:acquisitionEnd/e57:dateTimeValue") == gps_seconds(metadata["times"]["end"]),
          "acquisitionEnd: the metadata's end in GPS time")
    software = scan.find("e57:sensorSoftwareVersion", NS).text
    check(software == metadata["program"]["name"] + " " + metadata["program"]["version"],
          f"sensorSoftwareVersion {software!r}: the metadata's program")
    guids = {root.find("e57:guid", NS).text, scan.find("e57:guid", NS).text}
    check(len(guids) == 2 and all(len(g) == 38 and g[0] == "{" and g[-1] == "}" for g in guids),
          f"two GUIDs {sorted(guids)}")


def flipped(path, offset, copy):
    with open(path, "rb") as e57:
        data = bytearray(e57.read())
    data[offset] ^= 0x10
    with open(copy, "wb") as out:
        out.write(data)
    return copy


def first_rows(table, rows, path, without_range=False):
    """The table's header and its first rows (their distances 0.00 when asked)."""
    with open(table) as text:
        lines = [next(text)] + [line for _, line in zip(range(rows), text)]
    if without_range:
        lines = lines[:1] + ["0.00" + line[line.index("\t"):] for line in lines[1:]]
    with open(path, "w") as out:
        out.writelines(lines)
    return path


def check_counts(node, exporter, directory, table):
    """Tables of several lengths: one point, a few, one packet's 2048 records
    and one more, several packets, no point at all, and a binary section
    that ends exactly on a page's end."""
    def export(rows, name, without_range=False):
        path = first_rows(table, rows, os.path.join(directory, name + ".txt"), without_range)
        run([exporter, path, "--e57", name + ".e57", "--ply", name + ".ply", "--metres"], directory)
        return os.path.join(directory, name + ".e57")

    for rows in (1, 2, 5, 2047, 2048, 2049, 4097, 10000):
        e57 = export(rows, f"rows{rows}")
        check_e57_points(node, e57, os.path.join(directory, f"rows{rows}.ply"), rows, f"{rows} rows")
    e57 = export(3, "norange", without_range=True)
    points = read_e57(node, e57)
    check(points is not None and len(points) == 0, "a table without range: web-e57 reads no point")
    for rows in range(6, 800):
        e57 = export(rows, "boundary")
        if e57_header(e57)["xml_offset"] % PAGE == 0:
            check_e57_points(node, e57, os.path.join(directory, "boundary.ply"), rows,
                             f"{rows} rows: the points end on a page's end")
            return
    check(False, "some table of 6 to 800 rows whose points end on a page's end")


NPZ_TYPES = {"distance": "<f4", "raw_range": "<u4", "amplitude": "<f4", "temperature": "<f4",
             "mirror_angle": "<f8", "slow_axis_angle": "<f8", "line": "<i4", "sample": "<i4",
             "time": "<f8", "lost": "|b1", "x": "<f4", "y": "<f4", "z": "<f4", "has_range": "|b1",
             "grid_x": "<f4", "grid_y": "<f4", "grid_z": "<f4", "grid_intensity": "<f4", "grid_distance": "<f4",
             "pose": "<f8", "metadata": "|u1"}


def check_npz(path, table, ply_path, pcd_path, metadata_path):
    arrays = np.load(path, allow_pickle=False)
    expected = dict(NPZ_TYPES)
    if metadata_path is None:
        del expected["time"], expected["lost"]
    check(sorted(arrays.files) == sorted(expected), f"{path}: members {sorted(arrays.files)}")
    check(all(arrays[name].dtype.str == descr for name, descr in expected.items()), f"{path}: every member's dtype")
    columns = table_columns(table)
    rows = len(columns)
    pcd = pcd_header(pcd_path)
    width, height = int(pcd["WIDTH"][0]), int(pcd["HEIGHT"][0])
    check(all(arrays[name].shape == ((height, width) if name.startswith("grid_") else (rows,))
              for name in expected if name not in ("metadata", "pose")),
          f"{path}: ({rows},) a row, ({height}, {width}) the grid")
    check(np.allclose(arrays["pose"], pose_matrix([float(value) for value in pcd["VIEWPOINT"]]), rtol=0, atol=1e-12),
          f"{path}: the pose matrix of the PCD's viewpoint")

    has_range = columns[:, 0] != 0
    check(np.array_equal(arrays["has_range"], has_range), f"{path}: has_range where the table has a distance")
    check(np.array_equal(arrays["raw_range"], columns[:, 1].astype(np.uint32)), f"{path}: the table's raw range")
    cloud = ply(ply_path).point
    xyz = np.stack([arrays["x"], arrays["y"], arrays["z"]], axis=1)
    check(np.array_equal(xyz[has_range], cloud.positions.numpy()), f"{path}: x, y, z of the rows with range: the PLY's")
    check(bool(np.all(np.isnan(xyz[~has_range]))), f"{path}: NaN where there is no range")
    for name, field in (("distance", "scalar_distance"), ("amplitude", "intensity"),
                        ("temperature", "scalar_temperature"), ("line", "scalar_line"), ("sample", "scalar_sample")):
        check(np.array_equal(arrays[name][has_range], cloud[field].numpy().ravel()), f"{path}: {name}: the PLY's")
    if metadata_path is not None:
        check(np.array_equal(arrays["time"][has_range], cloud["scalar_time"].numpy().ravel()), f"{path}: time: the PLY's")
        check(np.array_equal(arrays["lost"][has_range], cloud["scalar_lost"].numpy().ravel() == 1),
              f"{path}: lost: the PLY's")
        with open(metadata_path, "rb") as metadata:
            text = metadata.read()
        check(arrays["metadata"].tobytes() == text and json.loads(text)["format"]["name"] == "velscan-scan-metadata",
              f"{path}: the metadata file's bytes, read by json")
    else:
        check(arrays["metadata"].shape == (0,), f"{path}: no metadata, an empty member")

    grid = o3d.t.io.read_point_cloud(pcd_path, remove_nan_points=False).point
    cells = np.stack([arrays["grid_x"], arrays["grid_y"], arrays["grid_z"]], axis=2).reshape(-1, 3)
    check(np.array_equal(cells, grid.positions.numpy(), equal_nan=True), f"{path}: the grid's x, y, z: the PCD's")
    for name, field in (("grid_intensity", "intensity"), ("grid_distance", "scalar_distance")):
        check(np.array_equal(arrays[name].ravel(), grid[field].numpy().ravel(), equal_nan=True),
              f"{path}: {name}: the PCD's")


def main():
    velscan, exporter, lookup, node = sys.argv[1:5]
    if not os.path.exists(WEB_E57):
        reason = "web-e57 is not installed in tests/node_modules (run npm ci in tests/)"
        if os.environ.get("CI"):
            sys.exit(f"error: {reason}; under CI every reader check must run")
        print("left out,", reason)
        sys.exit(77)
    directory = tempfile.mkdtemp(prefix="velscan-export-e57-npz-")
    try:
        shutil.copy(lookup, os.path.join(directory, "LOOKUPHS"))
        environment = {k: v for k, v in os.environ.items() if not k.startswith("VELSCAN_")}
        environment.update(VELSCAN_SIM="1", VELSCAN_CLOCK="virtual")
        run([velscan, "scan.txt", "-l", "20"], directory, environment)
        table = os.path.join(directory, "scan.txt")
        with open(table + ".json") as text:
            metadata = json.load(text)
        rows_with_range = int(np.count_nonzero(table_columns(table)[:, 0]))

        run([exporter, "scan.txt", "--e57", "scan.e57", "--npz", "scan.npz", "--ply", "scan.ply",
             "--pcd", "scan.pcd", "--metres"], directory)
        e57 = os.path.join(directory, "scan.e57")
        check_e57_points(node, e57, os.path.join(directory, "scan.ply"), rows_with_range, "20 lines")
        cells = o3d.t.io.read_point_cloud(os.path.join(directory, "scan.pcd"), remove_nan_points=False)
        empty = int(np.isnan(cells.point.positions.numpy()).any(axis=1).sum())
        check_e57_xml(e57, os.path.join(directory, "scan.pcd"), metadata, rows_with_range + empty)
        # One byte flipped in a page of points, then in the XML's: refused.
        check(read_e57(node, flipped(e57, 3000, e57 + ".points")) is None, "a flipped byte among the points: refused")
        xml_at = e57_header(e57)["xml_offset"] + 100
        check(read_e57(node, flipped(e57, xml_at, e57 + ".xml")) is None, "a flipped byte in the XML: refused")

        # A pose typed for the export: 90 degrees about z and a translation in
        # metres. The E57 holds exactly that pose, and web-e57's points are the
        # PLY's moved by it.
        run([exporter, "scan.txt", "--e57", "posed.e57", "--ply", "posed.ply", "--metres",
             "--pose", "1.5,-2,0.25,90"], directory)
        posed = os.path.join(directory, "posed.e57")
        scan = e57_xml(posed).find("e57:data3D/e57:vectorChild", NS)
        stored = [number(scan, "e57:pose/e57:translation/e57:" + axis) for axis in "xyz"]
        stored += [number(scan, "e57:pose/e57:rotation/e57:" + part) for part in "wxyz"]
        half = np.sqrt(0.5)
        check(np.allclose(stored, [1.5, -2, 0.25, half, 0, 0, half], rtol=0, atol=1e-12),
              f"the typed pose in the E57: {stored}")
        check_e57_points(node, posed, os.path.join(directory, "posed.ply"), rows_with_range, "a typed pose")
        check_npz(os.path.join(directory, "scan.npz"), table, os.path.join(directory, "scan.ply"),
                  os.path.join(directory, "scan.pcd"), table + ".json")
        # Raw angles: the npz's angles are the table's own.
        run([exporter, "scan.txt", "--npz", "raw.npz", "--raw-angles"], directory)
        raw = np.load(os.path.join(directory, "raw.npz"), allow_pickle=False)
        columns = table_columns(table)
        check(np.array_equal(raw["mirror_angle"], columns[:, 4]) and np.array_equal(raw["slow_axis_angle"], columns[:, 5]),
              "raw angles: mirror_angle and slow_axis_angle are the table's columns")
        # Rows without range and no metadata file: NaN in the npz, cells without
        # return (invalid records, which the reader leaves out), no times.
        bare = os.path.join(directory, "bare.txt")
        with_gaps(table, bare, 7)
        run([exporter, "bare.txt", "--npz", "bare.npz", "--ply", "bare.ply", "--pcd", "bare.pcd",
             "--e57", "bare.e57", "--metres"], directory)
        check_npz(os.path.join(directory, "bare.npz"), bare, os.path.join(directory, "bare.ply"),
                  os.path.join(directory, "bare.pcd"), None)
        bare_with_range = int(np.count_nonzero(table_columns(bare)[:, 0]))
        check_e57_points(node, os.path.join(directory, "bare.e57"), os.path.join(directory, "bare.ply"),
                         bare_with_range, "every 7th row without range")
        cells = o3d.t.io.read_point_cloud(os.path.join(directory, "bare.pcd"), remove_nan_points=False)
        bare_empty = int(np.isnan(cells.point.positions.numpy()).any(axis=1).sum())
        check(bare_empty > 0, f"{bare_empty} cells without return")
        check_e57_xml(os.path.join(directory, "bare.e57"), os.path.join(directory, "bare.pcd"), None,
                      bare_with_range + bare_empty)

        check_counts(node, exporter, directory, table)

        # A distance beyond a float's range: a row with range but no point.
        beyond = first_rows(table, 10, os.path.join(directory, "beyond.txt"))
        with open(beyond) as text:
            lines = text.readlines()
        lines[4] = "1" + "0" * 41 + ".00" + lines[4][lines[4].index("\t"):]
        with open(beyond, "w") as out:
            out.writelines(lines)
        run([exporter, "beyond.txt", "--npz", "beyond.npz", "--e57", "beyond.e57", "--ply", "beyond.ply",
             "--metres"], directory)
        arrays = np.load(os.path.join(directory, "beyond.npz"), allow_pickle=False)
        check(np.isinf(arrays["distance"][3]) and arrays["has_range"][3] and np.isnan(arrays["x"][3]),
              "a distance beyond a float: inf in the npz, with range, no point")
        check_e57_points(node, os.path.join(directory, "beyond.e57"), os.path.join(directory, "beyond.ply"), 9,
                         "a distance beyond a float")

        # A full scan of 200 lines, 1,000,000 rows.
        run([velscan, "full.txt", "-l", "200"], directory, environment)
        full = os.path.join(directory, "full.txt")
        run([exporter, "full.txt", "--e57", "full.e57", "--ply", "full.ply", "--metres"], directory)
        check_e57_points(node, os.path.join(directory, "full.e57"), os.path.join(directory, "full.ply"),
                         int(np.count_nonzero(table_columns(full)[:, 0])), "a full scan")
    finally:
        shutil.rmtree(directory)


main()
