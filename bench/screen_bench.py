#!/usr/bin/python3
"""Screen pictures and structure reads of the real engine against their peers, same run, on the
test desktop:

    scripts/desktop run /usr/bin/python3 bench/screen_bench.py [ROUNDS]

- screen.capture of the 1920x1080 display at the default size (long edge 1568, quality 0.8), reply
  line read, against scrot + ImageMagick convert + base64 making the same JPEG size;
- screen.region (400 x 300) with its hash;
- structure.read of a window with a 500-row list against a pyatspi walk gathering the same facts."""

import base64
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "engines" / "linux" / "tests" / "e2e"))
import accessibility  # noqa: E402
import desktop  # noqa: E402
import engine as engines  # noqa: E402

ROUNDS = int(sys.argv[1]) if len(sys.argv) > 1 else 40


def percentiles(samples):
    ordered = sorted(samples)
    return ordered[len(ordered) // 2] * 1000, ordered[min(len(ordered) - 1, int(len(ordered) * 0.99))] * 1000


def timed(call, rounds):
    samples = []
    for _ in range(rounds):
        started = time.perf_counter()
        call()
        samples.append(time.perf_counter() - started)
    return samples


def report(name, samples):
    p50, p99 = percentiles(samples)
    print("%-44s p50 %8.2f ms   p99 %8.2f ms" % (name, p50, p99))
    return p50


def peer_capture(folder):
    shot = os.path.join(folder, "shot.png")
    small = os.path.join(folder, "shot.jpg")
    subprocess.run(["scrot", "-o", shot], check=True)
    subprocess.run(["/usr/bin/convert", shot, "-resize", "1568x882!", "-quality", "80", small], check=True)
    return base64.b64encode(Path(small).read_bytes())


def pyatspi_structure(pid):
    import pyatspi
    app = next(a for a in pyatspi.Registry.getDesktop(0) if a and a.get_process_id() == pid)
    window = app[0]
    queue, fields, table, seen = [window], [], None, 0
    while queue and seen < 3000:
        node = queue.pop(0)
        seen += 1
        role = node.getRole()
        if role == pyatspi.ROLE_TEXT and len(fields) < 16:
            fields.append(node.queryText().getText(0, -1).strip())
        if table is None and role in (pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_LIST):
            table = node
        if role not in (pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE):
            queue.extend(node)
    rows = []
    if table is not None:
        shape = table.queryTable()
        for row in range(max(0, shape.nRows - 40), shape.nRows):
            rows.append([shape.getAccessibleAt(row, column).name for column in range(shape.nColumns)])
    return window.name, fields, rows


def main():
    desktop.require_desktop()
    engine = engines.Engine()
    engine.result("permissions.request", {"permission": "accessibility"})
    params = {"pid": None, "excludePids": [], "neverLook": [], "longEdge": 1568, "quality": 0.8}
    engine.result("screen.capture", params, timeout=10)
    capture = report("screen.capture 1920x1080 -> 1568x882 (engine)",
                     timed(lambda: engine.result("screen.capture", params, timeout=10), ROUNDS))
    with tempfile.TemporaryDirectory() as folder:
        peer = report("scrot + convert + base64 (peer)", timed(lambda: peer_capture(folder), max(3, ROUNDS // 8)))
    print("  capture: %.1fx faster than the peer" % (peer / capture))
    region = {"rect": {"x": 300, "y": 200, "width": 400, "height": 300}, "excludePids": [], "neverLook": [],
              "quality": 0.8}
    report("screen.region 400x300 with hash (engine)", timed(lambda: engine.result("screen.region", region), ROUNDS))

    big = subprocess.Popen([desktop.SYSTEM_PYTHON, str(desktop.FIXTURES / "big_window.py"), "20", "500"],
                           stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    pid = json.loads(big.stdout.readline())["pid"]
    accessibility.accessible_app(pid)
    read = {"pid": pid, "bundleId": "big.window", "neverLook": []}
    engine.result("structure.read", read, timeout=10)
    ours = report("structure.read, 500-row list (engine)",
                  timed(lambda: engine.result("structure.read", read, timeout=10), ROUNDS // 2))
    theirs = report("pyatspi walk of the same facts (peer)", timed(lambda: pyatspi_structure(pid), max(3, ROUNDS // 8)))
    print("  structure.read: %.1fx faster than the peer" % (theirs / ours))
    big.stdin.close()
    big.wait(timeout=10)
    engine.close()


if __name__ == "__main__":
    main()
