"""Sound on the test desktop: the sound server's command line, speech into the virtual microphone,
and what a source hears.

Standard library only; runs under /usr/bin/python3.
"""

import array
import math
import os
import shutil
import subprocess
import tempfile
import threading
import time
from pathlib import Path

from desktop import desktop_dir, require_desktop, run_tool


def pactl(*args, timeout=10):
    return run_tool("pactl", *args, timeout=timeout).decode()


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
