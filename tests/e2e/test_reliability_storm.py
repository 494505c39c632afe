"""No hang, ever: consecutive observe, press and hit runs against a window
that never holds still (a label rewritten every 3 ms, a list that grows by
a row per tick and is emptied at 40 rows, a second top-level window opened
and closed over it every 24 ms). Every run finishes within the bound with a
documented result and well-formed output, and every press that reported
success pressed the button exactly once.

The number of runs comes from NUVRA_RELIABILITY_RUNS (tests.cmake sets it
per build type); a number as the first argument overrides it."""

import collections
import os
import sys
import unittest

from e2e_support import FixtureApp, Observation, main, run, wait_for
from reliability_support import assert_one_diagnostic, protocol_lines

if len(sys.argv) > 1 and sys.argv[1].isdigit():
    RUNS = int(sys.argv.pop(1))
else:
    RUNS = int(os.environ.get("NUVRA_RELIABILITY_RUNS", "1000"))
# A run here normally takes a tenth of a second; one that takes this long
# is hung, whatever the machine's load.
BOUND_SECONDS = 10.0
NAME = "Nuvra Sturm"
# Deep limits record the churning list, so a press with them is mostly
# stale; shallow ones stop above it, so the hash holds and presses land.
DEEP = ["400", "64", "1000000"]
SHALLOW = ["60", "3", "1000000"]
STALE = ("nuvra-click: stale observation — the window's element tree changed since "
         "screen.observe\n")
# Below the main window's still button the popup comes and goes.
POPUP_POINT = (300, 600)


class StormTest(unittest.TestCase):
    def test_runs_against_a_window_that_never_holds_still(self):
        app = FixtureApp("--storm", name=NAME)
        try:
            outcomes = collections.Counter()
            ticks = set()
            hits = set()
            presses = 0
            latest = {}
            for i in range(RUNS):
                kind = ("observe", "press", "hit")[i % 3]
                limits = DEEP if (i // 3) % 2 else SHALLOW
                if kind == "observe":
                    result = run("observe", *limits, NAME, timeout=BOUND_SECONDS)
                    self.assertEqual(result.status, 0, "run %d: %r" % (i, result))
                    seen = Observation(result)
                    latest[tuple(limits)] = seen
                    ticks.update(e.value for e in seen.elements
                                 if e.value and e.value.startswith("Tick "))
                elif kind == "press":
                    seen = latest[tuple(limits)]
                    button = seen.find(role="AXButton", label="Still button")
                    result = run("press", button.index, *limits, seen.sha, NAME,
                                 timeout=BOUND_SECONDS)
                    self.assertIn((result.status, result.err), [(0, ""), (6, STALE)],
                                  "run %d: %r" % (i, result))
                    presses += result.status == 0
                else:
                    point = POPUP_POINT if (i // 3) % 2 else seen.find(
                        role="AXButton", label="Still button").center
                    result = run("hit", *point, timeout=BOUND_SECONDS)
                    self.assertIn(result.status, (0, 4), "run %d: %r" % (i, result))
                    if result.status == 0:
                        hits.add(result.out.split("|")[2])
                    else:
                        assert_one_diagnostic(self, result)
                protocol_lines(self, result)
                outcomes[kind, result.status] += 1
            # The presses run in the application's main loop after the reply.
            pressesShown = wait_for(lambda: self.pressesShown() == presses, timeout=10) \
                and presses
        finally:
            app.close()
        print("\n%d runs: %s" % (RUNS, dict(outcomes)), file=sys.stderr)
        self.assertEqual(sum(outcomes.values()), RUNS)
        # The window really moved under the runs: the label changed, the
        # popup came and went under the point, and presses both landed and
        # were refused as stale.
        self.assertGreater(len(ticks), RUNS // 6)
        self.assertTrue({"Popup button", "Still button"} <= hits, hits)
        self.assertGreater(outcomes["press", 0], 0)
        self.assertGreater(outcomes["press", 6], 0)
        # Every press that reported success pressed the button, once.
        self.assertEqual(pressesShown, presses, "the presses label never showed %d" % presses)

    def pressesShown(self):
        result = run("observe", *SHALLOW, NAME)
        if result.status != 0:
            return None
        label = Observation(result).value_of("Presses: ")
        return int(label.split(": ")[1])


if __name__ == "__main__":
    main()
