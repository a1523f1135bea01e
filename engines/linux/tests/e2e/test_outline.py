"""Window outlines of a real GTK window (fixtures/outline_app.py) through the engine: the controls
with their roles, names and frames as the window shows them, frames that follow the window, states
told only as length and digest, searches, change notices, and what happens when the application
freezes, vanishes, or the accessibility bus restarts under a watch."""

import hashlib
import os
import re
import signal
import subprocess
import time
import unittest

import accessibility
import apps
import desktop
import engine

NO_LOOK = []
# What a request may take beyond its budget on a loaded machine: the engine's own work, the reply.
SLACK_S = 0.6


def digest(text):
    return hashlib.sha256(text.encode()).hexdigest()[:16]


def start_outline_app(*args, env=None):
    """The fixture window, on screen. On another desktop stack (env), the caller waits for it to show
    on that stack's accessibility bus."""
    desktop.require_desktop()
    proc = subprocess.Popen([desktop.SYSTEM_PYTHON, str(desktop.FIXTURES / "outline_app.py"), *args],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=env)
    app = apps.Fixture(proc)
    try:
        app.wait_event("ready", timeout=15)
        if env is None:
            accessibility.accessible_app(app.pid)
    except Exception:
        app.close()
        raise
    return app


def center(frame):
    return int(frame["x"] + frame["width"] / 2), int(frame["y"] + frame["height"] / 2)


def near(frame, truth, slack=1):
    return all(abs(frame[key] - truth[key]) <= slack for key in ("x", "y", "width", "height"))


class OutlineTestCase(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        desktop.require_desktop()
        cls.engine = engine.Engine()
        desktop.wait_for(lambda: cls.engine.result("permissions.request", {"permission": "accessibility"})
                         ["state"] == "granted", 10, 0.2)

    @classmethod
    def tearDownClass(cls):
        cls.engine.close()

    def read(self, pid, budget=400, engine=None):
        return (engine or self.engine).result("outline.read", {"pid": pid, "budgetMs": budget,
                                                               "neverLook": NO_LOOK}, timeout=10)

    def control(self, outline, role, name):
        found = [c for c in outline["controls"] if c["role"] == role and c["name"] == name]
        self.assertEqual(len(found), 1, "%s %r in %s" % (role, name, outline["controls"]))
        return found[0]

    def heard(self, kind, act, engine=None, tries=8):
        """Acts until a change of that kind is heard: an application learns of a new listener a
        moment after the registry answered, so the first act may go unreported."""
        engine = engine or self.engine
        for attempt in range(tries):
            act(attempt)
            found = desktop.wait_for(lambda: [d for d in engine.notices("outline.change", timeout=0)
                                              if d["kind"] == kind], 0.6, 0.05)
            if found:
                return found[0]
        self.fail("no %r change; heard %s" % (kind, engine.notices("outline.change", timeout=0)[-8:]))


class OutlineOfAWindow(OutlineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.app = start_outline_app()
        desktop.wait_for(lambda: len(cls.engine.result("outline.read", {"pid": cls.app.pid, "budgetMs": 400,
                                                                         "neverLook": []})["controls"]) > 20, 10, 0.2)

    @classmethod
    def tearDownClass(cls):
        cls.app.close()
        super().tearDownClass()

    def setUp(self):
        self.app.command("move", x=40, y=40)
        self.app.command("scroll", row=0)
        self.engine.clear_notices()

    def test_read_lists_the_controls_with_their_roles_names_and_frames(self):
        outline = self.read(self.app.pid)
        truth = self.app.command("frames")["widgets"]
        self.assertEqual((outline["pid"], outline["refused"], outline["gated"]), (self.app.pid, False, False))
        controls = outline["controls"]
        self.assertEqual([c["ref"] for c in controls], list(range(len(controls))))
        # The menu bar inside the window comes first, once.
        self.assertEqual([(c["role"], c["name"]) for c in controls[:2]],
                         [("AXMenuBarItem", "File"), ("AXMenuBarItem", "Edit")])
        self.assertEqual(sum(c["name"] in ("File", "Edit") for c in controls), 2)
        for role, name, widget in (("AXButton", "Save", "save"), ("AXButton", "Cancel", "cancel"),
                                   ("AXButton", "Résumé Builder", "resume"), ("AXTextField", "Name", "name"),
                                   ("AXCheckBox", "Remember me", "remember")):
            with self.subTest(name=name):
                self.assertTrue(near(self.control(outline, role, name)["frame"], truth[widget]))
        # Rows of the long list: the first 40 at most, inside the window.
        rows = [c for c in controls if c["role"] == "AXRow"]
        self.assertTrue(0 < len(rows) <= 40)
        self.assertEqual(rows[0]["frame"]["y"], truth["list"]["y"])
        window = outline["window"]
        for control in controls:
            frame = control["frame"]
            self.assertTrue(window["x"] - 2 < frame["x"] + frame["width"] and frame["x"] < window["x"] + window["width"] + 2
                            and window["y"] - 2 < frame["y"] + frame["height"]
                            and frame["y"] < window["y"] + window["height"] + 2, control)
        # The password field is never listed, and its text never appears.
        self.assertNotIn("AXSecureTextField", [c["role"] for c in controls])
        self.assertNotIn("hunter2", str(outline))

    def test_frames_follow_the_window_when_it_moves(self):
        outline = self.read(self.app.pid)
        refs = [c["ref"] for c in outline["controls"][:12]]

        def frames():
            return self.engine.result("outline.frames", {"outline": outline["outline"], "refs": refs})["frames"]

        before = frames()
        self.app.command("move", x=260, y=170)
        after = desktop.wait_for(lambda: (lambda now: now if now != before else None)(frames()), 5)
        self.assertTrue(after)
        shift = (after[0]["x"] - before[0]["x"], after[0]["y"] - before[0]["y"])
        self.assertEqual(shift, (220, 130))
        for was, now in zip(before, after):
            self.assertEqual((now["x"] - was["x"], now["y"] - was["y"], now["width"], now["height"]),
                             (shift[0], shift[1], was["width"], was["height"]))
        self.assertTrue(near(after[refs.index(self.control(outline, "AXButton", "Save")["ref"])],
                             self.app.command("frames")["widgets"]["save"]))

    def test_state_tells_the_new_length_and_digest_after_typing(self):
        self.app.command("set", widget="name", text="")
        outline = self.read(self.app.pid)
        name = self.control(outline, "AXTextField", "Name")["ref"]
        remember = self.control(outline, "AXCheckBox", "Remember me")["ref"]
        self.app.command("focus", widget="name")
        desktop.run_tool("xdotool", "type", "--delay", "20", "hello there")
        self.app.wait_event("changed", "name", where=lambda e: e["text"] == "hello there")
        self.app.command("set", widget="remember", active=True)
        typed = {"length": 11, "digest": digest("hello there")}

        def state():
            return self.engine.result("outline.state", {"outline": outline["outline"], "refs": [name, remember, 999]})

        # A query the loaded application does not answer within 0.1 s reads as absent: asked again.
        states = desktop.wait_for(lambda: (lambda now: now if now["states"][0]["value"] == typed else None)(state()),
                                  5) or state()
        self.assertEqual(states["states"][0]["value"], typed)
        self.assertEqual(states["states"][0]["enabled"], True)
        self.assertEqual(states["states"][1]["value"], {"length": 1, "digest": digest("1")})
        self.assertIsNone(states["states"][2])
        self.assertNotIn("hello", str(states))

    def test_find_ignores_case_and_diacritics_and_keeps_refs(self):
        outline = self.read(self.app.pid)

        def find(name, role=None):
            return [(c["ref"], c["role"], c["name"]) for c in self.engine.result(
                "outline.find", {"outline": outline["outline"], "name": name, "role": role, "limit": 5})["controls"]]

        builder = self.control(outline, "AXButton", "Résumé Builder")["ref"]
        for query, role in (("resume", None), ("RÉSUMÉ BUILDER", "AXButton"), ("builder", None)):
            with self.subTest(query=query):
                self.assertEqual(find(query, role), [(builder, "AXButton", "Résumé Builder")])
        self.assertEqual(find("resume", "AXStaticText"), [])
        # The password field is never found; its label is.
        self.assertEqual([role for _, role, _ in find("password")], ["AXStaticText"])
        # A row scrolled into the window after the read joins the outline once, and keeps its ref.
        self.app.command("scroll", row=100)
        found = desktop.wait_for(lambda: find("Row 100"), 5)
        self.assertEqual(len(found), 1)
        self.assertEqual(found[0][0], len(outline["controls"]))
        self.assertEqual(find("row 100"), found)
        frame = self.engine.result("outline.frames", {"outline": outline["outline"], "refs": [found[0][0]]})
        self.assertIsNotNone(frame["frames"][0])

    def test_visible_frames_are_clipped_to_the_list(self):
        outline = self.read(self.app.pid)
        first = [c["ref"] for c in outline["controls"] if c["role"] == "AXRow"][0]

        def seen(method):
            return self.engine.result(method, {"outline": outline["outline"], "refs": [first]})["frames"][0]

        list_frame = self.app.command("frames")["widgets"]["list"]
        self.assertTrue(near(seen("outline.visible"), dict(seen("outline.frames"), width=list_frame["width"]), 2))
        self.app.command("scroll", row=60)
        # Scrolled out of the list, the row is not visible (GTK no longer places it at all).
        self.assertTrue(desktop.wait_for(lambda: seen("outline.visible") is None, 5))

    def test_watch_hears_typing_moving_and_a_menu_opening(self):
        self.assertEqual(self.engine.result("outline.watch", {"pid": self.app.pid})["pid"], self.app.pid)
        self.addCleanup(lambda: self.engine.result("outline.watch", {"pid": None}))
        value = self.heard("value", lambda n: self.app.command("set", widget="name", text="typed %d" % n))
        self.assertEqual((value["role"], value["name"]), ("AXTextField", "Name"))
        moved = self.heard("moved", lambda n: self.app.command("move", x=100 + 20 * n, y=90))
        self.assertEqual((moved["role"], moved["name"]), ("AXWindow", "Outline Fixture"))
        file_menu = self.control(self.read(self.app.pid), "AXMenuBarItem", "File")
        self.app.command("focus", widget="name")

        def click_file(_):
            desktop.run_tool("xdotool", "mousemove", *map(str, center(file_menu["frame"])), "click", "1")

        self.assertEqual(self.heard("menuOpened", click_file)["role"], "AXMenu")
        # The open menu's items follow the menu bar in a read.
        opened = self.read(self.app.pid)["controls"]
        self.assertEqual([(c["role"], c["name"]) for c in opened[2:5]],
                         [("AXMenuItem", "Open"), ("AXMenuItem", "Save As"), ("AXMenuItem", "Quit")])
        self.heard("menuClosed", lambda _: desktop.run_tool("xdotool", "key", "Escape"))
        self.assertEqual(self.engine.result("outline.watch", {"pid": None})["pid"], None)
        self.engine.clear_notices()
        self.app.command("set", widget="name", text="unwatched")
        self.assertEqual(self.engine.notices("outline.change", timeout=0.5), [])

    def test_an_outline_past_the_cap_is_no_longer_held(self):
        first = self.read(self.app.pid, budget=50)["outline"]
        for _ in range(4):
            self.read(self.app.pid, budget=50)
        reply = self.engine.request("outline.frames", {"outline": first, "refs": [0]})
        self.assertEqual(reply["error"], {"code": "unavailable", "message": "That outline is no longer held."})


class OutlineFaults(OutlineTestCase):
    def test_a_frozen_application_answers_within_the_budget(self):
        app = start_outline_app("--title", "Frozen Outline")
        self.addCleanup(app.close)
        outline = self.read(app.pid)
        refs = list(range(len(outline["controls"])))
        os.kill(app.pid, signal.SIGSTOP)
        try:
            for method, params, most in (
                    ("outline.read", {"pid": app.pid, "budgetMs": 100, "neverLook": []}, 0.1),
                    ("outline.frames", {"outline": outline["outline"], "refs": refs}, 0.1),
                    ("outline.state", {"outline": outline["outline"], "refs": refs}, 0.2),
                    ("outline.find", {"outline": outline["outline"], "name": "save", "role": None, "limit": 1},
                     0.4)):
                with self.subTest(method=method):
                    start = time.monotonic()
                    self.assertIn("result", self.engine.request(method, params, timeout=10))
                    self.assertLessEqual(time.monotonic() - start, most + SLACK_S)
        finally:
            os.kill(app.pid, signal.SIGCONT)
        self.assertGreater(len(self.read(app.pid)["controls"]), 5)

    def test_a_vanished_application_leaves_frames_empty_and_its_pid_unknown(self):
        app = start_outline_app("--title", "Vanishing Outline", "--controls", "600")
        outline = self.read(app.pid)
        refs = list(range(min(20, len(outline["controls"]))))
        # Gone in the middle of a walk: the read answers with what it had, in time.
        walking = self.engine.send("outline.read", {"pid": app.pid, "budgetMs": 400, "neverLook": []})
        time.sleep(0.03)
        os.kill(app.pid, signal.SIGKILL)
        app.close()
        start = time.monotonic()
        self.engine.reply(walking, timeout=10)
        self.assertLessEqual(time.monotonic() - start, 0.4 + SLACK_S)
        self.assertEqual(self.engine.result("outline.frames", {"outline": outline["outline"], "refs": refs})["frames"],
                         [None] * len(refs))
        reply = self.engine.request("outline.read", {"pid": app.pid, "budgetMs": 50, "neverLook": []})
        self.assertEqual(reply["error"], {"code": "unavailable", "message": "No running app has that pid."})

    def test_a_watch_outlives_the_accessibility_bus_and_the_display_restarting(self):
        # On a desktop of its own: applications already running stay off a restarted bus.
        env = desktop.start_stack()
        self.addCleanup(desktop.stop_stack, env)
        side = engine.Engine(env=env)
        self.addCleanup(side.close)
        desktop.wait_for(lambda: side.result("permissions.request", {"permission": "accessibility"})
                         ["state"] == "granted", 10, 0.2)
        before = start_outline_app("--title", "Before Restart", env=env)
        self.addCleanup(before.close)
        self.assertTrue(desktop.wait_for(lambda: self.read(before.pid, engine=side)["controls"], 10, 0.2))
        side.result("outline.watch", {"pid": before.pid})
        restart_accessibility_bus(env)
        # The engine keeps answering, and the watch keeps hearing what the display tells.
        start = time.monotonic()
        self.assertIn("result", side.request("outline.read", {"pid": before.pid, "budgetMs": 100,
                                                                "neverLook": []}, timeout=5))
        self.assertLessEqual(time.monotonic() - start, 1.5)
        self.heard("moved", lambda n: before.command("move", x=120 + 20 * n, y=60), engine=side)
        # An application that starts now is on the new bus: read and watched, it is heard.
        after = start_outline_app("--title", "After Restart", env=env)
        self.addCleanup(after.close)
        self.assertTrue(desktop.wait_for(lambda: len(self.read(after.pid, engine=side)["controls"]) > 5, 10, 0.2))
        side.result("outline.watch", {"pid": after.pid})
        self.heard("value", lambda n: after.command("set", widget="name", text="after %d" % n), engine=side)
        # The display restarts under the watch and takes its application along; on the new server
        # the engine reads and hears windows again, with no restart of its own.
        desktop.stop_x_server(env)
        desktop.start_x_server(env)
        again = start_outline_app("--title", "New Display", env=env)
        self.addCleanup(again.close)
        self.assertTrue(desktop.wait_for(lambda: len(self.read(again.pid, engine=side)["controls"]) > 5, 10, 0.2))
        side.result("outline.watch", {"pid": again.pid})
        self.heard("moved", lambda n: again.command("move", x=120 + 20 * n, y=60), engine=side)
        side.result("outline.watch", {"pid": None})
        self.assertEqual(side.close(), 0)


def restart_accessibility_bus(env):
    """Ends a stack's accessibility bus (its launcher and the bus it started); the next client that
    asks the session bus for it starts a new one."""
    answer = subprocess.run(["gdbus", "call", "--session", "--dest", "org.freedesktop.DBus", "--object-path",
                             "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.GetConnectionUnixProcessID",
                             "org.a11y.Bus"], env=env, stdout=subprocess.PIPE, check=True, timeout=10)
    launcher = int(re.search(r"\d+", answer.stdout.decode()).group())
    children = []
    for task in os.listdir("/proc/%d/task" % launcher):
        with open("/proc/%d/task/%s/children" % (launcher, task)) as listed:
            children += [int(pid) for pid in listed.read().split()]
    for pid in children + [launcher]:
        os.kill(pid, signal.SIGTERM)
    desktop.wait_for(lambda: not any(os.path.exists("/proc/%d" % pid) for pid in children + [launcher]), 5)


if __name__ == "__main__":
    unittest.main()
