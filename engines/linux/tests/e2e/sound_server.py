"""A private sound server (PulseAudio) that a test kills and starts again under a running engine.
Standard library only; runs under /usr/bin/python3."""

import os
import shutil
import subprocess
import tempfile
import unittest

import desktop


class PrivateSoundServer:
    """`config` is the server's startup script (one command a line); a quiet stream plays into
    `keepalive_sink`, if given, since an idle null sink runs at 2 s latency. Clients reach the server
    with `env`."""

    def __init__(self, config, keepalive_sink=None):
        if not shutil.which("pulseaudio"):
            raise unittest.SkipTest("pulseaudio is not installed")
        self.config = config
        self.keepalive_sink = keepalive_sink
        self.folder = tempfile.mkdtemp(prefix="soundserver.")
        self.socket = os.path.join(self.folder, "native")
        self.env = dict(os.environ, PULSE_SERVER="unix:" + self.socket, XDG_RUNTIME_DIR=self.folder)
        self.processes = []

    def start(self):
        config = os.path.join(self.folder, "server.pa")
        with open(config, "w") as out:
            out.write(self.config)
        self.processes.append(subprocess.Popen(
            ["pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "-F", config, "--realtime=no",
             "--high-priority=no", "--no-cpu-limit", "--use-pid-file=no",
             "-L", "module-native-protocol-unix auth-anonymous=1 socket=%s" % self.socket],
            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        ready = desktop.wait_for(lambda: self.pactl("info", check=False).returncode == 0, 10)
        if not ready:
            raise RuntimeError("the private sound server did not start")
        if self.keepalive_sink:
            self.processes.append(subprocess.Popen(
                ["pacat", "--playback", "--device=%s" % self.keepalive_sink, "--latency-msec=20", "/dev/zero"],
                env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))

    def stop(self):
        # The keepalive stream first: the server goes last.
        for process in reversed(self.processes):
            if process.poll() is None:
                process.kill()
                process.wait(10)
        self.processes = []

    def close(self):
        self.stop()
        shutil.rmtree(self.folder, True)

    def pactl(self, *args, check=True):
        return subprocess.run(["pactl", *args], env=self.env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, check=check)
