# Runs that must never hang or leak: many observe, press and hit runs against
# a window that never holds still, and the real binary under Valgrind's
# memcheck. tests.cmake picks one: `test_endurance.py StormTest` (with
# NUVRA_STORM_RUNS runs) or `test_endurance.py MemcheckTest`.
import collections
import contextlib
import os
import re
import tempfile
import unittest

from e2e import HERE, LIMITS, STALE, UNTRUSTED, App, run, wait_for

NAME, RUNS = "Nuvra Sturm", int(os.environ.get("NUVRA_STORM_RUNS", "1000"))
# Deep limits record the churning list, so a press with them is mostly stale;
# shallow ones stop above it, so the hash holds and presses land.
DEEP, SHALLOW = ("400", "64", "1000000"), ("60", "3", "1000000")
MEMCHECK = ["valgrind", "--leak-check=full", "--error-exitcode=99", "--num-callers=40",
            "--show-leak-kinds=definite,indirect,possible",
            "--errors-for-leak-kinds=definite,indirect,possible",
            "--suppressions=%s/valgrind.supp" % HERE]


class StormTest(unittest.TestCase):
    def test_runs_against_a_window_that_never_holds_still(self):
        outcomes, texts, presses, seen, under = collections.Counter(), set(), 0, {}, set()
        with contextlib.closing(App(NAME, "--mode", "storm")):
            for i in range(RUNS):
                kind, limits = ("observe", "press", "hit")[i % 3], (SHALLOW, DEEP)[i // 3 % 2]
                # A run here takes a tenth of a second; one that takes ten has hung.
                if kind == "observe":
                    result = seen[limits] = run("observe", *limits, NAME, timeout=10)
                    texts.update(e.value for e in result.elements)
                elif kind == "press":
                    still = seen[limits].find("Still button").index
                    result = run("press", still, *limits, seen[limits].sha, NAME, timeout=10)
                    self.assertIn((result.status, result.err), [(0, ""), (6, STALE)], result)
                    presses += result.status == 0
                else:
                    # In deep rounds, the point under which the popup comes and goes.
                    still = seen[SHALLOW].find("Still button").center
                    result = run("hit", *((300, 600) if limits == DEEP else still), timeout=10)
                    texts.add(result.out.split("|")[2] if result.status == 0 else None)
                    under.add(result.out if limits == DEEP else None)
                outcomes[kind, result.status] += 1
            # Every press that reported success pressed the button once, in the
            # application's main loop after the reply.
            self.assertTrue(wait_for(lambda: run("observe", *SHALLOW, NAME).find("Presses: ").value
                                     == "Presses: %d" % presses, 10), presses)
        self.assertLessEqual(set(outcomes), {("observe", 0), ("press", 0), ("press", 6),
                                             ("hit", 0), ("hit", 4)}, outcomes)
        # The window moved under the runs: the label changed, the popup came and
        # went under the point (how often it was caught there depends on the
        # machine's load), and presses both landed and were refused as stale.
        self.assertGreater(sum(str(t).startswith("Tick") for t in texts), RUNS // 6)
        self.assertIn("Still button", texts)
        self.assertGreater(len(under - {None}), 1, under)
        self.assertGreater(min(outcomes["press", 0], outcomes["press", 6]), 0, outcomes)


class MemcheckTest(unittest.TestCase):
    def memcheck(self, *args, env=None):
        # A run whose memcheck report is clean. Slowed some thirty times, the
        # gate may find a merely slow bus missing: such a run is tried again.
        for _ in range(10):
            with tempfile.NamedTemporaryFile("r") as log:
                result = run(*args, env=env, timeout=120, check=False,
                             wrapper=MEMCHECK + ["--log-file=" + log.name])
                report = log.read()
            self.assertEqual(re.findall(r"ERROR SUMMARY: [1-9]|(?:definitely|indirectly|possibly) "
                                        r"lost: [1-9]", report), [], report)
            if env or result.out != UNTRUSTED[0]:
                return result.status

    def test_every_command_and_failure_is_clean(self):
        with contextlib.closing(App("Nuvra Éditeur")):
            seen = run("observe", *LIMITS)
            count, entry = seen.find("Count"), seen.find("Name field")
            for args, status in [
                    (("observe", *LIMITS), 0), (("observe", *LIMITS, "Nuvra Éditeur"), 0),
                    (("press", count.index, *LIMITS, seen.sha), 0),
                    (("settext", entry.index, "unter Valgrind", *LIMITS, seen.sha), 0),
                    (("hit", *count.center), 0), (seen.find("Pointer pad").center, 0),
                    (("observe", "x", "1", "1"), 3), (("press", count.index, *LIMITS, "0" * 64), 6),
                    (("hit", "1200", "790"), 4), (("observe", *LIMITS, "Nuvra Niemand"), 5)]:
                self.assertEqual(self.memcheck(*args), status, args)
        self.assertEqual(self.memcheck("observe", *LIMITS, env={"PATH": os.environ["PATH"]}), 2)


if __name__ == "__main__":
    unittest.main(verbosity=2)
