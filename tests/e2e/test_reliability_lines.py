"""The output line protocol cannot be forged by a real application: a GTK
window whose application name, window title, button titles, label and
entry values and descriptions hold line feeds, carriage returns, U+2028,
U+2029, NEL, ANSI escape sequences, "|" and ready-made marker lines. Every
run prints exactly the lines the protocol allows, each text arrives whole
(only collapsed, or with controls turned to spaces where it is unquoted),
and nothing else breaks. NUL and ill-formed UTF-8 cannot travel over D-Bus;
the in-memory desktop's tests cover them."""

import sys
import unittest

from e2e_support import FIXTURES, LIMITS, FixtureApp, Observation, main, run
from reliability_support import line_safe, protocol_lines, sanitize

sys.path.insert(0, FIXTURES)
from hostile_texts import HOSTILE_APP_NAME, HOSTILE_TEXTS, HOSTILE_TITLE  # noqa: E402


class HostileTextsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.app = FixtureApp("--hostile", name=HOSTILE_APP_NAME, title=HOSTILE_TITLE)

    @classmethod
    def tearDownClass(cls):
        cls.app.close()

    def observed(self, *extra):
        result = run("observe", *LIMITS, *extra)
        self.assertEqual(result.status, 0, result)
        lines = protocol_lines(self, result)
        seen = Observation(result)
        self.assertFalse(seen.truncated)
        self.assertEqual(len(lines), seen.nodes + 3)
        return seen

    def test_observe_prints_only_protocol_lines_and_every_text_whole(self):
        for target in [(), (HOSTILE_APP_NAME,)]:
            with self.subTest(byName=bool(target)):
                seen = self.observed(*target)
                self.assertEqual(seen.lines[0], "NUVRA_OBSERVE app=" + line_safe(HOSTILE_APP_NAME))
                self.assertEqual(seen.lines[1],
                                 "NUVRA_WINDOW " + line_safe(sanitize(HOSTILE_TITLE)))
                self.assertEqual(seen.elements[0].label, sanitize(HOSTILE_TITLE))
                for what, text in HOSTILE_TEXTS:
                    with self.subTest(what=what):
                        expected = sanitize(text)
                        # A button's title, a label's value, a group's
                        # description, an entry's value.
                        seen.find(role="AXButton", label=expected)
                        self.assertEqual(len([e for e in seen.elements if e.role == "AXStaticText"
                                              and e.value == expected]), 1)
                        seen.find(role="AXGroup", label=expected)
                        row = [index for index, (w, _) in enumerate(HOSTILE_TEXTS) if w == what][0]
                        entry = seen.find(role="AXTextField", label="Entry %d" % row)
                        self.assertEqual(entry.value, expected)

    def test_hit_prints_one_line_with_the_texts_made_line_safe(self):
        seen = self.observed()
        for what, text in HOSTILE_TEXTS:
            with self.subTest(what=what):
                button = seen.find(role="AXButton", label=sanitize(text))
                result = run("hit", *button.center)
                self.assertEqual(result.status, 0, result)
                self.assertEqual(protocol_lines(self, result), [
                    "NUVRA_HIT AXButton||%s|%s|true|%s" % (
                        line_safe(sanitize(text)), line_safe(sanitize(text)),
                        "true" if button.focused else "false")])

    def test_press_and_settext_against_hostile_texts(self):
        seen = self.observed()
        for row, (what, text) in enumerate(HOSTILE_TEXTS):
            with self.subTest(what=what):
                button = seen.find(role="AXButton", label=sanitize(text))
                result = run("press", button.index, *LIMITS, seen.sha)
                self.assertEqual((result.status, result.out, result.err), (0, "", ""), result)
                # The same text typed back in as an argument.
                entry = seen.find(role="AXTextField", label="Entry %d" % row)
                result = run("settext", entry.index, text, *LIMITS, seen.sha)
                self.assertEqual((result.status, result.out, result.err), (0, "", ""), result)
        after = self.observed()
        self.assertEqual(after.sha, seen.sha)


if __name__ == "__main__":
    main()
