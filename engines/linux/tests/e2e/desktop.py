"""The test desktop (scripts/desktop) as the end-to-end tests use it: where things are, whether a
test runs inside a desktop, side stacks, the X server restarted, and the desktop's command-line tools.

Standard library only; runs under /usr/bin/python3.
"""

import os
import re
import subprocess
import time
import unittest
from pathlib import Path

REPO = Path(__file__).resolve().parents[4]
FIXTURES = REPO / "engines" / "linux" / "tests" / "fixtures"
SYSTEM_PYTHON = "/usr/bin/python3"
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


def desktop_dir():
    return os.environ.get("HALCY_DESKTOP_DIR")


def require_desktop():
    """Skips the calling test when it does not run inside scripts/desktop."""
    if not desktop_dir() or not os.environ.get("DISPLAY"):
        raise unittest.SkipTest("no test desktop: run through scripts/desktop run /usr/bin/python3 -m unittest ...")


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


def stop_x_server(env):
    """Stops the X server of a stack (its window manager goes with it); returns once it is gone."""
    subprocess.run([str(DESKTOP_SCRIPT), "stop-x"], env=env, check=True, timeout=30)


def start_x_server(env):
    """Starts the X server of a stack again on the same display, with its window manager."""
    subprocess.run([str(DESKTOP_SCRIPT), "start-x"], env=env, check=True, timeout=30)


def run_tool(*args, timeout=10, check=True, input=None, env=None):
    """Runs a command-line tool of the desktop and returns its stdout as bytes."""
    done = subprocess.run(list(args), input=input, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=timeout, env=env)
    if check and done.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (" ".join(args), done.returncode, done.stderr.decode(errors="replace")))
    return done.stdout


def end_child(proc, reader, timeout):
    """Closes a helper's input so it ends by itself, kills it if it does not, and collects it."""
    try:
        proc.stdin.close()
    except BrokenPipeError:
        pass
    if proc.poll() is None:
        try:
            proc.wait(timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    reader.join(2)
    proc.stdout.close()
