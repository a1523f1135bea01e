"""Pictures and text of the screen through the real engine: captures compared with the screen
itself, windows of never-look and excluded applications really absent (with their frames), regions
cropped exactly, hashes, and the text and structure of real GTK windows."""

import base64
import io
import json
import subprocess
import time
import unittest

from PIL import Image

import accessibility
import apps
import desktop
import engine

GREEN = (0x20, 0xC0, 0x40)
RED = (0xE0, 0x10, 0x10)
BLUE = (0x10, 0x20, 0xE0)
SECRET_ID = "org.halcy.Secret"


def screen():
    """The whole screen as the X server shows it, from ImageMagick's import."""
    png = desktop.run_tool("import", "-window", "root", "png:-")
    return Image.open(io.BytesIO(png)).convert("RGB")


def picture(result):
    return Image.open(io.BytesIO(base64.b64decode(result["jpeg"]))).convert("RGB")


def near(a, b, tolerance=24):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def mean_difference(a, b):
    assert a.size == b.size, (a.size, b.size)
    total = 0
    pa, pb = a.getdata(), b.getdata()
    for x, y in zip(pa, pb):
        total += abs(x[0] - y[0]) + abs(x[1] - y[1]) + abs(x[2] - y[2])
    return total / (3 * a.size[0] * a.size[1])


class ScreenPicturesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        desktop.require_desktop()
        engine.require_engine()
        cls.engine = engine.Engine()
        # A green window below, a secret red one over it, an excluded blue one on its own.
        cls.green = apps.start_colour_window(GREEN, 100, 100, 800, 600, app_id="org.halcy.Green", title="Green")
        cls.red = apps.start_colour_window(RED, 300, 250, 300, 200, app_id=SECRET_ID, title="Secret")
        cls.blue_area = [1200, 300, 300, 200]
        cls.before_blue = cls.engine.result("screen.region", cls.region_params(cls.blue_area, quality=1.0))
        cls.blue = apps.start_colour_window(BLUE, 1200, 300, 300, 200, title="Excluded")
        time.sleep(0.3)

    @classmethod
    def tearDownClass(cls):
        for window in (cls.blue, cls.red, cls.green):
            window.close()
        cls.engine.close()

    @staticmethod
    def region_params(rect, quality=0.9, exclude=(), never=()):
        return {"rect": dict(zip(("x", "y", "width", "height"), rect)), "excludePids": list(exclude),
                "neverLook": list(never), "quality": quality}

    def capture(self, exclude=(), never=(), long_edge=1568, quality=0.9):
        return self.engine.result("screen.capture", {
            "pid": None, "excludePids": list(exclude), "neverLook": list(never), "longEdge": long_edge,
            "quality": quality}, timeout=10)

    def test_capture_matches_the_screen(self):
        captured = self.capture()
        self.assertEqual((captured["width"], captured["height"]), (1568, 882))
        self.assertEqual(captured["display"], {"x": 0.0, "y": 0.0, "width": 1920.0, "height": 1080.0})
        reference = screen().resize((1568, 882), Image.BILINEAR)
        self.assertLess(mean_difference(picture(captured), reference), 4.0)

    def test_hidden_windows_are_absent_with_their_frames(self):
        captured = picture(self.capture(exclude=[self.blue.pid], never=[SECRET_ID], long_edge=1568))
        scale = 1568 / 1920
        fx, fy, fw, fh = self.red.frame
        cx, cy, cw, ch = self.red.client
        self.assertGreater(cy, fy, "the window manager gave the window a title bar")
        for x, y in ((cx + cw // 2, cy + ch // 2), (fx + fw // 2, fy + (cy - fy) // 2), (fx + 2, fy + 2)):
            self.assertTrue(near(captured.getpixel((int(x * scale), int(y * scale))), GREEN),
                            "beneath the secret window at %d,%d" % (x, y))
        shown = self.capture()
        self.assertTrue(near(picture(shown).getpixel((int((cx + cw // 2) * scale), int((cy + ch // 2) * scale))), RED))

    def test_regions_leave_out_the_same_windows(self):
        fx, fy, fw, fh = self.red.frame
        region = self.engine.result("screen.region", self.region_params(
            [fx - 10, fy - 10, fw + 20, fh + 20], never=[SECRET_ID]))
        image = picture(region)
        reds = sum(1 for pixel in image.getdata() if near(pixel, RED, 60))
        self.assertEqual(reds, 0)
        self.assertTrue(near(image.getpixel((fw // 2, fh // 2)), GREEN))
        # Where the excluded window was, what lay beneath it before it came.
        region = self.engine.result("screen.region", self.region_params(
            self.blue_area, quality=1.0, exclude=[self.blue.pid]))
        self.assertLess(mean_difference(picture(region), picture(self.before_blue)), 3.0)
        shown = self.engine.result("screen.region", self.region_params(self.blue_area))
        self.assertTrue(near(picture(shown).getpixel((150, 100)), BLUE))

    def test_region_crops_exactly(self):
        rect = [250, 200, 420, 310]
        region = self.engine.result("screen.region", self.region_params(rect, quality=1.0))
        self.assertEqual((region["width"], region["height"]), (420, 310))
        self.assertEqual(region["rect"], {"x": 250.0, "y": 200.0, "width": 420.0, "height": 310.0})
        expected = screen().crop((250, 200, 670, 510))
        self.assertLess(mean_difference(picture(region), expected), 2.0)
        # Half off the screen: clipped to it.
        clipped = self.engine.result("screen.region", self.region_params([1800, 1000, 300, 300]))
        self.assertEqual(clipped["rect"], {"x": 1800.0, "y": 1000.0, "width": 120.0, "height": 80.0})
        self.assertEqual((clipped["width"], clipped["height"]), (120, 80))

    def test_hash_of_a_flat_region_and_of_content(self):
        cx, cy, _, _ = self.green.client
        flat = self.engine.result("screen.region", self.region_params([cx + 10, cy + 10, 150, 100]))
        self.assertEqual(flat["hash"], "0000000000000000")
        rx, ry, rw, rh = self.red.frame
        edge = self.engine.result("screen.region", self.region_params([rx - 100, ry + 40, 200, 100]))
        self.assertNotEqual(edge["hash"], "0000000000000000")
        self.assertRegex(edge["hash"], "^[0-9a-f]{16}$")

    def test_off_screen_region_and_bad_params(self):
        error = self.engine.request("screen.region", self.region_params([5000, 5000, 100, 100]))["error"]
        self.assertEqual(error, {"code": "unavailable", "message": "That region is on no display."})
        error = self.engine.request("screen.capture", {
            "pid": 0, "excludePids": [], "neverLook": [], "longEdge": 1568, "quality": 0.8})["error"]
        self.assertEqual(error, {"code": "invalid_params", "message": "Invalid params for screen.capture."})


class ScreenDisplaysTest(unittest.TestCase):
    """Two monitors side by side on one screen (RandR monitors, as xrandr --setmonitor makes)."""

    @classmethod
    def setUpClass(cls):
        desktop.require_desktop()
        engine.require_engine()
        # The left monitor takes the screen's output, so the whole-screen monitor goes away.
        desktop.run_tool("xrandr", "--setmonitor", "halcy-left", "960/254x1080/286+0+0", "screen")
        desktop.run_tool("xrandr", "--setmonitor", "halcy-right", "960/254x1080/286+960+0", "none")
        cls.engine = engine.Engine()
        cls.window = apps.start_colour_window(BLUE, 1300, 300, 300, 200, title="Right")

    @classmethod
    def tearDownClass(cls):
        cls.window.close()
        cls.engine.close()
        for name in ("halcy-left", "halcy-right"):
            desktop.run_tool("xrandr", "--delmonitor", name, check=False)

    def test_capture_follows_the_apps_window_to_its_display(self):
        captured = self.engine.result("screen.capture", {
            "pid": self.window.pid, "excludePids": [], "neverLook": [], "longEdge": 1568,
            "quality": 0.8}, timeout=10)
        self.assertEqual(captured["display"], {"x": 960.0, "y": 0.0, "width": 960.0, "height": 1080.0})
        self.assertEqual((captured["width"], captured["height"]), (960, 1080))
        self.assertTrue(near(picture(captured).getpixel((1300 - 960 + 150, 300 + 100)), BLUE))

    def test_a_region_across_displays_is_clipped_to_the_one_holding_more(self):
        region = self.engine.result("screen.region", {
            "rect": {"x": 900, "y": 10, "width": 100, "height": 50}, "excludePids": [], "neverLook": [],
            "quality": 0.8})
        self.assertEqual(region["rect"], {"x": 900.0, "y": 10.0, "width": 60.0, "height": 50.0})


class ScreenTextTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        desktop.require_desktop()
        engine.require_engine()
        cls.engine = engine.Engine()
        granted = desktop.wait_for(lambda: cls.engine.result(
            "permissions.request", {"permission": "accessibility"})["state"] == "granted", 10, 0.2)
        assert granted, "accessibility could not be switched on"
        cls.app = apps.start_fixture(text="Ada Lovelace")
        cls.big = subprocess.Popen([desktop.SYSTEM_PYTHON, str(desktop.FIXTURES / "big_window.py"), "8", "500"],
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        cls.big_pid = json.loads(cls.big.stdout.readline())["pid"]
        accessibility.accessible_app(cls.app.pid)
        accessibility.accessible_app(cls.big_pid)

    @classmethod
    def tearDownClass(cls):
        cls.big.stdin.close()
        cls.big.wait(timeout=10)
        cls.app.close()
        cls.engine.close()

    def test_screen_read_gives_the_windows_text(self):
        read = self.engine.result("screen.read", {"pid": self.app.pid, "maxChars": 16000, "neverLook": []})
        self.assertEqual(read["windowTitle"], "Halcy Fixture")
        self.assertFalse(read["gated"])
        self.assertEqual(read["app"]["pid"], self.app.pid)
        for shown in ("Ada Lovelace", "First line of notes", "Name", "Apples"):
            self.assertIn(shown, read["text"])
        self.assertNotIn("hunter2", read["text"])
        short = self.engine.result("screen.read", {"pid": self.app.pid, "maxChars": 5, "neverLook": []})
        self.assertEqual(len(short["text"]), 5)
        gated = self.engine.result("screen.read", {"pid": self.app.pid, "maxChars": 100,
                                                   "neverLook": ["org.halcy.Fixture"]})
        self.assertEqual((gated["gated"], gated["text"], gated["windowTitle"]), (True, "", None))

    def test_structure_read_gives_title_fields_and_the_last_rows(self):
        facts = self.engine.result("structure.read", {"pid": self.big_pid, "bundleId": "big.window",
                                                      "neverLook": []}, timeout=10)
        self.assertEqual(facts["windowTitle"], "Big Window")
        self.assertEqual(facts["fieldValues"], ["The focused entry"])
        self.assertEqual(facts["webUrl"], None)
        self.assertEqual(facts["rows"], [["Row %d" % i, str(i)] for i in range(460, 500)])
        fixture = self.engine.result("structure.read", {"pid": self.app.pid, "bundleId": "org.halcy.Fixture",
                                                        "neverLook": []})
        # The password and the multi-line notes are no text fields' values.
        self.assertEqual(fixture["fieldValues"], ["Ada Lovelace"])
        self.assertEqual(fixture["rows"], [["Apples", "3"], ["Bananas", "5"], ["Cherries", "7"]])
        gated = self.engine.result("structure.read", {"pid": self.app.pid, "bundleId": "org.halcy.Fixture",
                                                      "neverLook": ["org.halcy.Fixture"]})
        self.assertEqual(gated, {"windowTitle": None, "webUrl": None, "fieldValues": [], "rows": None})

    def test_a_frozen_application_costs_a_bounded_wait(self):
        frozen = apps.start_fixture(title="Frozen")
        try:
            accessibility.accessible_app(frozen.pid)
            frozen.proc.send_signal(19)  # SIGSTOP
            started = time.monotonic()
            read = self.engine.result("screen.read", {"pid": frozen.pid, "maxChars": 1000, "neverLook": []},
                                      timeout=15)
            self.assertLess(time.monotonic() - started, 3.0)
            self.assertEqual(read["text"], "")
            frozen.proc.send_signal(18)  # SIGCONT
        finally:
            frozen.close()


if __name__ == "__main__":
    unittest.main()
