#!/usr/bin/python3
"""The output volume: the engine's answers to "volume.watch" against pactl asking the same server, and
what an idle watch costs, in one run.

    scripts/desktop run /usr/bin/python3 bench/volume_bench.py [--engines 10] [--asks 200] [--idle 10]

Measures:
- the first answer of a fresh engine (the sound connection is made by that very request), from the
  request written to the reply read, over --engines engines;
- later answers of one engine, over --asks requests;
- the peer: `pactl get-sink-volume @DEFAULT_SINK@` from start to exit (what a tool per query pays),
  and the floor: `pactl info` alone;
- CPU of an engine watching an idle sink for --idle seconds (played-into by a quiet stream, as a
  running sound card would be), from /proc/<pid>/stat, against the same engine not watching.
Goals: first answer under 5 ms; an idle watch at 0 % of a core. Never fails.
"""

import argparse
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "engines" / "linux" / "tests" / "e2e"))
import harness  # noqa: E402

TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    fields = Path("/proc/%d/stat" % pid).read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS  # utime, stime


def timed_answer(engine, watch):
    asked = time.perf_counter()
    engine.result("volume.watch", {"watch": watch})
    return time.perf_counter() - asked


def first_answers(count):
    times = []
    for _ in range(count):
        with harness.Engine() as engine:
            # The engine is up once it answers a line that needs no sound.
            engine.result("hello", {"protocol": 1})
            times.append(timed_answer(engine, False))
    return times


def tool_times(command, count):
    times = []
    for _ in range(count):
        began = time.perf_counter()
        subprocess.run(command, stdout=subprocess.DEVNULL, check=True)
        times.append(time.perf_counter() - began)
    return times


def idle_share(engine, seconds):
    before = cpu_seconds(engine.proc.pid)
    time.sleep(seconds)
    return (cpu_seconds(engine.proc.pid) - before) / seconds


def line(name, times):
    ordered = sorted(times)
    print("%-34s median %7.3f ms  p90 %7.3f ms  max %7.3f ms  (%d)"
          % (name, 1000 * statistics.median(ordered), 1000 * ordered[int(0.9 * (len(ordered) - 1))],
             1000 * ordered[-1], len(ordered)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--engines", type=int, default=10)
    parser.add_argument("--asks", type=int, default=200)
    parser.add_argument("--idle", type=float, default=10.0)
    options = parser.parse_args()
    harness.require_desktop()

    first = first_answers(options.engines)
    with harness.Engine() as engine:
        engine.result("volume.watch", {"watch": False})
        later = [timed_answer(engine, False) for _ in range(options.asks)]
        peer = tool_times(["pactl", "get-sink-volume", "@DEFAULT_SINK@"], max(10, options.asks // 10))
        floor = tool_times(["pactl", "info"], max(10, options.asks // 10))
        unwatched = idle_share(engine, options.idle)
        engine.result("volume.watch", {"watch": True})
        time.sleep(0.2)
        watched = idle_share(engine, options.idle)
        notices = len(engine.notices("volume.changed", timeout=0))

    line("engine first answer", first)
    line("engine later answers", later)
    line("peer: pactl get-sink-volume", peer)
    line("floor: pactl info", floor)
    print("first answer vs peer: %.1f x faster" % (statistics.median(peer) / statistics.median(first)))
    print("idle CPU over %.0f s: not watching %.3f %%, watching %.3f %% of a core (%d notices)"
          % (options.idle, 100 * unwatched, 100 * watched, notices))
    print("goals: first answer < 5 ms: %s; idle watch 0 %%: %s"
          % ("met" if max(first) < 0.005 else "MISSED", "met" if watched == 0 else "MISSED"))


if __name__ == "__main__":
    main()
