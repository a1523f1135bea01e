"""The engine binary as a child process speaking JSON lines: requests matched to their replies by
id, notices collected, stderr kept.

Standard library only; runs under /usr/bin/python3.
"""

import itertools
import json
import os
import subprocess
import threading
import unittest
from pathlib import Path

from apps import install_desktop_entries
from desktop import REPO, desktop_dir

DEFAULT_ENGINE = REPO / "build" / "bin" / "halcy-engine"


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
