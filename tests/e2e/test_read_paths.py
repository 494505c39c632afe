"""Every way the Linux backend can read a window prints the same, byte for
byte and hash included: the tool itself (a big walk read from the
application's snapshot, on the application's own socket), the backend held
to reading element by element, and held to the bus daemon as well. Shown on
the controls window, on the window of hostile texts and on a window of 300
rows, after those change, and under every limit that cuts a walk."""

import os
import subprocess
import time
import unittest

from e2e_support import FIXTURES, LIMITS, FixtureApp, Observation, main, run

ROWS_APP = os.path.join(FIXTURES, "rows_app.py")
ROWS_NAME = "Nuvra Rows"
TOOLKIT_APP = os.path.join(FIXTURES, "toolkit_app.py")


def variant(mode, *args):
    """The backend held to one way of reading; its output and its tally
    (snapshots taken, elements a snapshot answered)."""
    command = [os.environ["NUVRA_CLICK_VARIANT"], mode] + [str(a) for a in args]
    done = subprocess.run(command, capture_output=True, timeout=60)
    err = done.stderr.decode("utf-8", "replace")
    tally = dict(field.split("=") for field in err.strip().split("\n")[-1].split())
    return done.returncode, done.stdout.decode("utf-8", "replace"), tally


def settled(name, timeout=15.0):
    """Waits until three observations in a row, 0.2 s apart, are equal."""
    deadline = time.monotonic() + timeout
    seen = []
    while time.monotonic() < deadline:
        seen = (seen + [run("observe", *LIMITS, name).out])[-3:]
        if len(seen) == 3 and seen[0] == seen[1] == seen[2]:
            return
        time.sleep(0.2)
    raise AssertionError("window %r never held still" % name)


class RowsApp(FixtureApp):
    """The rows fixture, driven like the controls fixture."""

    def __init__(self, rows):
        super().__init__("--rows", str(rows), name=ROWS_NAME, title="Rows", script=ROWS_APP)


class ReadPathsTest(unittest.TestCase):
    def assertSameEverywhere(self, limits, app, snapshot, over_bus=False):
        """The tool's output equals the one-by-one reading's, and a snapshot
        answered most of the walk when `snapshot` is true, none of it when
        false (None: either)."""
        tool = run("observe", *limits, app)
        status, one_by_one, tally = variant("one-by-one", "observe", *limits, app)
        self.assertEqual((tool.status, status), (0, 0), tool)
        self.assertEqual(tally, {"snapshots": "0", "snapshot-elements": "0"})
        self.assertEqual(tool.out, one_by_one)
        status, default, tally = variant("default", "observe", *limits, app)
        self.assertEqual((status, default), (0, one_by_one))
        nodes = Observation(tool).nodes
        if snapshot is None:
            pass
        elif snapshot:
            self.assertEqual(tally["snapshots"], "1")
            # The walk reads a few elements one by one before it knows it is
            # big; the snapshot answers the rest.
            self.assertGreater(int(tally["snapshot-elements"]), nodes // 2)
        else:
            self.assertEqual(tally, {"snapshots": "0", "snapshot-elements": "0"})
        if over_bus:
            status, bus, _ = variant("over-bus", "observe", *limits, app)
            self.assertEqual((status, bus), (0, one_by_one))
        return Observation(tool)

    def test_small_windows_read_from_a_snapshot(self):
        # Too small for the tool to fetch them whole, so the backend is made
        # to: every kind of widget and every hostile text goes through the
        # snapshot once. GTK's bridge keeps no descendants of the controls
        # window's list (it manages its own), so most of its 60 rows are
        # read one by one even here.
        for args, name, share in [((), "Nuvra Lesen", 0.15),
                                  (("--hostile",), "Nuvra Feindlich", 0.5)]:
            with self.subTest(window=args):
                app = FixtureApp(*args, name=name)
                try:
                    tool = self.assertSameEverywhere(LIMITS, name, snapshot=None, over_bus=True)
                    status, whole, tally = variant("snapshot", "observe", *LIMITS, name)
                    self.assertEqual((status, whole), (0, tool.run.out))
                    self.assertEqual(tally["snapshots"], "1")
                    self.assertGreater(int(tally["snapshot-elements"]), tool.nodes * share)
                finally:
                    app.close()

    def test_other_toolkits_read_the_same(self):
        # GTK4's bridge answers the cache request in its own way and Qt's in
        # the older form; whatever the backend makes of that, nothing
        # printed may differ from reading element by element.
        for toolkit, name in [("gtk4", "Nuvra Vier"), ("qt5", "Nuvra Qt")]:
            with self.subTest(toolkit=toolkit):
                app = FixtureApp("--toolkit", toolkit, "--rows", "40", name=name,
                                 title="Toolkit Rows", script=TOOLKIT_APP)
                try:
                    # GTK4 lays its scroll bars out again for a while after
                    # the window first shows.
                    settled(name)
                    tool = self.assertSameEverywhere(["5000", "64", "1000000"], name,
                                                     snapshot=None, over_bus=True)
                    self.assertGreater(tool.nodes, 100)
                    # GTK4 marks what a user can act on sensitive, not enabled.
                    button = tool.find(role="AXButton", label="Button 7")
                    self.assertFalse(button.disabled, button)
                    # GTK4 answers in window coordinates, which are no place
                    # on the screen: nothing is printed, nothing is hit.
                    hit = run("hit", 60, 60)
                    if toolkit == "gtk4":
                        self.assertEqual([e for e in tool.elements if e.center], [])
                        self.assertEqual(hit.status, 4, hit)
                    else:
                        self.assertIsNotNone(button.center)
                        self.assertEqual(hit.status, 0, hit)
                    status, whole, _ = variant("snapshot", "observe", *LIMITS, name)
                    self.assertEqual(status, 0)
                    _, one_by_one, _ = variant("one-by-one", "observe", *LIMITS, name)
                    self.assertEqual(whole, one_by_one)
                finally:
                    app.close()

    def test_rows_window_under_every_limit_and_after_changes(self):
        app = RowsApp(300)
        try:
            seen = self.assertSameEverywhere(["5000", "64", "1000000"], ROWS_NAME,
                                             snapshot=True, over_bus=True)
            self.assertEqual((seen.nodes, seen.truncated), (1206, False))
            cases = [
                # limits, whether the walk is big enough for a snapshot
                (["500", "64", "1000000"], True),   # cut by the element bound
                (["5000", "4", "1000000"], True),   # cut by depth, still 306 elements
                (["5000", "3", "1000000"], False),  # six elements in all
                (["5000", "64", "3000"], True),     # lines dropped, all elements read
                (["50", "5", "100000"], False),     # a small look at a big window
            ]
            for limits, snapshot in cases:
                with self.subTest(limits=limits):
                    self.assertSameEverywhere(limits, ROWS_NAME, snapshot)

            # A title changes and an entry turns into password text: the
            # snapshot tells the same as element-by-element reads, and the
            # hidden entry's text is read by neither.
            app.command("rename 5 Renamed five")
            app.command("hide 7")
            seen = self.assertSameEverywhere(["5000", "64", "1000000"], ROWS_NAME, snapshot=True)
            self.assertEqual(seen.find(role="AXButton", label="Renamed five").value, None)
            self.assertNotIn('"value 7"', seen.run.out)
            self.assertIn('"value 8"', seen.run.out)
        finally:
            app.close()


if __name__ == "__main__":
    main()
