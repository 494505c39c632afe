# The tool when what it depends on fails: the permission gate without a bus,
# a registry or a display; and the accessibility bus, its registry, the X
# server or an application stopped (SIGSTOP) or killed (SIGKILL), between
# runs or in the middle of one. Every run ends within its bound with a
# documented result, and what was stopped serves the next run once it
# answers again. The tables are in faults.cases. Killing the bus or the
# registry ends the session, so tests.cmake runs each such row in a session
# of its own: `test_faults.py ROW`.
import contextlib
import json
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import unittest

from e2e import (FIXTURES, LIMITS, UNTRUSTED, App, BusMonitor, bus_call, cases, limit, names_of,
                 pid_of, protocol_fault, run, wait_for)

ROWS, sys.argv[1:] = sys.argv[1:], []
LIVE, HUNG, WALK = "Nuvra Wach", "Nuvra Stumm", ("5000", "64", "1000000")  # WALK: whole windows
# The gate's answer, one request's and one child list's time-out, in seconds.
GATE, CALL, LIST = (limit(name) / 1000 for name in ("kGateAnswer", "kCallTimeout", "kListTimeout"))
# Seconds a run may take, per column of the between table: the gate and a
# second for the run, one request time-out for a stopped application, one
# more for two.
BOUNDS = (GATE + 1.0, GATE + 1.0 + CALL, GATE + 1.0 + CALL, GATE + 1.0 + 2 * CALL)
# A run that names the application that answers, beside one that is stopped,
# ends before one request time-out could have passed waiting for it.
NEIGHBOUR = 0.9 * CALL
# A run whose application stops mid-walk may be waiting on a child list; a
# second more covers the gate and the output.
STOPPED_MID_RUN = LIST + 1.0
# The sanitizers slow every run and inflate its memory; without them, an
# address space of 3 GB turns a runaway allocation into a quick failure.
SLOWER = 3 if os.environ.get("NUVRA_SANITIZE") == "ON" else 1
CAP = () if SLOWER > 1 else ("prlimit", "--as=3000000000")


@unittest.skipIf(ROWS, "rows chosen")
class GateTest(unittest.TestCase):
    def test_the_gate_answers_within_a_second_and_starts_nothing(self):
        with tempfile.TemporaryDirectory() as scratch, socket.socket(socket.AF_UNIX) as silent, \
                subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                 stdout=subprocess.PIPE, text=True) as plain, \
                subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                                 stdout=subprocess.PIPE, text=True) as mute, \
                subprocess.Popen(["Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-extension", "XTEST"],
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True) as bare:
            silent.bind(os.path.join(scratch, "silent"))
            silent.listen(64)
            places = dict(os.environ, dir=scratch, plain=plain.stdout.readline().strip(),
                          noxtest=":" + bare.stdout.readline().strip(), mute=mute.stdout.readline().strip())
            registry = subprocess.Popen(["/usr/bin/python3", os.path.join(FIXTURES, "mute_registry.py"),
                                         places["mute"]], stdout=subprocess.PIPE, text=True)
            try:
                self.assertEqual(registry.stdout.readline(), "ready\n")
                for variables, args, status, err in cases("faults", "gate"):
                    result = run(*args, env={k: v.format(**places) for k, v in
                                             {"PATH": os.environ["PATH"], **variables}.items()})
                    self.assertEqual((result.status, result.err[:len(err)], result.seconds < GATE),
                                     (status, err, True), variables)
                # Neither the bus launcher nor the registry was started on the plain bus.
                self.assertNotIn("org.a11y", bus_call("ListNames", address=places["plain"]))
            finally:
                for each in (registry, mute, plain, bare):
                    each.kill()
                registry.wait()


@unittest.skipIf(ROWS, "rows chosen")
class BigWindowTest(unittest.TestCase):
    # Before FaultsTest starts its applications: a window shown later would
    # take the frontmost place from Nuvra Stumm.
    def test_a_walk_cut_short_says_so(self):
        for mode, count, limits, seconds, cut in cases("faults", "big"):
            with self.subTest(mode=mode, count=count), contextlib.closing(
                    # GTK takes 40 s to show 10,000 buttons on a busy machine, labels a quarter.
                    App("Nuvra Gross", "--mode", mode, "--rows", str(count), patience=120)) as app:
                result = run("observe", *limits, app.name)
                nodes, truncated = map(int, re.search(r"nodes=(\d+) truncated=(\d)", result.out).groups())
                word = {"buttons": "Button %d", "labels": "Label %d"}[mode]
                texts = [e.label or e.value for e in result.elements if e.role in ("AXButton", "AXStaticText")]
                # Whole, or said to be cut; what is there was read.
                self.assertEqual((result.status, result.seconds < seconds * SLOWER, "AXUnknown" in result.out,
                                  texts == [word % i for i in range(1, len(texts) + 1)],
                                  truncated == 1 or nodes == count + 6, truncated == 1 or not cut),
                                 (0, True, False, True, True, True), result)
                if cut:  # perhaps still busy with the children it was asked for
                    again = run("observe", *limits, app.name)
                    self.assertIn((again.status, again.err), [(0, ''), (5, 'nuvra-click: no answering application '
                                  'matches "Nuvra Gross" (1 application is not responding)\n')], again)


class FaultsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Side by side on the screen, so that a point names one.
        cls.live, cls.hung, cls.monitor = App(LIVE), App(HUNG, "--x", "660"), BusMonitor()
        cls.names = {app.name: names_of(app.process.pid) for app in (cls.live, cls.hung)}
        cls.seen = {name: run("observe", *LIMITS, name) for name in (LIVE, HUNG)}
        cls.walk = run("observe", *WALK, LIVE)

    @classmethod
    def tearDownClass(cls):
        for each in (cls.monitor, cls.hung, cls.live):
            each.close()

    def expand(self, command, typed=""):
        live, hung = self.seen[LIVE], self.seen[HUNG]
        (cx, cy), (hx, hy) = live.find("Count").center, hung.find("Count").center
        return [str(arg).format(count=live.find("Count").index, field=live.find("Name field").index,
                                sha=live.sha, hung=hung.find("Count").index, hungsha=hung.sha,
                                walksha=self.walk.sha, typed=typed, cx=cx, cy=cy, hx=hx, hy=hy)
                for arg in command]

    def between(self, column, typed=""):
        # Every command of the column within its bound; a stopped application
        # is asked once, and never again in the run.
        runs, stopped = [], ((), (), (HUNG,), (HUNG, LIVE))[column]
        for command, *statuses in filter(lambda row: row[column + 1], cases("faults", "between")):
            mark = stopped and self.monitor.mark()
            result = run(*self.expand(command, typed))
            runs.append((command, result))
            self.assertLess(result.seconds, BOUNDS[column], result)
            self.assertIn(str(result.status), statuses[column], result)
            if column == 2 and command[0] in ("observe", "press", "settext") and LIVE in command:
                self.assertLess(result.seconds, NEIGHBOUR * SLOWER, result)
            if column == 2 and HUNG in command:  # named, and never said not to exist
                self.assertRegex(result.err, r"^nuvra-click: no answering application matches "
                                 r'"%s" \(1 application is not responding\)\n$' % HUNG, result)
            self.assertTrue(column or result.out == UNTRUSTED[0] and result.err.startswith(
                UNTRUSTED[1:]), result)
            asks = (1,) if command[0] in ("observe", "press", "settext") else (0, 1)
            self.assertEqual([a for a in stopped if len(self.monitor.calls_to(self.names[a], mark))
                              not in asks], [], result)
        return runs

    def state(self):
        seen = run("observe", *LIMITS, LIVE)
        return seen.find("Clicks: ").value, seen.find("Name field").value

    def test_disruptions(self):
        for name, target, sig, command, statuses, whole in cases("faults", "disruption"):
            if (name in ROWS) if ROWS else (sig == "STOP"):
                with self.subTest(name):
                    self.disrupt(name, target, getattr(signal, "SIG" + sig), command, statuses,
                                 whole and run("observe", *WALK).sha)

    def disrupt(self, name, target, sig, command, statuses, whole):
        pids = {"bus": [pid_of("org.freedesktop.DBus")],
                "registry": [pid_of("org.a11y.atspi.Registry")],
                "x": [int(subprocess.check_output(["pgrep", "-P", str(os.getppid()), "Xvfb"]))],
                "hung": [self.hung.process.pid],
                "both": [self.hung.process.pid, self.live.process.pid]}[target]
        column = ("bus", "x", "hung", "both").index(target.replace("registry", "bus"))
        clicks, typed = self.state()
        try:
            if not command:
                [os.kill(pid, sig) for pid in pids]
                runs = self.between(column, "typed while %s" % name)
            else:
                asked = {"org.a11y.atspi.Registry"} if target == "x" else \
                    self.names[LIVE if LIVE in command else HUNG]
                runs = []
                # A run that ended before the stop landed tested nothing: it is
                # run again (what it did is still counted below).
                for _ in range(3 if sig == signal.SIGSTOP else 1):
                    if runs:
                        [os.kill(pid, signal.SIGCONT) for pid in pids]
                    cut = self.cut(asked, lambda: [os.kill(pid, sig) for pid in pids])
                    runs.append((command, run(*self.expand(command), during=cut)))
                    if runs[-1][1].cut:
                        break
                result = runs[-1][1]
                # What was stopped still runs: it is never said to be absent.
                self.assertEqual((result.cut, result.seconds < STOPPED_MID_RUN * SLOWER, str(result.status) in statuses,
                                  not whole or result.sha == whole, "no running application" in result.err),
                                 (True,) * 4 + (False,), result)
        finally:
            [os.kill(pid, signal.SIGCONT) for pid in pids if sig == signal.SIGSTOP]
        if sig == signal.SIGKILL and target == "registry":
            # With no registry running, the bus starts one for the next run's
            # gate: a usage error is the usage, and a click is posted.
            runs = [run(), run(10, 20)]
            return self.assertEqual([(r.status, r.seconds < BOUNDS[0]) for r in runs],
                                    [(3, True), (0, True)], runs)
        if sig == signal.SIGKILL:
            return self.between(0)  # every later run ends at the gate
        # Each press or click that reported success landed once, the last text
        # written arrived, and what was stopped answers again.
        for command, result in filter(lambda run: run[1].status == 0, runs):
            if [command[0], command[-1]] in (["{cx}", "{cy}"], ["press", LIVE]):
                clicks = "Clicks: %d" % (int(clicks.split()[1]) + 1)
            typed = result.args[2] if command[0] == "settext" else typed
        self.assertTrue(wait_for(lambda: self.state() == (clicks, typed), 10), self.state())
        self.assertEqual(run("observe", *LIMITS, HUNG).sha, self.seen[HUNG].sha)
        self.assertRegex(run("hit", *self.seen[LIVE].find("Count").center).out,
                         r"^NUVRA_HIT AXButton\|\|Count\|Count\|true\|")

    def cut(self, names, act):
        # Acts once the tool has asked one of `names` something; tells whether
        # the tool was still running then.
        mark = self.monitor.mark()

        def during(tool):
            wait_for(lambda: self.monitor.calls_to(names, mark), 20, 0.002)
            return [tool.poll() is None, act()][0]
        return during

    @unittest.skipIf(ROWS, "rows chosen")
    def test_hostile_applications(self):
        for mode, command, seconds, megabytes, size, statuses, err, same, absent, pending in \
                cases("faults", "hostile"):
            if pending:
                print("hostile %s: not run, %s" % (mode, pending), file=sys.stderr)
                continue
            seconds, names = seconds * SLOWER, {"hostile": "Nuvra Feind", "wach": LIVE}
            before = run("observe", *LIMITS, LIVE).sha
            root_bus = subprocess.check_output(["xprop", "-root", "-notype", "AT_SPI_BUS"], text=True)
            with self.subTest(mode=mode, command=command), tempfile.NamedTemporaryFile("r") as peak, \
                    subprocess.Popen(["/usr/bin/python3", "-B", os.path.join(FIXTURES, "hostile_app.py"),
                                      names["hostile"], mode], stdout=subprocess.PIPE, text=True) as app:
                try:
                    self.assertEqual(app.stdout.readline(), "ready\n")
                    if "{sha}" in command:  # an action after an observe with its limits
                        at = command.index("{sha}")
                        names["sha"] = run("observe", *command[at - 3:at], command[-1].format(**names)).sha
                    result = run(*[a.format(**names) for a in command], timeout=4 * seconds + 15,
                                 check=False, wrapper=("/usr/bin/time", "-f", "%M", "-o", peak.name,
                                                       "timeout", "-s", "KILL", str(4 * seconds), *CAP))
                    megabytes_used = int(peak.read().split()[-1]) / 1024
                    self.assertEqual((protocol_fault(result), result.seconds < seconds,
                                      megabytes_used < megabytes * SLOWER, len(result.out.encode()) <= size,
                                      str(result.status) in statuses, result.err.startswith(err),
                                      not absent or absent not in result.out + result.err),
                                     (None,) + (True,) * 6, result)
                    wach = same and run("observe", *LIMITS, LIVE)
                    self.assertTrue(not same or (wach.sha, wach.seconds < seconds) == (before, True), wach)
                finally:
                    app.kill()
                    subprocess.run(["xprop", "-root", "-f", "AT_SPI_BUS", "8s", "-set", "AT_SPI_BUS",
                                    json.loads(root_bus.split(" = ", 1)[1])], check=True)
                # Whatever the application prints after "ready" is a request it must never get.
                self.assertEqual(app.stdout.read(), "", mode)

    @unittest.skipIf(ROWS, "rows chosen")
    def test_every_application_that_quits_or_dies_mid_run(self):
        for name, end in [("Nuvra Kurz", lambda app: app.command("app", "quit")),
                          ("Nuvra Tod", lambda app: os.kill(app.process.pid, signal.SIGKILL))]:
            # Big enough that the walk is still on when the end comes.
            with contextlib.closing(App(name, "--mode", "rows")) as app:
                cut = self.cut(names_of(app.process.pid), lambda: end(app))
                result = run("observe", *WALK, name, during=cut)
                app.process.wait(10)
            self.assertEqual((result.cut, result.status in (0, 5), result.seconds < 3.0),
                             (True,) * 3, result)
            self.assertEqual(run("observe", *LIMITS, name).err,
                             'nuvra-click: no running application matches "%s"\n' % name)


if __name__ == "__main__":
    unittest.main(verbosity=2)
