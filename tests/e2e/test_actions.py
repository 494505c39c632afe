"""press, settext and hit against a real GTK window, each with the app's own
reaction read back, and the password entry's text kept out of every output."""

import unittest

from e2e_support import (APP_NAME, LIMITS, SECRET, FixtureApp, Observation, main, run,
                         wait_for)


class ActionsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.app = FixtureApp()

    @classmethod
    def tearDownClass(cls):
        cls.app.close()

    def setUp(self):
        self.runs = []

    def tool(self, *args):
        result = run(*args)
        self.runs.append(result)
        return result

    def seen(self):
        result = self.tool("observe", *LIMITS)
        self.assertEqual(result.status, 0, result)
        return Observation(result)

    def clicks(self):
        return int(self.seen().value_of("Clicks: ").split(": ")[1])

    def test_press_clicks_the_counter_button(self):
        before = self.seen()
        count = int(before.value_of("Clicks: ").split(": ")[1])
        button = before.find(role="AXButton", label="Count")
        result = self.tool("press", button.index, *LIMITS, before.sha)
        self.assertEqual((result.status, result.out, result.err), (0, "", ""))
        # The action runs in the application's main loop after the reply.
        after = wait_for(lambda: self.seen() if self.clicks() == count + 1 else None)
        self.assertTrue(after, "the counter never reached %d" % (count + 1))
        # A label's text is a value: the counter changing keeps the hash.
        self.assertEqual(after.sha, before.sha)

    def test_press_toggles_a_check_box_and_its_value_follows(self):
        before = self.seen()
        box = before.find(role="AXCheckBox", label="Remember me")
        result = self.tool("press", box.index, *LIMITS, before.sha)
        self.assertEqual((result.status, result.out, result.err), (0, "", ""))
        checked = wait_for(lambda: self.seen().find(role="AXCheckBox",
                                                    label="Remember me").value == "1")
        self.assertTrue(checked, "the check box never read as checked")
        again = self.seen()
        self.tool("press", again.find(role="AXCheckBox", label="Remember me").index, *LIMITS,
                  again.sha)
        self.assertTrue(wait_for(lambda: self.seen().find(role="AXCheckBox",
                                                          label="Remember me").value == "0"))

    def test_press_refuses_a_changed_tree_and_acts_on_nothing(self):
        before = self.seen()
        count = int(before.value_of("Clicks: ").split(": ")[1])
        button = before.find(role="AXButton", label="Count")
        self.app.command("rename Counter")
        try:
            result = self.tool("press", button.index, *LIMITS, before.sha)
            self.assertEqual((result.status, result.out), (6, ""))
            self.assertEqual(result.err, "nuvra-click: stale observation — the window's element "
                                         "tree changed since screen.observe\n")
            self.assertEqual(self.clicks(), count)
        finally:
            self.app.command("rename Count")
        self.assertEqual(self.seen().sha, before.sha)

    def test_static_text_has_no_press_action(self):
        seen = self.seen()
        label = seen.find(role="AXStaticText", value_prefix="Status: ")
        result = self.tool("press", label.index, *LIMITS, seen.sha)
        self.assertEqual((result.status, result.out, result.err),
                         (8, "", "nuvra-click: element [e%d] has no press action\n" % label.index))

    def test_settext_fills_an_entry(self):
        before = self.seen()
        entry = before.find(role="AXTextField", label="Name field")
        for text in ["hello wörld", "", "Zeile mit \"Anführung\" und | Strich"]:
            with self.subTest(text=text):
                result = self.tool("settext", entry.index, text, *LIMITS, before.sha)
                self.assertEqual((result.status, result.out, result.err), (0, "", ""))
                after = self.seen()
                self.assertEqual(after.find(role="AXTextField", label="Name field").value, text)
                self.assertEqual(after.sha, before.sha)

    def test_settext_on_elements_without_editable_text_is_refused(self):
        seen = self.seen()
        for element in [seen.find(role="AXStaticText", value_prefix="Status: "),
                        seen.find(role="AXButton", label="Count")]:
            with self.subTest(role=element.role):
                result = self.tool("settext", element.index, "x", *LIMITS, seen.sha)
                self.assertEqual(
                    (result.status, result.out, result.err),
                    (8, "", "nuvra-click: element [e%d] rejected the text assignment\n"
                     % element.index))
        self.assertEqual(self.seen().value_of("Status: "), "Status: idle")

    def test_hit_at_a_printed_centre_names_the_element(self):
        seen = self.seen()
        for role, label in [("AXButton", "Count"), ("AXButton", "Disabled action"),
                            ("AXTextField", "Name field"), ("AXCheckBox", "Remember me")]:
            with self.subTest(label=label):
                element = seen.find(role=role, label=label)
                result = self.tool("hit", *element.center)
                expected = "NUVRA_HIT %s||%s|%s|%s|%s\n" % (
                    role, label, label, "false" if element.disabled else "true",
                    "true" if element.focused else "false")
                self.assertEqual((result.status, result.out, result.err), (0, expected, ""))

    def test_hit_outside_every_window_fails(self):
        for point in [(1200, 790), (0, 0), (39, 19)]:
            with self.subTest(point=point):
                result = self.tool("hit", *point)
                self.assertEqual((result.status, result.out, result.err),
                                 (4, "", "nuvra-click: 落点无元素\n"))

    def test_secret_never_appears(self):
        seen = self.seen()
        password = seen.find(role="AXTextField", label="Password field")
        self.assertIsNone(password.value)
        self.tool("hit", *password.center)
        # Pressing the entry activates it; whatever that changes, neither
        # the walk nor the hit test may read its text afterwards.
        self.tool("press", password.index, *LIMITS, seen.sha)
        self.tool("observe", *LIMITS, APP_NAME)
        self.tool("hit", *password.center)
        self.assertEqual(len(self.runs), 5)
        for result in self.runs:
            with self.subTest(args=result.args):
                self.assertNotIn(SECRET, result.out)
                self.assertNotIn(SECRET, result.err)
                self.assertNotIn("hunter2", result.out)


if __name__ == "__main__":
    main()
