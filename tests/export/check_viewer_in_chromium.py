"""velscan-export's HTML viewer opened in headless Chromium: the page of a
10-line scan of the simulated room must load without a console message or
an error of its own, render the points, and the screenshot must show them
where the default view puts the room, in the colours of the range picture's
map. Pages of a table without a range and of one with a point too far for
16-bit positions must load and draw too. The page's data is also decoded here and checked against the PLY: no
point moved by more than 0.05 inch. A full scan (200 lines, all around the
scanner) opens on the room with its ceiling cut away, turning about the
scanner, which is marked with its axes; at a phone's 390 px the panel is
folded away and the view takes the whole width. The panel charts the lines'
figures of a scan whose metadata file has them, and of no other.
Usage:
    check_viewer_in_chromium.py VELSCAN VELSCAN_EXPORT LOOKUPHS CHROMIUM
Exits non-zero on the first failed check (a missing Chromium fails too)."""

import base64
import json
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image

from check_with_tools import check, read_binary_ply, run

WINDOW = (1024, 768)
PANEL_WIDTH = 300            # the panel's fixed width; the view fills the rest
BACKGROUND = (0x20, 0x20, 0x20)
FIELD_OF_VIEW = 50.0         # degrees, vertical
ELEVATION = 30.0             # degrees above the horizontal
MARGIN = 1.1


def chromium(program, directory, page, *mode, window=WINDOW):
    arguments = [program, "--headless=new", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
                 "--enable-logging=stderr", "--v=0", "--user-data-dir=" + os.path.join(directory, "profile"),
                 "--virtual-time-budget=10000", "--window-size=%d,%d" % window, "--hide-scrollbars",
                 "--no-first-run", "--disable-extensions", *mode, "file://" + page]
    if os.geteuid() == 0:
        arguments.insert(1, "--no-sandbox")
    try:
        result = subprocess.run(arguments, cwd=directory, capture_output=True, text=True, timeout=240)
    except (OSError, subprocess.TimeoutExpired) as error:
        sys.exit(f"FAILED: {arguments[0]}: {error}")
    if result.returncode != 0:
        sys.exit(f"FAILED: chromium {' '.join(mode)} exited {result.returncode}: {result.stderr[-2000:]}")
    print("ok: chromium", *mode)
    # The page writes nothing to the console; any message there is a fault
    # (an exception, a WebGL error, a warning of the library).
    console = [line for line in result.stderr.splitlines() if ":CONSOLE" in line]
    check(not console, "the page logged nothing on the console: " + "\n".join(console))
    return result.stdout


def page_data(html):
    """The page's cloud object and its colour map."""
    cloud = re.search(r"\nvar cloud = (\{.*?\});\n</script>", html, re.S)
    colours = re.search(r'\nvar distanceColours = "([0-9a-f]*)";\n', html)
    check(cloud is not None and colours is not None, "the page holds its data")
    hex_map = colours.group(1)
    colour_map = np.array([[int(hex_map[i + k:i + k + 2], 16) for k in (0, 2, 4)]
                           for i in range(0, len(hex_map), 6)])
    check(len(colour_map) == 256, "the page's colour map has 256 colours")
    return json.loads(cloud.group(1)), colour_map


def decoded_positions(cloud):
    raw = base64.b64decode(cloud["positions"])
    if cloud["encoding"] == "uint16":
        levels = np.frombuffer(raw, dtype="<u2").reshape(-1, 3).astype(np.float64)
        positions = np.array(cloud["origin"]) + levels * np.array(cloud["step"])
    else:
        positions = np.frombuffer(raw, dtype="<f4").reshape(-1, 3).astype(np.float64)
    return positions.astype(np.float32).astype(np.float64)


def check_page_data(cloud, vertices):
    ours = np.stack([vertices["x"], vertices["y"], vertices["z"]], axis=1).astype(np.float64)
    check(cloud["count"] == len(ours), f"the page holds {cloud['count']} points, the PLY {len(ours)}")
    check(cloud["encoding"] == "uint16", "a room's positions take 16 bits per axis")
    moved = np.linalg.norm(decoded_positions(cloud) - ours, axis=1).max()
    check(moved <= 0.05, f"no point of the page is more than 0.05 inch off the PLY's: {moved:.4f}")
    entries = np.frombuffer(base64.b64decode(cloud["distanceEntries"]), dtype=np.uint8)
    distance = vertices["scalar_distance"].astype(np.float64)
    expected = np.rint((distance - distance.min()) / (distance.max() - distance.min()) * 255.0)
    check(np.abs(entries.astype(np.float64) - expected).max() <= 1,
          "each point's colour is the map's entry of its distance, nearest 0, farthest 255")
    levels = np.frombuffer(base64.b64decode(cloud["amplitudeLevels"]), dtype=np.uint8)
    check(np.abs(levels - np.clip(np.rint(vertices["intensity"]), 0, 255)).max() <= 1,
          "each point's grey level is its amplitude")
    return ours


def projected_pixels(points):
    """Where the default view puts each point, in pixels of the screenshot:
    the bounding sphere (with a tenth of margin) in sight, seen from 30 degrees
    above the horizontal along the shorter horizontal side of the box, z up."""
    low, high = points.min(axis=0), points.max(axis=0)
    centre = (low + high) / 2
    radius = np.linalg.norm(high - low) / 2
    width, height = WINDOW[0] - PANEL_WIDTH, WINDOW[1]
    aspect = width / height
    half = math.radians(FIELD_OF_VIEW) / 2
    half_across = math.atan(math.tan(half) * aspect)
    distance = MARGIN * radius / math.sin(min(half, half_across))
    dx, dy = high[0] - low[0], high[1] - low[1]
    side = np.array([0.0, -1.0]) if dy <= dx else np.array([-1.0, 0.0])
    elevation = math.radians(ELEVATION)
    eye = centre + distance * np.array([math.cos(elevation) * side[0], math.cos(elevation) * side[1],
                                        math.sin(elevation)])
    forward = (centre - eye) / np.linalg.norm(centre - eye)
    right = np.cross(forward, [0.0, 0.0, 1.0])
    right /= np.linalg.norm(right)
    up = np.cross(right, forward)
    v = points - eye
    depth = v @ forward
    x = (v @ right) / (depth * math.tan(half) * aspect)
    y = (v @ up) / (depth * math.tan(half))
    return np.stack([PANEL_WIDTH + (x + 1) / 2 * width, (1 - y) / 2 * height], axis=1)


def check_screenshot(path, points, colour_map):
    image = np.asarray(Image.open(path).convert("RGB")).astype(np.int32)
    check(image.shape[:2] == (WINDOW[1], WINDOW[0]), f"the screenshot is {image.shape[1]}x{image.shape[0]}")
    view = image[:, PANEL_WIDTH + 1:]
    drawn = np.any(np.abs(view - np.array(BACKGROUND)) > 2, axis=2)
    rows, columns = np.nonzero(drawn)
    check(len(rows) > 2000, f"the view is not blank: {len(rows)} pixels drawn")
    colours = {tuple(c) for c in view[drawn]}
    check(len(colours) >= 50, f"the points show many colours: {len(colours)}")
    # Nearly every drawn pixel is a colour of the map (a few are not where
    # the renderer blends a point's edge).
    nearest = np.min(np.abs(view[drawn][:, None, :] - colour_map[None, :, :]).max(axis=2), axis=1)
    share = np.mean(nearest <= 3)
    check(share >= 0.9, f"{share:.1%} of the drawn pixels are colours of the range picture's map")

    expected = projected_pixels(points)
    expected_columns = expected[:, 0] - (PANEL_WIDTH + 1)
    expected_rows = expected[:, 1]
    inside = ((expected_columns >= 0) & (expected_columns < view.shape[1]) & (expected_rows >= 0)
              & (expected_rows < view.shape[0]))
    check(inside.all(), "the default view holds every point")
    tolerance = 6
    for name, got, want in (("left", columns.min(), expected_columns.min()),
                            ("right", columns.max(), expected_columns.max()),
                            ("top", rows.min(), expected_rows.min()),
                            ("bottom", rows.max(), expected_rows.max())):
        check(abs(got - want) <= tolerance, f"the points' {name} edge lies at {got}, where the room is: {want:.0f}")
    # Region by region: a cell of a 12 by 12 grid over the view holds points
    # on the screenshot exactly where the room's points fall.
    grid = 12
    cell_w, cell_h = view.shape[1] / grid, view.shape[0] / grid

    def cells(cs, rs):
        return {(int(c // cell_w), int(r // cell_h)) for c, r in zip(cs, rs)}

    want_cells = cells(expected_columns, expected_rows)
    got_cells = cells(columns, rows)
    agree = len(want_cells & got_cells) / len(want_cells | got_cells)
    check(agree >= 0.85, f"the regions with points agree with the room's: {agree:.0%} of "
                         f"{len(want_cells | got_cells)} cells")


HEADER = "Distance(inches)\tRaw Range(bits)\tAmplitude\tTemp(F)\tAngle1(radins)\tAngle2(radins\tIndex1\tIndex2\t"
# A table without a range (no point at all), and one whose far point is too
# far for 16 bits per axis (the page then carries float32 positions).
EDGE_TABLES = {
    "none.txt": (HEADER + "\n0.00\t0\t79.0\t69.8\t2324.7801\t2.8903\t0\t0\t"
                 "\n0.00\t0\t76.0\t69.8\t2324.7832\t2.8903\t0\t0\t", 0, "uint16"),
    "far.txt": (HEADER + "\n3000000000000000000000000000000.00\t0\t79.0\t69.8\t2324.7801\t2.8903\t0\t0\t"
                "\n308.57\t2208\t76.0\t69.8\t2324.7832\t2.8903\t0\t0\t", 2, "float32"),
}


def check_drawn(chromium_program, directory, page, name, count):
    dom = chromium(chromium_program, directory, page, "--dump-dom")
    title = re.search(r"<title>(.*?)</title>", dom, re.S)
    check(title is not None and title.group(1) == "velscan viewer: " + name,
          f"the page's title says it drew {name}: {title.group(1) if title else dom[:300]!r}")
    check(f'data-drawn="{count}"' in dom, f"the page drew all {count} points of {name}")
    # Without a metadata file beside the table there are no figures to chart.
    if name in EDGE_TABLES:
        check(re.search(r'id="figures" hidden[ =>]', dom) is not None and 'data-chart="' not in dom,
              f"{name}: no chart")


def check_edge_pages(velscan_export, chromium_program, directory):
    for name, (text, count, encoding) in EDGE_TABLES.items():
        with open(os.path.join(directory, name), "w") as table:
            table.write(text)
        page = name.replace(".txt", ".html")
        run([velscan_export, name, "--html", page], directory)
        with open(os.path.join(directory, page), encoding="utf-8") as html:
            cloud, _ = page_data(html.read())
        check(cloud["encoding"] == encoding, f"{name}: positions as {cloud['encoding']}")
        check_drawn(chromium_program, directory, os.path.join(directory, page), name, count)


PHONE = (390, 844)
PANEL_GREY = (0x2c, 0x2c, 0x2c)
# The scanner's mark and its axes, in colours the distance map never takes.
MARKS = {"scanner": (255, 0, 255), "x": (255, 0, 0), "y": (0, 255, 0), "z": (64, 128, 255)}


def project(points, eye, target, width, height):
    """Pixels (column, row) of `points` in a view of width x height seen from
    `eye` towards `target`, z up, the vertical field of view FIELD_OF_VIEW."""
    eye, target = np.asarray(eye, float), np.asarray(target, float)
    forward = (target - eye) / np.linalg.norm(target - eye)
    right = np.cross(forward, [0.0, 0.0, 1.0])
    right /= np.linalg.norm(right)
    up = np.cross(right, forward)
    v = np.atleast_2d(points) - eye
    depth = v @ forward
    half = math.radians(FIELD_OF_VIEW) / 2
    x = (v @ right) / (depth * math.tan(half) * width / height)
    y = (v @ up) / (depth * math.tan(half))
    return np.stack([(x + 1) / 2 * width, (1 - y) / 2 * height], axis=1)


def room_eye(cloud, cut, width, height):
    """Where the first view of a full scan puts the camera: looking at the
    scanner from 60 degrees above the horizontal, 30 degrees off the -x, -y
    diagonal towards -y, far enough for the box below the cut to be in sight
    with a tenth of margin."""
    low, high = np.array(cloud["low"], float), np.array(cloud["high"], float)
    high[2] = min(high[2], cut)
    scanner = np.array(cloud["scanner"], float)
    corners = np.array([[(high if (c >> k) & 1 else low)[k] for k in range(3)] for c in range(8)])
    radius = np.linalg.norm(corners - scanner, axis=1).max()
    half = math.radians(FIELD_OF_VIEW) / 2
    half_across = math.atan(math.tan(half) * width / height)
    distance = MARGIN * radius / math.sin(min(half, half_across))
    elevation = math.radians(60.0)
    heading = np.array([-0.5, -math.sqrt(0.75)])
    return scanner + distance * np.array([math.cos(elevation) * heading[0], math.cos(elevation) * heading[1],
                                          math.sin(elevation)])


def near(image, colour, tolerance=40):
    return np.all(np.abs(image - np.array(colour)) <= tolerance, axis=2)


def check_full_scan(velscan, velscan_export, chromium_program, directory, environment):
    """The first view of a scan all around the scanner, on a desktop and on a phone."""
    run([velscan, "room.txt"], directory, environment)
    run([velscan_export, "room.txt", "--html", "room.html", "--ply", "room.ply"], directory)
    page = os.path.join(directory, "room.html")
    with open(page, encoding="utf-8") as text:
        cloud, _ = page_data(text.read())
    check(cloud["surrounds"] is True and cloud["scanner"] == [0, 0, 0], "the page says the scan surrounds the scanner")
    _, vertices = read_binary_ply(os.path.join(directory, "room.ply"))
    points = np.stack([vertices["x"], vertices["y"], vertices["z"]], axis=1).astype(np.float64)
    for window, folded in ((WINDOW, False), (PHONE, True)):
        dom = chromium(chromium_program, directory, page, "--dump-dom", window=window)
        found = re.search(r'data-view="([^"]*)"', dom)
        check(found is not None, f"{window}: the page tells its first view")
        view = json.loads(found.group(1).replace("&quot;", '"'))
        check({"points", "scanner", "axes"} <= set(view["scene"]), f"{window}: the scene holds {view['scene']}")
        check(view["target"] == [0, 0, 0], f"{window}: the view turns about the scanner: {view['target']}")
        cut = view["cut"]
        top = np.percentile(points[:, 2], 98)
        check(cut is not None and 0 < cut < top, f"{window}: the ceiling ({top:.0f}) is cut away at {cut}")
        panel = re.search(r'data-panel="([a-z]*)"', dom)
        check(panel is not None and panel.group(1) == ("folded" if folded else "open"),
              f"{window}: the panel is {panel.group(1) if panel else None}")
        # Chromium's page dump lays the page out in a window of its own size
        # (at least 500 wide, less high than asked): the view takes the
        # window's whole width, or all but the panel's.
        inner = view["window"]
        check(view["width"] == inner[0] - (0 if folded else PANEL_WIDTH),
              f"{window}: the view is {view['width']} pixels wide in a window of {inner[0]}")
        width = window[0] if folded else window[0] - PANEL_WIDTH
        eye = room_eye(cloud, cut, view["width"], view["height"])
        check(np.linalg.norm(np.array(view["camera"]) - eye) <= 1e-3 * np.linalg.norm(eye),
              f"{window}: the camera is at {view['camera']}, expected {eye.tolist()}")
        eye = room_eye(cloud, cut, width, window[1])

        shot = os.path.join(directory, "room-%d.png" % window[0])
        chromium(chromium_program, directory, page, "--screenshot=" + shot, window=window)
        image = np.asarray(Image.open(shot).convert("RGB")).astype(np.int32)
        check(image.shape[:2] == (window[1], window[0]), f"the screenshot is {image.shape[1]}x{image.shape[0]}")
        panel_share = near(image, PANEL_GREY, 0).mean()
        if folded:
            check(panel_share < 0.02, f"{window}: the panel is folded away ({panel_share:.1%} panel grey)")
        else:
            check(near(image[:, :PANEL_WIDTH - 1], PANEL_GREY, 0).mean() > 0.5, f"{window}: the panel shows")
        scene = image[:, window[0] - width:]
        # The mark sits where the scanner projects, each axis shows.
        marked = near(scene, MARKS["scanner"])
        rows, columns = np.nonzero(marked)
        check(len(rows) >= 10, f"{window}: the scanner's mark shows ({len(rows)} pixels)")
        where = project([0.0, 0.0, 0.0], eye, cloud["scanner"], width, window[1])[0]
        check(abs(columns.mean() - where[0]) <= 8 and abs(rows.mean() - where[1]) <= 8,
              f"{window}: the mark at ({columns.mean():.0f}, {rows.mean():.0f}), the scanner at "
              f"({where[0]:.0f}, {where[1]:.0f})")
        for axis in "xyz":
            count = int(near(scene, MARKS[axis]).sum())
            check(count >= 5, f"{window}: the {axis} axis shows ({count} pixels)")
        # The points drawn are those below the cut: their outline is the
        # screenshot's, where a ceiling left in would reach far higher.
        marks = np.zeros(scene.shape[:2], bool)
        for colour in MARKS.values():
            marks |= near(scene, colour)
        drawn = np.any(np.abs(scene - np.array(BACKGROUND)) > 2, axis=2) & ~marks
        if folded:
            drawn[:50, :80] = False  # the button that opens the panel
        rows, columns = np.nonzero(drawn)
        expected = project(points[points[:, 2] <= cut], eye, cloud["scanner"], width, window[1])
        for name, got, want in (("left", columns.min(), expected[:, 0].min()),
                                ("right", columns.max(), expected[:, 0].max()),
                                ("top", rows.min(), expected[:, 1].min()),
                                ("bottom", rows.max(), expected[:, 1].max())):
            check(abs(got - want) <= 6, f"{window}: the room's {name} edge lies at {got}, expected {want:.0f}")


HALL_SCENE = "box -100 -100 -60 2000 100 120 0.6\n"  # its far end beyond the range finder's reach


def check_chart(velscan, velscan_export, chromium_program, directory, environment):
    """The panel's chart of the lines' figures: one point a line, placed by
    the line's fraction with a range as the metadata file gives it, and a red
    mark under each line that lost samples."""
    with open(os.path.join(directory, "hall.scene"), "w") as scene:
        scene.write(HALL_SCENE)
    run([velscan, "hall.txt", "-l", "12"], directory,
        dict(environment, VELSCAN_SIM_SCENE="hall.scene", VELSCAN_SIM_FAULTS="overflow@3"))
    run([velscan_export, "hall.txt", "--html", "hall.html"], directory)
    with open(os.path.join(directory, "hall.txt.json"), encoding="utf-8") as f:
        figures = json.load(f)["lineFigures"]
    fractions = [line["withRange"] for line in figures]
    lost = [index for index, line in enumerate(figures) if line["lostSamples"]]
    check(len(set(fractions)) > 1 and lost, "the hall's lines differ in range and one lost samples")
    dom = chromium(chromium_program, directory, os.path.join(directory, "hall.html"), "--dump-dom")
    found = re.search(r'data-chart="([^"]*)"', dom)
    check(found is not None, "the page tells what its chart shows")
    chart = json.loads(found.group(1).replace("&quot;", '"'))
    check(chart["figure"] == "withRange" and chart["lines"] == 12 and chart["points"] == 12,
          f"the chart shows the 12 lines' range: {chart}")
    line = re.search(r'<polyline points="([^"]*)"', dom)
    check(line is not None, "the chart draws a line")
    vertices = [tuple(float(v) for v in pair.split(",")) for pair in line.group(1).split()]
    check(len(vertices) == 12 and all(a[0] < b[0] for a, b in zip(vertices, vertices[1:])),
          f"one point a line, left to right: {vertices}")
    # Higher on the chart (a smaller y) for more range, at the same height for the same.
    for (xa, ya), (xb, yb), fa, fb in zip(vertices, vertices[1:], fractions, fractions[1:]):
        check((ya < yb) == (fa > fb) and (ya == yb) == (fa == fb),
              f"the chart's heights follow the fractions: {ya} {yb} for {fa} {fb}")
    marks = re.findall(r'<line x1="([^"]*)"[^>]*class="lost"', dom)
    check(sorted(float(x) for x in marks) == [vertices[index][0] for index in lost],
          f"a red mark under each line that lost samples ({lost}): {marks}")


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    velscan, velscan_export, lookup, chromium_program = sys.argv[1:]
    if shutil.which(chromium_program) is None:
        sys.exit(f"FAILED: {chromium_program} not found (Debian's chromium)")
    directory = tempfile.mkdtemp(prefix="velscan-viewer-")
    try:
        shutil.copy(lookup, os.path.join(directory, "LOOKUPHS"))
        environment = dict(os.environ, VELSCAN_SIM="1", VELSCAN_CLOCK="virtual")
        run([velscan, "scan.txt", "-l", "10"], directory, environment)
        run([velscan_export, "scan.txt", "--html", "scan.html", "--ply", "scan.ply"], directory)
        page = os.path.join(directory, "scan.html")
        with open(page, encoding="utf-8") as text:
            html = text.read()
        check("http://" not in html.split("var cloud = ")[0] and "<link" not in html,
              "the page fetches nothing: no link and no address before its data")
        cloud, colour_map = page_data(html)
        _, vertices = read_binary_ply(os.path.join(directory, "scan.ply"))
        points = check_page_data(cloud, vertices)

        check_drawn(chromium_program, directory, page, "scan.txt", cloud["count"])

        shot = os.path.join(directory, "view.png")
        chromium(chromium_program, directory, page, "--screenshot=" + shot)
        check(os.path.exists(shot), "chromium saved the screenshot")
        check_screenshot(shot, points, colour_map)
        check_edge_pages(velscan_export, chromium_program, directory)
        check_full_scan(velscan, velscan_export, chromium_program, directory, environment)
        check_chart(velscan, velscan_export, chromium_program, directory, environment)
    finally:
        if os.environ.get("VELSCAN_KEEP_VIEWER_CHECK"):
            print("kept", directory)
        else:
            shutil.rmtree(directory, ignore_errors=True)
    print("the viewer passed every check")


if __name__ == "__main__":
    main()
