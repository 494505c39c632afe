"""No hang: consecutive observations of a window that never holds still (a
label rewritten every 10 ms, a list that grows by a row every 10 ms and is
emptied at 40 rows), each finishing within its bound."""

import statistics
import sys
import unittest

from e2e_support import FixtureApp, Observation, main, run

# A number as the first argument runs fewer, for a quick look by hand.
RUNS = int(sys.argv.pop(1)) if len(sys.argv) > 1 and sys.argv[1].isdigit() else 300
# Far above a normal run (about a tenth of a second) and far below forever.
BOUND_SECONDS = 10.0
LIMITS = ["5000", "64", "1000000"]


class StressTest(unittest.TestCase):
    def test_observing_a_churning_window_never_hangs(self):
        app = FixtureApp("--churn", name="Nuvra Unruh")
        try:
            seconds = []
            ticks = set()
            for i in range(RUNS):
                result = run("observe", *LIMITS, "Nuvra Unruh", timeout=BOUND_SECONDS)
                self.assertEqual(result.status, 0, "run %d: %r" % (i, result))
                seen = Observation(result)
                ticks.update(e.value for e in seen.elements
                             if e.value and e.value.startswith("Tick "))
                seconds.append(result.seconds)
        finally:
            app.close()
        # The window really changed under the walks.
        self.assertGreater(len(ticks), RUNS // 2)
        print("\n%d observes: median %.3fs, max %.3fs" % (
            RUNS, statistics.median(seconds), max(seconds)), file=sys.stderr)


if __name__ == "__main__":
    main()
