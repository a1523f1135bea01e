"""The X clipboard as other applications see it: a real owner holding several targets at once
(fixtures/clipboard_owner.py), and a real reader (xclip).

Standard library only; runs under /usr/bin/python3.
"""

import base64
import json
import queue
import subprocess
import threading
import time

from desktop import FIXTURES, SYSTEM_PYTHON, end_child, require_desktop

TEXT_TARGETS = ("text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "STRING", "TEXT")


class Owner:
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


def own(targets, selection="CLIPBOARD", timeout=5):
    """Makes a fresh process own the selection with all of targets ({target: bytes}) at once.
    The owner keeps running until another client takes the selection or it is released."""
    require_desktop()
    proc = subprocess.Popen([SYSTEM_PYTHON, str(FIXTURES / "clipboard_owner.py")],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    owner = Owner(proc)
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


def own_text(text, extra=None, **kwargs):
    """Owns the clipboard with text under every usual text target, plus any extra {target: bytes}."""
    targets = {name: text.encode() for name in TEXT_TARGETS}
    targets.update(extra or {})
    return own(targets, **kwargs)


def release():
    """Ends every owner this module started: the clipboard is empty afterwards."""
    for owner in _owners:
        owner.release()
    _owners.clear()


def read(target="UTF8_STRING", selection="clipboard", timeout=5, env=None):
    """What the selection's owner hands out for target (bytes), or None when it offers no such target
    or nobody owns it."""
    if env is None:
        require_desktop()
    done = subprocess.run(["xclip", "-o", "-selection", selection, "-t", target], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=timeout, env=env)
    return done.stdout if done.returncode == 0 else None


def targets(selection="clipboard", timeout=5, env=None):
    data = read("TARGETS", selection, timeout, env=env)
    return [] if data is None else data.decode(errors="replace").split()
