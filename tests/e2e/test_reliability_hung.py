"""Applications that stop answering (SIGSTOP): a run that meets one waits
for it once, for the one-second AT-SPI time-out, reads it as absent from
then on, and ends within the stated bound; the other applications stay
observable and operable meanwhile. The accessibility bus is watched, so
"asked once" is counted for every request that crosses it (choosing the
application does), not guessed from timings."""

import signal
import subprocess
import time
import unittest

from e2e_support import LIMITS, FixtureApp, Observation, Run, binary, observe, run
from reliability_support import (BusMonitor, assert_one_diagnostic, calls_to, main, names_of_pid,
                                 protocol_lines)

# The bound a run meets when one application it touches has stopped
# answering: the one-second request time-out, once, plus the run's own work.
HUNG_BOUND_SECONDS = 3.0
# Each further application that has stopped answering costs at most one
# more time-out.
PER_FURTHER_HUNG_APP_SECONDS = 1.0

LIVE = "Nuvra Wach"
HUNG = "Nuvra Stumm"


class HungApplicationTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.live = FixtureApp(name=LIVE)
        try:
            # Side by side on the 1280-pixel screen, so a point names one.
            cls.hung = FixtureApp("--x", "660", name=HUNG)
        except BaseException:
            cls.live.close()
            raise
        cls.monitor = BusMonitor()

    @classmethod
    def tearDownClass(cls):
        cls.monitor.close()
        cls.hung.close()
        cls.live.close()

    def setUp(self):
        # Leftovers of an earlier test must not be counted here.
        self.hung.stop(signal.SIGCONT)
        self.live.stop(signal.SIGCONT)
        self.liveSeen = observe(LIVE)
        self.hungSeen = observe(HUNG)
        self.hungNames = names_of_pid(self.hung.process.pid)
        self.liveNames = names_of_pid(self.live.process.pid)
        self.assertTrue(self.hungNames and self.liveNames)

    def tearDown(self):
        self.hung.stop(signal.SIGCONT)
        self.live.stop(signal.SIGCONT)

    def counted(self, *args):
        """One run, with the requests that reached the hung application."""
        self.monitor.take()
        result = run(*args)
        asked = calls_to(self.monitor.take(), self.hungNames)
        return result, asked

    def test_other_applications_stay_usable_and_the_hung_one_is_asked_once(self):
        live = self.liveSeen
        count = live.find(role="AXButton", label="Count")
        entry = live.find(role="AXTextField", label="Name field")
        hungButton = self.hungSeen.find(role="AXButton", label="Count")
        self.hung.stop(signal.SIGSTOP)
        # (arguments, expected status, whether the run must ask the hung
        # application at all)
        cases = [
            (("observe", *LIMITS, LIVE), 0, True),
            (("press", count.index, *LIMITS, live.sha, LIVE), 0, True),
            (("settext", entry.index, "typed while another app hangs", *LIMITS, live.sha, LIVE),
             0, True),
            (("hit", *count.center), 0, False),
            (("observe", *LIMITS, HUNG), 5, True),
            (("press", hungButton.index, *LIMITS, self.hungSeen.sha, HUNG), 5, True),
            (("hit", *hungButton.center), 4, False),
        ]
        for args, status, mustAsk in cases:
            with self.subTest(args=args[0:1] + args[-1:]):
                result, asked = self.counted(*args)
                self.assertLess(result.seconds, HUNG_BOUND_SECONDS, result)
                self.assertEqual(result.status, status, result)
                protocol_lines(self, result)
                if status != 0:
                    assert_one_diagnostic(self, result)
                # Once it has not answered, it is never asked again.
                self.assertLessEqual(len(asked), 1, asked)
                if mustAsk:
                    self.assertEqual(len(asked), 1, asked)
        observed = Observation(run("observe", *LIMITS, LIVE))
        self.assertEqual(observed.sha, live.sha)
        self.assertEqual(observed.find(role="AXTextField", label="Name field").value,
                         "typed while another app hangs")

    def test_each_further_hung_application_costs_at_most_one_more_time_out(self):
        self.hung.stop(signal.SIGSTOP)
        self.live.stop(signal.SIGSTOP)
        bound = HUNG_BOUND_SECONDS + PER_FURTHER_HUNG_APP_SECONDS
        for args in [("observe", *LIMITS, LIVE), ("observe", *LIMITS, "Nuvra Niemand"),
                     ("observe", *LIMITS)]:
            with self.subTest(args=args):
                self.monitor.take()
                result = run(*args)
                messages = self.monitor.take()
                self.assertLess(result.seconds, bound, result)
                self.assertEqual((result.status, result.out), (5, ""), result)
                assert_one_diagnostic(self, result)
                self.assertEqual(len(calls_to(messages, self.hungNames)), 1)
                self.assertEqual(len(calls_to(messages, self.liveNames)), 1)

    def test_stopped_during_a_run_the_run_still_ends_in_bounds(self):
        # Stops early and late in a run, at fractions of how long a whole
        # run takes here and now; a run that still ends before its stop
        # (the machine sped up) is tried again.
        durations = []
        for _ in range(3):
            started = time.monotonic()
            observe(HUNG)
            durations.append(time.monotonic() - started)
        whole = sorted(durations)[1]
        for fraction in (0.2, 0.6):
            with self.subTest(fraction=fraction):
                for _ in range(10):
                    started = time.monotonic()
                    walk = subprocess.Popen([binary(), "observe", *LIMITS, HUNG],
                                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                    time.sleep(whole * fraction)
                    runningAtStop = walk.poll() is None
                    self.hung.stop(signal.SIGSTOP)
                    try:
                        out, err = walk.communicate(timeout=20)
                    finally:
                        seconds = time.monotonic() - started
                        self.hung.stop(signal.SIGCONT)
                    if runningAtStop:
                        break
                self.assertTrue(runningAtStop, "every run ended before the application stopped")
                self.assertLess(seconds, HUNG_BOUND_SECONDS)
                result = Run([], walk.returncode, out.decode(), err.decode(), seconds)
                # Stopped before its name was read, the application is not
                # found; stopped later, whatever was read before the stop is
                # printed and the rest reads as absent.
                self.assertIn(walk.returncode, (0, 5), result)
                protocol_lines(self, result)
                if walk.returncode == 0:
                    Observation(result)
                else:
                    assert_one_diagnostic(self, result)
        # Resumed, it answers every run again as it did before.
        self.assertEqual(observe(HUNG).sha, self.hungSeen.sha)


if __name__ == "__main__":
    main()
