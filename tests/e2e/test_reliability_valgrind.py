"""The real binary under Valgrind's memcheck against a real GTK window:
observe, press, settext, hit, a click, and failing runs (a bad argument, a
stale hash, no element at a point, no such application, no bus at all).
Each run must do what it does without Valgrind and end with no memory
error (invalid read or write, use of uninitialised memory, bad free) and no
definite, indirect or possible leak outside the few one-time library
allocations that valgrind.supp lists and explains.

Valgrind slows the tool some thirty times. The permission gate answers
within half a second by design and, so slowed, sometimes reports a bus
that is merely slow as missing: such a run is memchecked like any other and
then tried again. tests.cmake runs this test alone (RUN_SERIAL)."""

import os
import re
import subprocess
import sys
import tempfile
import unittest

from e2e_support import LIMITS, FixtureApp, main, observe, wait_for
from reliability_support import bus_daemon_pid, registry_pid, run_under

HERE = os.path.dirname(os.path.abspath(__file__))
SUPPRESSIONS = os.path.join(HERE, "valgrind.supp")
UNTRUSTED_OUT = "NUVRA_AX_UNTRUSTED\n"
# Under memcheck the gate's half-second budget is tight when the machine is
# busy; each refused attempt is still memchecked, so retrying costs nothing
# of what the test proves.
ATTEMPTS = 30
# Far above what any of these runs takes under Valgrind (a few seconds).
BOUND_SECONDS = 120.0
MEMCHECK = ["valgrind", "--tool=memcheck", "--leak-check=full",
            "--show-leak-kinds=definite,indirect,possible",
            "--errors-for-leak-kinds=definite,indirect,possible",
            "--error-exitcode=99", "--num-callers=40", "--fair-sched=yes",
            "--suppressions=" + SUPPRESSIONS]


def favour(pid):
    """Gives a process of the chain under test a larger share of the CPU, so
    the gate's half second is spent on it rather than on other work."""
    try:
        os.setpriority(os.PRIO_PROCESS, pid, -10)
    except (PermissionError, ProcessLookupError, TypeError):
        pass


def session_services():
    """The X server and the buses that the headless session started: the
    session script is this test's parent."""
    listed = subprocess.run(["ps", "-o", "pid=", "--ppid", str(os.getppid())],
                            capture_output=True, text=True).stdout.split()
    return [int(pid) for pid in listed]


class ValgrindTest(unittest.TestCase):
    gateRefusals = 0

    @classmethod
    def setUpClass(cls):
        cls.app = FixtureApp()
        cls.logs = tempfile.TemporaryDirectory()
        for pid in [cls.app.process.pid, bus_daemon_pid(), registry_pid(), os.getpid()] \
                + session_services():
            favour(pid)

    @classmethod
    def tearDownClass(cls):
        cls.app.close()
        cls.logs.cleanup()
        print("\nruns tried again after the gate refused them: %d" % cls.gateRefusals,
              file=sys.stderr)

    def memcheck(self, *args, env=None, expectGate=False):
        """Runs nuvra-click under memcheck until it gets past the gate (or
        once, for a run meant to end there); every attempt's report must be
        clean. Returns the last run."""
        for attempt in range(ATTEMPTS):
            log = os.path.join(self.logs.name, "memcheck-%d.log" % attempt)
            result = run_under(MEMCHECK + ["--log-file=" + log], *args, env=env,
                               timeout=BOUND_SECONDS)
            with open(log, encoding="utf-8", errors="replace") as f:
                report = f.read()
            self.assertNotEqual(result.status, 99, report)
            summary = re.search(r"ERROR SUMMARY: (\d+) errors", report)
            self.assertTrue(summary, report)
            self.assertEqual(summary.group(1), "0", report)
            for kind in ("definitely", "indirectly", "possibly"):
                lost = re.search(kind + r" lost: ([\d,]+) bytes", report)
                self.assertTrue(lost is None or lost.group(1) == "0", report)
            if expectGate or result.out != UNTRUSTED_OUT:
                return result
            ValgrindTest.gateRefusals += 1
        self.fail("the gate never let %r through under Valgrind" % (args,))

    def test_every_command_and_failure_is_clean(self):
        seen = observe()
        count = seen.find(role="AXButton", label="Count")
        entry = seen.find(role="AXTextField", label="Name field")
        pad = seen.find(role="AXGroup", label="Pointer pad")
        clicks = int(seen.value_of("Clicks: ").split(": ")[1])
        cases = [
            (("observe", *LIMITS), 0),
            (("observe", *LIMITS, "Nuvra Éditeur"), 0),
            (("press", count.index, *LIMITS, seen.sha), 0),
            (("settext", entry.index, "unter Valgrind", *LIMITS, seen.sha), 0),
            (("hit", *count.center), 0),
            ((*pad.center,), 0),
            (("observe", "x", "1", "1"), 3),
            (("press", count.index, *LIMITS, "0" * 64), 6),
            (("hit", "1200", "790"), 4),
            (("observe", *LIMITS, "Nuvra Niemand"), 5),
        ]
        for args, status in cases:
            with self.subTest(args=args):
                result = self.memcheck(*args)
                self.assertEqual(result.status, status, result)
        # The runs acted: the press counted, the text arrived, the click
        # reached the pad.
        after = wait_for(lambda: observe() if observe().value_of("Clicks: ")
                         == "Clicks: %d" % (clicks + 1) else None)
        self.assertTrue(after, "the press never arrived")
        self.assertEqual(after.find(role="AXTextField", label="Name field").value,
                         "unter Valgrind")
        self.assertTrue(wait_for(lambda: observe().value_of("Pad clicks: ").startswith(
            "Pad clicks: left 1,")))

    def test_without_a_bus_the_gate_path_is_clean(self):
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin")}
        result = self.memcheck("observe", *LIMITS, env=env, expectGate=True)
        self.assertEqual((result.status, result.out), (2, UNTRUSTED_OUT))


if __name__ == "__main__":
    main()
