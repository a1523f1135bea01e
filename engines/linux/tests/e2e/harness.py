"""Helpers for end-to-end tests on the test desktop (scripts/desktop run /usr/bin/python3 -m unittest ...).

- Engine: the engine binary as a child speaking JSON lines; requests matched by id, notices collected.
- start_fixture(): the GTK fixture window, which reports its true state (fixtures/fixture_app.py).
- clipboard_set()/clipboard_get(): a real clipboard owner holding several targets, and a real reader.
- feed_speech()/record_source(): speech into the virtual microphone, and what a source hears.
- accessible_app()/find_accessible(): the fixture as the accessibility bus sees it.

Standard library only, plus gi for the accessibility helpers; runs under /usr/bin/python3.
"""

import array
import base64
import itertools
import json
import math
import os
import queue
import re
import shutil
import subprocess
import tempfile
import threading
import time
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[4]
FIXTURES = REPO / "engines" / "linux" / "tests" / "fixtures"
SYSTEM_PYTHON = "/usr/bin/python3"
DEFAULT_ENGINE = REPO / "build" / "bin" / "halcy-engine"
DESKTOP_SCRIPT = REPO / "scripts" / "desktop"


def wait_for(predicate, timeout=5.0, interval=0.01):
    """Polls predicate until it returns something true; returns that value, or None on timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            return None
        time.sleep(interval)


# --- the desktop ------------------------------------------------------------------------------

def desktop_dir():
    return os.environ.get("HALCY_DESKTOP_DIR")


def require_desktop():
    """Skips the calling test when it does not run inside scripts/desktop."""
    if not desktop_dir() or not os.environ.get("DISPLAY"):
        raise unittest.SkipTest("no test desktop: run through scripts/desktop run /usr/bin/python3 -m unittest ...")


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


def start_stack():
    """Starts a separate desktop stack; returns its environment (ours, with the stack's exports)."""
    output = subprocess.run([str(DESKTOP_SCRIPT), "start"], stdout=subprocess.PIPE, check=True,
                            timeout=30).stdout.decode()
    env = dict(os.environ)
    for line in output.splitlines():
        match = re.match(r"export (\w+)=(.*)$", line)
        if match:
            # printf %q output; the values here hold no characters that need unquoting
            env[match.group(1)] = match.group(2)
        elif line.startswith("unset "):
            for name in line.split()[1:]:
                env.pop(name, None)
    return env


def stop_stack(env):
    subprocess.run([str(DESKTOP_SCRIPT), "stop", env["HALCY_DESKTOP_DIR"]], check=True, timeout=30)


def run_tool(*args, timeout=10, check=True, input=None):
    """Runs a command-line tool of the desktop and returns its stdout as bytes."""
    done = subprocess.run(list(args), input=input, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=timeout)
    if check and done.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (" ".join(args), done.returncode, done.stderr.decode(errors="replace")))
    return done.stdout


def pactl(*args, timeout=10):
    return run_tool("pactl", *args, timeout=timeout).decode()


# --- the engine -------------------------------------------------------------------------------

def engine_path():
    return Path(os.environ.get("HALCY_ENGINE") or DEFAULT_ENGINE)


def require_engine():
    """Skips the calling test when the engine binary is not built."""
    path = engine_path()
    if not (path.is_file() and os.access(path, os.X_OK)):
        raise unittest.SkipTest("halcy-engine is not built at %s (build it, or set HALCY_ENGINE)" % path)
    return path


class EngineError(Exception):
    def __init__(self, method, error):
        super().__init__("%s failed: %s: %s" % (method, error.get("code"), error.get("message")))
        self.code = error.get("code")
        self.message = error.get("message")


class Engine:
    """The engine as a child process. Replies are matched to requests by id; every other line is kept
    as a notice. Lines that are not JSON objects are kept in bad_lines (a test can assert there are none)."""

    def __init__(self, *args, env=None, path=None):
        path = Path(path) if path else require_engine()
        if desktop_dir():
            install_desktop_entries()
        self.proc = subprocess.Popen([str(path), *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, env=env)
        self._ids = itertools.count(1)
        self._lock = threading.Condition()
        self._replies = {}
        self._notices = []
        self.bad_lines = []
        self.stderr_lines = []
        self._write_lock = threading.Lock()
        self._stdout_done = False
        self._readers = [threading.Thread(target=self._read_stdout, daemon=True),
                         threading.Thread(target=self._read_stderr, daemon=True)]
        for reader in self._readers:
            reader.start()

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()

    # input
    def send_line(self, line):
        """Writes one raw line (without its terminator); for tests of malformed input."""
        data = line if isinstance(line, bytes) else line.encode()
        with self._write_lock:
            self.proc.stdin.write(data + b"\n")
            self.proc.stdin.flush()

    def send(self, method, params=None, request_id=None):
        """Sends a request without waiting; returns its id."""
        request_id = next(self._ids) if request_id is None else request_id
        self.send_line(json.dumps({"id": request_id, "method": method,
                                   "params": {} if params is None else params}))
        return request_id

    def reply(self, request_id, timeout=5):
        """The whole reply line (a dict with "result" or "error") for request_id."""
        with self._lock:
            if not self._lock.wait_for(lambda: request_id in self._replies or self._stdout_done, timeout):
                raise TimeoutError("no reply to request %s within %s s" % (request_id, timeout))
            if request_id not in self._replies:
                raise EOFError("the engine closed its output before replying to %s; stderr: %s"
                               % (request_id, self.stderr_text()))
            return self._replies.pop(request_id)

    def request(self, method, params=None, timeout=5):
        """Sends a request and returns its reply line as a dict."""
        return self.reply(self.send(method, params), timeout)

    def result(self, method, params=None, timeout=5):
        """Sends a request and returns its "result"; an error reply raises EngineError."""
        line = self.request(method, params, timeout)
        if "error" in line:
            raise EngineError(method, line["error"])
        return line["result"]

    # output
    def notices(self, event, timeout=2.0, count=1):
        """The "data" of every notice named event received so far, waiting up to timeout for count of them."""
        def matching():
            return [n.get("data") for n in self._notices if n.get("event") == event]

        with self._lock:
            self._lock.wait_for(lambda: len(matching()) >= count or self._stdout_done, timeout)
            return matching()

    def all_notices(self):
        with self._lock:
            return list(self._notices)

    def clear_notices(self, event=None):
        with self._lock:
            self._notices = [n for n in self._notices if event is not None and n.get("event") != event]

    def stderr_text(self):
        return "\n".join(self.stderr_lines)

    def close(self, timeout=10):
        """Closes the engine's input (its signal to shut down) and returns its exit status."""
        if self.proc.stdin and not self.proc.stdin.closed:
            try:
                self.proc.stdin.close()
            except BrokenPipeError:
                pass
        try:
            status = self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise TimeoutError("the engine did not exit within %s s of its input closing" % timeout)
        for reader in self._readers:
            reader.join(2)
        self.proc.stdout.close()
        self.proc.stderr.close()
        return status

    def _read_stdout(self):
        for raw in self.proc.stdout:
            try:
                line = json.loads(raw)
            except ValueError:
                line = None
            with self._lock:
                if not isinstance(line, dict):
                    self.bad_lines.append(raw)
                elif "id" in line and ("result" in line or "error" in line):
                    self._replies[line["id"]] = line
                else:
                    self._notices.append(line)
                self._lock.notify_all()
        with self._lock:
            self._stdout_done = True
            self._lock.notify_all()

    def _read_stderr(self):
        for raw in self.proc.stderr:
            self.stderr_lines.append(raw.decode(errors="replace").rstrip("\n"))


# --- the fixture window ------------------------------------------------------------------------

def end_child(proc, reader, timeout):
    """Closes a helper's input so it ends by itself, kills it if it does not, and collects it."""
    if proc.poll() is None:
        try:
            proc.stdin.close()
        except BrokenPipeError:
            pass
        try:
            proc.wait(timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    reader.join(2)
    proc.stdout.close()


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


def start_fixture(*args, title=None, text=None, app_id=True, timeout=10):
    """Starts the fixture window and waits until it is on screen ("ready"). Extra args go to the app."""
    require_desktop()
    install_desktop_entries()
    command = [SYSTEM_PYTHON, str(FIXTURES / "fixture_app.py"), *args]
    if title is not None:
        command += ["--title", title]
    if text is not None:
        command += ["--text", text]
    if not app_id:
        command.append("--no-app-id")
    proc = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    fixture = Fixture(proc)
    try:
        fixture.wait_event("ready", timeout=timeout)
    except TimeoutError:
        fixture.close()
        raise
    return fixture


# --- the clipboard ------------------------------------------------------------------------------

TEXT_TARGETS = ("text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "STRING", "TEXT")


class ClipboardOwner:
    """The process that owns the selection. Its "served" events tell which targets someone read."""

    def __init__(self, proc):
        self.proc = proc
        self.events = queue.Queue()
        self.served = []
        self.lost = threading.Event()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def wait_owned(self, timeout):
        deadline = time.monotonic() + timeout
        while True:
            try:
                event = self.events.get(timeout=max(0.0, deadline - time.monotonic()))
            except queue.Empty:
                raise TimeoutError("the clipboard owner did not take the selection") from None
            if event is None or event.get("event") == "failed":
                raise RuntimeError("the clipboard owner could not take the selection")
            if event.get("event") == "owned":
                return

    def release(self, timeout=5):
        """Ends the owner; with no clipboard manager the selection becomes empty."""
        end_child(self.proc, self._reader, timeout)

    def _read(self):
        for raw in self.proc.stdout:
            try:
                event = json.loads(raw)
            except ValueError:
                continue
            if event.get("event") == "served":
                self.served.append(event["target"])
            if event.get("event") == "lost":
                self.lost.set()
            self.events.put(event)
        self.events.put(None)


_owners = []


def clipboard_set(targets, selection="CLIPBOARD", timeout=5):
    """Makes a fresh process own the selection with all of targets ({target: bytes}) at once.
    The owner keeps running until another client takes the selection or it is released."""
    require_desktop()
    proc = subprocess.Popen([SYSTEM_PYTHON, str(FIXTURES / "clipboard_owner.py")],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    owner = ClipboardOwner(proc)
    request = {"selection": selection,
               "targets": {name: base64.b64encode(data).decode() for name, data in targets.items()}}
    proc.stdin.write((json.dumps(request) + "\n").encode())
    proc.stdin.flush()
    try:
        owner.wait_owned(timeout)
    except (TimeoutError, RuntimeError):
        owner.release()
        raise
    # Previous owners have lost the selection by now and exit by themselves; reap them.
    for previous in _owners:
        previous.release()
    _owners[:] = [owner]
    return owner


def clipboard_set_text(text, extra=None, **kwargs):
    """Owns the clipboard with text under every usual text target, plus any extra {target: bytes}."""
    targets = {name: text.encode() for name in TEXT_TARGETS}
    targets.update(extra or {})
    return clipboard_set(targets, **kwargs)


def clipboard_release():
    """Ends every owner this harness started: the clipboard is empty afterwards."""
    for owner in _owners:
        owner.release()
    _owners.clear()


def clipboard_get(target="UTF8_STRING", selection="clipboard", timeout=5):
    """What the selection's owner hands out for target (bytes), or None when it offers no such target
    or nobody owns it."""
    require_desktop()
    done = subprocess.run(["xclip", "-o", "-selection", selection, "-t", target], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=timeout)
    return done.stdout if done.returncode == 0 else None


def clipboard_targets(selection="clipboard", timeout=5):
    data = clipboard_get("TARGETS", selection, timeout)
    return [] if data is None else data.decode(errors="replace").split()


# --- sound ---------------------------------------------------------------------------------------

def speech_wav(text, path, voice="en-us", words_per_minute=160):
    run_tool("espeak-ng", "-v", voice, "-s", str(words_per_minute), "-w", str(path), text)
    return Path(path)


def feed_speech(text, wait=True, sink=None, voice="en-us"):
    """Speaks text with espeak-ng into the feed sink, which the virtual microphone hears.
    With wait=False it returns the playing paplay process."""
    require_desktop()
    sink = sink or os.environ.get("HALCY_FEED_SINK", "micfeed")
    folder = tempfile.mkdtemp(prefix="speech.", dir=desktop_dir())
    wav = speech_wav(text, Path(folder) / "speech.wav", voice=voice)
    player = subprocess.Popen(["paplay", "-d", sink, str(wav)], stderr=subprocess.PIPE)
    if not wait:
        return player
    _, errors = player.communicate(timeout=60)
    if player.returncode != 0:
        raise RuntimeError("paplay failed: %s" % errors.decode(errors="replace"))
    shutil.rmtree(folder, ignore_errors=True)
    return None


def record_source(seconds, source=None, rate=16000):
    """Records a source (the virtual microphone by default) as mono 16-bit samples for seconds."""
    require_desktop()
    source = source or os.environ.get("HALCY_MIC_SOURCE", "vmic")
    recorder = subprocess.Popen(["parec", "-d", source, "--format=s16le", "--rate=%d" % rate, "--channels=1",
                                 "--latency-msec=20"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    chunks = []
    reader = threading.Thread(target=lambda: chunks.extend(iter(lambda: recorder.stdout.read(3200), b"")),
                              daemon=True)
    reader.start()
    time.sleep(seconds)
    recorder.terminate()
    recorder.wait(5)
    reader.join(5)
    recorder.stdout.close()
    samples = array.array("h")
    data = b"".join(chunks)
    samples.frombytes(data[: len(data) // 2 * 2])
    return samples


def rms(samples):
    """Root mean square of 16-bit samples, 0 for none."""
    return math.sqrt(sum(s * s for s in samples) / len(samples)) if samples else 0.0


# --- accessibility --------------------------------------------------------------------------------

def _atspi():
    import gi

    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi

    Atspi.init()
    return Atspi


def accessible_app(pid, timeout=5):
    """The application of process pid on the accessibility bus, waiting until it shows up."""
    Atspi = _atspi()

    def lookup():
        desktop = Atspi.get_desktop(0)
        for index in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(index)
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except Exception:  # an application that went away while we looked
                continue
        return None

    return wait_for(lookup, timeout, 0.05)


def walk_accessibles(root, limit=2000):
    """Yields root and its descendants, breadth first, at most limit of them."""
    pending = [root]
    seen = 0
    while pending and seen < limit:
        node = pending.pop(0)
        seen += 1
        yield node
        try:
            count = node.get_child_count()
        except Exception:
            continue
        for index in range(count):
            child = node.get_child_at_index(index)
            if child is not None:
                pending.append(child)


def find_accessible(pid, role_name=None, name=None, timeout=5):
    """The first accessible of process pid with that role name ("text", "password text"...) and name."""
    def lookup():
        app = accessible_app(pid, timeout=0)
        if app is None:
            return None
        for node in walk_accessibles(app):
            try:
                if (role_name is None or node.get_role_name() == role_name) and (name is None or node.get_name() == name):
                    return node
            except Exception:
                continue
        return None

    return wait_for(lookup, timeout, 0.05)
