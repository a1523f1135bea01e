"""Text fields end to end: the focused field as the engine reads it, and the insertion sequence
("clipboard.save", "clipboard.write", "input.paste", "clipboard.restore") against a real GTK window
and real clipboard clients."""

import json
import queue
import struct
import subprocess
import threading
import unittest
import zlib

import accessibility
import apps
import clipboard
import desktop
import engine


def png_bytes(width=4, height=3, seed=7):
    """A small valid PNG, so a clipboard holds a real image beside its text."""
    rows = b"".join(b"\0" + bytes((seed + x * 3 + y * 5) % 256 for x in range(width * 3)) for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")


HARVESTED_ROLES = {"label", "static", "text", "entry", "paragraph", "caption", "terminal", "accelerator label",
                   "editbar"}


def node_by_node_text(window):
    """A window's text as a walk that asks every element itself gathers it: breadth first, within
    the visit budget, the trimmed text of every text-bearing element (its name when it has no
    text), one line each."""
    texts = []
    for node in accessibility.walk_accessibles(window, limit=2500):
        if node.get_role_name() not in HARVESTED_ROLES:
            continue
        text = node.get_text(0, -1) if "Text" in node.get_interfaces() else None
        entry = (node.get_name() if text is None else text).strip()
        if entry:
            texts.append(entry)
    return "\n".join(texts)


class FieldsTestCase(unittest.TestCase):
    def setUp(self):
        desktop.require_desktop()
        self.engine = engine.Engine()
        self.addCleanup(self.engine.close)
        self.addCleanup(clipboard.release)
        # Switches accessibility on for the session, as the caller does before it reads fields; the
        # bus's registry may take a moment to come up.
        granted = desktop.wait_for(lambda: self.engine.result(
            "permissions.request", {"permission": "accessibility"})["state"] == "granted", 10, 0.2)
        self.assertTrue(granted, "accessibility could not be switched on")

    def fixture(self, *args, **kwargs):
        fixture = apps.start_fixture(*args, **kwargs)
        self.addCleanup(fixture.close)
        return fixture

    def focus(self, fixture, widget):
        fixture.present()
        fixture.focus(widget)
        desktop.wait_for(lambda: fixture.state()["focus"] == widget and fixture.state()["active"], 5)
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
        clipboard.own_text(original, extra={"image/png": image})
        before = clipboard.targets()
        fixture = self.fixture()
        self.focus(fixture, "name")

        dictated = "Dictated text \u00e9\u00e8 \U0001F600"
        _, _, restored = self.insert(dictated)

        self.assertEqual(restored, {"restored": True})
        # Everybody but the paste target has the user's clipboard back at once.
        self.assertEqual(clipboard.read(), original.encode())
        event = fixture.wait_event("changed", "name", where=lambda e: e["text"] == dictated)
        self.assertEqual(event["text"], dictated)
        self.assertEqual(fixture.state()["widgets"]["name"], dictated)
        self.assertEqual(clipboard.read("image/png"), image)
        for target in clipboard.TEXT_TARGETS:
            self.assertEqual(clipboard.read(target), original.encode(), target)
        self.assertEqual([t for t in clipboard.targets() if t not in ("TARGETS", "TIMESTAMP")],
                         [t for t in before if t not in ("TARGETS", "TIMESTAMP", "MULTIPLE", "SAVE_TARGETS")])

    def test_a_held_modifier_does_not_turn_the_paste_into_another_keystroke(self):
        fixture = self.fixture()
        self.focus(fixture, "name")
        for key in ("alt", "super", "shift"):
            with self.subTest(held=key):
                fixture.set("name", text="")
                desktop.run_tool("xdotool", "keydown", key)
                try:
                    self.insert("typed while %s was held" % key)
                finally:
                    desktop.run_tool("xdotool", "keyup", key)
                fixture.wait_event("changed", "name", where=lambda e: e["text"] == "typed while %s was held" % key)

    def start_clipboard_manager(self):
        manager = subprocess.Popen([desktop.SYSTEM_PYTHON, str(desktop.FIXTURES / "clipboard_manager.py")],
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.addCleanup(manager.wait, 5)
        self.addCleanup(manager.stdin.close)
        events = queue.Queue()
        threading.Thread(target=lambda: [events.put(json.loads(line)) for line in manager.stdout],
                         daemon=True).start()
        self.assertEqual(events.get(timeout=10), {"event": "ready"})
        return events

    def test_a_clipboard_manager_keeps_the_restored_clipboard_after_the_engine_exits(self):
        events = self.start_clipboard_manager()
        image = png_bytes(seed=11)
        clipboard.own_text("kept after exit", extra={"image/png": image})
        saved = self.engine.result("clipboard.save")
        written = self.engine.result("clipboard.write", {"text": "dictated", "transient": True})
        self.engine.result("clipboard.restore",
                           {"snapshot": saved["snapshot"], "ifChangeCount": written["changeCount"]})
        self.assertEqual(self.engine.close(), 0)
        handed = events.get(timeout=10)
        self.assertEqual(handed["event"], "saved")
        self.assertIn("image/png", handed["targets"])
        self.assertEqual(events.get(timeout=10), {"event": "owned"})
        self.assertEqual(clipboard.read("image/png"), image)
        self.assertEqual(clipboard.read(), b"kept after exit")

    def test_transient_text_is_not_handed_to_a_clipboard_manager(self):
        events = self.start_clipboard_manager()
        self.engine.result("clipboard.write", {"text": "a secret", "transient": True})
        self.assertEqual(self.engine.close(), 0)
        with self.assertRaises(queue.Empty):
            events.get(timeout=2)
        self.assertIsNone(clipboard.read())

    def test_a_copy_made_between_write_and_restore_is_kept(self):
        clipboard.own_text("first")
        saved = self.engine.result("clipboard.save")
        written = self.engine.result("clipboard.write", {"text": "inserted", "transient": True})
        clipboard.own_text("the user's newer copy")
        restored = self.engine.result("clipboard.restore",
                                      {"snapshot": saved["snapshot"], "ifChangeCount": written["changeCount"]})
        self.assertEqual(restored, {"restored": False})
        self.assertEqual(clipboard.read(), "the user's newer copy".encode())
        gone = self.engine.request("clipboard.release", {"snapshot": saved["snapshot"]})
        self.assertEqual(gone["error"], {"code": "unavailable", "message": "The engine holds no such snapshot."})

    def test_change_count_grows_with_every_owner_change(self):
        first = self.engine.result("clipboard.save")["changeCount"]
        clipboard.own_text("one")
        second = self.engine.result("clipboard.save")["changeCount"]
        self.assertGreater(second, first)
        written = self.engine.result("clipboard.write", {"text": "two", "transient": False})["changeCount"]
        self.assertGreater(written, second)
        clipboard.own_text("three")
        self.assertGreater(self.engine.result("clipboard.save")["changeCount"], written)
        # Writes in quick succession, often within one millisecond of the server's clock: each
        # answers the count that includes its own change, which is what a restore compares.
        counts = [self.engine.result("clipboard.write", {"text": str(n), "transient": False})["changeCount"]
                  for n in range(8)]
        self.assertEqual(counts, list(range(counts[0], counts[0] + 8)))
        self.assertEqual(self.engine.result("clipboard.save")["changeCount"], counts[-1])

    def test_write_offers_the_text_targets_and_marks_transient_text(self):
        cases = [(False, []), (True, ["x-kde-passwordManagerHint"])]
        for transient, marker in cases:
            with self.subTest(transient=transient):
                text = "caf\u00e9 \u2713 %s" % transient
                self.engine.result("clipboard.write", {"text": text, "transient": transient})
                targets = clipboard.targets()
                self.assertEqual(targets, ["TARGETS", "TIMESTAMP", "UTF8_STRING", "text/plain;charset=utf-8",
                                           "text/plain", "STRING", "TEXT"] + marker)
                for target in ("UTF8_STRING", "text/plain;charset=utf-8", "TEXT"):
                    self.assertEqual(clipboard.read(target), text.encode(), target)
                self.assertEqual(clipboard.read("STRING"), ("caf\u00e9 ? %s" % transient).encode("latin-1"))
                if marker:
                    self.assertEqual(clipboard.read(marker[0]), b"secret")

    def test_empty_text_is_written(self):
        self.engine.result("clipboard.write", {"text": "", "transient": False})
        self.assertEqual(clipboard.read(), b"")

    def test_an_empty_clipboard_comes_back_empty(self):
        fixture = self.fixture()
        self.focus(fixture, "name")
        for paste in (False, True):
            with self.subTest(paste=paste):
                clipboard.release()
                text = "pasted over nothing" if paste else "x"
                saved = self.engine.result("clipboard.save")
                written = self.engine.result("clipboard.write", {"text": text, "transient": False})
                if paste:
                    self.engine.result("input.paste")
                restored = self.engine.result("clipboard.restore",
                                              {"snapshot": saved["snapshot"], "ifChangeCount": written["changeCount"]})
                self.assertEqual(restored, {"restored": True})
                if paste:
                    fixture.wait_event("changed", "name", where=lambda e: e["text"] == text)
                # Nobody owns the clipboard, as before the write: not even the engine, with nothing to offer.
                self.assertEqual(clipboard.targets(), [])

    def test_large_data_survives_in_both_directions(self):
        # Far beyond one X request: the owner hands it over in INCR chunks, and so does the engine.
        big = bytes((i * 7919) % 251 for i in range(3 * 1024 * 1024 + 17))
        clipboard.own({"image/png": big, "UTF8_STRING": b"alt text"})
        saved = self.engine.result("clipboard.save", timeout=20)
        written = self.engine.result("clipboard.write", {"text": "x", "transient": False})
        restored = self.engine.result("clipboard.restore",
                                      {"snapshot": saved["snapshot"], "ifChangeCount": written["changeCount"]})
        self.assertEqual(restored, {"restored": True})
        self.assertEqual(clipboard.read("image/png", timeout=20), big)
        self.assertEqual(clipboard.read("UTF8_STRING"), b"alt text")

    def test_the_engine_keeps_serving_until_someone_else_owns_the_clipboard(self):
        self.engine.result("clipboard.write", {"text": "kept", "transient": False})
        for _ in range(3):
            self.assertEqual(clipboard.read(), b"kept")
        clipboard.own_text("taken over")
        self.assertEqual(clipboard.read(), b"taken over")


class FocusTest(FieldsTestCase):
    def setUp(self):
        super().setUp()
        self.app = self.fixture(text="Ada Lovelace")
        self.assertIsNotNone(accessibility.accessible_app(self.app.pid), "the fixture is not on the accessibility bus")
        self.assertEqual(self.engine.result("focus.prime"), {"pid": self.app.pid})

    def read(self, chars=0, **params):
        params["surroundingChars"] = chars
        return self.engine.result("focus.read", params)

    def test_reads_the_focused_field_as_the_application_has_it(self):
        self.focus(self.app, "name")
        field = self.read()
        self.assertEqual(field["app"]["pid"], self.app.pid)
        self.assertEqual(field["windowTitle"], "Halcy Fixture")
        self.assertIsNone(field["surroundingText"])
        element = field["element"]
        self.assertEqual(list(element), ["handle", "role", "subrole", "value", "selectedText", "placeholder",
                                         "hasCaret", "valueSettable"])
        self.assertEqual(element["role"], "AXTextField")
        self.assertEqual(element["value"], "Ada Lovelace")
        self.assertEqual(element["placeholder"], "Type a name")
        self.assertTrue(element["hasCaret"])
        self.assertTrue(element["valueSettable"])

    def test_selection_is_the_selected_part_of_the_value(self):
        # Focusing an entry selects all of it; an empty entry has a caret and an empty selection.
        cases = [("Ada Lovelace", "Ada Lovelace"), ("", "")]
        for value, selected in cases:
            with self.subTest(value=value):
                self.app.set("name", text=value)
                self.focus(self.app, "notes")
                self.focus(self.app, "name")
                element = self.read()["element"]
                self.assertEqual(element["value"], value)
                self.assertEqual(element["selectedText"], selected)
                self.assertTrue(element["hasCaret"])
                self.assertEqual(element["placeholder"], "Type a name")

    def test_surrounding_text_is_the_windows_text_cut_to_exactly_n_characters(self):
        self.focus(self.app, "notes")
        whole = self.read(6000)
        text = whole["surroundingText"]
        self.assertEqual(whole["element"]["role"], "AXTextArea")
        self.assertIn("First line of notes\nSecond line of notes", text)
        self.assertIn("\n", text)
        self.assertIn("Ada Lovelace", text)
        for n in (1, 5, 17, len(text) - 1):
            with self.subTest(n=n):
                cut = self.read(n)["surroundingText"]
                self.assertEqual(cut, text[:n])
        self.assertEqual(self.read(len(text) + 50)["surroundingText"], text)

    def test_surrounding_text_follows_a_node_by_node_walk_of_the_window(self):
        # The reference asks every element itself; the engine takes most of the tree from the
        # application's cache, which leaves out the tree view's cells and headers.
        self.focus(self.app, "notes")
        window = accessibility.find_accessible(self.app.pid, role_name="frame", name="Halcy Fixture")
        self.assertIn("Fruit list", [node.get_name() for node in accessibility.walk_accessibles(window)])
        expected = node_by_node_text(window)
        self.assertEqual(self.read(6000)["surroundingText"], expected)
        self.assertEqual(self.read(len(expected) - 3)["surroundingText"], expected[:-3])

    def test_surrounding_text_counts_flags_and_accents_as_one_character(self):
        flags, accented = "\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7", "e\u0301"
        value = flags + accented + "x"
        self.app.set("name", text=value)
        self.focus(self.app, "name")
        whole = self.read(6000)["surroundingText"]
        before = whole[:whole.index(value)]
        self.assertTrue(before.isascii(), before)
        cases = [(1, "\U0001F1E9\U0001F1EA"), (2, flags), (3, flags + accented), (4, value)]
        for extra, expected in cases:
            with self.subTest(extra=extra):
                self.assertEqual(self.read(len(before) + extra)["surroundingText"], before + expected)

    def test_a_password_field_is_reported_but_never_read(self):
        self.focus(self.app, "password")
        self.engine.result("clipboard.save")
        reply_id = self.engine.send("focus.read", {"surroundingChars": 6000})
        line = self.engine.reply(reply_id)
        element = line["result"]["element"]
        self.assertEqual(element["role"], "AXSecureTextField")
        self.assertIsNone(element["value"])
        self.assertIsNone(element["selectedText"])
        value = self.engine.result("element.value", {"handle": element["handle"]})
        self.assertEqual(value, {"value": None})
        self.assertNotIn("hunter2", json.dumps(line))
        self.assertNotIn("\u2022" * 7, json.dumps(line, ensure_ascii=False))
        self.assertNotIn("hunter2", json.dumps(self.engine.all_notices()))

    def test_element_value_reads_the_field_again_after_it_changed(self):
        self.focus(self.app, "name")
        handle = self.read()["element"]["handle"]
        self.app.set("name", text="Grace Hopper")
        self.assertEqual(self.engine.result("element.value", {"handle": handle}), {"value": "Grace Hopper"})
        self.focus(self.app, "notes")
        self.assertEqual(self.engine.result("element.value", {"handle": handle}), {"value": "Grace Hopper"})

    def test_a_named_background_application_is_read_too(self):
        self.focus(self.app, "notes")
        other = self.fixture(title="Front Window")
        self.focus(other, "name")
        field = self.read(0, pid=self.app.pid)
        self.assertEqual(field["app"]["pid"], self.app.pid)
        self.assertEqual(field["windowTitle"], "Halcy Fixture")
        self.assertEqual(field["element"]["role"], "AXTextArea")
        front = self.read(0)
        self.assertEqual(front["app"]["pid"], other.pid)
        self.assertEqual(front["windowTitle"], "Front Window")

    def test_an_unknown_pid_is_refused(self):
        line = self.engine.request("focus.read", {"surroundingChars": 0, "pid": 4194304 * 8})
        self.assertEqual(line["error"], {"code": "unavailable", "message": "No running app has that pid."})


class BigWindowTest(FieldsTestCase):
    def test_surrounding_text_of_a_big_window_follows_a_node_by_node_walk(self):
        # More labels in one container and more list cells than the engine asks about in one
        # round, so that its walk goes in several rounds and stops inside them.
        proc = subprocess.Popen([desktop.SYSTEM_PYTHON, str(desktop.FIXTURES / "big_window.py"), "150", "40"],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.addCleanup(proc.wait, 10)
        self.addCleanup(proc.stdout.close)
        self.addCleanup(proc.stdin.close)
        pid = json.loads(proc.stdout.readline())["pid"]
        self.assertIsNotNone(accessibility.accessible_app(pid))
        read = lambda chars: self.engine.result("focus.read", {"surroundingChars": chars, "pid": pid})  # noqa: E731
        desktop.wait_for(lambda: read(0)["element"], 5)
        window = accessibility.find_accessible(pid, role_name="frame", name="Big Window")
        expected = node_by_node_text(window)
        self.assertGreater(len(expected), 3000)
        self.assertTrue(expected.startswith("The focused entry\nLabel "), expected[:60])
        for n in (1, 20, 200, 1000, len(expected) - 1, 6000):
            with self.subTest(n=n):
                self.assertEqual(read(n)["surroundingText"], expected[:n])


if __name__ == "__main__":
    unittest.main()
