# The workspace commands against real windows: apps names the GTK3 and Qt5
# fixtures and a hostile name forges nothing; windows lists a dialog beside
# its parent; activate brings a window behind another to the front, with and
# without a window manager, so that the next observe reads it; launch starts
# Mousepad by its desktop id and it is observable when launch returns; wait
# sees a change 300 ms after a press, and ends at its deadline for a window
# that never changes and for an application that hangs.
import contextlib
import json
import os
import signal
import subprocess
import tempfile
import time
import unittest

from e2e import FIXTURES, App, run, wait_for

HOSTILE = json.load(open(os.path.join(FIXTURES, "hostile.json"), encoding="utf-8"))
LIMITS = (200, 20, 100000)
# The sanitizers slow every run several times; a hang is caught all the same.
SLOW = 4 if os.environ.get("NUVRA_SANITIZE") == "ON" else 1


def windows_app(name, **options):
    return App(name, "--mode", "windows", "--app-id", "org.nuvra." + name.replace(" ", ""),
               *sum((["--" + k, str(v)] for k, v in options.items()), []))


def press(name, label):
    seen = run("observe", *LIMITS, name)
    return run("press", seen.find(label).index, *LIMITS, seen.sha, name).status


class WorkspaceTest(unittest.TestCase):
    def test_apps_names_the_toolkits_and_nothing_is_forged(self):
        with contextlib.closing(App("Nuvra Apps GTK")) as gtk, \
                contextlib.closing(App("Nuvra Apps Qt", "--toolkit", "qt5", "--rows", "1",
                                       script="toolkit_app.py")) as qt, \
                contextlib.closing(App(HOSTILE["app name"], "--mode", "hostile", "--title", HOSTILE["title"],
                                       "--app-id", "org.nuvra.Hostile", "--x", "640")) as hostile:
            listed = run("apps")
            self.assertEqual(listed.status, 0)
            mine = {a.pid: a for a in listed.apps}
            self.assertEqual(len(listed.out.split("\n")) - 1, len(listed.apps), listed.out)
            self.assertEqual([(mine[p.process.pid].name, mine[p.process.pid].regular) for p in (gtk, qt, hostile)],
                             [("Nuvra Apps GTK", True), ("Nuvra Apps Qt", True), (HOSTILE["app name"], True)])
            self.assertEqual(mine[gtk.process.pid].bundle, "org.nuvra.Fixture")
            # The hostile name is one quoted field: no line of its own, no field it made.
            self.assertEqual([line for line in listed.out.split("\n") if "NUVRA_END" in line and
                              not line.startswith("NUVRA_APP pid=%d " % hostile.process.pid)], [])
            # Each name, as printed, names its application.
            for app in (gtk, qt):
                self.assertEqual(run("windows", mine[app.process.pid].name).apps[0].pid, app.process.pid)

    def test_windows_lists_a_dialog_and_its_parent(self):
        with contextlib.closing(windows_app("Nuvra Dialogs")) as app:
            self.assertEqual(press(app.name, "Open dialog"), 0)
            listed = wait_for(lambda: (lambda r: len(r.windows) == 2 and r)(run("windows", app.name)))
            self.assertEqual(listed.apps[0].pid, app.process.pid)
            parent, dialog = listed.windows
            self.assertEqual([(w.number, w.title, w.modal) for w in listed.windows],
                             [(1, "Nuvra Fixture / Main", False), (2, "Nuvra dialog", True)])
            self.assertEqual((parent.frame, dialog.frame), ((40, 20, 560, 760), (120, 100, 300, 200)))
            # Without a window manager nothing hands the focus over: the parent keeps it.
            self.assertEqual((parent.focused, dialog.focused), (True, False))

    def test_activate_brings_a_window_behind_to_the_front(self):
        with contextlib.closing(windows_app("Nuvra Behind", title="Behind")) as behind, \
                contextlib.closing(windows_app("Nuvra Front", title="Front", x=200, y=60)):
            self.assertTrue(wait_for(lambda: run("observe", *LIMITS).out.startswith("NUVRA_OBSERVE app=Nuvra Front")))
            self.assertEqual(press(behind.name, "Second window"), 0)
            wait_for(lambda: len(run("windows", behind.name).windows) == 2)
            for manager in (None, ["openbox", "--sm-disable"]):
                with self.subTest(manager=manager), self.window_manager(manager):
                    activated = run("activate", behind.name)
                    self.assertEqual((activated.status, activated.out, activated.err), (0, "", ""))
                    self.assertEqual(run("observe", *LIMITS).out.split("\n")[:2],
                                     ["NUVRA_OBSERVE app=Nuvra Behind", "NUVRA_WINDOW Behind"])
                    # Where the two overlap, the one brought forward is on top.
                    later = run("observe", *LIMITS, behind.name).find("Later").center
                    self.assertEqual(run("hit", *later).out, "NUVRA_HIT AXButton||Later|Later|true|false\n")
                    self.assertEqual(run("activate", "Nuvra Front").status, 0)
                    self.assertNotIn("|Later|", run("hit", *later).out)
                    # A second window of the one behind, by its number.
                    self.assertEqual(run("activate", behind.name, 2).status, 0)
                    self.assertEqual(run("observe", *LIMITS).out.split("\n")[1], "NUVRA_WINDOW Second window")
                    self.assertEqual([w.focused for w in run("windows").windows], [False, True])
                    self.assertEqual(run("activate", "Nuvra Front").status, 0)
            self.assertEqual(run("activate", behind.name, 3).err, "nuvra-click: Nuvra Behind has no window 3\n")

    @contextlib.contextmanager
    def window_manager(self, command):
        manager = command and subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            # openbox names itself on the root window once it manages the screen.
            self.assertTrue(not manager or wait_for(lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in subprocess.run(
                ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], capture_output=True, text=True).stdout, 10))
            yield
        finally:
            if manager:
                manager.terminate()
                manager.wait(10)

    def test_launch_starts_mousepad_by_its_desktop_id(self):
        launched = run("launch", "org.xfce.mousepad", timeout=60 * SLOW)
        self.assertEqual(launched.status, 0, launched)
        app = launched.apps[0]
        try:
            print("launch of Mousepad: %.2f s" % launched.seconds)
            self.assertTrue(app.regular)
            seen = run("observe", 50, 5, 10000, app.name)
            self.assertEqual(seen.status, 0)
            self.assertTrue(seen.out.split("\n")[1].endswith("Mousepad"), seen.out)
        finally:
            os.kill(app.pid, signal.SIGKILL)
        for id in ("org.nuvra.NotInstalled", "../applications/org.xfce.mousepad"):
            missing = run("launch", id)
            self.assertEqual((missing.status, missing.err), (5, "nuvra-click: no installed application has the id %s\n"
                                                             % json.dumps(id).replace("/", "\\/")))

    def test_wait_sees_a_change_300_ms_after_a_press_and_ends_at_its_deadline(self):
        with contextlib.closing(windows_app("Nuvra Wait")) as app:
            for form in ("sha256", "contains"):
                seen = run("observe", *LIMITS, app.name)
                later, = [e for e in seen.elements if (e.label or "").startswith("Later")]
                self.assertEqual(run("press", later.index, *LIMITS, seen.sha, app.name).status, 0)
                pressed = time.monotonic()
                condition = [seen.sha] if form == "sha256" else ["contains", later.label + " done"]
                waited = run("wait", 10000, *LIMITS, *condition, app.name)
                print("wait (%s): %.0f ms after the press" % (form, 1000 * (time.monotonic() - pressed)))
                self.assertEqual(waited.status, 0, waited)
                self.assertNotEqual(waited.sha, seen.sha)
                self.assertEqual(waited.find(later.label + " done").index, later.index)
            # Nothing changes: the deadline, its status, no block.
            still = run("observe", *LIMITS, app.name)
            for ms in (300, 1000):
                ended = run("wait", ms, *LIMITS, still.sha, app.name)
                self.assertEqual((ended.status, ended.out, ended.err), (7, "", "nuvra-click: no change within %d ms\n" % ms))
                self.assertTrue(ms / 1000 <= ended.seconds < ms / 1000 + 3 * SLOW, ended.seconds)
            # A hung application cannot hold the wait past its deadline.
            os.kill(app.process.pid, signal.SIGSTOP)
            try:
                hung = run("wait", 1500, *LIMITS, "contains", "Never", app.name)
            finally:
                os.kill(app.process.pid, signal.SIGCONT)
            self.assertEqual((hung.status, hung.out), (7, ""))
            self.assertTrue(hung.err.startswith('nuvra-click: no element showed "Never" within 1500 ms'), hung.err)
            self.assertTrue(1.5 <= hung.seconds < 1.5 + 3 * SLOW, hung.seconds)


class ChromiumLaunchTest(unittest.TestCase):
    # Chromium shows its page's tree only when started with accessibility on;
    # launch turns it on for a desktop entry whose program is Chromium's.
    def test_launch_turns_accessibility_on_for_chromium(self):
        data, profile = tempfile.TemporaryDirectory(), tempfile.TemporaryDirectory()
        os.makedirs(os.path.join(data.name, "applications"))
        with open(os.path.join(data.name, "applications", "org.nuvra.Chromium.desktop"), "w") as entry:
            entry.write("[Desktop Entry]\nType=Application\nName=Chromium\nExec=chromium --no-sandbox --no-first-run "
                        "--disable-background-networking --disable-component-update --disable-sync "
                        "--user-data-dir=%s file://%s %%U\n" % (profile.name, os.path.join(FIXTURES, "page.html")))
        launched = run("launch", "org.nuvra.Chromium", env=dict(os.environ, XDG_DATA_HOME=data.name),
                       timeout=60 * SLOW)
        self.assertEqual(launched.status, 0, launched)
        try:
            self.assertTrue(wait_for(lambda: "Footer text here" in run(
                "observe", 3000, 60, 1000000, launched.apps[0].name).out, 30 * SLOW, 0.25))
        finally:
            os.killpg(launched.apps[0].pid, signal.SIGKILL)  # the browser and its helpers: its own session
            time.sleep(1)
            profile.cleanup()
            data.cleanup()


if __name__ == "__main__":
    unittest.main(verbosity=2)
