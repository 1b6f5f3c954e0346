#!/usr/bin/env python3
"""What the live view costs, measured on one simulated scan in real time at
-s 20 (the shortest period), with the live page and the pictures on:

- the follower's processor time (velscan-live: user + system, from /proc),
  during the scan and for the finished table's picture and viewer at the
  end, as a share of one core;
- the samples per second velscan's status line shows at line 50 (standard
  error on a pseudo-terminal, where the status line is drawn), against the
  nominal 50,000 at -s 20.

Usage: bench/live_view_cost.py BUILD_DIR [LINES [off]]   (LINES >= 50, default 200;
"off": the same scan with the live view and the pictures off, to compare)
Prints the figures; exits non-zero only when the scan itself failed. A
measurement, not a test: the figures depend on the machine and its load."""

import os
import pty
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time

TICKS = os.sysconf("SC_CLK_TCK")
NOMINAL = 50000.0


def stat_fields(pid):
    """The fields of /proc/PID/stat after the command name; None once gone."""
    try:
        with open(f"/proc/{pid}/stat") as stat:
            text = stat.read()
    except OSError:
        return None
    return text[text.rindex(")") + 2:].split()


def cpu_seconds(fields, children=False):
    # utime, stime are fields 14 and 15; cutime, cstime 16 and 17 (1-based,
    # counted from the pid); here the list starts at field 3.
    first = 13 if children else 11
    return (int(fields[first]) + int(fields[first + 1])) / TICKS


def follower_of(pid):
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        fields = stat_fields(entry)
        if fields and int(fields[1]) == pid:
            try:
                with open(f"/proc/{entry}/comm") as comm:
                    if comm.read().strip() == "velscan-live":
                        return int(entry)
            except OSError:
                pass
    return None


def main(build, lines, live):
    velscan = os.path.join(os.path.abspath(build), "src", "velscan")
    examples = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples", "LOOKUPHS")
    directory = tempfile.mkdtemp(prefix="velscan-live-cost-")
    try:
        shutil.copy(examples, os.path.join(directory, "LOOKUPHS"))
        environment = {k: v for k, v in os.environ.items() if not k.startswith("VELSCAN_")}
        environment.update(VELSCAN_SIM="1", VELSCAN_CLOCK="real", VELSCAN_CAPTURE="scan.txt.capture",
                           VELSCAN_LIVE=live, VELSCAN_PICTURES=live)
        controller, terminal = pty.openpty()
        started = time.monotonic()
        scan = subprocess.Popen([velscan, "scan.txt", "-s", "20", "-l", str(lines)], cwd=directory,
                                env=environment, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=terminal)
        os.close(terminal)
        shown = b""
        follower = None
        follower_started = follower_scan_cpu = saving_at = sampling_at = None
        cpu_children = None
        while True:
            ready, _, _ = select.select([controller], [], [], 0.05)
            if ready:
                try:
                    chunk = os.read(controller, 65536)
                except OSError:
                    chunk = b""
                shown += chunk
            if follower is None:
                follower = follower_of(scan.pid)
                if follower is not None:
                    follower_started = time.monotonic()
            if sampling_at is None and b"Begin sampling" in shown:
                sampling_at = time.monotonic()
            if saving_at is None and b"Saving Data" in shown:
                saving_at = time.monotonic()
                fields = stat_fields(follower) if follower else None
                follower_scan_cpu = cpu_seconds(fields) if fields else None
            fields = stat_fields(scan.pid)
            if fields is None or fields[0] == "Z":
                # velscan has reaped its follower: its children's time is the follower's.
                if fields is not None:
                    cpu_children = cpu_seconds(fields, children=True)
                break
        ended = time.monotonic()
        code = scan.wait()
        os.close(controller)
        text = shown.decode("utf-8", "replace")
        rates = re.findall(r"line 50 of \d+, (\d+) samples/s", text)
        print(f"velscan exit code {code}; {lines} lines at -s 20; wall time {ended - started:.1f} s")
        if rates:
            rate = float(rates[-1])
            print(f"status line at line 50: {rate:.0f} samples/s = {100 * rate / NOMINAL:.2f} % of 50,000")
        else:
            print("status line at line 50: not seen")
        if follower_started is not None and saving_at is not None and follower_scan_cpu is not None:
            during = saving_at - follower_started
            print(f"follower during the scan (run-up and {lines} lines, {during:.1f} s): "
                  f"{follower_scan_cpu:.2f} s CPU = {100 * follower_scan_cpu / during:.2f} % of one core")
        if cpu_children is not None and follower_started is not None:
            life = ended - follower_started
            print(f"follower in all, with the finished picture and viewer ({life:.1f} s): "
                  f"{cpu_children:.2f} s CPU = {100 * cpu_children / life:.2f} % of one core")
            if follower_scan_cpu is not None and saving_at is not None:
                print(f"follower after the last line (picture and viewer of the table, {ended - saving_at:.1f} s): "
                      f"{cpu_children - follower_scan_cpu:.2f} s CPU")
        return 0 if code == 0 else 1
    finally:
        shutil.rmtree(directory, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3, 4) or (len(sys.argv) == 4 and sys.argv[3] != "off"):
        sys.exit(__doc__)
    count = int(sys.argv[2]) if len(sys.argv) >= 3 else 200
    if count < 50:
        sys.exit("LINES must be at least 50")
    sys.exit(main(sys.argv[1], count, "off" if len(sys.argv) == 4 else "on"))
