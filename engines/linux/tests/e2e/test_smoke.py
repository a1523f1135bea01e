"""The engine and the adapter's desktop readers on the test desktop: the engine starts and answers,
its permissions come from the real state of the desktop, and what the readers see of the fixture
window (identity, focus, window order) is what the fixture says about itself."""

import json
import os
import signal
import subprocess
import unittest
from pathlib import Path

import harness

FIELD_TIMEOUT_S = 0.35
# Process start and scheduling on a busy 2-core machine: what a frozen application may cost on
# top of the one query that waits for it.
SLACK_S = 0.25


def probe_path():
    return Path(os.environ.get("HALCY_PROBE") or harness.engine_path().parent / "halcy-probe")


def probe(*args, timeout=10):
    path = probe_path()
    if not (path.is_file() and os.access(path, os.X_OK)):
        raise unittest.SkipTest("halcy-probe is not built at %s (build it, or set HALCY_PROBE)" % path)
    done = subprocess.run([str(path), *[str(a) for a in args]], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=timeout)
    if done.returncode != 0:
        raise RuntimeError("halcy-probe %s failed: %s" % (" ".join(map(str, args)), done.stderr.decode()))
    return json.loads(done.stdout)


def accessibility_enabled():
    out = harness.run_tool("gdbus", "call", "--session", "--dest", "org.a11y.Bus", "--object-path",
                           "/org/a11y/bus", "--method", "org.freedesktop.DBus.Properties.Get",
                           "org.a11y.Status", "IsEnabled").decode()
    return "true" in out


class EngineOnTheDesktop(unittest.TestCase):
    def setUp(self):
        harness.require_desktop()
        self.engine = harness.Engine()
        self.addCleanup(self.engine.close)

    def test_hello_answers_with_the_engine_process(self):
        hello = self.engine.result("hello", {"protocol": 1})
        self.assertEqual(hello["pid"], self.engine.proc.pid)

    def test_a_request_switches_accessibility_on_and_every_permission_is_granted(self):
        self.assertEqual(self.engine.result("permissions.request", {"permission": "accessibility"}),
                         {"state": "granted"})
        self.assertTrue(accessibility_enabled())
        self.assertEqual(self.engine.result("permissions.status"),
                         {"permissions": {"accessibility": "granted", "screenRecording": "granted",
                                          "microphone": "granted"}})
        self.assertEqual(self.engine.close(), 0)
        self.assertEqual(self.engine.bad_lines, [])


class ReadersSeeTheFixture(unittest.TestCase):
    def setUp(self):
        harness.require_desktop()
        self.fixture = harness.start_fixture(title="Smoke One")
        self.addCleanup(self.fixture.close)
        harness.accessible_app(self.fixture.pid)

    def focus(self, widget):
        self.fixture.focus(widget)
        self.fixture.wait_event("focus", where=lambda e: e["widget"] == widget)
        return harness.wait_for(lambda: self.focused_as(widget), timeout=3) or probe("focus", self.fixture.pid)

    def focused_as(self, widget):
        seen = probe("focus", self.fixture.pid)
        return seen if seen.get("found") and seen.get("name", "").lower() == widget else None

    def test_identity_of_the_fixture_process(self):
        self.assertEqual(probe("app", self.fixture.pid)["app"],
                         {"pid": self.fixture.pid, "bundleId": "org.halcy.Fixture", "name": "Halcy Fixture"})
        self.assertIn(self.fixture.pid, probe("pids", "org.halcy.Fixture")["pids"])
        self.assertIsNone(probe("app", 2 ** 22 + 12345)["app"])

    def test_identity_without_an_application_id_comes_from_the_window_class(self):
        plain = harness.start_fixture("--no-app-id", title="Smoke Plain")
        self.addCleanup(plain.close)
        windows = probe("windows")["windows"]
        mine = [w for w in windows if w["pid"] == plain.pid]
        self.assertTrue(mine and mine[0]["gtkApplicationId"] is None, windows)
        self.assertEqual(probe("app", plain.pid)["app"],
                         {"pid": plain.pid, "bundleId": "org.halcy.Fixture", "name": "Halcy Fixture"})

    def test_focused_element_roles(self):
        cases = [("name", "AXTextField", None), ("notes", "AXTextArea", None),
                 ("password", "AXSecureTextField", "AXSecureTextField")]
        for widget, role, subrole in cases:
            with self.subTest(widget=widget):
                seen = self.focus(widget)
                self.assertTrue(seen["found"], seen)
                self.assertEqual((seen["role"], seen["subrole"]), (role, subrole))
                self.assertEqual(seen["pid"], self.fixture.pid)
                # The same element is found without naming the process: the fixture is in front.
                self.assertEqual(probe("focus")["role"], role)

    def test_focused_field_reads_value_placeholder_and_frame(self):
        self.fixture.set("name", text="Ada Lovelace")
        seen = self.focus("name")
        self.assertEqual(seen["value"], "Ada Lovelace")
        self.assertEqual(seen["placeholder"], "Type a name")
        self.assertTrue(seen["editable"])
        window = [w for w in probe("windows")["windows"] if w["pid"] == self.fixture.pid][0]["bounds"]
        frame = seen["frame"]
        self.assertTrue(window["x"] <= frame["x"] and frame["x"] + frame["width"] <= window["x"] + window["width"])
        self.assertTrue(window["y"] <= frame["y"] and frame["y"] + frame["height"] <= window["y"] + window["height"])

    def test_windows_are_listed_front_to_back(self):
        other = harness.start_fixture(title="Smoke Two")
        self.addCleanup(other.close)
        for front, back in ((self.fixture, other), (other, self.fixture)):
            with self.subTest(front=front.pid):
                front.present()
                listed = harness.wait_for(lambda: self.front_pid_is(front.pid), timeout=3)
                self.assertTrue(listed, probe("windows"))
                pids = [w["pid"] for w in listed["windows"] if w["pid"] in (front.pid, back.pid)]
                self.assertEqual(pids, [front.pid, back.pid])
                first = listed["windows"][0]
                self.assertEqual((first["layer"], first["onScreen"]), (0, True))
                self.assertEqual(first["title"], "Smoke One" if front is self.fixture else "Smoke Two")

    def front_pid_is(self, pid):
        seen = probe("windows")
        return seen if seen["windows"] and seen["windows"][0]["pid"] == pid and seen["activePid"] == pid else None

    def test_displays_list_the_screen_as_the_main_display(self):
        displays = probe("displays")["displays"]
        self.assertGreaterEqual(len(displays), 1)
        self.assertEqual(displays[0]["bounds"], {"x": 0, "y": 0, "width": 1920, "height": 1080})

    def test_a_frozen_application_costs_one_query_timeout(self):
        self.focus("name")
        os.kill(self.fixture.pid, signal.SIGSTOP)
        try:
            for args in (("focus", self.fixture.pid), ("focus",)):
                with self.subTest(args=args):
                    seen = probe(*args)
                    self.assertFalse(seen["found"])
                    self.assertLessEqual(seen["seconds"], FIELD_TIMEOUT_S + SLACK_S)
            # Readers that do not ask the application itself still answer in full.
            self.assertEqual(probe("app", self.fixture.pid)["app"]["bundleId"], "org.halcy.Fixture")
        finally:
            os.kill(self.fixture.pid, signal.SIGCONT)
        self.assertEqual(self.focus("name")["role"], "AXTextField")


if __name__ == "__main__":
    unittest.main()
