"""Ink through the real engine: a capture of a window of big labels, every kind of mark composed onto
it (the accent where each mark is, the picture unchanged elsewhere, the badge numbers), the text
recognised under each mark, the size budget, the context picture, and released captures."""

import base64
import io
import json
import math
import os
import subprocess
import tempfile
import unittest
from pathlib import Path

from PIL import Image, ImageChops, ImageDraw, ImageOps

import desktop
import engine

ACCENT = (0x3B, 0x63, 0xE6)
LABELS = ["APPLES", "ORANGES", "BANANAS", "CHERRIES", "PEACHES"]
APP_ID = "org.halcy.InkLabels"
BUDGET = 1500000


def near(a, b, tolerance):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def decoded(text):
    return Image.open(io.BytesIO(base64.b64decode(text)))


def rect(x, y, width, height):
    return {"x": x, "y": y, "width": width, "height": height}


def point(x, y):
    return {"x": x, "y": y}


def read_badges(image, centres, radius):
    """The numbers on badges, read by the tesseract tool as one row: each badge's inner disc, its
    white digits made black on white, side by side and enlarged (single digits alone are read
    poorly)."""
    size = 2 * radius + 1
    gap = size
    row = Image.new("L", ((size + gap) * len(centres) + gap, size + 12), 255)
    disc = Image.new("L", (size, size), 0)
    ImageDraw.Draw(disc).ellipse([0, 0, size - 1, size - 1], fill=255)
    for index, (x, y) in enumerate(centres):
        badge = image.crop((x - radius, y - radius, x + radius + 1, y + radius + 1)).convert("L")
        digits = badge.point(lambda v: 0 if v > 170 else 255)
        row.paste(digits, (gap + index * (size + gap), 6), disc)
    big = ImageOps.expand(row.resize((row.width * 4, row.height * 4), Image.LANCZOS), border=40, fill=255)
    with tempfile.TemporaryDirectory() as folder:
        path = Path(folder) / "badges.png"
        big.save(path)
        out = subprocess.run(["tesseract", str(path), "-", "--psm", "7", "-c",
                              "tessedit_char_whitelist=0123456789"],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=30)
    return "".join(out.stdout.decode().split())


class InkTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        desktop.require_desktop()
        engine.require_engine()
        cls.engine = engine.Engine()
        cls.window = subprocess.Popen(
            [desktop.SYSTEM_PYTHON, str(desktop.FIXTURES / "ink_labels.py"), "--x", "200", "--y", "120",
             "--app-id", APP_ID, *LABELS], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        cls.ready = json.loads(cls.window.stdout.readline())
        cls.labels = cls.ready["labels"]
        x, y, width, height = cls.ready["client"]
        cls.client = (x, y, width, height)
        cls.captured = cls.engine.result("ink.capture", {
            "x": x + 10, "y": y + 10, "excludePids": [], "neverLook": []}, timeout=10)
        cls.handle = cls.captured["capture"]
        cls.marks = cls.every_kind()
        cls.composed = cls.engine.result("ink.compose", {
            "pieces": [cls.piece(cls.handle, [1, 2, 3, 4, 5])], "marks": cls.marks,
            "context": cls.handle, "readText": True}, timeout=30)
        cls.bare = cls.engine.result("ink.compose", {
            "pieces": [cls.piece(cls.handle, [])], "marks": [], "context": None,
            "readText": False}, timeout=30)

    @classmethod
    def tearDownClass(cls):
        cls.window.stdin.close()
        cls.window.wait(timeout=10)
        cls.window.stdout.close()
        cls.engine.close()

    @classmethod
    def piece(cls, handle, marks):
        return {"capture": handle, "rect": rect(*cls.client), "marks": marks}

    @classmethod
    def focus(cls, label, pad=10):
        x, y, width, height = cls.labels[label]
        return rect(x - pad, y - pad, width + 2 * pad, height + 2 * pad)

    @classmethod
    def every_kind(cls):
        """One mark of each kind around a label each, in desktop points."""
        marks = []
        for n, (kind, label) in enumerate(zip(("region", "point", "underline", "arrow", "cross"),
                                              LABELS), start=1):
            x, y, width, height = cls.labels[label]
            if kind == "region":
                line = [(x - 8, y - 8), (x + width + 8, y - 8), (x + width + 8, y + height + 8),
                        (x - 8, y + height + 8), (x - 8, y - 8)]
            elif kind == "point":
                line = [(x + width + 40, y + height / 2)]
            elif kind == "underline":
                line = [(x, y + height + 10), (x + width, y + height + 10)]
            elif kind == "arrow":
                line = [(x - 160, y + height / 2 + 60), (x - 80, y + height / 2 + 30), (x - 12, y + height / 2)]
            else:
                line = [(x, y), (x + width, y + height), (x + width, y), (x, y + height)]
            end = line[-1]
            marks.append({"n": n, "kind": kind, "line": [point(*p) for p in line],
                          "focus": cls.focus(label),
                          "from": point(*line[0]), "to": point(*end) if kind == "arrow" else None})
        return marks

    def to_image(self, p):
        """Desktop points to pixels of the composed picture (one pixel a point, not scaled)."""
        return p["x"] - self.client[0], p["y"] - self.client[1]

    def test_the_capture_is_the_whole_display_at_full_resolution(self):
        self.assertEqual(self.captured["display"], rect(0.0, 0.0, 1920.0, 1080.0))
        self.assertEqual(self.captured["pixels"], {"width": 1920, "height": 1080})

    def test_each_mark_is_drawn_in_the_accent_and_nothing_else_changes(self):
        image = decoded(self.composed["image"]).convert("RGB")
        bare = decoded(self.bare["image"]).convert("RGB")
        self.assertEqual(image.size, (self.client[2], self.client[3]))
        self.assertEqual(bare.size, image.size)
        unit = max(self.client[2] / 900, 1)
        mask = Image.new("L", image.size, 0)
        draw = ImageDraw.Draw(mask)
        for mark in self.marks:
            line = [self.to_image(p) for p in mark["line"]]
            if mark["kind"] == "point" or len(line) < 2:
                (cx, cy), radius = line[0], 10 * unit
                samples = [(cx + radius * math.cos(a), cy + radius * math.sin(a)) for a in (0, 1.5, 3, 4.5)]
                draw.ellipse([cx - radius - 24, cy - radius - 24, cx + radius + 24, cy + radius + 24], fill=255)
            else:
                samples = [((ax + bx) / 2, (ay + by) / 2) for (ax, ay), (bx, by) in zip(line, line[1:])]
                reach = 4 * unit + 24
                draw.line(line, fill=255, width=int(2 * reach))
                for x, y in line:
                    draw.ellipse([x - reach, y - reach, x + reach, y + reach], fill=255)
                tip = line[-1]
                draw.ellipse([tip[0] - 40, tip[1] - 40, tip[0] + 40, tip[1] + 40], fill=255)
            for sx, sy in samples:
                self.assertTrue(near(image.getpixel((int(sx), int(sy))), ACCENT, 40),
                                "mark %d at %d,%d: %s" % (mark["n"], sx, sy, image.getpixel((int(sx), int(sy)))))
            f = mark["focus"]
            bx, by = self.to_image(point(f["x"] + f["width"], f["y"]))
            radius = 16 * unit + 24
            draw.ellipse([bx - radius, by - radius, bx + radius, by + radius], fill=255)
        difference = ImageChops.difference(image, bare).convert("L")
        outside = ImageChops.multiply(difference, ImageOps.invert(mask))
        self.assertLessEqual(outside.getextrema()[1], 12, "the picture changed away from the marks")
        self.assertGreater(ImageChops.multiply(difference, mask).getextrema()[1], 100)

    def test_the_unmarked_picture_is_the_screen(self):
        x, y, width, height = self.client
        png = desktop.run_tool("import", "-window", "root", "png:-")
        screen = Image.open(io.BytesIO(png)).convert("RGB").crop((x, y, x + width, y + height))
        bare = decoded(self.bare["image"]).convert("RGB")
        difference = ImageChops.difference(screen, bare).convert("L")
        histogram = difference.histogram()
        mean = sum(i * count for i, count in enumerate(histogram)) / (width * height)
        self.assertLess(mean, 2.0)

    def test_badges_carry_the_mark_numbers_at_the_focus_corner(self):
        image = decoded(self.composed["image"]).convert("RGB")
        rects = {entry["n"]: entry["rect"] for entry in self.composed["rects"]}
        self.assertEqual(sorted(rects), [1, 2, 3, 4, 5])
        unit = max(self.client[2] / 900, 1)
        centres = []
        for mark in self.marks:
            r = rects[mark["n"]]
            cx, cy = r["x"] + r["width"], r["y"]
            f = mark["focus"]
            self.assertEqual((cx, cy), self.to_image(point(f["x"] + f["width"], f["y"])))
            ring = image.getpixel((int(cx - 14.5 * unit), int(cy)))
            self.assertTrue(near(ring, (255, 255, 255), 40), "badge %d ring %s" % (mark["n"], ring))
            inside = image.getpixel((int(cx - 11 * unit), int(cy)))
            self.assertTrue(near(inside, ACCENT, 40), "badge %d disc %s" % (mark["n"], inside))
            centres.append((int(cx), int(cy)))
        self.assertEqual(read_badges(image, centres, int(12 * unit)), "12345")

    def test_the_text_under_each_mark_is_its_label(self):
        texts = {entry["n"]: entry["text"] for entry in self.composed["text"]}
        self.assertEqual(texts, {n: label for n, label in enumerate(LABELS, start=1)})
        self.assertEqual(self.bare["text"], [])

    def test_ends_and_geometry_are_in_picture_pixels(self):
        ends = {entry["n"]: entry for entry in self.composed["ends"]}
        arrow = self.marks[3]
        self.assertEqual(ends[4]["to"], dict(zip(("x", "y"), map(float, self.to_image(arrow["to"])))))
        self.assertIsNone(ends[1]["to"])
        self.assertEqual(ends[1]["from"], dict(zip(("x", "y"), map(float, self.to_image(self.marks[0]["from"])))))

    def test_the_context_picture_shows_the_whole_display_with_the_marks(self):
        context = decoded(self.composed["context"]).convert("RGB")
        self.assertEqual(context.size, (1024, 576))
        scale = 1024 / 1920
        underline = self.marks[2]["line"]
        middle = ((underline[0]["x"] + underline[1]["x"]) / 2 * scale, underline[0]["y"] * scale)
        self.assertTrue(near(context.getpixel((int(middle[0]), int(middle[1]))), ACCENT, 50))

    def test_a_wide_composite_stays_within_the_size_budget(self):
        pieces = [{"capture": self.handle, "rect": rect(0, 0, 1920, 1080), "marks": []}] * 5
        wide = self.engine.result("ink.compose", {"pieces": pieces, "marks": [], "context": None,
                                                  "readText": False}, timeout=30)
        image = decoded(wide["image"])
        self.assertEqual(image.size, (1568, round(1080 * 1568 / (5 * 1920 + 4 * 16))))
        self.assertLessEqual(len(wide["image"]), BUDGET)
        self.assertEqual(image.quantization[0][0], 6, "the first quality, 0.8")

    def test_hidden_windows_are_left_out_of_the_capture(self):
        hidden = self.engine.result("ink.capture", {
            "x": self.client[0] + 10, "y": self.client[1] + 10, "excludePids": [],
            "neverLook": [APP_ID]}, timeout=10)
        composed = self.engine.result("ink.compose", {
            "pieces": [self.piece(hidden["capture"], [1])], "marks": self.marks[:1], "context": None,
            "readText": True}, timeout=30)
        self.assertEqual(composed["text"], [])
        self.engine.result("ink.release", {"captures": [hidden["capture"]]})

    def test_a_released_capture_composes_nothing(self):
        other = self.engine.result("ink.capture", {"x": 5, "y": 5, "excludePids": [], "neverLook": []},
                                   timeout=10)["capture"]
        self.assertGreater(other, self.handle)
        self.assertEqual(self.engine.result("ink.release", {"captures": [other, 999]}), {})
        gone = self.engine.result("ink.compose", {
            "pieces": [self.piece(other, [1])], "marks": self.marks[:1], "context": other,
            "readText": True}, timeout=30)
        self.assertEqual(gone, {"image": None, "rects": [], "ends": [], "text": [], "context": None})
        error = self.engine.request("ink.release", {"captures": list(range(9))})["error"]
        self.assertEqual(error, {"code": "invalid_params", "message": "Invalid params for ink.release."})


    def test_without_fonts_or_language_data_marks_are_still_drawn(self):
        with tempfile.TemporaryDirectory() as folder:
            config = Path(folder) / "fonts.conf"
            config.write_text('<?xml version="1.0"?><fontconfig><dir>%s</dir><cachedir>%s</cachedir>'
                              '</fontconfig>' % (folder, folder))
            env = dict(os.environ, FONTCONFIG_FILE=str(config), TESSDATA_PREFIX=str(Path(folder) / "none"))
            with engine.Engine(env=env) as bare_engine:
                handle = bare_engine.result("ink.capture", {
                    "x": self.client[0], "y": self.client[1], "excludePids": [], "neverLook": []},
                    timeout=10)["capture"]
                composed = bare_engine.result("ink.compose", {
                    "pieces": [self.piece(handle, [1])], "marks": self.marks[:1], "context": None,
                    "readText": True}, timeout=30)
        self.assertIn("no English language data", bare_engine.stderr_text())
        self.assertEqual(composed["text"], [])
        image = decoded(composed["image"]).convert("RGB")
        r = composed["rects"][0]["rect"]
        centre = (int(r["x"] + r["width"]), int(r["y"]))
        unit = max(self.client[2] / 900, 1)
        disc = [image.getpixel((centre[0] + dx, centre[1] + dy)) for dx in range(-8, 9) for dy in range(-8, 9)]
        self.assertTrue(all(near(pixel, ACCENT, 40) for pixel in disc), "a badge without its number")
        self.assertTrue(near(image.getpixel((int(centre[0] - 14.5 * unit), centre[1])), (255, 255, 255), 40))


if __name__ == "__main__":
    unittest.main()
