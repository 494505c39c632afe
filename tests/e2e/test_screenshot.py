# screenshot against a real GTK window of known colours at known places
# (fixture_app.py --mode tiles, placed by Xvfb exactly where it asks): the
# picture's region, size and pixels; the marks, read back from the pixels,
# against the observation printed beside them; a window above ours; and
# refusals that leave nothing behind.
import contextlib
import json
import os
import pathlib
import shutil
import sys
import tempfile
import unittest

import gi

from e2e import FIXTURES, SHOT, App, run, wait_for

gi.require_version("GdkPixbuf", "2.0")
from gi.repository import GdkPixbuf  # noqa: E402

sys.path.insert(0, FIXTURES)
from fixture_app import TILES  # noqa: E402

NAME, X, Y, LIMITS = "Nuvra Tiles", 100, 80, ("100", "10", "10000")
# The label font of src/capture/marks.cpp, seven rows of five bits each; at one
# pixel a point a font pixel is 2 × 2, the text 2 pixels in, glyphs 12 apart.
GLYPHS = dict(zip("e0123456789", (
    "00000E111F100E 0E11131519110E 040C040404040E 0E11010204081F 1F02040201110E 02060A121F0202 "
    "1F101E0101110E 0608101E11110E 1F010204080808 0E11110E11110E 0E11110F01020C").split()))


def picture(path):
    p = GdkPixbuf.Pixbuf.new_from_file(path)
    data, stride, n = p.get_pixels(), p.get_rowstride(), p.get_n_channels()
    return (p.get_width(), p.get_height()), lambda x, y: tuple(data[y * stride + x * n:y * stride + x * n + 3])


def label(px, x, y):
    # The text of the label whose box starts at (x, y), as far as it reads.
    text = ""
    for i in range(8):
        rows = "".join("%02X" % sum(16 >> c for c in range(5) if px(x + 2 + 12 * i + 2 * c, y + 2 + 2 * r)
                                    == (255, 255, 255)) for r in range(7))
        found = [g for g, bits in GLYPHS.items() if bits == rows]
        if not found:
            return text
        text += found[0]
    return text


class ScreenshotTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.app = App(NAME, "--mode", "tiles", "--x", str(X), "--y", str(Y))
        cls.dir = tempfile.mkdtemp()

    @classmethod
    def tearDownClass(cls):
        cls.app.close()
        shutil.rmtree(cls.dir)

    def shot(self, *args):
        path = os.path.join(self.dir, "shot.png")
        r = run("screenshot", path, *args)
        self.assertEqual((r.status, r.err), (0, ""))
        line = SHOT.fullmatch(r.out.split("\n")[-2])
        size, px = picture(path)
        self.assertEqual((json.loads(line[8]), size), (path, (int(line[5]), int(line[6]))))
        return r, tuple(map(int, line.groups()[:4])), float(line[7]), px

    def test_1_the_window_and_a_region_in_their_colours(self):
        _, region, scale, px = wait_for(lambda: (lambda s: s[3](30, 30) == (255, 0, 0) and s)(self.shot(NAME)))
        self.assertEqual((region, scale), ((X, Y, 460, 300), 1))
        for colour, (x, y, w, h) in TILES.values():
            self.assertEqual({px(x + dx, y + dy) for dx in (1, w // 2, w - 2) for dy in (1, h - 2)}, {colour})
        colour, (x, y, w, h) = TILES["Blue"]
        _, region, _, px = self.shot(X + x + 10, Y + y + 10, 50, 30)
        self.assertEqual((region, {px(i, j) for i in range(50) for j in range(30)}), ((X + x + 10, Y + y + 10, 50, 30), {colour}))

    def check_marks(self, seen):
        # Each tile framed and numbered as the observation numbers it, the frame
        # holding the printed centre; the window's label at its corner.
        r, region, _, px = self.shot("marks", *LIMITS, NAME)
        self.assertEqual(r.out[:r.out.rindex("NUVRA_SCREENSHOT")], seen.out)
        self.assertEqual(label(px, 0, 0), "e1")
        for name, (colour, (x, y, w, h)) in TILES.items():
            e = seen.find(name)
            self.assertEqual((label(px, x, y), e.center), ("e%d" % e.index, (X + x + w // 2, Y + y + h // 2)))
            self.assertEqual({px(x, y), px(x + w - 1, y + h - 1), px(x + w // 2, y + h - 1)}, {px(x, y)})
            self.assertNotEqual(px(x, y), colour)
        return px

    def test_2_marks_are_the_observation_of_the_same_moment(self):
        px = self.check_marks(run("observe", *LIMITS, NAME))
        self.assertEqual(px(120, 80), TILES["Red"][0])  # inside the frame, the window as it is

    def test_3_a_window_above_shows_and_the_marks_stay_ours(self):
        seen = run("observe", *LIMITS, NAME)
        with contextlib.closing(App("Nuvra Cover", "--mode", "tiles", "--fill", "255,0,255",
                                    "--x", str(X + 100), "--y", str(Y + 60))):
            px = wait_for(lambda: (lambda p: p(150, 110) == (255, 0, 255) and p)(self.check_marks(seen)))
            self.assertTrue(px, "the window above is not in the picture")

    def test_4_refusals_write_nothing(self):
        self.dir = tempfile.mkdtemp(dir=self.dir)
        kept = os.path.join(self.dir, "kept.png")
        pathlib.Path(kept).write_text("before")
        for args, status, err in [
                ((self.dir, NAME), 3, "cannot write %s: Is a directory" % self.dir),
                ((self.dir + "/none/x.png", NAME), 3, "cannot write %s/none/x.png: No such file or directory" % self.dir),
                ((kept, 1280, 0, 10, 10), 3, "the region is not on any screen"),
                ((kept, 0, 0, 0, 10), 3, "bad width 0"),
                ((kept, "Nuvra Nobody"), 5, 'no running application matches "Nuvra Nobody"'),
                ((kept, "marks", 1, 1, 1, "Nuvra Nobody"), 5, 'no running application matches "Nuvra Nobody"')]:
            r = run("screenshot", *args)
            self.assertEqual((r.status, r.out, r.err), (status, "", "nuvra-click: %s\n" % err))
        self.assertEqual((os.listdir(self.dir), pathlib.Path(kept).read_text()), (["kept.png"], "before"))
        self.shot(NAME)
        self.assertEqual(sorted(os.listdir(self.dir)), ["kept.png", "shot.png"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
