"""Keys and the pointer when the desktop's facilities go away and come back: the accessibility bus,
then the X server. Runs on a desktop stack of its own, since it takes both down.
"""

import os
import signal
import subprocess
import time
import unittest
from pathlib import Path

import apps
import desktop
import engine
from synthetic_input import Synth


def stack_processes(env, predicate):
    """Pids of the stack's processes (they carry its folder in their environment) that match."""
    marker = ("HALCY_DESKTOP_DIR=" + env["HALCY_DESKTOP_DIR"]).encode()
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            environ = (entry / "environ").read_bytes().split(b"\0")
            command = (entry / "cmdline").read_bytes().replace(b"\0", b" ").decode(errors="replace")
        except OSError:
            continue
        if marker in environ and predicate(command):
            found.append(int(entry.name))
    return found


class InputFaultsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        desktop.require_desktop()
        engine.require_engine()
        cls.env = desktop.start_stack()
        cls.engine = engine.Engine(env=cls.env)
        granted = desktop.wait_for(lambda: cls.engine.result(
            "permissions.request", {"permission": "accessibility"})["state"] == "granted", 10, 0.2)
        if not granted:
            cls.tearDownClass()
            raise AssertionError("accessibility could not be switched on")

    @classmethod
    def tearDownClass(cls):
        cls.engine.close()
        desktop.stop_stack(cls.env)

    def fixture(self):
        fixture = apps.start_fixture(env=self.env)
        self.addCleanup(fixture.close)
        return fixture

    def move(self, fixture, x, y):
        subprocess.run(["xdotool", "windowmove", "--sync", str(fixture.xid), str(x), str(y)], env=self.env,
                       check=True, timeout=10)

    def element_at(self, x, y):
        return self.engine.result("pointer.element", {"x": x, "y": y, "excludePids": [], "beneathHalcy": False,
                                                      "neverLook": [], "selectionOf": []})

    def test_accessibility_bus_going_away_degrades_to_windows_and_comes_back(self):
        first = self.fixture()
        self.move(first, 0, 0)
        point = (320, 200)  # inside the window
        self.assertTrue(desktop.wait_for(lambda: self.element_at(*point)["element"]["role"] != "AXWindow", 5))
        bus = stack_processes(self.env, lambda c: "at-spi" in c or "accessibility.conf" in c)
        self.assertTrue(bus)
        for pid in bus:
            os.kill(pid, signal.SIGKILL)
        # Without the bus the window list answers, the application only; the bus soon starts again on
        # demand, and the running application, unseen by it, is the window under the point.
        started = time.monotonic()
        without = self.element_at(*point)
        self.assertLess(time.monotonic() - started, 1)
        self.assertEqual(without["app"]["pid"], first.pid)
        self.assertIn((without["element"] or {}).get("role"), (None, "AXWindow"))
        # The bus starts again on demand; applications that were running stay unseen by it, a new
        # one is read again.
        second = self.fixture()
        self.move(second, 700, 0)
        back = desktop.wait_for(lambda: (self.element_at(1020, 200)["element"] or {}).get("role") not in
                                (None, "AXWindow"), 10, 0.2)
        self.assertTrue(back)
        self.assertEqual(self.element_at(1020, 200)["app"]["pid"], second.pid)

    def test_display_going_away_answers_and_the_watches_resume(self):
        self.engine.result("keys.watch", {"watch": True, "downsWhile": 0x20000})
        self.engine.result("input.watch", {"pointer": "clicks", "keys": True, "moves": False, "scroll": False,
                                           "excludePids": []})
        synth = Synth(self.env["DISPLAY"])
        synth.chord("Shift_L", "a")
        self.assertEqual(len(self.engine.notices("keys.event", count=3)), 3)
        synth.close()

        self.restart_display()
        self.engine.clear_notices()
        synth = desktop.wait_for(self.connect, 5, 0.1)
        self.addCleanup(synth.close)

        def heard():
            synth.chord("Shift_L", "a")
            return [e for e in self.engine.notices("keys.event", timeout=0.3) if e["type"] == "key"]
        self.assertTrue(desktop.wait_for(heard, 10, 0.2), "the key watch did not resume")
        self.assertTrue([e for e in self.engine.notices("input.event") if e["type"] == "key"])
        synth.move(100, 100)
        synth.click(1)
        self.assertTrue(desktop.wait_for(lambda: [e for e in self.engine.notices("input.event", timeout=0)
                                                  if e["type"] == "press"], 3))
        self.assertEqual(self.engine.result("pointer.read")["x"], 100)

    def connect(self):
        """A new server may refuse its first clients while it sets up."""
        try:
            return Synth(self.env["DISPLAY"])
        except Exception:  # python-xlib raises several kinds for a refused connection
            return None

    def restart_display(self):
        """Takes the X server down, checks that every method still answers, and starts it again on the
        same display with a window manager."""
        desktop.stop_x_server(self.env)
        started = time.monotonic()
        self.assertEqual(self.engine.result("keys.state")["flags"], 0)
        self.assertEqual(self.engine.result("pointer.read")["buttons"], 0)
        self.assertEqual(self.engine.result("apps.front"), {"app": None})
        self.assertEqual(self.element_at(10, 10)["app"], None)
        self.assertEqual(self.engine.result("apps.activate", {"pid": os.getpid()}), {})
        self.assertLess(time.monotonic() - started, 3)
        desktop.start_x_server(self.env)

if __name__ == "__main__":
    unittest.main()
