"""A real GTK password entry's text never leaves the application through
the tool: not on standard output or standard error, not in the state hash,
and no value at all is shown for a password field (were it read, GTK's
bullets would show). The accessibility bus is watched while the password
field is focused, observed, hit-tested, pressed and written to, and every
message that crosses it in those runs is searched for the secret too."""

import unittest

from e2e_support import LIMITS, SECRET, FixtureApp, Observation, run
from reliability_support import BusMonitor, main, protocol_lines

NAME = "Nuvra Tresor"
NEW_SECRET = "Zweites-Geheimnis-5519-Okapi"
HIDDEN_LATER = "was-visible-then-hidden-8830"


class SecretsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Focused from the start, and a second password entry without an
        # accessible name, so no name can stand in for one.
        cls.app = FixtureApp("--focus-password", "--bare-password", name=NAME)
        cls.monitor = BusMonitor()

    @classmethod
    def tearDownClass(cls):
        cls.monitor.close()
        cls.app.close()

    def watched(self, *args):
        """One run with every bus message it caused."""
        self.monitor.take()
        result = run(*args)
        return result, self.monitor.take()

    def assertNothingLeaks(self, result, messages, secrets, allowedWrite=None):
        for secret in secrets:
            self.assertNotIn(secret, result.out, result)
            self.assertNotIn(secret, result.err, result)
            # No message on the bus carries it, except a write that the
            # caller asked for.
            carrying = [m for m in messages if secret in m.body
                        and not (allowedWrite and m.is_call and m.member == "SetTextContents")]
            self.assertEqual(carrying, [])
        protocol_lines(self, result)

    def test_password_field_focused_observed_hit_pressed_and_written(self):
        result, messages = self.watched("observe", *LIMITS, NAME)
        self.assertEqual(result.status, 0, result)
        seen = Observation(result)
        field = seen.find(role="AXTextField", label="Password field")
        self.assertTrue(field.focused)
        self.assertIsNone(field.value)
        bare = [e for e in seen.elements if e.role == "AXTextField" and e.label is None]
        self.assertEqual([e.value for e in bare], [None])
        self.assertNothingLeaks(result, messages, [SECRET])

        # Hit-tested, focused.
        result, messages = self.watched("hit", *field.center)
        self.assertEqual(
            (result.status, result.out),
            (0, "NUVRA_HIT AXTextField|AXSecureTextField|Password field|Password field|true|true\n"))
        self.assertNothingLeaks(result, messages, [SECRET])
        result, messages = self.watched("hit", *bare[0].center)
        self.assertEqual((result.status, result.out),
                         (0, "NUVRA_HIT AXTextField|AXSecureTextField|||true|false\n"))
        self.assertNothingLeaks(result, messages, [SECRET])

        # Pressed: whether the entry takes the press or not, nothing reads it.
        result, messages = self.watched("press", field.index, *LIMITS, seen.sha, NAME)
        self.assertIn(result.status, (0, 8), result)
        self.assertNothingLeaks(result, messages, [SECRET])

        # Written: the new text travels in the one write, and from then on it
        # is as secret as the first.
        result, messages = self.watched("settext", field.index, NEW_SECRET, *LIMITS, seen.sha,
                                        NAME)
        self.assertEqual((result.status, result.out, result.err), (0, "", ""), result)
        self.assertNothingLeaks(result, messages, [SECRET, NEW_SECRET], allowedWrite=True)
        self.app.command("password-is " + NEW_SECRET)
        for args in [("observe", *LIMITS, NAME), ("hit", *field.center),
                     ("settext", field.index, "x", *LIMITS, "0" * 64, NAME)]:
            with self.subTest(args=args[0]):
                result, messages = self.watched(*args)
                self.assertNothingLeaks(result, messages, [SECRET, NEW_SECRET])

    def test_the_hash_does_not_move_with_the_password(self):
        before = Observation(run("observe", *LIMITS, NAME))
        try:
            self.app.command("set-password " + NEW_SECRET)
            after = Observation(run("observe", *LIMITS, NAME))
        finally:
            self.app.command("set-password " + SECRET)
        self.assertEqual(after.sha, before.sha)
        self.assertEqual(after.lines, before.lines)

    def test_an_entry_hidden_after_it_showed_its_text(self):
        seen = Observation(run("observe", *LIMITS, NAME))
        entry = seen.find(role="AXTextField", label="Name field")
        self.assertEqual(run("settext", entry.index, HIDDEN_LATER, *LIMITS, seen.sha,
                             NAME).status, 0)
        self.assertEqual(Observation(run("observe", *LIMITS, NAME)).find(
            role="AXTextField", label="Name field").value, HIDDEN_LATER)
        self.app.command("hide-name")
        for args in [("observe", *LIMITS, NAME), ("hit", *entry.center)]:
            with self.subTest(args=args[0]):
                result, messages = self.watched(*args)
                self.assertEqual(result.status, 0, result)
                self.assertNothingLeaks(result, messages, [SECRET, HIDDEN_LATER])
        hidden = Observation(run("observe", *LIMITS, NAME))
        self.assertIsNone(hidden.find(role="AXTextField", label="Name field").value)


if __name__ == "__main__":
    main()
