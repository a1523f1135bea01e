#!/usr/bin/python3
"""Dictation on the real microphone against parec recording the same source, in one run.

    scripts/desktop run /usr/bin/python3 bench/dictation_bench.py [--seconds 10] [--starts 10]

Measures, for the engine and for parec (100 ms fragments, float32 at 16 kHz mono, like the engine):
- the time from asking to the first 100 ms of sound (engine: "dictation.start" sent to the first
  "dictation.audio" read; parec: process start to its first 6400 bytes);
- the cadence: gaps between the engine's chunk times ("at") and between parec's reads;
- CPU used while streaming, from /proc/<pid>/stat, as a share of one core.
Goals: first chunk within 200 ms, chunks every 100 +- 5 ms, at most 1 % of a core. Never fails.
"""

import argparse
import os
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "engines" / "linux" / "tests" / "e2e"))
import harness  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")
SOURCE = os.environ.get("HALCY_MIC_SOURCE", "vmic")
BENCH_SOURCE = "benchmic"
FULL_CHUNK_TEXT = 4268  # Base64 characters of 1600 PCM16 samples


def cpu_seconds(pid):
    fields = Path("/proc/%d/stat" % pid).read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS  # utime, stime


def spread(values):
    return statistics.pstdev(values) if len(values) > 1 else 0.0


def block_source(block_ms):
    """A microphone whose feed runs with blocks of about block_ms, as a sound card would: a null sink
    kept running by a quiet stream of that latency, remapped as the default source. Returns cleanups."""
    sink = harness.pactl("load-module", "module-null-sink", "sink_name=%s_feed" % BENCH_SOURCE).strip()
    source = harness.pactl("load-module", "module-remap-source", "source_name=%s" % BENCH_SOURCE,
                           "master=%s_feed.monitor" % BENCH_SOURCE).strip()
    keepalive = subprocess.Popen(["pacat", "--playback", "--device=%s_feed" % BENCH_SOURCE,
                                  "--latency-msec=%d" % block_ms, "/dev/zero"],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    previous = [line.split(": ", 1)[1] for line in harness.pactl("info").splitlines()
                if line.startswith("Default Source: ")][0]
    harness.pactl("set-default-source", BENCH_SOURCE)

    def cleanup():
        harness.pactl("set-default-source", previous)
        keepalive.kill()
        keepalive.wait()
        harness.pactl("unload-module", source)
        harness.pactl("unload-module", sink)
    return cleanup


def engine_run(engine, seconds, starts):
    first = []
    for _ in range(starts):
        engine.clear_notices()
        asked = time.monotonic()
        engine.send("dictation.start")
        if not engine.notices("dictation.audio", timeout=3):
            raise RuntimeError("no chunk within 3 s")
        first.append(time.monotonic() - asked)
        engine.result("dictation.stop")
    engine.clear_notices()
    engine.result("dictation.start")
    engine.notices("dictation.audio", timeout=3)
    before = cpu_seconds(engine.proc.pid)
    began = time.monotonic()
    time.sleep(seconds)
    used = cpu_seconds(engine.proc.pid) - before
    elapsed = time.monotonic() - began
    engine.result("dictation.stop")
    # The short chunk flushed at stop is no step of the cadence.
    stamps = [notice["at"] for notice in engine.notices("dictation.audio", timeout=0)
              if len(notice["samples"]) == FULL_CHUNK_TEXT]
    gaps = [b - a for a, b in zip(stamps, stamps[1:])]
    return first, gaps, used / elapsed


def engine_idle_share(engine, seconds):
    before = cpu_seconds(engine.proc.pid)
    time.sleep(seconds)
    return (cpu_seconds(engine.proc.pid) - before) / seconds


def parec_run(source, seconds, starts):
    command = ["parec", "-d", source, "--format=float32le", "--rate=16000", "--channels=1", "--latency-msec=100"]
    first = []
    for _ in range(starts):
        asked = time.monotonic()
        peer = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        peer.stdout.read(6400)
        first.append(time.monotonic() - asked)
        peer.kill()
        peer.wait()
    peer = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, bufsize=0)
    reads = []

    def read():
        pending = 0
        while True:
            data = peer.stdout.read(6400)
            if not data:
                return
            pending += len(data)
            # One stamp per 100 ms of sound, as the engine stamps its chunks.
            while pending >= 6400:
                pending -= 6400
                reads.append(time.monotonic())

    reader = threading.Thread(target=read, daemon=True)
    reader.start()
    time.sleep(0.5)
    before = cpu_seconds(peer.pid)
    began = time.monotonic()
    time.sleep(seconds)
    used = cpu_seconds(peer.pid) - before
    elapsed = time.monotonic() - began
    peer.kill()
    peer.wait()
    reader.join(2)
    gaps = [b - a for a, b in zip(reads, reads[1:])]
    return first, gaps, used / elapsed


def report(name, first, gaps, share):
    print("%-7s first 100 ms: median %6.1f ms, max %6.1f ms | cadence: mean %6.2f ms, spread %5.2f ms, "
          "min %6.1f, max %6.1f (%d gaps) | CPU %.3f %% of a core"
          % (name, 1000 * statistics.median(first), 1000 * max(first), 1000 * statistics.mean(gaps),
             1000 * spread(gaps), 1000 * min(gaps), 1000 * max(gaps), len(gaps), 100 * share))


def bench(source, seconds, starts):
    with harness.Engine() as engine:
        # Wake the source up first: a source nobody recorded from yet takes a second or more.
        harness.record_source(1.0, source)
        idle = engine_idle_share(engine, 3.0)
        e_first, e_gaps, e_share = engine_run(engine, seconds, starts)
        p_first, p_gaps, p_share = parec_run(source, seconds, starts)
    print("dictation on %s, %.0f s streaming, %d starts" % (source, seconds, starts))
    report("engine", e_first, e_gaps, e_share)
    report("parec", p_first, p_gaps, p_share)
    print("load average %.2f over the last minute (CPU shares grow with the machine's load)" % os.getloadavg()[0])
    print("engine idle CPU %.3f %% of a core; engine/parec: first %.2fx, CPU %.2fx"
          % (100 * idle, statistics.median(e_first) / statistics.median(p_first),
             e_share / p_share if p_share > 0 else float("inf")))
    goals = [("first chunk <= 200 ms", max(e_first) <= 0.2),
             ("cadence 100 +- 5 ms", abs(statistics.mean(e_gaps) - 0.1) <= 0.005),
             ("CPU <= 1 % of a core", e_share <= 0.01)]
    print("goals: " + ", ".join("%s %s" % (name, "met" if met else "MISSED") for name, met in goals))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seconds", type=float, default=10.0)
    parser.add_argument("--starts", type=int, default=10)
    parser.add_argument("--block-ms", type=int, default=100,
                        help="also measure on a source delivering blocks of this length (0: skip)")
    options = parser.parse_args()
    harness.require_desktop()
    # The test desktop's microphone delivers blocks of about 5 ms (its feed is kept at 20 ms latency),
    # which sets how often any client wakes up; a sound card at 100 ms delivers far fewer.
    bench(SOURCE, options.seconds, options.starts)
    if options.block_ms > 0:
        cleanup = block_source(options.block_ms)
        try:
            print()
            bench(BENCH_SOURCE, options.seconds, options.starts)
        finally:
            cleanup()


if __name__ == "__main__":
    main()
