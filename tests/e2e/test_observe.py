"""observe against a real GTK window: the block's grammar, what the AT-SPI
tree reads as in the AX vocabulary, the limits, and choosing the application."""

import unittest

from e2e_support import (APP_ID, APP_NAME, LIMITS, LONG_TEXT, WINDOW_TITLE, FixtureApp, main,
                         observe, run, wait_for)


class ObserveTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.app = FixtureApp()

    @classmethod
    def tearDownClass(cls):
        cls.app.close()

    def test_block_names_application_and_window(self):
        seen = observe()
        self.assertEqual(seen.app, APP_NAME)
        self.assertEqual(seen.window, WINDOW_TITLE)
        self.assertFalse(seen.truncated)
        self.assertEqual(seen.nodes, len(seen.elements))
        self.assertEqual([e.index for e in seen.elements], list(range(1, seen.nodes + 1)))
        self.assertEqual(seen.run.err, "")

    def test_widgets_read_as_ax_elements(self):
        seen = observe()
        window = seen.elements[0]
        # The fixture places its 560x760 window at (40, 20); no window
        # manager moves it, so its centre is known exactly.
        self.assertEqual((window.role, window.label, window.center, window.depth),
                         ("AXWindow", WINDOW_TITLE, (320, 400), 0))
        expected = [
            # role, label, value, disabled
            ("AXButton", "Count", None, False),
            ("AXButton", "Disabled action", None, True),
            ("AXTextField", "Name field", "", False),
            ("AXTextField", "Password field", None, False),
            ("AXCheckBox", "Remember me", "0", False),
            ("AXGroup", "Pointer pad", None, False),
        ]
        for role, label, value, disabled in expected:
            with self.subTest(label=label):
                element = seen.find(role=role, label=label)
                self.assertEqual((element.value, element.disabled), (value, disabled))
                self.assertIsNotNone(element.center)
        # Static text shows its text as the value and has no label.
        for text in ["Clicks: 0", "Status: idle", "First line Second line third line",
                     LONG_TEXT[:120] + "…"]:
            with self.subTest(text=text):
                label = seen.find(role="AXStaticText", value_prefix=text)
                self.assertEqual((label.value, label.label), (text, None))
        self.assertEqual(len([e for e in seen.elements if e.role == "AXCell"]), 60)
        self.assertEqual(len([e for e in seen.elements if e.focused]), 1)

    def test_unchanged_window_observes_identically(self):
        first = run("observe", *LIMITS)
        second = run("observe", *LIMITS)
        self.assertEqual((first.status, second.status), (0, 0))
        self.assertEqual(first.out, second.out)

    def test_application_by_name_bundle_id_or_frontmost(self):
        frontmost = run("observe", *LIMITS)
        self.assertEqual(frontmost.status, 0)
        for name in [APP_NAME, "nuvra editeur", "NUVRA ÉDITEUR", APP_ID]:
            with self.subTest(name=name):
                named = run("observe", *LIMITS, name)
                self.assertEqual((named.status, named.out), (0, frontmost.out))

    def test_names_that_match_no_application(self):
        # Bundle identifiers compare exactly; names compare whole.
        for name in ["org.nuvra.fixture", "Nuvra", APP_NAME + " ", ""]:
            with self.subTest(name=name):
                result = run("observe", *LIMITS, name)
                self.assertEqual(
                    (result.status, result.out, result.err),
                    (5, "", 'nuvra-click: no running application matches "%s"\n' % name))

    def test_limits_bound_the_walk(self):
        full = observe()
        cases = [
            # limits, expected nodes, expected depth bound
            (("5", "40", "1000000"), 5, 40),
            (("400", "1", "1000000"), 2, 1),
            (("1", "40", "1000000"), 1, 40),
        ]
        for limits, nodes, depth in cases:
            with self.subTest(limits=limits):
                seen = observe(limits=limits)
                self.assertTrue(seen.truncated)
                self.assertEqual(seen.nodes, nodes)
                self.assertEqual(seen.lines[2:-1], full.lines[2:2 + nodes])
                self.assertTrue(all(e.depth <= depth for e in seen.elements))

    def test_text_budget_drops_whole_lines(self):
        full = observe()
        seen = observe(limits=("400", "40", "300"))
        self.assertTrue(seen.truncated)
        self.assertEqual(seen.nodes, full.nodes)
        kept = seen.lines[2:-1]
        self.assertLessEqual(len("\n".join(kept).encode("utf-8")), 300)
        self.assertTrue(set(kept) <= set(full.lines[2:-1]))
        self.assertLess(len(kept), len(full.lines) - 3)


class TwoApplicationsTest(unittest.TestCase):
    def test_frontmost_is_the_active_one_and_names_still_reach_the_other(self):
        first = FixtureApp()
        try:
            second = FixtureApp("--x", "640", "--y", "40", "--app-id", "org.nuvra.Second",
                                name="Nuvra Zweite", title="Second window")
            try:
                # The window presented last holds the input focus.
                front = wait_for(lambda: observe().window == "Second window")
                self.assertTrue(front)
                self.assertEqual(observe().app, "Nuvra Zweite")
                self.assertEqual(observe(APP_NAME).window, WINDOW_TITLE)
                self.assertEqual(observe("org.nuvra.Second").window, "Second window")
            finally:
                second.close()
        finally:
            first.close()


if __name__ == "__main__":
    main()
