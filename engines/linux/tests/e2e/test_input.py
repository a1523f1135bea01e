"""Keys, the front application, the pointer and input watching end to end: real XTEST input and real
GTK windows against the engine's notices and answers.

One engine and two fixture windows serve the whole file: "front" stands for an ordinary application,
"caller" for the assistant's own window (its pid is the one the requests exclude).
"""

import json
import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

import accessibility
import apps
import desktop
import engine
from synthetic_input import Synth

CONTROL = 0x40000
SHIFT = 0x20000
COMMAND = 0x100000
SECRET = "s3cr3t-Pa55word"


def atspi():
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi
    return Atspi


def center_of(pid, role_name, name=None):
    """The screen center of an accessible of process pid, as the accessibility bus places it."""
    node = accessibility.find_accessible(pid, role_name, name)
    if node is None:
        raise AssertionError("no %s %r in process %d" % (role_name, name, pid))
    rect = node.get_extents(atspi().CoordType.SCREEN)
    return rect.x + rect.width // 2, rect.y + rect.height // 2


class InputTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        desktop.require_desktop()
        cls.engine = engine.Engine()
        cls.synth = Synth()
        granted = desktop.wait_for(lambda: cls.engine.result(
            "permissions.request", {"permission": "accessibility"})["state"] == "granted", 10, 0.2)
        if not granted:
            raise AssertionError("accessibility could not be switched on")
        cls.front = apps.start_fixture("--password", SECRET, title="Halcy Front")
        cls.caller = apps.start_fixture(title="Halcy Caller")
        cls.place(cls.front, 0, 0)
        cls.place(cls.caller, 700, 0)

    @classmethod
    def tearDownClass(cls):
        cls.caller.close()
        cls.front.close()
        cls.synth.close()
        cls.engine.close()

    def setUp(self):
        self.engine.clear_notices()

    @staticmethod
    def place(fixture, x, y):
        desktop.run_tool("xdotool", "windowmove", "--sync", str(fixture.xid), str(x), str(y))

    def activate(self, fixture):
        desktop.run_tool("xdotool", "windowactivate", "--sync", str(fixture.xid))
        self.assertTrue(desktop.wait_for(lambda: self.synth.active_window() == fixture.xid, 5))

    def clock(self):
        """A reading of the engine's clock."""
        return self.engine.result("keys.state")["at"]

    def no_secret_anywhere(self, *answers):
        lines = [json.dumps(n) for n in self.engine.all_notices()] + self.engine.stderr_lines
        lines += [json.dumps(answer) for answer in answers]
        self.assertFalse([line for line in lines if SECRET in line])

    # --- keys --------------------------------------------------------------------------------

    def test_a_key_chord_arrives_as_flags_and_a_key_with_event_times(self):
        self.activate(self.front)
        self.front.focus("name")
        watching = self.engine.result("keys.watch", {"watch": True, "downsWhile": CONTROL})
        self.assertEqual(watching["flags"], 0)
        before = self.clock()
        self.synth.chord("Control_L", "a")
        self.synth.chord("b")  # Control is up: not reported
        events = self.engine.notices("keys.event", count=3)
        after = self.clock()
        self.engine.result("keys.watch", {"watch": False, "downsWhile": 0})
        self.assertEqual([{k: v for k, v in e.items() if k != "at"} for e in events],
                         [{"type": "flags", "flags": CONTROL}, {"type": "key", "keyCode": 0},
                          {"type": "flags", "flags": 0}])
        # Times are the events' own, read on the engine clock: in order and inside the span.
        times = [e["at"] for e in events]
        self.assertEqual(times, sorted(times))
        self.assertTrue(before <= times[0] and times[-1] <= after, (before, times, after))
        self.assertGreaterEqual(times[2] - times[0], 0.03)  # the chord's pauses

    def test_key_codes_follow_the_physical_key_whatever_the_layout(self):
        self.activate(self.front)
        self.front.focus("notes")
        self.engine.result("keys.watch", {"watch": True, "downsWhile": SHIFT})
        desktop.run_tool("setxkbmap", "de")
        german = Synth()  # reads the new layout's key codes
        try:
            # On a German keyboard "z" sits where a US keyboard has Y.
            german.chord("Shift_L", "z")
        finally:
            german.close()
            desktop.run_tool("setxkbmap", "us")
            self.engine.result("keys.watch", {"watch": False, "downsWhile": 0})
        keys = [e for e in self.engine.notices("keys.event", count=3) if e["type"] == "key"]
        self.assertEqual([e["keyCode"] for e in keys], [16])

    def test_the_state_shows_a_held_modifier_and_button(self):
        self.synth.key("Shift_L", True)
        try:
            held = self.engine.result("keys.state")
        finally:
            self.synth.key("Shift_L", False)
        self.assertEqual(held["flags"], SHIFT)
        self.synth.move(1500, 900)
        self.synth.button(1, True)
        try:
            pressed = self.engine.result("keys.state")
        finally:
            self.synth.button(1, False)
        self.assertEqual(pressed["buttons"], 1)
        self.assertEqual(self.engine.result("keys.state")["flags"], 0)

    # --- front application -------------------------------------------------------------------

    def test_the_front_application_and_its_change(self):
        self.activate(self.front)
        desktop.wait_for(lambda: self.engine.notices("apps.active", timeout=0.2), 2)
        self.engine.clear_notices()
        self.activate(self.caller)
        notices = self.engine.notices("apps.active")
        self.assertEqual(len(notices), 1)
        self.assertEqual({k: v for k, v in notices[0].items() if k != "at"},
                         {"pid": self.caller.pid, "bundleId": "org.halcy.Fixture", "name": "Halcy Fixture"})
        self.assertEqual(self.engine.result("apps.front")["app"]["pid"], self.caller.pid)

    def test_activate_brings_the_application_forward_through_the_window_manager(self):
        self.activate(self.caller)
        self.assertEqual(self.engine.result("apps.activate", {"pid": self.front.pid}), {})
        self.assertTrue(desktop.wait_for(lambda: self.synth.active_window() == self.front.xid, 5))
        # A process without a window runs, and stays where it is.
        self.assertEqual(self.engine.result("apps.activate", {"pid": os.getpid()}), {})
        time.sleep(0.2)
        self.assertEqual(self.synth.active_window(), self.front.xid)
        gone = subprocess.Popen(["true"])
        gone.wait()
        for pid in (gone.pid, 4294967296):
            reply = self.engine.request("apps.activate", {"pid": pid})
            self.assertEqual(reply["error"], {"code": "unavailable", "message": "No running app has that pid."})

    # --- the pointer --------------------------------------------------------------------------

    def test_read_follows_a_real_pointer_move(self):
        self.synth.move(321, 234)
        state = self.engine.result("pointer.read")
        self.assertEqual((state["x"], state["y"], state["buttons"], state["secureInput"]),
                         (321, 234, 0, False))

    def element_at(self, x, y, exclude=(), beneath=False, never_look=(), selection_of=()):
        return self.engine.result("pointer.element", {
            "x": x, "y": y, "excludePids": list(exclude), "beneathHalcy": beneath,
            "neverLook": list(never_look), "selectionOf": list(selection_of)})

    def test_element_under_a_button_a_field_and_a_password(self):
        self.activate(self.front)
        self.front.set("name", text="Ada Lovelace")
        button = self.element_at(*center_of(self.front.pid, "push button", "Submit"))
        self.assertEqual(button["app"], {"pid": self.front.pid, "bundleId": "org.halcy.Fixture",
                                         "name": "Halcy Fixture"})
        self.assertEqual((button["element"]["role"], button["element"]["title"]), ("AXButton", "Submit"))
        self.assertEqual(button["element"]["roleDescription"], "push button")
        frame = button["element"]["frame"]
        self.assertGreater(frame["width"], 0)
        self.assertIsNotNone(button["parent"])
        self.assertIsNone(button["filePath"])
        self.assertEqual(button["selectedPaths"], [])

        field = self.element_at(*center_of(self.front.pid, "text", "Name"))
        self.assertEqual((field["element"]["role"], field["element"]["value"]), ("AXTextField", "Ada Lovelace"))

        password = self.element_at(*center_of(self.front.pid, "password text"))
        self.assertEqual(password["element"]["role"], "AXSecureTextField")
        self.assertIsNone(password["element"]["value"])
        self.assertNotIn(SECRET, json.dumps(password))
        # Never looked into: the application only.
        hidden = self.element_at(*center_of(self.front.pid, "push button", "Submit"),
                                 never_look=["org.halcy.Fixture"], selection_of=["org.halcy.Fixture"])
        self.assertEqual((hidden["element"], hidden["parent"], hidden["app"]["pid"]),
                         (None, None, self.front.pid))
        self.no_secret_anywhere(button, field, password, hidden, self.engine.result("pointer.read"))

    def test_the_callers_own_window_is_looked_past_only_when_asked(self):
        self.place(self.caller, 300, 0)
        try:
            self.activate(self.caller)
            x, y = center_of(self.front.pid, "text", "Name")
            self.assertGreater(x, 310)  # under the caller's window
            own = self.element_at(x, y, exclude=[self.caller.pid])
            self.assertEqual(own, {"app": None, "element": None, "parent": None, "filePath": None,
                                   "selectedPaths": []})
            beneath = self.element_at(x, y, exclude=[self.caller.pid], beneath=True)
            self.assertEqual(beneath["app"]["pid"], self.front.pid)
            self.assertEqual((beneath["element"]["role"], beneath["element"]["title"]), ("AXTextField", "Name"))
            # Not excluded, the window on top answers, not the one whose widget lies beneath.
            self.assertEqual(self.element_at(x, y)["app"]["pid"], self.caller.pid)
        finally:
            self.place(self.caller, 700, 0)

    def test_file_paths_of_a_link_and_of_the_selected_rows(self):
        folder = tempfile.mkdtemp(prefix="halcy-files-")
        self.addCleanup(shutil.rmtree, folder)
        paths = [os.path.join(folder, name) for name in ("report.txt", "a b.txt", "c.txt", "d.txt")]
        proc = subprocess.Popen([desktop.SYSTEM_PYTHON, str(desktop.FIXTURES / "files_app.py"), *paths],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        files = apps.Fixture(proc)
        self.addCleanup(files.close)
        files.wait_event("ready", timeout=10)
        self.place(files, 1400, 0)
        x, y = center_of(files.pid, "push button", "report.txt")
        link = self.element_at(x, y)
        self.assertEqual(link["app"]["bundleId"], "org.halcy.Files")
        self.assertEqual((link["element"]["title"], link["filePath"]), ("report.txt", paths[0]))
        files.command("select", rows=[0, 2])
        selected = desktop.wait_for(lambda: self.element_at(x, y, selection_of=["org.halcy.Files"])["selectedPaths"])
        self.assertEqual(selected, [paths[1], paths[3]])

    # --- secure input ---------------------------------------------------------------------------

    def test_secure_input_hides_keys_in_a_password_field_and_under_a_foreign_grab(self):
        self.activate(self.front)
        self.engine.result("keys.watch", {"watch": True, "downsWhile": SHIFT})
        self.engine.result("input.watch", {"pointer": "none", "keys": True, "moves": False, "scroll": False,
                                           "excludePids": []})
        try:
            self.front.focus("password")
            self.assertTrue(desktop.wait_for(lambda: self.engine.result("pointer.read")["secureInput"], 3))
            self.synth.chord("Shift_L", "x")
            self.front.focus("name")
            self.assertTrue(desktop.wait_for(lambda: not self.engine.result("pointer.read")["secureInput"], 3))
            self.synth.chord("Shift_L", "y")
            grab = self.synth.grab_keyboard()
            try:
                self.assertTrue(self.engine.result("pointer.read")["secureInput"])
                self.synth.chord("Shift_L", "z")
            finally:
                self.synth.ungrab_keyboard(grab)
            self.assertFalse(self.engine.result("pointer.read")["secureInput"])
            self.synth.chord("Shift_L", "c")
            time.sleep(0.3)
        finally:
            self.engine.result("keys.watch", {"watch": False, "downsWhile": 0})
            self.engine.result("input.watch", {"pointer": "none", "keys": False, "moves": False, "scroll": False,
                                               "excludePids": []})
        keys = [e["keyCode"] for e in self.engine.notices("keys.event") if e["type"] == "key"]
        inputs = [e["keyCode"] for e in self.engine.notices("input.event") if e["type"] == "key"]
        # Y (16) and C (8) only; X (7) and Z (6) were typed under secure input. Flags still pass.
        self.assertEqual(keys, [16, 8])
        self.assertEqual(inputs, [16, 8])
        self.assertEqual(len([e for e in self.engine.notices("keys.event") if e["type"] == "flags"]), 8)
        self.no_secret_anywhere()

    # --- input watching -------------------------------------------------------------------------

    def test_input_watch_reports_presses_drags_scrolls_and_thinned_moves(self):
        self.place(self.caller, 700, 0)
        self.activate(self.front)
        self.synth.move(1500, 900)  # over no window: clicks there change nothing
        watching = self.engine.result("input.watch", {"pointer": "drags", "keys": False, "moves": True,
                                                      "scroll": True, "excludePids": [self.caller.pid]})
        self.assertEqual({k: v for k, v in watching.items() if k != "at"},
                         {"pointer": "drags", "keys": False, "moves": True, "scroll": True})
        try:
            for step in range(30):  # 10 ms apart
                self.synth.move(1400 + step, 900)
                time.sleep(0.01)
            time.sleep(0.1)
            moves = [e for e in self.engine.notices("input.event") if e["type"] == "move"]
            self.engine.clear_notices()
            for button in (4, 5, 6, 7):
                self.synth.click(button)
            self.synth.button(1, True)
            self.synth.move(1450, 905)
            time.sleep(0.05)
            self.synth.move(1460, 910)
            self.synth.button(1, False)
            self.synth.click(2)  # the middle button is not watched by name
            x, y = center_of(self.caller.pid, "label", "Name")
            self.synth.move(x, y)
            self.synth.click(3)
            events = [e for e in self.engine.notices("input.event", count=12) if e["type"] != "move"]
        finally:
            self.engine.result("input.watch", {"pointer": "none", "keys": False, "moves": False, "scroll": False,
                                               "excludePids": []})
        # 30 moves over about 0.3 s, thinned to one per 33 ms of event time.
        self.assertTrue(4 <= len(moves) <= 11, len(moves))
        gaps = [b["at"] - a["at"] for a, b in zip(moves, moves[1:])]
        self.assertTrue(all(gap >= 0.033 - 1e-6 for gap in gaps), gaps)
        self.assertEqual(moves[0]["x"], 1400)
        summary = [(e["type"], e.get("button"), e.get("dx"), e.get("dy"), e.get("overHalcy")) for e in events]
        self.assertEqual(summary, [
            ("scroll", None, 0, 10, None), ("scroll", None, 0, -10, None),
            ("scroll", None, 10, 0, None), ("scroll", None, -10, 0, None),
            ("press", "left", None, None, False), ("drag", None, None, None, None),
            ("drag", None, None, None, None), ("release", "left", None, None, False),
            ("press", "right", None, None, True), ("release", "right", None, None, True)])
        self.assertEqual((events[5]["x"], events[5]["y"]), (1450, 905))
        self.assertEqual((events[8]["x"], events[8]["y"]), (x, y))

    # --- faults --------------------------------------------------------------------------------

    def test_a_frozen_application_costs_one_timeout(self):
        self.activate(self.front)
        x, y = center_of(self.front.pid, "push button", "Submit")
        os.kill(self.front.pid, signal.SIGSTOP)
        try:
            started = time.monotonic()
            frozen = self.element_at(x, y)
            took = time.monotonic() - started
        finally:
            os.kill(self.front.pid, signal.SIGCONT)
        self.assertEqual(frozen["app"]["pid"], self.front.pid)
        self.assertLess(took, 0.7)
        self.assertEqual(self.element_at(x, y)["element"]["title"], "Submit")


if __name__ == "__main__":
    unittest.main()
