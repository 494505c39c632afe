# The tool against the heavy applications an agent meets, each started as a
# user would: LibreOffice Calc, whose sheet claims two billion cells and
# builds every one it is asked for, Writer's "Save Document?" dialog under a
# window manager, and Chromium, which joins the accessibility bus only when
# started for it. tests.cmake runs each class in a session of its own
# (label: slow).
import contextlib
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

from e2e import FIXTURES, act, named, press_controls, run, wait_for

SLOWER = 3 if os.environ.get("NUVRA_SANITIZE") == "ON" else 1
WALK = (5000, 60, 1000000)


def usage(pid):
    # Resident kilobytes and processor ticks used so far.
    rss = int(re.search(r"VmRSS:\s+(\d+)", open("/proc/%d/status" % pid).read())[1])
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return rss, int(fields[11]) + int(fields[12])


@contextlib.contextmanager
def office(*args, title):
    # soffice.bin itself (not the launcher, which hands the document to a
    # running one), with a profile of its own, until a window titled
    # `title` is observable. On a new profile it sets it up and ends with
    # 81, asking to be started again, as the launcher would.
    with tempfile.TemporaryDirectory() as profile:
        start = lambda: subprocess.Popen(
            ["/usr/lib/libreoffice/program/soffice.bin", "--norestore", "--nologo",
             "-env:UserInstallation=file://" + profile, *args],
            env=dict(os.environ, SAL_USE_VCLPLUGIN="gtk3"), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        soffice = [start()]

        def shown():
            if soffice[0].poll() == 81:
                soffice[0] = start()
            return title in run("observe", 1, 1, 1000, "soffice", check=False).out
        try:
            assert wait_for(shown, 120, 0.5), "LibreOffice never showed %r" % title
            yield soffice[0]
        finally:
            soffice[0].kill()
            soffice[0].wait(10)


@contextlib.contextmanager
def window_manager():
    with subprocess.Popen(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) as wm:
        time.sleep(1)
        yield wm
        wm.kill()


class CalcTest(unittest.TestCase):
    # Before, one observation asked the sheet for all its children; soffice
    # then spun and grew by tens of megabytes a second until it was killed.
    def test_a_sheet_is_read_for_the_cells_it_shows_and_left_as_it_was(self):
        # A copy: LibreOffice leaves a lock file beside what it opens.
        with tempfile.TemporaryDirectory() as scratch, office(
                "--calc", shutil.copy(os.path.join(FIXTURES, "sheet.fods"), scratch), title="sheet.fods") as soffice:
            seen = run("observe", *WALK, "soffice", timeout=60 * SLOWER)
            time.sleep(1)
            (rss, cpu), _ = usage(soffice.pid), time.sleep(4)
            grown, busy = [now - then for now, then in zip(usage(soffice.pid), (rss, cpu))]
            # The rows and columns on screen, no more, and soffice left as it was.
            cells = len([e for e in seen.elements if e.role == "AXCell"])
            self.assertEqual((seen.find("A1").value, seen.find("B1").value, "truncated=1" in seen.out,
                              100 < cells < 2000, grown < 20000, busy < 100),
                             ("42", "tea", True, True, True, True), (cells, grown, busy, seen.out[-2000:]))
            self.assertEqual(run("hit", *seen.find("A1").center).out.split("|")[:4],
                             ["NUVRA_HIT AXCell", "", "A1", "A1"])


class WriterDialogTest(unittest.TestCase):
    # A changed document asked to close shows "Save Document?": observe reads
    # the dialog, not the document window LibreOffice keeps active, and hit
    # names its buttons, not the document behind them.
    def test_a_modal_dialog_is_observed_and_hit(self):
        with window_manager(), office("--writer", title="Writer"):
            writer = lambda *a: act("soffice", WALK, *a)
            paragraph = lambda seen: next((e for e in seen.elements if e.role == "AXParagraph"), None)
            self.assertEqual(writer(paragraph, "settext", "changed").status, 0)
            # The File menu's one action has no name; pressed, it opens, and
            # its popup is the active window (LibreOffice shows it as an
            # empty one) until a click elsewhere closes it.
            title = lambda: run("observe", 1, 1, 1000, "soffice").out.split("\n")[1]
            document, text = title(), paragraph(run("observe", *WALK, "soffice", timeout=60 * SLOWER)).center
            self.assertEqual(writer(named("AXMenu", "File"), "press").status, 0)
            self.assertTrue(wait_for(lambda: title() != document, 20))
            run(*text)
            self.assertTrue(wait_for(lambda: title() == document, 20))
            self.assertEqual(writer(named("AXMenuItem", "Close"), "press").status, 0)
            dialog = wait_for(lambda: (lambda o: "Save changes" in o.out and o)(
                run("observe", *WALK, "soffice", timeout=60 * SLOWER)), 20)
            self.assertTrue(dialog, "no dialog")
            self.assertEqual(dialog.out.split("\n")[1], "NUVRA_WINDOW Warning")
            button = dialog.find("Don\u2019t Save")
            self.assertEqual(run("hit", *button.center).out,
                             "NUVRA_HIT AXButton||Don\u2019t Save|Don\u2019t Save|true|false\n")


@contextlib.contextmanager
def chromium(*flags, accessibility):
    # Its own process group: the browser's helpers (zygote, renderers) go
    # with it, and leave its profile alone.
    env = {k: v for k, v in os.environ.items() if k != "GNOME_ACCESSIBILITY"}
    with tempfile.TemporaryDirectory(ignore_cleanup_errors=True) as profile:
        browser = subprocess.Popen(
            ["chromium", "--no-sandbox", "--no-first-run", "--user-data-dir=" + profile, *flags,
             "file://" + os.path.join(FIXTURES, "controls.html")],
            env=dict(env, GNOME_ACCESSIBILITY="1") if accessibility else env,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        try:
            yield browser
        finally:
            os.killpg(browser.pid, signal.SIGKILL)


class ChromiumTest(unittest.TestCase):
    # On a desktop whose accessibility is off, Chromium shows its window and
    # stays off the bus: the tool says so, and how to bring it on. Started
    # that way, its controls are pressed by the names it gives them, its
    # menu button opens its menu.
    def test_off_the_bus_it_is_named_and_on_it_it_is_pressed(self):
        subprocess.run(["gdbus", "call", "--session", "--dest", "org.a11y.Bus", "--object-path", "/org/a11y/bus",
                        "--method", "org.freedesktop.DBus.Properties.Set", "org.a11y.Status", "IsEnabled",
                        "<false>"], check=True, capture_output=True)
        off = ('nuvra-click: "chromium" shows windows but is not on the accessibility bus \u2014 start '
               'it with accessibility on (GNOME_ACCESSIBILITY=1); Chromium and Electron applications '
               'also with --force-renderer-accessibility\n')
        with chromium("--force-renderer-accessibility", accessibility=False):
            self.assertTrue(wait_for(lambda: run("observe", 100, 10, 100000, "chromium").err == off, 30))
        with chromium("--force-renderer-accessibility", accessibility=True):
            self.assertTrue(wait_for(lambda: "Controls page" in run(
                "observe", 1, 1, 1000, "Chromium", check=False).out, 60))
            press_controls(self, "Chromium")
            self.assertEqual(act("Chromium", (600, 60, 1000000), named("AXButton", "Chromium"), "press").status, 0)
            self.assertTrue(wait_for(lambda: [e for e in run("observe", 100, 20, 100000, "Chromium").elements
                                              if e.role == "AXMenuItem" and e.label.startswith("New tab")]))

if __name__ == "__main__":
    unittest.main(verbosity=2)
