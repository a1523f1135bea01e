"""The engine when the ground moves under it: started with a standard descriptor closed, and the X
server going away and coming back on the same display."""

import base64
import io
import json
import os
import subprocess
import time
import unittest

from PIL import Image

import apps
import clipboard
import desktop
import engine

UNREACHABLE = {"code": "failed", "message": "The clipboard could not be reached."}


def request_line(request_id, method, params):
    return (json.dumps({"id": request_id, "method": method, "params": params}) + "\n").encode()


class StandardDescriptorsTest(unittest.TestCase):
    """A parent that mis-wires its pipes: the engine's own connections must not take the number."""

    def setUp(self):
        desktop.require_desktop()
        self.path = engine.require_engine()
        self.addCleanup(clipboard.release)

    def start_without(self, fd):
        # The shell closes the descriptor, then becomes the engine.
        return subprocess.Popen(["sh", "-c", 'exec "$0" %d>&-' % fd, str(self.path)], stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    @staticmethod
    def finish(proc):
        """Ends the engine if it still runs; returns what it wrote on (stdout, stderr)."""
        if proc.poll() is None:
            proc.kill()
            proc.wait()
        out, err = proc.stdout.read(), proc.stderr.read()
        for pipe in (proc.stdin, proc.stdout, proc.stderr):
            try:
                pipe.close()
            except BrokenPipeError:
                pass
        return out, err

    def test_a_closed_descriptor_is_never_taken_by_a_connection(self):
        for fd in (1, 2):
            with self.subTest(closed=fd):
                text = "served with descriptor %d closed" % fd
                proc = self.start_without(fd)
                try:
                    proc.stdin.write(request_line(1, "clipboard.write", {"text": text, "transient": False}))
                    proc.stdin.write(request_line(2, "permissions.status", {}))
                    proc.stdin.flush()
                    # The engine serves what it owns: its X connection is its own, not fd 1 or 2.
                    self.assertEqual(desktop.wait_for(lambda: clipboard.read(timeout=2) == text.encode(), 5), True)
                    self.assertEqual(os.readlink("/proc/%d/fd/%d" % (proc.pid, fd)), "/dev/null")
                    proc.stdin.close()
                    self.assertEqual(proc.wait(5), 0)
                finally:
                    out, err = self.finish(proc)
                if fd == 2:
                    replies = [json.loads(line) for line in out.splitlines()]
                    self.assertEqual(sorted(reply["id"] for reply in replies), [1, 2])
                else:
                    self.assertEqual((out, err), (b"", b""))

    def test_closed_input_ends_the_engine_at_once(self):
        proc = self.start_without(0)
        try:
            self.assertEqual(proc.wait(5), 0)
        finally:
            out, err = self.finish(proc)
        self.assertEqual((out, err), (b"", b""))


class DisplayRestartTest(unittest.TestCase):
    """A stack of its own, whose X server is stopped and started again under a running engine."""

    def setUp(self):
        desktop.require_desktop()
        engine.require_engine()
        self.env = desktop.start_stack()
        self.addCleanup(desktop.stop_stack, self.env)
        self.engine = engine.Engine(env=self.env)
        self.addCleanup(self.engine.close)

    def open_sockets(self):
        """How many sockets the engine holds once the number stays the same for a moment: bus
        connections of a permission check are closed a little after it answered."""
        def count():
            return sum(os.readlink("/proc/%d/fd/%s" % (self.engine.proc.pid, fd)).startswith("socket:")
                       for fd in os.listdir("/proc/%d/fd" % self.engine.proc.pid))

        previous = [None]

        def settled():
            current = count()
            same, previous[0] = current == previous[0], current
            return same

        desktop.wait_for(settled, 5, 0.3)
        return previous[0]

    def timed(self, method, params):
        started = time.monotonic()
        line = self.engine.request(method, params)
        return line, time.monotonic() - started

    def restart_server(self, text):
        desktop.stop_x_server(self.env)
        for method, params in (("clipboard.save", {}), ("clipboard.write", {"text": "down", "transient": False})):
            line, seconds = self.timed(method, params)
            self.assertEqual(line.get("error"), UNREACHABLE, method)
            self.assertLess(seconds, 2.5, method)
        permissions, seconds = self.timed("permissions.status", {})
        self.assertEqual(permissions["result"]["permissions"]["screenRecording"], "denied")
        self.assertLess(seconds, 2.5)

        desktop.start_x_server(self.env)
        # The first use after the server is back connects again; no restart of the engine.
        written = desktop.wait_for(lambda: "result" in self.engine.request(
            "clipboard.write", {"text": text, "transient": False}), 5, 0.1)
        self.assertTrue(written)
        self.assertEqual(clipboard.read(env=self.env), text.encode())

    def test_the_engine_reconnects_when_the_server_is_back(self):
        self.engine.result("clipboard.write", {"text": "before", "transient": False})
        self.assertEqual(clipboard.read(env=self.env), b"before")
        self.restart_server("after one restart")
        sockets = self.open_sockets()
        self.restart_server("after two restarts")
        # The connection a restart replaced was closed, not kept beside the new one.
        self.assertEqual(self.open_sockets(), sockets)
        saved = self.engine.result("clipboard.save")
        self.engine.result("clipboard.release", {"snapshot": saved["snapshot"]})

        granted = desktop.wait_for(lambda: self.engine.result(
            "permissions.request", {"permission": "accessibility"})["state"] == "granted", 10, 0.2)
        self.assertTrue(granted)
        self.assertEqual(self.engine.result("permissions.status")["permissions"]["screenRecording"], "granted")
        fixture = apps.start_fixture(title="After Restart", env=self.env)
        self.addCleanup(fixture.close)
        front = desktop.wait_for(lambda: (self.engine.result("focus.read", {"surroundingChars": 0}).get("app")
                                          or {}).get("pid") == fixture.pid, 10, 0.2)
        self.assertTrue(front, "focus.read does not see the application on the new server")
        self.left_out_window_shows_what_lies_beneath()

    def left_out_window_shows_what_lies_beneath(self):
        """Windows are redirected again on the new connection: the place of a left-out window is
        painted from the window beneath it, not left black."""
        green = (0x20, 0xC0, 0x40)
        below = apps.start_colour_window(green, 100, 100, 400, 300, env=self.env)
        self.addCleanup(below.close)
        above = apps.start_colour_window((0xE0, 0x10, 0x10), 200, 200, 120, 80, env=self.env)
        self.addCleanup(above.close)
        x, y, width, height = above.client
        region = self.engine.result("screen.region", {
            "rect": {"x": x, "y": y, "width": width, "height": height}, "excludePids": [above.pid],
            "neverLook": [], "quality": 0.9})
        image = Image.open(io.BytesIO(base64.b64decode(region["jpeg"]))).convert("RGB")
        centre = image.getpixel((width // 2, height // 2))
        self.assertTrue(all(abs(a - b) <= 24 for a, b in zip(centre, green)), centre)


if __name__ == "__main__":
    unittest.main()
