#!/usr/bin/env python3
"""Runs a check by independent readers only when its readers are there.

    when_found.py --install PACKAGES [--module NAME]... -- COMMAND [ARG | which:P1|P2]...

Each --module must import under this interpreter, and each argument written
which:NAME1|NAME2 is replaced by the path of the first of those programs found
on the PATH. The readers are looked up as the test runs, not when the build is
configured, so a reader installed after the first configure is used at once.

When one is missing the check is left out (exit code 77, which ctest counts as
skipped) and says which package to install; when CI is set in the environment
a missing reader fails the check instead (exit code 1).
"""
import importlib.util
import os
import shutil
import sys

SKIPPED = 77


def main(argv):
    modules, install, rest = [], "", argv
    while rest and rest[0] != "--":
        if rest[0] == "--module" and len(rest) > 1:
            modules.append(rest[1])
        elif rest[0] == "--install" and len(rest) > 1:
            install = rest[1]
        else:
            print(f"when_found.py: unexpected argument {rest[0]!r}", file=sys.stderr)
            return 2
        rest = rest[2:]
    if not rest or len(rest) < 2:
        print("when_found.py: no command after --", file=sys.stderr)
        return 2
    command, missing = [], []
    for name in modules:
        if importlib.util.find_spec(name) is None:
            missing.append(f"the Python module {name} (under {sys.executable})")
    for arg in rest[1:]:
        if arg.startswith("which:"):
            names = arg[len("which:"):].split("|")
            found = next((p for p in map(shutil.which, names) if p), None)
            if found is None:
                missing.append("the program " + " or ".join(names))
                found = names[0] + "-not-found"
            command.append(found)
        else:
            command.append(arg)
    if missing:
        reason = "missing: " + "; ".join(missing) + f" (apt-get install {install})"
        if os.environ.get("CI"):
            print(f"error: {reason}; under CI every reader check must run", file=sys.stderr)
            return 1
        print(f"left out, {reason}")
        return SKIPPED
    sys.stdout.flush()
    os.execv(command[0], command)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
