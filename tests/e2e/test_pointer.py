"""Clicks, drags and wheel turns through XTest, each read back from what the
GTK window itself recorded: its pointer pad counts buttons, double clicks
and wheel notches and reports where the pointer was; its list reports how
far it scrolled."""

import re
import time
import unittest

from e2e_support import FixtureApp, main, observe, run, wait_for


def numbers(text):
    return [int(n) for n in re.findall(r"-?\d+", text)]


class PointerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.app = FixtureApp()
        seen = observe()
        cls.pad = seen.find(role="AXGroup", label="Pointer pad").center
        cls.count = seen.find(role="AXButton", label="Count").center
        cls.list = seen.find(role="AXList").center
        cls.scrollArea = seen.find(role="AXScrollArea").center

    @classmethod
    def tearDownClass(cls):
        cls.app.close()

    def tool(self, *args):
        result = run(*args)
        self.assertEqual((result.status, result.out, result.err), (0, "", ""), result)
        return result

    def label(self, prefix):
        return observe().value_of(prefix)

    def settled(self, prefix, expected):
        """The label once it shows `expected`, or its last text."""
        found = wait_for(lambda: self.label(prefix) == expected)
        return expected if found else self.label(prefix)

    def test_click_presses_a_real_button(self):
        before = numbers(self.label("Clicks: "))[0]
        self.tool(*self.count)
        self.assertEqual(self.settled("Clicks: ", "Clicks: %d" % (before + 1)),
                         "Clicks: %d" % (before + 1))

    def test_click_forms_reach_the_pad(self):
        cases = [
            # extra words, change of (left, right, double)
            ((), (1, 0, 0)),
            (("double",), (2, 0, 1)),
            (("right",), (0, 1, 0)),
            (("double", "right"), (0, 2, 1)),
            (("right", "double"), (0, 2, 1)),
            (("banana",), (1, 0, 0)),
        ]
        for words, change in cases:
            with self.subTest(words=words):
                # GTK joins presses closer together than its double-click
                # time (400 ms) into one double click, across cases too.
                time.sleep(0.5)
                left, right, double = numbers(self.label("Pad clicks: "))
                expected = "Pad clicks: left %d, right %d, double %d" % (
                    left + change[0], right + change[1], double + change[2])
                self.tool(self.pad[0], self.pad[1], *words)
                self.assertEqual(self.settled("Pad clicks: ", expected), expected)

    def test_drag_presses_moves_and_releases_at_the_end_points(self):
        x, y = self.pad
        for words, button in [((), 1), (("right",), 3)]:
            with self.subTest(button=button):
                start, end = (x - 150, y - 30), (x + 120, y + 25)
                self.tool("drag", *start, *end, *words)
                prefix = "Pad drag: button %d from %d,%d to %d,%d moves " % (button, *start, *end)
                shown = wait_for(lambda: self.label("Pad drag: ").startswith(prefix))
                self.assertTrue(shown, self.label("Pad drag: "))
                # GDK merges motion events, so only "some" is certain.
                self.assertGreaterEqual(numbers(self.label("Pad drag: "))[-1], 1)

    def test_scroll_at_moves_the_pointer_then_turns_the_wheel(self):
        x, y = self.pad
        cases = [
            # dx, dy, change of (up, down, left, right): 50 pixels a notch,
            # rounded up, positive dy up and positive dx right.
            (0, 100, (2, 0, 0, 0)),
            (0, -1, (0, 1, 0, 0)),
            (30, 0, (0, 0, 0, 1)),
            (-120, 0, (0, 0, 3, 0)),
            (51, -51, (0, 2, 0, 2)),
        ]
        for i, (dx, dy, change) in enumerate(cases):
            with self.subTest(dx=dx, dy=dy):
                point = (x - 40 + 10 * i, y + i)
                before = numbers(self.label("Pad wheel: "))
                expected = "Pad wheel: up %d, down %d, left %d, right %d" % tuple(
                    b + c for b, c in zip(before, change))
                self.tool("scroll", *point, dx, dy, "at")
                self.assertEqual(self.settled("Pad wheel: ", expected), expected)
                self.assertEqual(self.label("Pad pointer: "), "Pad pointer: %d,%d" % point)

    def test_scroll_without_at_leaves_the_pointer_where_it_is(self):
        x, y = self.pad
        self.tool("scroll", x, y, 0, 50, "at")
        up = numbers(self.label("Pad wheel: "))[0]
        self.tool("scroll", 5, 5, 0, 50)
        expected_up = wait_for(lambda: numbers(self.label("Pad wheel: "))[0] == up + 1)
        self.assertTrue(expected_up)
        self.assertEqual(self.label("Pad pointer: "), "Pad pointer: %d,%d" % (x, y))

    def test_scroll_moves_the_list(self):
        x, y = self.scrollArea
        self.tool("scroll", x, y, 0, -300, "at")
        moved = wait_for(lambda: numbers(self.label("List offset: "))[0] > 0)
        self.assertTrue(moved, self.label("List offset: "))
        self.tool("scroll", x, y, 0, 5000, "at")
        self.assertEqual(self.settled("List offset: ", "List offset: 0"), "List offset: 0")


if __name__ == "__main__":
    main()
