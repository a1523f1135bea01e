"""Text fields end to end: the focused field as the engine reads it, and the insertion sequence
("clipboard.save", "clipboard.write", "input.paste", "clipboard.restore") against a real GTK window
and real clipboard clients."""

import json
import struct
import unittest
import zlib

import harness


def png_bytes(width=4, height=3, seed=7):
    """A small valid PNG, so a clipboard holds a real image beside its text."""
    rows = b"".join(b"\0" + bytes((seed + x * 3 + y * 5) % 256 for x in range(width * 3)) for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")


class FieldsTestCase(unittest.TestCase):
    def setUp(self):
        harness.require_desktop()
        self.engine = harness.Engine()
        self.addCleanup(self.engine.close)
        self.addCleanup(harness.clipboard_release)

    def fixture(self, *args, **kwargs):
        fixture = harness.start_fixture(*args, **kwargs)
        self.addCleanup(fixture.close)
        return fixture

    def focus(self, fixture, widget):
        fixture.present()
        fixture.focus(widget)
        harness.wait_for(lambda: fixture.state()["focus"] == widget and fixture.state()["active"], 5)
        self.assertEqual(fixture.state()["focus"], widget)

    def insert(self, text, transient=False):
        """The caller's sequence, each request sent as soon as the previous one answered."""
        saved = self.engine.result("clipboard.save")
        written = self.engine.result("clipboard.write", {"text": text, "transient": transient})
        self.engine.result("input.paste")
        restored = self.engine.result("clipboard.restore",
                                      {"snapshot": saved["snapshot"], "ifChangeCount": written["changeCount"]})
        return saved, written, restored


class ClipboardTest(FieldsTestCase):
    def test_insertion_types_the_text_and_gives_back_every_format(self):
        image = png_bytes()
        original = "the user's own copy"
        harness.clipboard_set_text(original, extra={"image/png": image})
        before = harness.clipboard_targets()
        fixture = self.fixture()
        self.focus(fixture, "name")

        dictated = "Dictated text \u00e9\u00e8 \U0001F600"
        _, _, restored = self.insert(dictated)

        self.assertEqual(restored, {"restored": True})
        event = fixture.wait_event("changed", "name", where=lambda e: e["text"] == dictated)
        self.assertEqual(event["text"], dictated)
        self.assertEqual(fixture.state()["widgets"]["name"], dictated)
        self.assertEqual(harness.clipboard_get("image/png"), image)
        for target in harness.TEXT_TARGETS:
            self.assertEqual(harness.clipboard_get(target), original.encode(), target)
        self.assertEqual([t for t in harness.clipboard_targets() if t not in ("TARGETS", "TIMESTAMP")],
                         [t for t in before if t not in ("TARGETS", "TIMESTAMP", "MULTIPLE", "SAVE_TARGETS")])

    def test_a_copy_made_between_write_and_restore_is_kept(self):
        harness.clipboard_set_text("first")
        saved = self.engine.result("clipboard.save")
        written = self.engine.result("clipboard.write", {"text": "inserted", "transient": True})
        harness.clipboard_set_text("the user's newer copy")
        restored = self.engine.result("clipboard.restore",
                                      {"snapshot": saved["snapshot"], "ifChangeCount": written["changeCount"]})
        self.assertEqual(restored, {"restored": False})
        self.assertEqual(harness.clipboard_get(), "the user's newer copy".encode())
        gone = self.engine.request("clipboard.release", {"snapshot": saved["snapshot"]})
        self.assertEqual(gone["error"], {"code": "unavailable", "message": "The engine holds no such snapshot."})

    def test_change_count_grows_with_every_owner_change(self):
        first = self.engine.result("clipboard.save")["changeCount"]
        harness.clipboard_set_text("one")
        second = self.engine.result("clipboard.save")["changeCount"]
        self.assertGreater(second, first)
        written = self.engine.result("clipboard.write", {"text": "two", "transient": False})["changeCount"]
        self.assertGreater(written, second)
        harness.clipboard_set_text("three")
        self.assertGreater(self.engine.result("clipboard.save")["changeCount"], written)

    def test_write_offers_the_text_targets_and_marks_transient_text(self):
        cases = [(False, []), (True, ["x-kde-passwordManagerHint"])]
        for transient, marker in cases:
            with self.subTest(transient=transient):
                text = "caf\u00e9 \u2713 %s" % transient
                self.engine.result("clipboard.write", {"text": text, "transient": transient})
                targets = harness.clipboard_targets()
                self.assertEqual(targets, ["TARGETS", "TIMESTAMP", "UTF8_STRING", "text/plain;charset=utf-8",
                                           "text/plain", "STRING", "TEXT"] + marker)
                for target in ("UTF8_STRING", "text/plain;charset=utf-8", "TEXT"):
                    self.assertEqual(harness.clipboard_get(target), text.encode(), target)
                self.assertEqual(harness.clipboard_get("STRING"), ("caf\u00e9 ? %s" % transient).encode("latin-1"))
                if marker:
                    self.assertEqual(harness.clipboard_get(marker[0]), b"secret")

    def test_empty_text_is_written(self):
        self.engine.result("clipboard.write", {"text": "", "transient": False})
        self.assertEqual(harness.clipboard_get(), b"")

    def test_an_empty_clipboard_comes_back_empty(self):
        harness.clipboard_release()
        saved = self.engine.result("clipboard.save")
        written = self.engine.result("clipboard.write", {"text": "x", "transient": False})
        restored = self.engine.result("clipboard.restore",
                                      {"snapshot": saved["snapshot"], "ifChangeCount": written["changeCount"]})
        self.assertEqual(restored, {"restored": True})
        self.assertEqual(harness.clipboard_targets(), [])

    def test_large_data_survives_in_both_directions(self):
        # Far beyond one X request: the owner hands it over in INCR chunks, and so does the engine.
        big = bytes((i * 7919) % 251 for i in range(3 * 1024 * 1024 + 17))
        harness.clipboard_set({"image/png": big, "UTF8_STRING": b"alt text"})
        saved = self.engine.result("clipboard.save", timeout=20)
        written = self.engine.result("clipboard.write", {"text": "x", "transient": False})
        restored = self.engine.result("clipboard.restore",
                                      {"snapshot": saved["snapshot"], "ifChangeCount": written["changeCount"]})
        self.assertEqual(restored, {"restored": True})
        self.assertEqual(harness.clipboard_get("image/png", timeout=20), big)
        self.assertEqual(harness.clipboard_get("UTF8_STRING"), b"alt text")

    def test_the_engine_keeps_serving_until_someone_else_owns_the_clipboard(self):
        self.engine.result("clipboard.write", {"text": "kept", "transient": False})
        for _ in range(3):
            self.assertEqual(harness.clipboard_get(), b"kept")
        harness.clipboard_set_text("taken over")
        self.assertEqual(harness.clipboard_get(), b"taken over")


if __name__ == "__main__":
    unittest.main()
