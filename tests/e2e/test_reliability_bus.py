"""The accessibility bus or its registry stopping (SIGSTOP) or disappearing
(SIGKILL), between runs and in the middle of one. Between runs every
command ends at the permission gate with the untrusted report within the
gate's second; in the middle of a run it ends within one request time-out
with an observation or a documented failure; a bus that comes back is used
again by the next run. Killing is final for a session, so each class that
kills runs in its own session (tests.cmake names the class)."""

import os
import signal
import subprocess
import time
import unittest

from e2e_support import LIMITS, FixtureApp, Observation, Run, binary, observe, run
from reliability_support import (BusMonitor, assert_one_diagnostic, bus_daemon_pid, calls_to,
                                 main, names_of_pid, protocol_lines, registry_pid)

NAME = "Nuvra Bus"
UNTRUSTED = ("NUVRA_AX_UNTRUSTED\n",
             "nuvra-click: 辅助功能未授权（系统设置 → 隐私与安全性 → 辅助功能，勾选 nuvra 所在应用）\n")
# The gate answers within a second; a run in which the bus stops answering
# waits for one request time-out (a second) once.
GATE_HANG_BOUND_SECONDS = 2.0
MID_RUN_BOUND_SECONDS = 3.0
# A walk of the whole controls window. The cut comes once the tool has
# asked the application its name, which every run that targets an
# application does first: from then on the run is choosing the window,
# walking it or acting.
WALK = ["observe", "5000", "64", "1000000"]


class BusCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.app = FixtureApp(name=NAME)
        cls.seen = observe(NAME)
        cls.appNames = names_of_pid(cls.app.process.pid)
        cls.monitor = BusMonitor()

    @classmethod
    def tearDownClass(cls):
        cls.monitor.close()
        cls.app.close()

    def everyCommand(self):
        seen = self.seen
        count = seen.find(role="AXButton", label="Count")
        entry = seen.find(role="AXTextField", label="Name field")
        return [
            ("observe", *LIMITS),
            ("observe", *LIMITS, NAME),
            ("press", count.index, *LIMITS, seen.sha, NAME),
            ("settext", entry.index, "never written", *LIMITS, seen.sha, NAME),
            ("hit", *count.center),
            (*count.center,),
            ("scroll", *count.center, "0", "-3", "at"),
            ("drag", "1", "1", "2", "2"),
        ]

    def assertEveryCommandUntrusted(self):
        for args in self.everyCommand():
            with self.subTest(args=args):
                result = run(*args)
                self.assertEqual((result.status, result.out, result.err), (2,) + UNTRUSTED)
                self.assertLess(result.seconds, GATE_HANG_BOUND_SECONDS, result)

    def assertNothingWasDone(self):
        again = observe(NAME)
        self.assertEqual(again.sha, self.seen.sha)
        self.assertEqual(again.value_of("Clicks: "), "Clicks: 0")
        self.assertEqual(again.find(role="AXTextField", label="Name field").value, "")

    def cutMidRun(self, args, pid, sig):
        """Runs the tool, sends `sig` to `pid` once the tool has asked the
        application something, and returns the run and whether the tool was
        still running when the signal went."""
        self.monitor.take()
        started = time.monotonic()
        tool = subprocess.Popen([binary()] + [str(a) for a in args], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        try:
            self.monitor.wait_until(lambda messages: calls_to(messages, self.appNames))
        finally:
            running = tool.poll() is None
            os.kill(pid, sig)
        try:
            out, err = tool.communicate(timeout=20)
        except subprocess.TimeoutExpired:
            tool.kill()
            tool.communicate()
            raise AssertionError("%s did not finish after the bus was cut" % (args,))
        seconds = time.monotonic() - started
        return Run(list(args), tool.returncode, out.decode(), err.decode(), seconds), running

    def assertDocumentedEnd(self, result, statuses):
        self.assertLess(result.seconds, MID_RUN_BOUND_SECONDS, result)
        self.assertIn(result.status, statuses, result)
        protocol_lines(self, result)
        if result.status == 0 and result.args[0] == "observe":
            Observation(result)
        elif result.status != 0:
            assert_one_diagnostic(self, result)


class BusStoppedTest(BusCase):
    """SIGSTOP and SIGCONT: the session survives, so these share one."""

    def test_bus_stopped_between_runs(self):
        bus = bus_daemon_pid()
        os.kill(bus, signal.SIGSTOP)
        try:
            self.assertEveryCommandUntrusted()
        finally:
            os.kill(bus, signal.SIGCONT)
        self.assertNothingWasDone()

    def test_registry_stopped_between_runs(self):
        registry = registry_pid()
        os.kill(registry, signal.SIGSTOP)
        try:
            self.assertEveryCommandUntrusted()
        finally:
            os.kill(registry, signal.SIGCONT)
        self.assertNothingWasDone()

    def test_bus_stopped_during_a_run(self):
        bus = bus_daemon_pid()
        try:
            result, running = self.cutMidRun(WALK, bus, signal.SIGSTOP)
        finally:
            os.kill(bus, signal.SIGCONT)
        self.assertTrue(running, "the run ended before the cut")
        # What was read before the stop is printed and the rest reads as
        # absent, or the application could not be chosen any more.
        self.assertDocumentedEnd(result, (0, 5))
        # Answering again, the bus serves the next run as before.
        self.assertEqual(observe(NAME).sha, self.seen.sha)

    def test_registry_stopped_during_a_run(self):
        registry = registry_pid()
        whole = observe(limits=WALK[1:])
        try:
            result, running = self.cutMidRun(WALK, registry, signal.SIGSTOP)
        finally:
            os.kill(registry, signal.SIGCONT)
        self.assertTrue(running, "the run ended before the cut")
        # Once the applications are listed the registry is not asked again:
        # the run finishes whole.
        self.assertDocumentedEnd(result, (0,))
        self.assertEqual(Observation(result).sha, whole.sha)


class BusKilledTest(BusCase):
    def test_bus_killed_during_a_run_then_every_run_ends_at_the_gate(self):
        result, running = self.cutMidRun(WALK, bus_daemon_pid(), signal.SIGKILL)
        self.assertTrue(running, "the run ended before the cut")
        self.assertDocumentedEnd(result, (0, 5))
        self.assertEveryCommandUntrusted()


class BusKilledDuringPressTest(BusCase):
    def test_bus_killed_during_a_press(self):
        count = self.seen.find(role="AXButton", label="Count")
        result, running = self.cutMidRun(
            ("press", count.index, "5000", "64", "1000000", observe(NAME, limits=WALK[1:]).sha,
             NAME), bus_daemon_pid(), signal.SIGKILL)
        self.assertTrue(running, "the run ended before the cut")
        # Pressed before the bus went, or refused: no target any more, a
        # walk that no longer reads what observe read, or a press that
        # cannot be delivered.
        self.assertDocumentedEnd(result, (0, 5, 6, 8))
        self.assertEveryCommandUntrusted()


class RegistryKilledTest(BusCase):
    def test_registry_killed_during_a_run_then_every_run_ends_at_the_gate(self):
        whole = observe(limits=WALK[1:])
        result, running = self.cutMidRun(WALK, registry_pid(), signal.SIGKILL)
        self.assertTrue(running, "the run ended before the cut")
        # Once the applications are listed the registry is not asked again:
        # the run finishes whole.
        self.assertDocumentedEnd(result, (0,))
        self.assertEqual(Observation(result).sha, whole.sha)
        self.assertEveryCommandUntrusted()


if __name__ == "__main__":
    main()
