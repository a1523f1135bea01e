"""The engine binary over its standard input and output, with no desktop at all.

Each test starts the real binary, writes request lines and reads what it answers: exact reply
lines, concurrency, end of input and a vanished reader.
"""

import json
import os
import select
import socket
import subprocess
import tempfile
import threading
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(
    os.path.abspath(__file__))))))
ENGINE = os.environ.get("HALCY_ENGINE", os.path.join(ROOT, "build", "bin", "halcy-engine"))


class SilentServer:
    """A unix socket that accepts connections and never says a word: a frozen service."""

    def __init__(self, folder, name):
        self.path = os.path.join(folder, name)
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.bind(self.path)
        self.sock.listen(64)
        self.held = []
        self.thread = threading.Thread(target=self._accept, daemon=True)
        self.thread.start()

    def _accept(self):
        while True:
            try:
                connection, _ = self.sock.accept()
            except OSError:
                return
            self.held.append(connection)

    def close(self):
        self.sock.close()
        for connection in self.held:
            connection.close()


def bare_environment(**extra):
    env = {key: value for key, value in os.environ.items()
           if key not in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS",
                          "PULSE_SERVER", "AT_SPI_BUS_ADDRESS", "DBUS_SYSTEM_BUS_ADDRESS")}
    env["XDG_RUNTIME_DIR"] = tempfile.mkdtemp(prefix="halcy-proto-")
    env["PULSE_SERVER"] = "unix:/nonexistent/pulse"
    env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=/nonexistent/bus"
    env.update(extra)
    return env


def start(*args, env=None, stdout=subprocess.PIPE):
    return subprocess.Popen([ENGINE, *args], stdin=subprocess.PIPE, stdout=stdout,
                            stderr=subprocess.PIPE, env=env or bare_environment())


def converse(lines, *args, env=None, timeout=20):
    """Writes every line, closes input, and returns (reply lines, stderr, exit status)."""
    process = start(*args, env=env)
    out, err = process.communicate(("".join(lines)).encode(), timeout=timeout)
    return out.decode().splitlines(), err.decode(), process.returncode


def read_line(process, timeout):
    ready, _, _ = select.select([process.stdout], [], [], timeout)
    if not ready:
        return None
    return process.stdout.readline().decode()


@unittest.skipUnless(os.access(ENGINE, os.X_OK), "the engine is not built: " + ENGINE)
class ReplyLines(unittest.TestCase):
    def test_envelope_and_parameter_errors_are_exact(self):
        cases = [
            ("{}", '{"id":0,"error":{"code":"invalid_params","message":"Not a request line."}}'),
            ('{"id":"7","method":"hello","params":{"protocol":1}}',
             '{"id":0,"error":{"code":"invalid_params","message":"Not a request line."}}'),
            ('{"id":1,"method":"hello","params":{"protocol":1}', 
             '{"id":0,"error":{"code":"invalid_params","message":"Not a request line."}}'),
            ('{"id":2,"method":"mic.startx","params":{}}',
             '{"id":2,"error":{"code":"unknown_method","message":"No method mic.startx."}}'),
            ('{"id":3,"method":"permissions.status","params":{"z":1,"a":2}}',
             '{"id":3,"error":{"code":"invalid_params","message":"permissions.status takes no a, z."}}'),
            ('{"id":4,"method":"focus.read","params":{"pid":1,"zz":0,"aa":0}}',
             '{"id":4,"error":{"code":"invalid_params","message":"focus.read takes no aa, zz."}}'),
            ('{"id":5,"method":"keys.state"}',
             '{"id":5,"error":{"code":"invalid_params","message":"Invalid params for keys.state."}}'),
            ('{"id":6,"method":"permissions.request","params":{"permission":"camera"}}',
             '{"id":6,"error":{"code":"invalid_params","message":"Invalid params for permissions.request."}}'),
        ]
        for line, expected in cases:
            with self.subTest(line=line):
                replies, _, status = converse([line + "\n"])
                self.assertEqual(replies, [expected])
                self.assertEqual(status, 0)

    def test_bytes_that_are_not_utf8_are_not_a_request_line(self):
        process = start()
        out, _ = process.communicate(b'{"id":1,"method":"hel\xfflo","params":{}}\n', timeout=20)
        self.assertEqual(out.decode(),
                         '{"id":0,"error":{"code":"invalid_params","message":"Not a request line."}}\n')

    def test_hello_names_the_engine_and_its_pid(self):
        process = start()
        out, _ = process.communicate(b'{"id":9,"method":"hello","params":{"protocol":0,"x":1}}\n',
                                     timeout=20)
        reply = json.loads(out)
        self.assertEqual(reply["id"], 9)
        hello = reply["result"]
        self.assertEqual(list(hello), ["protocol", "engine", "version", "os", "osVersion", "pid"])
        self.assertEqual((hello["protocol"], hello["engine"], hello["os"]),
                         (1, "halcy-engine-linux", "linux"))
        self.assertEqual(hello["pid"], process.pid)
        self.assertIn("kernel", hello["osVersion"])

    def test_no_desktop_answers_denied_never_fails(self):
        replies, _, _ = converse(['{"id":1,"method":"permissions.status","params":{}}\n',
                                  '{"id":2,"method":"permissions.request","params":{"permission":"accessibility"}}\n'])
        by_id = {json.loads(line)["id"]: json.loads(line) for line in replies}
        self.assertEqual(by_id[1]["result"]["permissions"],
                         {"accessibility": "denied", "screenRecording": "denied", "microphone": "denied"})
        self.assertEqual(by_id[2]["result"], {"state": "denied"})

    def test_empty_lines_are_skipped_and_every_line_end_counts(self):
        replies, _, _ = converse([
            "\n\r\n\r",
            '{"id":1,"method":"hello","params":{"protocol":1}}\r\n',
            '{"id":2,"method":"hello","params":{"protocol":1}}\r',
            '{"id":3,"method":"hello","params":{"protocol":1}}',
        ])
        self.assertEqual(sorted(json.loads(line)["id"] for line in replies), [1, 2, 3])

    def test_a_thousand_requests_each_get_one_reply(self):
        lines = ['{"id":%d,"method":"hello","params":{"protocol":1}}\n' % n for n in range(1, 1001)]
        replies, _, status = converse(lines, timeout=60)
        self.assertEqual(sorted(json.loads(line)["id"] for line in replies), list(range(1, 1001)))
        self.assertEqual(status, 0)


@unittest.skipUnless(os.access(ENGINE, os.X_OK), "the engine is not built: " + ENGINE)
class SlowServices(unittest.TestCase):
    """A frozen sound server and session bus make "permissions.status" slow, never stuck."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="halcy-frozen-")
        self.pulse = SilentServer(self.folder, "pulse")
        self.bus = SilentServer(self.folder, "bus")
        self.env = bare_environment(PULSE_SERVER="unix:" + self.pulse.path,
                                    DBUS_SESSION_BUS_ADDRESS="unix:path=" + self.bus.path)

    def tearDown(self):
        self.pulse.close()
        self.bus.close()

    def test_a_slow_request_does_not_hold_up_a_fast_one(self):
        process = start(env=self.env)
        try:
            process.stdin.write(b'{"id":1,"method":"permissions.status","params":{}}\n')
            process.stdin.write(b'{"id":2,"method":"hello","params":{"protocol":1}}\n')
            process.stdin.flush()
            first = read_line(process, 10)
            second = read_line(process, 10)
        finally:
            process.stdin.close()
            process.wait(timeout=20)
        self.assertEqual(json.loads(first)["id"], 2)
        self.assertEqual(json.loads(second)["result"]["permissions"]["microphone"], "denied")

    def test_callers_waiting_together_for_a_frozen_server_each_get_their_answer(self):
        # The first caller to give up drops the connection the others are still waiting for.
        asked = ['{"id":%d,"method":"permissions.status","params":{}}\n' % n for n in range(6)]
        replies, err, status = converse(asked, env=self.env, timeout=30)
        self.assertEqual(status, 0, err)
        self.assertEqual(sorted(json.loads(line)["id"] for line in replies), list(range(6)))

    def test_end_of_input_still_delivers_pending_replies(self):
        started = time.monotonic()
        replies, _, status = converse(['{"id":1,"method":"permissions.status","params":{}}\n'],
                                      env=self.env)
        self.assertEqual(status, 0)
        self.assertEqual([json.loads(line)["id"] for line in replies], [1])
        self.assertLess(time.monotonic() - started, 10)


@unittest.skipUnless(os.access(ENGINE, os.X_OK), "the engine is not built: " + ENGINE)
class ProcessLife(unittest.TestCase):
    def test_a_vanished_reader_does_not_stop_the_engine(self):
        read_end, write_end = os.pipe()
        os.close(read_end)
        process = start(stdout=write_end)
        os.close(write_end)
        for n in range(200):
            process.stdin.write(b'{"id":%d,"method":"hello","params":{"protocol":1}}\n' % n)
        process.stdin.flush()
        time.sleep(0.2)
        self.assertIsNone(process.poll(), "the engine died when its reader went away")
        process.stdin.close()
        self.assertEqual(process.wait(timeout=20), 0)

    def test_switches(self):
        cases = [
            (["--spike-system-audio"], 0, ""),
            (["--spike-system-audio", "3"], 0, ""),
            (["--prompt-accessibility"], 0, ""),
            (["--spike-system-audio", "nope", "/tmp/halcy-trial.wav"], 1, "spike failed: "),
        ]
        for args, status, stderr_start in cases:
            with self.subTest(args=args):
                replies, err, code = converse(['{"id":1,"method":"hello","params":{"protocol":1}}\n'],
                                              *args)
                self.assertEqual(code, status)
                if status == 0:
                    self.assertEqual(json.loads(replies[0])["id"], 1)
                else:
                    self.assertTrue(err.startswith(stderr_start), err)
                    self.assertEqual(replies, [])


if __name__ == "__main__":
    unittest.main()
