"""The test desktop itself: every facility the engine's end-to-end tests stand on, the fixture window
and the test helpers, and the life cycle of stacks (side by side, nothing left behind)."""

import os
import random
import re
import signal
import struct
import subprocess
import time
import unittest
import zlib
from pathlib import Path

import accessibility
import apps
import audio
import clipboard
import desktop
import engine


def stack_pids(folder):
    """Live processes that carry the stack's marker, plus the ones it recorded."""
    marker = ("HALCY_DESKTOP_DIR=%s" % folder).encode()
    pids = set()
    for entry in Path("/proc").iterdir():
        if entry.name.isdigit():
            try:
                if marker in (entry / "environ").read_bytes().split(b"\0"):
                    pids.add(int(entry.name))
            except OSError:
                continue
    for recorded in (Path(folder) / "pids").glob("*"):
        pids.add(int(recorded.read_text()))
    return {pid for pid in pids if alive(pid)} - {os.getpid()}


def alive(pid):
    """True unless pid is gone or a zombie."""
    try:
        stat = Path("/proc/%d/stat" % pid).read_text()
    except OSError:
        return False
    return stat.rsplit(")", 1)[1].split()[0] not in ("Z", "X")


def tool(env, *args):
    return subprocess.run(list(args), env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=10)


def png_bytes(width=400, height=300):
    """A real PNG of noise, which does not compress below the size of one X request."""
    noise = random.Random(7)
    rows = b"".join(b"\0" + noise.randbytes(width * 3) for _ in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")


class StackFacilitiesTest(unittest.TestCase):
    def setUp(self):
        desktop.require_desktop()

    def test_display_has_the_size_and_extensions_the_engine_uses(self):
        info = desktop.run_tool("xdpyinfo").decode()
        self.assertIn("dimensions:    1920x1080 pixels", info)
        self.assertRegex(info, r"depth of root window:\s+24 planes")
        for extension in ("Composite", "XInputExtension", "XTEST", "XFIXES", "MIT-SHM", "RANDR", "DAMAGE"):
            self.assertRegex(info, r"\n\s+%s\n" % re.escape(extension), extension)

    def test_window_manager_runs_with_one_desktop(self):
        self.assertIn("window id", desktop.run_tool("xprop", "-root", "_NET_SUPPORTING_WM_CHECK").decode())
        self.assertIn("= 1", desktop.run_tool("xprop", "-root", "_NET_NUMBER_OF_DESKTOPS").decode())

    def test_accessibility_bus_starts_on_demand_and_its_registry_answers(self):
        import dbus

        session = dbus.SessionBus()
        address = session.get_object("org.a11y.Bus", "/org/a11y/bus").GetAddress(dbus_interface="org.a11y.Bus")
        self.assertTrue(address.startswith("unix:path=%s/" % desktop.desktop_dir()), address)
        a11y = dbus.bus.BusConnection(str(address))
        root = a11y.get_object("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root")
        role = root.GetRole(dbus_interface="org.a11y.atspi.Accessible")
        self.assertEqual(role, 14)  # ATSPI_ROLE_DESKTOP_FRAME
        a11y.close()
        session.close()

    def test_sound_server_has_speaker_and_virtual_microphone_as_defaults(self):
        info = audio.pactl("info")
        self.assertIn("Default Sink: speaker", info)
        self.assertIn("Default Source: vmic", info)
        sinks = audio.pactl("list", "short", "sinks")
        self.assertRegex(sinks, r"\tspeaker\t")
        self.assertRegex(sinks, r"\tmicfeed\t")
        self.assertEqual(os.environ["HALCY_FEED_SINK"], "micfeed")
        self.assertEqual(os.environ["HALCY_MIC_SOURCE"], "vmic")
        # The keepalive streams that keep the null sinks at low latency.
        self.assertGreaterEqual(len(audio.pactl("list", "short", "sink-inputs").splitlines()), 2)

    def test_no_accessibility_opt_out_leaks_in(self):
        self.assertNotIn("NO_AT_BRIDGE", os.environ)
        self.assertEqual(os.environ["XDG_RUNTIME_DIR"], desktop.desktop_dir())


class FakeLogindTest(unittest.TestCase):
    def setUp(self):
        desktop.require_desktop()
        import dbus
        from dbus.mainloop.glib import DBusGMainLoop
        from gi.repository import GLib

        self.dbus, self.GLib = dbus, GLib
        self.bus = dbus.bus.BusConnection(os.environ["DBUS_SYSTEM_BUS_ADDRESS"],
                                          mainloop=DBusGMainLoop(set_as_default=False))
        self.addCleanup(self.bus.close)
        login1 = self.bus.get_object("org.freedesktop.login1", "/org/freedesktop/login1")
        self.manager = dbus.Interface(login1, "org.freedesktop.login1.Manager")
        self.history = lambda: [str(e) for e in login1.History(dbus_interface="org.halcy.FakeLogin1")]
        self.signals = []
        self.bus.add_signal_receiver(lambda start: self.signals.append(bool(start)), "PrepareForSleep",
                                     "org.freedesktop.login1.Manager", path="/org/freedesktop/login1")

    def pump_until(self, predicate, timeout=5):
        context = self.GLib.MainContext.default()
        deadline = time.monotonic() + timeout
        while not predicate() and time.monotonic() < deadline:
            context.iteration(False) or time.sleep(0.005)
        return predicate()

    def held(self):
        return [(str(i[0]), str(i[1]), str(i[3])) for i in self.manager.ListInhibitors()]

    def test_inhibit_hands_out_a_lock_that_ends_when_its_fd_closes(self):
        fd = self.manager.Inhibit("sleep", "desktop-test", "checking locks", "delay").take()
        self.assertIn(("sleep", "desktop-test", "delay"), self.held())
        os.close(fd)
        self.assertTrue(desktop.wait_for(lambda: ("sleep", "desktop-test", "delay") not in self.held()))

    def test_suspend_waits_for_delay_locks_before_waking(self):
        fd = self.manager.Inhibit("sleep", "desktop-test", "saving state", "delay").take()
        self.manager.Suspend(False)
        self.assertTrue(self.pump_until(lambda: self.signals == [True]), self.signals)
        time.sleep(0.4)  # longer than the fake's "sleep": a held lock must keep it from finishing
        self.pump_until(lambda: False, timeout=0.05)
        self.assertEqual(self.signals, [True])
        os.close(fd)
        self.assertTrue(self.pump_until(lambda: self.signals == [True, False]), self.signals)
        history = self.history()
        mine = [e for e in history if "desktop-test" in e or e.startswith("prepare")][-4:]
        self.assertEqual(mine, ["inhibit sleep desktop-test delay", "prepare true",
                                "release sleep desktop-test delay", "prepare false"])

    def test_invalid_inhibit_mode_is_refused(self):
        with self.assertRaises(self.dbus.exceptions.DBusException):
            self.manager.Inhibit("sleep", "desktop-test", "bad", "forever")


class FixtureTest(unittest.TestCase):
    def setUp(self):
        desktop.require_desktop()
        self.fixture = apps.start_fixture()
        self.addCleanup(self.fixture.close)

    def test_fields_are_on_the_accessibility_bus_with_names_and_roles(self):
        pid = self.fixture.pid
        self.assertIsNotNone(accessibility.find_accessible(pid, "frame", "Halcy Fixture"))
        entry = accessibility.find_accessible(pid, "text", "Name")
        self.assertIsNotNone(entry)
        self.assertEqual(entry.get_attributes().get("placeholder-text"), "Type a name")
        self.assertIsNotNone(accessibility.find_accessible(pid, "password text", "Password"))
        self.assertIsNotNone(accessibility.find_accessible(pid, "push button", "Submit"))
        self.assertIsNotNone(accessibility.find_accessible(pid, "check box", "Remember me"))
        self.assertIsNotNone(accessibility.find_accessible(pid, "table", "Fruit list"))
        self.assertIsNotNone(accessibility.find_accessible(pid, "table cell", "Bananas"))

    def test_window_carries_application_id_and_class_of_its_desktop_entry(self):
        xid = str(self.fixture.xid)
        properties = desktop.run_tool("xprop", "-id", xid, "_GTK_APPLICATION_ID", "WM_CLASS", "_NET_WM_PID").decode()
        self.assertIn('_GTK_APPLICATION_ID(UTF8_STRING) = "org.halcy.Fixture"', properties)
        self.assertIn('WM_CLASS(STRING) = "halcy-fixture", "HalcyFixture"', properties)
        self.assertIn("= %d" % self.fixture.pid, properties)
        from gi.repository import Gio

        entry = Gio.DesktopAppInfo.new("org.halcy.Fixture.desktop")
        self.assertIsNotNone(entry, "the desktop entry is not on XDG_DATA_DIRS")
        self.assertEqual(entry.get_name(), "Halcy Fixture")
        self.assertEqual(entry.get_startup_wm_class(), "HalcyFixture")
        self.assertTrue(Path(entry.get_executable()).is_file())

    def test_reports_typed_text_clicks_and_focus(self):
        state = self.fixture.state()
        self.assertEqual(state["focus"], "name")
        self.assertTrue(state["active"])
        self.assertEqual(state["widgets"]["password"], "hunter2")
        desktop.run_tool("xdotool", "type", "--delay", "5", "Ada")
        self.fixture.wait_event("changed", "name", where=lambda e: e["text"] == "Ada")
        self.fixture.set("name", text="Grace")
        self.fixture.set("remember", active=True)
        self.fixture.focus("notes")
        state = self.fixture.state()
        self.assertEqual(state["focus"], "notes")
        self.assertEqual(state["widgets"]["name"], "Grace")
        self.assertTrue(state["widgets"]["remember"])
        self.fixture.wait_event("toggled", "remember")

    def test_window_without_application_id_is_known_by_its_class_only(self):
        with apps.start_fixture(title="Plain Fixture", app_id=False) as plain:
            properties = desktop.run_tool("xprop", "-id", str(plain.xid), "_GTK_APPLICATION_ID", "WM_CLASS").decode()
            self.assertNotIn("org.halcy.Fixture", properties)
            self.assertIn('"HalcyFixture"', properties)
            self.assertEqual(plain.state()["title"], "Plain Fixture")


class ClipboardTest(unittest.TestCase):
    def setUp(self):
        desktop.require_desktop()
        self.addCleanup(clipboard.release)

    def test_text_and_image_are_offered_at_once(self):
        image = png_bytes()
        self.assertGreater(len(image), 262144, "big enough to need incremental transfer")
        owner = clipboard.own({"text/plain;charset=utf-8": "héllo".encode(), "image/png": image})
        self.assertTrue({"text/plain;charset=utf-8", "image/png"} <= set(clipboard.targets()))
        self.assertEqual(clipboard.read("text/plain;charset=utf-8"), "héllo".encode())
        self.assertEqual(clipboard.read("image/png"), image)
        self.assertIsNone(clipboard.read("text/html"))
        self.assertIn("image/png", owner.served)

    def test_a_new_owner_replaces_the_old_and_release_empties_the_clipboard(self):
        first = clipboard.own_text("first")
        clipboard.own_text("second")
        self.assertTrue(first.lost.wait(2))
        self.assertEqual(clipboard.read("UTF8_STRING"), b"second")
        clipboard.release()
        self.assertIsNone(clipboard.read("UTF8_STRING"))


class SoundTest(unittest.TestCase):
    def setUp(self):
        desktop.require_desktop()

    def test_speech_fed_to_micfeed_comes_out_of_the_virtual_microphone(self):
        quiet = audio.record_source(0.5)
        self.assertGreater(len(quiet), 4000)
        self.assertLess(audio.rms(quiet), 5)
        player = audio.feed_speech("testing the virtual microphone", wait=False)
        heard = audio.record_source(2.0)
        player.communicate(timeout=30)
        self.assertGreater(audio.rms(heard), 300)


class EngineHarnessTest(unittest.TestCase):
    """The test helpers' engine driver against the real binary (skipped until it is built)."""

    def test_replies_are_matched_by_id_whatever_their_order(self):
        engine.require_engine()
        with engine.Engine() as child:
            ids = [child.send("hello", {"protocol": 1}) for _ in range(5)]
            child.send("no.such.method", {})
            for request_id in reversed(ids):
                self.assertEqual(child.reply(request_id)["id"], request_id)
            with self.assertRaises(engine.EngineError) as failure:
                child.result("no.such.method", {})
            self.assertEqual(failure.exception.code, "unknown_method")
            self.assertEqual(child.close(), 0)
            self.assertEqual(child.bad_lines, [])


class StackLifecycleTest(unittest.TestCase):
    """Separate stacks started from here; they need no outer desktop."""

    def test_two_stacks_side_by_side_do_not_interfere_and_leave_nothing(self):
        first, second = desktop.start_stack(), desktop.start_stack()
        stacks = [first, second]
        try:
            for key in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "DBUS_SYSTEM_BUS_ADDRESS", "PULSE_SERVER",
                        "HALCY_DESKTOP_DIR"):
                self.assertNotEqual(first[key], second[key], key)
            for env in stacks:
                self.assertEqual(tool(env, "xdpyinfo").returncode, 0)
                self.assertIn("Default Source: vmic", tool(env, "pactl", "info").stdout.decode())
                # Wake the accessibility bus, so its on-demand processes count too.
                self.assertEqual(tool(env, "gdbus", "call", "--session", "--dest", "org.a11y.Bus", "--object-path",
                                      "/org/a11y/bus", "--method", "org.a11y.Bus.GetAddress").returncode, 0)
            # Something running inside the first stack, like a test that forgot to close its app.
            leftover = subprocess.Popen(["sleep", "300"], env=first)
            pids = stack_pids(first["HALCY_DESKTOP_DIR"])
            self.assertIn(leftover.pid, pids)
            self.assertGreaterEqual(len(pids), 10)
            display = first["DISPLAY"].lstrip(":")

            desktop.stop_stack(first)
            stacks.remove(first)
            leftover.wait(5)
            self.assertEqual([pid for pid in pids if alive(pid)], [])
            self.assertFalse(Path(first["HALCY_DESKTOP_DIR"]).exists())
            self.assertFalse(Path("/tmp/.X%s-lock" % display).exists())
            self.assertFalse(Path("/tmp/.X11-unix/X%s" % display).exists())
            # The other stack did not notice.
            self.assertEqual(tool(second, "xdpyinfo").returncode, 0)
            self.assertIn("Default Sink: speaker", tool(second, "pactl", "info").stdout.decode())
        finally:
            for env in stacks:
                desktop.stop_stack(env)

    def test_run_exports_the_stack_and_returns_the_command_status(self):
        env = dict(os.environ, NO_AT_BRIDGE="1")
        script = 'echo "$HALCY_DESKTOP_DIR|$DISPLAY|${NO_AT_BRIDGE-unset}"; sleep 300 & echo $!; exit 7'
        done = subprocess.run([str(desktop.DESKTOP_SCRIPT), "run", "--", "sh", "-c", script], env=env,
                              stdout=subprocess.PIPE, timeout=30)
        self.assertEqual(done.returncode, 7)
        first, background = done.stdout.decode().splitlines()
        folder, display, at_bridge = first.split("|")
        self.assertTrue(display.startswith(":"))
        self.assertEqual(at_bridge, "unset")
        self.assertFalse(Path(folder).exists())
        self.assertFalse(alive(int(background)), "a process started inside the stack outlived it")

    def test_run_forwards_a_termination_and_still_tears_down(self):
        runner = subprocess.Popen([str(desktop.DESKTOP_SCRIPT), "run", "--", "sh", "-c",
                                   'echo "$HALCY_DESKTOP_DIR"; exec sleep 300'], stdout=subprocess.PIPE)
        folder = runner.stdout.readline().decode().strip()
        runner.stdout.close()
        self.assertTrue(Path(folder).is_dir())
        pids = stack_pids(folder)
        runner.send_signal(signal.SIGTERM)
        self.assertEqual(runner.wait(15), 128 + signal.SIGTERM)
        self.assertFalse(Path(folder).exists())
        self.assertEqual([pid for pid in pids if alive(pid)], [])


if __name__ == "__main__":
    unittest.main()
