#!/usr/bin/python3
"""ink.compose of the real engine against the tesseract tool, same run, on the test desktop:

    scripts/desktop run /usr/bin/python3 bench/ink_bench.py [ROUNDS]

A window full of text on the 1920x1080 display is captured once (ink.capture); then, reply line
read each time:
- ink.compose of the whole display with five marks and text recognition;
- the same without recognition (the composition alone);
- the peer: the tesseract tool reading a PNG of the same screen as one block, as it is installed
  (OpenMP threads) and with OMP_THREAD_LIMIT=1."""

import json
import math
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "engines" / "linux" / "tests" / "e2e"))
import desktop  # noqa: E402
import engine as engines  # noqa: E402
from screen_bench import report, timed  # noqa: E402

ROUNDS = int(sys.argv[1]) if len(sys.argv) > 1 else 12


def five_marks():
    marks = []
    for n, kind in enumerate(("region", "point", "underline", "arrow", "cross"), start=1):
        x = 100 + 150 * n
        line = [{"x": x + i * 0.7, "y": 250 + 60 * math.sin(i / 30)} for i in range(300)]
        marks.append({"n": n, "kind": kind, "line": line, "focus": {"x": x, "y": 150, "width": 220, "height": 220},
                      "from": line[0], "to": line[-1] if kind == "arrow" else None})
    return marks


def main():
    desktop.require_desktop()
    window = subprocess.Popen([desktop.SYSTEM_PYTHON, str(desktop.FIXTURES / "big_window.py"), "160", "100"],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    json.loads(window.stdout.readline())
    time.sleep(0.5)
    engine = engines.Engine()
    handle = engine.result("ink.capture", {"x": 10, "y": 10, "excludePids": [], "neverLook": []},
                           timeout=10)["capture"]
    compose = {"pieces": [{"capture": handle, "rect": {"x": 0, "y": 0, "width": 1920, "height": 1080},
                           "marks": [1, 2, 3, 4, 5]}],
               "marks": five_marks(), "context": None, "readText": True}
    # The recogniser loads while the user draws the marks, as after a real capture.
    time.sleep(2)
    first = time.perf_counter()
    found = engine.result("ink.compose", compose, timeout=60)
    print("first ink.compose with recognition, 2 s after the capture: %.0f ms, %d marks with text"
          % ((time.perf_counter() - first) * 1000, len(found["text"])))
    ours = report("ink.compose 1080p, 5 marks, text recognition (engine)",
                  timed(lambda: engine.result("ink.compose", compose, timeout=60), ROUNDS))
    drawing = dict(compose, readText=False)
    report("ink.compose 1080p, 5 marks, no recognition (engine)",
           timed(lambda: engine.result("ink.compose", drawing, timeout=60), ROUNDS * 4))
    with tempfile.TemporaryDirectory() as folder:
        shot = os.path.join(folder, "screen.png")
        Path(shot).write_bytes(desktop.run_tool("import", "-window", "root", "png:-"))
        # One block, as the engine reads (the tool's automatic layout finds nothing on a dark desktop).
        tool = ["tesseract", shot, "-", "--psm", "6"]

        def peer(env):
            subprocess.run(tool, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True, env=env)

        single = dict(os.environ, OMP_THREAD_LIMIT="1")
        threaded = report("tesseract tool on the same screen, as installed (peer)",
                          timed(lambda: peer(dict(os.environ)), max(3, ROUNDS // 2)))
        alone = report("tesseract tool, OMP_THREAD_LIMIT=1 (peer)", timed(lambda: peer(single), max(3, ROUNDS // 2)))
    print("  ink.compose with recognition: %.2fx the installed tool's time, %.2fx the single-threaded tool's"
          % (ours / threaded, ours / alone))
    engine.close()
    window.stdin.close()
    window.wait(timeout=10)


if __name__ == "__main__":
    main()
