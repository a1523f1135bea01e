"""Applications on the test desktop: the GTK fixture window, which reports its true state
(fixtures/fixture_app.py), the desktop entry that names it, and flat-colour windows for pictures
(fixtures/colour_window.py).

Standard library only; runs under /usr/bin/python3.
"""

import json
import queue
import shutil
import subprocess
import threading
from pathlib import Path

from desktop import FIXTURES, SYSTEM_PYTHON, desktop_dir, end_child, require_desktop


def install_desktop_entries():
    """Puts the fixture's desktop entry and icon into the stack's share folder (first in XDG_DATA_DIRS),
    so application identity and icon lookups find "org.halcy.Fixture"."""
    require_desktop()
    share = Path(desktop_dir()) / "share"
    applications = share / "applications"
    icons = share / "icons" / "hicolor" / "scalable" / "apps"
    applications.mkdir(parents=True, exist_ok=True)
    icons.mkdir(parents=True, exist_ok=True)
    entry = (FIXTURES / "org.halcy.Fixture.desktop").read_text()
    entry = entry.replace("Exec=fixture_app.py", "Exec=%s" % (FIXTURES / "fixture_app.py"))
    target = applications / "org.halcy.Fixture.desktop"
    if not target.exists() or target.read_text() != entry:
        tmp = target.with_suffix(".tmp")
        tmp.write_text(entry)
        tmp.replace(target)
    shutil.copyfile(FIXTURES / "org.halcy.Fixture.svg", icons / "org.halcy.Fixture.svg")
    return target


class Fixture:
    """A running fixture_app.py. Its events ("changed", "clicked", "focus"...) are collected; commands
    are answered in order."""

    def __init__(self, proc):
        self.proc = proc
        self._events = []
        self._replies = queue.Queue()
        self._lock = threading.Condition()
        self._done = False
        self._command_lock = threading.Lock()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()
        self.ready = None

    @property
    def pid(self):
        return self.proc.pid

    @property
    def xid(self):
        return self.ready.get("xid") if self.ready else None

    def command(self, cmd, timeout=5, **fields):
        with self._command_lock:
            self.proc.stdin.write((json.dumps(dict({"cmd": cmd}, **fields)) + "\n").encode())
            self.proc.stdin.flush()
            try:
                reply = self._replies.get(timeout=timeout)
            except queue.Empty:
                raise TimeoutError("the fixture did not answer %r within %s s" % (cmd, timeout)) from None
        if reply is None:
            raise EOFError("the fixture exited before answering %r" % cmd)
        if "error" in reply:
            raise RuntimeError("fixture command %r failed: %s" % (cmd, reply["error"]))
        return reply

    def state(self):
        return self.command("state")

    def focus(self, widget):
        self.command("focus", widget=widget)

    def set(self, widget, **fields):
        self.command("set", widget=widget, **fields)

    def present(self):
        self.command("present")

    def events(self, event=None, widget=None):
        with self._lock:
            return [e for e in self._events
                    if (event is None or e.get("event") == event) and (widget is None or e.get("widget") == widget)]

    def wait_event(self, event, widget=None, timeout=5, where=None):
        """The first event of that name (and widget) matching where(event), waiting up to timeout."""
        def found():
            for candidate in self.events(event, widget):
                if where is None or where(candidate):
                    return candidate
            return None

        with self._lock:
            self._lock.wait_for(lambda: found() is not None or self._done, timeout)
        result = found()
        if result is None:
            raise TimeoutError("the fixture sent no %r event for %r within %s s" % (event, widget, timeout))
        return result

    def close(self, timeout=5):
        end_child(self.proc, self._reader, timeout)  # the fixture quits when its input ends
        return self.proc.returncode

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()

    def _read(self):
        for raw in self.proc.stdout:
            try:
                line = json.loads(raw)
            except ValueError:
                continue
            if "reply" in line:
                self._replies.put(line)
                continue
            with self._lock:
                self._events.append(line)
                if line.get("event") == "ready":
                    self.ready = line
                self._lock.notify_all()
        with self._lock:
            self._done = True
            self._lock.notify_all()
        self._replies.put(None)


def start_fixture(*args, title=None, text=None, app_id=True, timeout=10, env=None):
    """Starts the fixture window and waits until it is on screen ("ready"). Extra args go to the app;
    env, when given, is the environment of another stack to start it in."""
    if env is None:
        require_desktop()
        install_desktop_entries()
    command = [SYSTEM_PYTHON, str(FIXTURES / "fixture_app.py"), *args]
    if title is not None:
        command += ["--title", title]
    if text is not None:
        command += ["--text", text]
    if not app_id:
        command.append("--no-app-id")
    proc = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=env)
    fixture = Fixture(proc)
    try:
        fixture.wait_event("ready", timeout=timeout)
    except TimeoutError:
        fixture.close()
        raise
    return fixture


class ColourWindow:
    """A running colour_window.py: its pid, and its client area and frame in root pixels."""

    def __init__(self, proc, ready):
        self.proc = proc
        self.pid = ready["pid"]
        self.client = ready["client"]
        self.frame = ready["frame"]

    def close(self):
        if self.proc.poll() is None:
            self.proc.stdin.close()
            self.proc.wait(timeout=10)
        self.proc.stdout.close()


def start_colour_window(colour, x, y, width, height, app_id=None, title="Colour", env=None):
    """A window of one flat colour (an (r, g, b) triple) at a place, once it is on screen."""
    command = [SYSTEM_PYTHON, str(FIXTURES / "colour_window.py"), "--colour", "%02X%02X%02X" % colour,
               "--x", str(x), "--y", str(y), "--width", str(width), "--height", str(height), "--title", title]
    if app_id:
        command += ["--app-id", app_id]
    proc = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=env)
    return ColourWindow(proc, json.loads(proc.stdout.readline()))
