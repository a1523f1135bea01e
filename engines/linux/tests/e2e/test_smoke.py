"""The engine and the adapter's desktop readers on the test desktop: the engine starts and answers,
its permissions come from the real state of the desktop, and what the readers see of the fixture
window (identity, focus, window order) is what the fixture says about itself."""

import json
import os
import queue
import signal
import subprocess
import threading
import time
import unittest
from pathlib import Path

import accessibility
import apps
import desktop
import engine

FIELD_TIMEOUT_S = 0.35
# Process start and scheduling on a busy 2-core machine: what a frozen application may cost on
# top of the one query that waits for it.
SLACK_S = 0.25


def probe_path():
    return Path(os.environ.get("HALCY_PROBE") or engine.engine_path().parent / "halcy-probe")


def probe(*args, timeout=10):
    path = probe_path()
    if not (path.is_file() and os.access(path, os.X_OK)):
        raise unittest.SkipTest("halcy-probe is not built at %s (build it, or set HALCY_PROBE)" % path)
    done = subprocess.run([str(path), *[str(a) for a in args]], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=timeout)
    if done.returncode != 0:
        raise RuntimeError("halcy-probe %s failed: %s" % (" ".join(map(str, args)), done.stderr.decode()))
    return json.loads(done.stdout)


class ProbeStream:
    """A long-running probe command whose JSON lines are collected as they come."""

    def __init__(self, *args, env=None):
        probe_path_checked = probe_path()
        if not probe_path_checked.is_file():
            raise unittest.SkipTest("halcy-probe is not built at %s" % probe_path_checked)
        self.proc = subprocess.Popen([str(probe_path_checked), *[str(a) for a in args]], stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, env=env)
        self.lines = queue.Queue()
        self.seen = []
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        for raw in self.proc.stdout:
            try:
                self.lines.put(json.loads(raw))
            except ValueError:
                continue
        self.lines.put(None)

    def wait_for(self, predicate, timeout=5):
        """The first line (from now on) for which predicate holds; None when none came in time."""
        deadline = time.monotonic() + timeout
        while True:
            try:
                line = self.lines.get(timeout=max(0.0, deadline - time.monotonic()))
            except queue.Empty:
                return None
            if line is None:
                return None
            self.seen.append(line)
            if predicate(line):
                return line

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()
        self._reader.join(2)
        self.proc.stdout.close()


def accessibility_enabled():
    out = desktop.run_tool("gdbus", "call", "--session", "--dest", "org.a11y.Bus", "--object-path",
                           "/org/a11y/bus", "--method", "org.freedesktop.DBus.Properties.Get",
                           "org.a11y.Status", "IsEnabled").decode()
    return "true" in out


class EngineOnTheDesktop(unittest.TestCase):
    def setUp(self):
        desktop.require_desktop()
        self.engine = engine.Engine()
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
        desktop.require_desktop()
        self.fixture = apps.start_fixture(title="Smoke One")
        self.addCleanup(self.fixture.close)
        accessibility.accessible_app(self.fixture.pid)

    def focus(self, widget):
        self.fixture.focus(widget)
        self.fixture.wait_event("focus", where=lambda e: e["widget"] == widget)
        return desktop.wait_for(lambda: self.focused_as(widget), timeout=3) or probe("focus", self.fixture.pid)

    def focused_as(self, widget):
        seen = probe("focus", self.fixture.pid)
        return seen if seen.get("found") and seen.get("name", "").lower() == widget else None

    def test_identity_of_the_fixture_process(self):
        self.assertEqual(probe("app", self.fixture.pid)["app"],
                         {"pid": self.fixture.pid, "bundleId": "org.halcy.Fixture", "name": "Halcy Fixture"})
        self.assertIn(self.fixture.pid, probe("pids", "org.halcy.Fixture")["pids"])
        self.assertIsNone(probe("app", 2 ** 22 + 12345)["app"])

    def test_identity_without_an_application_id_comes_from_the_window_class(self):
        plain = apps.start_fixture("--no-app-id", title="Smoke Plain")
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

    def test_the_element_under_a_point_is_the_field_drawn_there(self):
        frame = self.focus("name")["frame"]
        seen = probe("at", frame["x"] + frame["width"] // 2, frame["y"] + frame["height"] // 2)
        self.assertEqual(seen, {"pid": self.fixture.pid, "found": True, "role": "AXTextField", "name": "Name"})

    def test_windows_are_listed_front_to_back(self):
        other = apps.start_fixture(title="Smoke Two")
        self.addCleanup(other.close)
        for front, back in ((self.fixture, other), (other, self.fixture)):
            with self.subTest(front=front.pid):
                front.present()
                listed = desktop.wait_for(lambda: self.front_pid_is(front.pid), timeout=3)
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


class EventsReachTheMainLoop(unittest.TestCase):
    def setUp(self):
        desktop.require_desktop()
        self.fixture = apps.start_fixture(title="Smoke Events")
        self.addCleanup(self.fixture.close)
        accessibility.accessible_app(self.fixture.pid)
        self.events = ProbeStream("events", 20)
        self.addCleanup(self.events.close)
        self.assertIsNotNone(self.events.wait_for(lambda line: line.get("ready")))

    def heard_after(self, act, notification, tries=10):
        """Acts until the notification is heard from the fixture: an application learns of new
        listeners through the registry a moment after the listener has registered."""
        for attempt in range(tries):
            act(attempt)
            line = self.events.wait_for(
                lambda line: line.get("notification") == notification and line.get("pid") == self.fixture.pid,
                timeout=0.5)
            if line:
                return line
        return None

    def test_accessibility_events_arrive_as_notifications(self):
        self.assertIsNotNone(self.heard_after(lambda n: self.fixture.set("name", text="typed %d" % n),
                                              "AXValueChanged"), self.events.seen[-5:])
        widgets = ["notes", "name"]
        self.assertIsNotNone(self.heard_after(lambda n: self.fixture.focus(widgets[n % 2]),
                                              "AXFocusedUIElementChanged"), self.events.seen[-5:])

    def test_window_manager_changes_arrive_from_the_display(self):
        other = apps.start_fixture(title="Smoke Events Two")
        self.addCleanup(other.close)
        self.fixture.present()
        self.assertIsNotNone(self.events.wait_for(lambda line: line.get("property") == "_NET_ACTIVE_WINDOW"),
                             self.events.seen)


def accessibility_bus_pids(stack_dir):
    """The accessibility bus launcher, its bus and its registry in that stack."""
    marker = ("HALCY_DESKTOP_DIR=%s" % stack_dir).encode()
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            if marker not in (entry / "environ").read_bytes().split(b"\0"):
                continue
            command = (entry / "cmdline").read_bytes()
        except OSError:
            continue
        if b"at-spi-bus-launcher" in command or b"accessibility.conf" in command or b"at-spi2-registryd" in command:
            found.append(int(entry.name))
    return found


class AccessibilityBusComesBack(unittest.TestCase):
    def setUp(self):
        desktop.require_desktop()
        self.env = desktop.start_stack()
        self.addCleanup(lambda: subprocess.run([str(desktop.DESKTOP_SCRIPT), "stop", self.env["HALCY_DESKTOP_DIR"]],
                                               timeout=30))

    def start_fixture(self, title):
        proc = subprocess.Popen([desktop.SYSTEM_PYTHON, str(desktop.FIXTURES / "fixture_app.py"), "--title", title],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=self.env)
        def end():
            proc.kill()
            proc.wait()
            proc.stdin.close()
            proc.stdout.close()

        self.addCleanup(end)
        for raw in proc.stdout:
            if json.loads(raw).get("event") == "ready":
                return proc
        self.fail("the fixture %r never became ready" % title)

    def test_reads_resume_on_the_new_bus(self):
        first = self.start_fixture("Before")
        watch = ProbeStream("focus-watch", 25, env=self.env)
        self.addCleanup(watch.close)
        self.assertIsNotNone(watch.wait_for(lambda line: line.get("pid") == first.pid, timeout=8), watch.seen[-3:])

        for pid in accessibility_bus_pids(self.env["HALCY_DESKTOP_DIR"]):
            os.kill(pid, signal.SIGTERM)
        self.assertIsNotNone(watch.wait_for(lambda line: not line["found"], timeout=5), watch.seen[-3:])

        # A new application starts the bus again; the engine's client finds it without help.
        second = self.start_fixture("After")
        self.assertIsNotNone(watch.wait_for(lambda line: line.get("pid") == second.pid, timeout=10),
                             watch.seen[-3:])


class DisplayGoesAway(unittest.TestCase):
    def setUp(self):
        desktop.require_desktop()
        self.env = desktop.start_stack()
        self.addCleanup(lambda: subprocess.run([str(desktop.DESKTOP_SCRIPT), "stop", self.env["HALCY_DESKTOP_DIR"]],
                                               timeout=30))

    def test_readers_answer_empty_and_live_on(self):
        proc = subprocess.Popen([desktop.SYSTEM_PYTHON, str(desktop.FIXTURES / "fixture_app.py")],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=self.env)
        self.addCleanup(lambda: (proc.kill(), proc.wait(), proc.stdin.close(), proc.stdout.close()))
        watch = ProbeStream("windows-watch", 4, env=self.env)
        self.addCleanup(watch.close)
        self.assertIsNotNone(watch.wait_for(lambda line: line["windows"] >= 1 and line["events"] > 0, timeout=8),
                             watch.seen[-3:])

        xvfb = int((Path(self.env["HALCY_DESKTOP_DIR"]) / "pids" / "xvfb").read_text())
        os.kill(xvfb, signal.SIGKILL)
        gone = watch.wait_for(lambda line: not line["connected"], timeout=5)
        self.assertIsNotNone(gone, watch.seen[-3:])
        self.assertEqual(gone["windows"], 0)
        # The loop goes on reading until its time is up, and the probe ends normally.
        self.assertIsNotNone(watch.wait_for(lambda line: not line["connected"], timeout=2))
        self.assertEqual(watch.proc.wait(10), 0)


if __name__ == "__main__":
    unittest.main()
