#!/usr/bin/env python3
"""when_found.py: a missing reader skips the check (77), fails it under CI (1),
and a present one runs the check with the program's path put in."""
import os
import subprocess
import sys
import unittest

GATE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "when_found.py")


def gate(*args, ci=False):
    env = {k: v for k, v in os.environ.items() if k != "CI"}
    if ci:
        env["CI"] = "1"
    return subprocess.run([sys.executable, GATE, "--install", "pkg-a pkg-b", *args],
                          env=env, capture_output=True, text=True)


class WhenFound(unittest.TestCase):
    def test_missing_module_or_program_skips_and_names_the_package(self):
        for missing in (["--module", "velscan_no_such_module"], []):
            program = [] if missing else ["which:velscan-no-such-program"]
            result = gate(*missing, "--", "/bin/echo", *program, "ran")
            self.assertEqual(result.returncode, 77, result)
            self.assertNotIn("ran", result.stdout)
            self.assertIn("apt-get install pkg-a pkg-b", result.stdout)

    def test_missing_reader_fails_under_ci(self):
        result = gate("--", "/bin/echo", "which:velscan-no-such-program", "ran", ci=True)
        self.assertEqual(result.returncode, 1)
        self.assertNotIn("ran", result.stdout)
        self.assertIn("velscan-no-such-program", result.stderr)

    def test_present_readers_run_the_check_with_the_first_program_found(self):
        result = gate("--module", "json", "--", "/bin/echo",
                      "which:velscan-no-such-program|sh", "ran", ci=True)
        self.assertEqual(result.returncode, 0, result)
        first, second = result.stdout.split()
        self.assertTrue(os.path.isabs(first) and first.endswith("/sh"), first)
        self.assertEqual(second, "ran")

    def test_a_failing_check_keeps_its_exit_code(self):
        self.assertEqual(gate("--", "/bin/sh", "-c", "exit 5").returncode, 5)


if __name__ == "__main__":
    unittest.main()
