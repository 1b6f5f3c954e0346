"""The live page in headless Chromium during one simulated scan in real time
(the mirror's run-up takes its 20 s): opened twice, seconds apart, while the
lines are recorded, it shows the lines done grow and the last lines'
figures; opened after the end, it
says the scan is complete and shows the finished range picture, whose pixels
(read with Pillow) are those of velscan-export's range picture of the table.
Usage:
    check_live_in_chromium.py VELSCAN VELSCAN_EXPORT LOOKUPHS CHROMIUM
Exits non-zero on the first failed check."""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

from PIL import Image

LINES = 120          # 12 s of sampling at -s 20
SECONDS_APART = 3


def check(condition, what):
    if not condition:
        sys.exit("FAILED: " + what)
    print("ok:", what)


def dump_dom(chromium, directory, page):
    arguments = [chromium, "--headless=new", "--enable-logging=stderr", "--v=0",
                 "--user-data-dir=" + os.path.join(directory, "profile"), "--no-first-run",
                 "--disable-extensions", "--virtual-time-budget=2500", "--dump-dom", "file://" + page]
    if os.geteuid() == 0:
        arguments.insert(1, "--no-sandbox")
    result = subprocess.run(arguments, cwd=directory, capture_output=True, text=True, timeout=120)
    check(result.returncode == 0, f"chromium opened the page (exit {result.returncode})")
    console = [line for line in result.stderr.splitlines() if ":CONSOLE" in line]
    check(not console, "the page logged nothing on the console: " + "\n".join(console))
    return result.stdout


def shown(dom, element):
    found = re.search(r'<span id="%s">([^<]*)</span>' % element, dom)
    check(found is not None, f"the page shows {element}")
    return found.group(1)


def picture_file(dom, directory):
    found = re.search(r'<img id="picture"[^>]*src="([^"?]+)\?v=\d+"', dom)
    check(found is not None, "the page shows a picture")
    return os.path.join(directory, found.group(1))


def page_state(script):
    with open(script, encoding="ascii") as text:
        body = text.read()
    return json.loads(body[len("velscanLive("):-len(");\n")])


def main(velscan, export, lookup, chromium):
    directory = tempfile.mkdtemp(prefix="velscan-live-")
    try:
        shutil.copy(lookup, os.path.join(directory, "LOOKUPHS"))
        environment = {k: v for k, v in os.environ.items() if not k.startswith("VELSCAN_")}
        environment.update(VELSCAN_SIM="1", VELSCAN_CLOCK="real", VELSCAN_CAPTURE="scan.txt.capture",
                           VELSCAN_LIVE="on", VELSCAN_PICTURES="on")
        page = os.path.join(directory, "scan.txt.live.html")
        script = os.path.join(directory, "scan.txt.live.js")
        with open(os.path.join(directory, "err"), "w") as err:
            scan = subprocess.Popen([velscan, "scan.txt", "-s", "20", "-l", str(LINES)], cwd=directory,
                                    env=environment, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                    stderr=err)
            try:
                # Until the follower has seen the first line (after the run-up).
                deadline = time.monotonic() + 90
                while time.monotonic() < deadline and scan.poll() is None:
                    if os.path.exists(script) and page_state(script)["linesDone"] > 0:
                        break
                    time.sleep(0.2)
                check(scan.poll() is None, "the scan is recording lines")
                first = int(shown(dump_dom(chromium, directory, page), "linesDone"))
                time.sleep(SECONDS_APART)
                second_dom = dump_dom(chromium, directory, page)
                second = int(shown(second_dom, "linesDone"))
                check(scan.poll() is None, "the scan still runs after the second look")
                check(0 < first < second < LINES, f"the lines done grew while the page was open: {first}, then {second}")
                check(shown(second_dom, "linesAsked") == str(LINES), "the page shows the lines asked")
                figures = re.search(r'<tbody id="figureRows">(.*?)</tbody>', second_dom, re.S)
                check(figures is not None and figures.group(1).count("<tr>") == min(second, 10),
                      "the page shows the figures of the last lines")
                check(picture_file(second_dom, directory).endswith("scan.txt.live.png"),
                      "during the scan the page shows the picture of the lines so far")
                check(scan.wait(timeout=120) == 0, "velscan ended with exit code 0")
            finally:
                if scan.poll() is None:
                    scan.kill()
                    scan.wait()
        with open(os.path.join(directory, "err")) as err:
            lines = err.read().splitlines()
        check(f"Live view: {page}" in lines, "velscan said where the live page is")
        check(lines[-1] == f"Saved {LINES} lines to scan.txt", "velscan's last line says where the table went")

        end_dom = dump_dom(chromium, directory, page)
        check('id="state" class="complete"' in end_dom, "the page says the scan is complete")
        check(shown(end_dom, "linesDone") == str(LINES), "the page shows every line done")
        check('href="scan.txt.html"' in end_dom, "the page links the viewer")
        shown_picture = picture_file(end_dom, directory)
        check(os.path.basename(shown_picture) == "scan.txt.png", "at the end the page shows the finished picture")
        subprocess.run([export, "scan.txt", "--png", "export.png"], cwd=directory, check=True,
                       stdout=subprocess.DEVNULL)
        ours = Image.open(shown_picture).convert("RGB")
        theirs = Image.open(os.path.join(directory, "export.png")).convert("RGB")
        check(ours.size == theirs.size and ours.tobytes() == theirs.tobytes(),
              f"the page's picture has the pixels of velscan-export's ({ours.size[0]}x{ours.size[1]})")
    finally:
        shutil.rmtree(directory, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    main(*sys.argv[1:])
