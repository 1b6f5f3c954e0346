"""What the independent readers' checks of velscan-export share: a check
that stops at the first failure, a program run that must succeed, and a PCD
file's header."""

import subprocess
import sys


def check(condition, what):
    if not condition:
        sys.exit("FAILED: " + what)
    print("ok:", what)


def run(arguments, directory, environment=None):
    result = subprocess.run(arguments, cwd=directory, env=environment, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"FAILED: {arguments} exited {result.returncode}: {result.stderr}")
    return result.stdout


def pcd_header(path):
    """The header's fields up to DATA, each with its words."""
    header = {}
    with open(path, "rb") as pcd:
        for line in pcd:
            words = line.decode().split()
            if words and not words[0].startswith("#"):
                header[words[0]] = words[1:]
            if words and words[0] == "DATA":
                break
    return header
