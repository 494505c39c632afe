# Runs that must never hang or leak: many observe, press and hit runs against
# a window that never holds still; a long mix of every kind of run against
# one window, with what runs could leave behind counted as it goes; agents
# at once, each on a window of its own; and the real binary under Valgrind's
# memcheck. tests.cmake picks one: `test_endurance.py StormTest` (with
# NUVRA_STORM_RUNS runs), `SoakTest`, `AgentsTest` or `MemcheckTest`.
# bench/endurance_bench.py runs the mix and the agents longer, for figures.
import collections
import contextlib
import os
import re
import subprocess
import tempfile
import threading
import unittest

from e2e import HERE, LIMITS, STALE, UNTRUSTED, App, bus_call, run, wait_for

NAME, RUNS = "Nuvra Sturm", int(os.environ.get("NUVRA_STORM_RUNS", "1000"))
# Deep limits record the churning list, so a press with them is mostly stale;
# shallow ones stop above it, so the hash holds and presses land.
DEEP, SHALLOW = ("400", "64", "1000000"), ("60", "3", "1000000")
MEMCHECK = ["valgrind", "--leak-check=full", "--error-exitcode=99", "--num-callers=40",
            "--show-leak-kinds=definite,indirect,possible",
            "--errors-for-leak-kinds=definite,indirect,possible",
            "--suppressions=%s/valgrind.supp" % HERE]
SLOWER = 3 if os.environ.get("NUVRA_SANITIZE") == "ON" else 1
# A run of the mix takes about a tenth of a second; one that takes ten has hung.
HUNG = 10.0 * SLOWER
# Each run is a new process, so its peak memory may differ from another's by
# an allocator arena or some pages of libraries; only growth with the runs
# before it would be the tool's.
RSS_MARGIN_KB = 1024 * SLOWER
# One round of the mix: what a run is, its arguments from the agent's last
# observation, and the status it must end with. Values are not hashed, so
# the press, the settext and the type leave the hash as it was (but for the
# first type, which moves the focus); before the last press the fixture
# itself greys or ungreys a label, which does change it. GTK selects the
# entry's whole text as it takes focus, so the typed text replaces it.
MIX = [
    ("observe", lambda a: ("observe", *LIMITS, a.name), 0),
    ("press", lambda a: ("press", a.seen.find("Count").index, *LIMITS, a.seen.sha, a.name), 0),
    ("settext", lambda a: ("settext", a.seen.find("Name field").index, a.text, *LIMITS, a.seen.sha,
                           a.name), 0),
    ("type", lambda a: ("type", a.seen.find("Name field").index, a.text, *LIMITS, a.seen.sha, a.name), 0),
    ("hit", lambda a: ("hit", *a.seen.find("Count").center), 0),
    ("screenshot", lambda a: ("screenshot", a.png, a.name), 0),
    ("stale", lambda a: ("press", a.seen.find("Count").index, *LIMITS, a.seen.sha, a.name), 6),
]


class Agent:
    # Runs the mix against the fixture application `app`, keeping each run's
    # kind, seconds and peak resident memory (kilobytes). A run that ends
    # otherwise than it must is a failure, or (not `strict`) is kept too.
    def __init__(self, app, folder, strict=True, mix=MIX):
        self.app, self.name, self.greyed = app, app.name, False
        self.png, self.peak = os.path.join(folder, "shot.png"), os.path.join(folder, "peak")
        self.seen, self.text, self.presses, self.records, self.strict = None, "", 0, [], strict
        self.unexpected, self.mix = [], mix

    def go(self, runs, between=lambda i: None):
        for i in range(runs):
            kind, args, status = self.mix[i % len(self.mix)]
            # A typed ß has a key of no US layout, bound for the run and unbound after it.
            self.text = ("%s run %d" % (self.name, i) + " ß" * (kind == "type") if kind in ("settext", "type")
                         else self.text)
            if kind == "stale":
                self.greyed = not self.greyed
                self.app.command("offset", "set_sensitive", not self.greyed)
            result = run(*args(self), timeout=HUNG,
                         wrapper=("/usr/bin/time", "-f", "%M", "-o", self.peak))
            if result.status != status or kind == "hit" and "|Count|" not in result.out:
                if self.strict:
                    raise AssertionError("%s: %r" % (kind, result))
                self.unexpected.append((i, kind, result.status, result.err or result.out[-200:]))
            self.seen = result if kind == "observe" and result.status == 0 else self.seen
            self.presses += kind in ("press", "stale") and result.status == 0
            with open(self.peak) as peak:
                self.records.append((kind, result.seconds, int(peak.read().split()[-1])))
            between(i + 1)
        return self

    def shows(self):
        # The application's own count of presses and its field, as the tool reads them.
        seen = run("observe", *LIMITS, self.name)
        return seen.find("Clicks: ").value, seen.find("Name field").value

    def expected(self):
        return "Clicks: %d" % self.presses, self.text


def leftovers(app, folder):
    # What runs could leave behind: clients of the X server (its open
    # sockets), names on both buses, the open files of the fixture and of
    # the bus daemons, files beside the screenshot, keycodes bound to a
    # keysym, and the processes of this session (those that carry its
    # accessibility bus address).
    session = os.environ["DBUS_SESSION_BUS_ADDRESS"]
    daemon = lambda address: int(re.search(r"uint32 (\d+)", bus_call(
        "GetConnectionUnixProcessID", "org.freedesktop.DBus", **address))[1])
    files = lambda pid: len(os.listdir("/proc/%d/fd" % pid))
    xserver = int(subprocess.check_output(["pgrep", "-P", str(os.getppid()), "Xvfb"]))
    mark, ours = ("NUVRA_A11Y_BUS_ADDRESS=" + os.environ["NUVRA_A11Y_BUS_ADDRESS"]).encode(), 0
    for pid in filter(str.isdigit, os.listdir("/proc")):
        with contextlib.suppress(OSError), open("/proc/%s/environ" % pid, "rb") as environ:
            ours += mark in environ.read().split(b"\0")
    return {"x clients": files(xserver), "a11y names": bus_call("ListNames").count("'"),
            "session names": bus_call("ListNames", address=session).count("'"),
            "fixture files": files(app.process.pid), "a11y bus files": files(daemon({})),
            "session bus files": files(daemon({"address": session})),
            "other files": len(os.listdir(folder)) - 2, "processes": ours,
            "bound keys": len(re.findall(r"= *\S", subprocess.check_output(["xmodmap", "-pke"], text=True)))}


def unsettled(crowd):
    # The agents whose window does not show, within a while, just the presses
    # and the text that they sent it.
    return [(a.name, a.shows(), a.expected()) for a in crowd
            if not wait_for(lambda: a.shows() == a.expected(), 10)]


def soak(runs, every, strict=True):
    # The mix against one window; what is left behind, every `every` runs.
    with contextlib.closing(App("Nuvra Ausdauer")) as app, tempfile.TemporaryDirectory() as folder:
        samples, agent = [], Agent(app, folder, strict)

        def sample(i):
            # The peer of a connection a run closed may take a moment to
            # notice: the first count is the one that holds still between two
            # looks, each later one is looked at again until it is the first.
            seen = [None, leftovers(app, folder)]
            wait_for(lambda: seen[-1] == (samples[0][1] if samples else seen[-2])
                     or seen.append(leftovers(app, folder)), 5, 0.1)
            samples.append((i, seen[-1]))
        agent.go(runs, lambda i: i % every or sample(i))
        return agent, samples, unsettled([agent])


def agents(count, runs, strict=True):
    # `count` agents at once, each running the mix against a window of its
    # own. Without a window manager the windows stack in the order they were
    # shown: each one's Count button is left of the next window, for the hit.
    # The keyboard's focus is one for the whole desktop, so agents at once
    # leave typing out.
    with contextlib.ExitStack() as stack:
        crowd, failures = [], []
        for k in range(count):
            app = stack.enter_context(contextlib.closing(App("Nuvra Agent %d" % k, "--x", str(40 + 90 * k))))
            crowd.append(Agent(app, stack.enter_context(tempfile.TemporaryDirectory()), strict,
                               [m for m in MIX if m[0] != "type"]))

        def go(agent):
            try:
                agent.go(runs)
            except AssertionError as failure:
                failures.append(failure)
        threads = [threading.Thread(target=go, args=(agent,)) for agent in crowd]
        [thread.start() for thread in threads]
        [thread.join() for thread in threads]
        return crowd, failures, unsettled(crowd)


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


class SoakTest(unittest.TestCase):
    def test_runs_leave_nothing_behind_and_keep_their_size(self):
        agent, samples, wrong = soak(int(os.environ.get("NUVRA_SOAK_RUNS", 600 // SLOWER)), 50)
        records = agent.records
        self.assertEqual(wrong, [])
        self.assertEqual([(i, sample) for i, sample in samples if sample != samples[0][1]], [], samples[0])
        peaks = [{kind: max(rss for k, _, rss in part if k == kind) for kind, *_ in MIX}
                 for part in (records[:100], records[-100:])]
        self.assertEqual([k for k in peaks[0] if peaks[1][k] > peaks[0][k] + RSS_MARGIN_KB], [], peaks)


class AgentsTest(unittest.TestCase):
    def test_agents_at_once_each_see_and_drive_only_their_own_window(self):
        runs = 48 // SLOWER
        crowd, failures, wrong = agents(8, runs)
        self.assertEqual((failures, wrong, {len(a.records) for a in crowd}), ([], [], {runs}))


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
