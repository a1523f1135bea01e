#!/usr/bin/python3
"""Window outlines against a peer, on the test desktop, in one run:
- "outline.read" of a window of 250 controls (buttons, check boxes, fields, labels, a menu bar)
  against a pyatspi script that walks the same window in its own process collecting the same facts
  (breadth first from the active window: role, states, name, and for every control its frame; a
  field's placeholder when it has no name; password fields skipped; then the menu bar's items);
- the same in a window of 2000 controls, where the engine's 400 ms budget bounds the read;
- the CPU an idle "outline.watch" costs the engine (no change happens while it is measured),
  against the same engine idle without a watch.
Prints medians and ratios; never fails on numbers.

    scripts/desktop run /usr/bin/python3 bench/outline_bench.py [--engine PATH] [--rounds N] [--quick]
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "engines" / "linux" / "tests" / "e2e"))
import accessibility  # noqa: E402
import desktop  # noqa: E402
from engine import Engine  # noqa: E402

import pyatspi  # noqa: E402

CONSIDERED = {pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_RADIO_BUTTON, pyatspi.ROLE_TEXT,
              pyatspi.ROLE_ENTRY, pyatspi.ROLE_MENU, pyatspi.ROLE_MENU_ITEM, pyatspi.ROLE_CHECK_MENU_ITEM,
              pyatspi.ROLE_RADIO_MENU_ITEM, pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_LINK, pyatspi.ROLE_PAGE_TAB,
              pyatspi.ROLE_SLIDER, pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_TABLE_CELL,
              pyatspi.ROLE_LIST_ITEM, pyatspi.ROLE_TABLE_ROW, pyatspi.ROLE_TREE_ITEM, pyatspi.ROLE_LABEL,
              pyatspi.ROLE_STATIC, pyatspi.ROLE_HEADING, pyatspi.ROLE_IMAGE, pyatspi.ROLE_ICON}
NAMED_ONLY = {pyatspi.ROLE_LABEL, pyatspi.ROLE_STATIC, pyatspi.ROLE_HEADING, pyatspi.ROLE_IMAGE, pyatspi.ROLE_ICON}
TYPED = {pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY}


def median_ms(samples):
    return statistics.median(samples) * 1000.0


# --- the pyatspi peer ---------------------------------------------------------------------------

def peer_outline(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    app = next(a for a in desktop if a is not None and a.get_process_id() == pid)
    window = next((w for w in app if w.getState().contains(pyatspi.STATE_ACTIVE)), app[0])
    frame = window.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    found, menu_bar, queue, visited = [], None, [window], 0
    while queue and visited < 4000:
        node = queue.pop(0)
        visited += 1
        role = node.getRole()
        if role == pyatspi.ROLE_PASSWORD_TEXT:
            continue
        if role == pyatspi.ROLE_MENU_BAR and menu_bar is None:
            menu_bar = node
            continue
        if role in CONSIDERED and node.getState().contains(pyatspi.STATE_SHOWING):
            name = (node.name or "").strip() or (node.description or "").strip()
            if not name and role in TYPED:
                attributes = dict(a.split(":", 1) for a in node.getAttributes() if ":" in a)
                name = attributes.get("placeholder-text", "")
            if name or role not in NAMED_ONLY:
                box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                if 1 < box.width < 4000 and box.height > 1 and (
                        frame.x - 2 < box.x + box.width and box.x < frame.x + frame.width + 2 and
                        frame.y - 2 < box.y + box.height and box.y < frame.y + frame.height + 2):
                    found.append((role, name, (box.x, box.y, box.width, box.height)))
        queue.extend(child for child in node if child is not None)
    for item in (menu_bar or []):
        box = item.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        if box.width > 1 and box.height > 1 and item.getState().contains(pyatspi.STATE_SHOWING):
            found.insert(0, (item.getRole(), item.name, (box.x, box.y, box.width, box.height)))
    return found


# --- the engine -----------------------------------------------------------------------------------

def start_window(controls):
    proc = subprocess.Popen([desktop.SYSTEM_PYTHON, str(desktop.FIXTURES / "outline_app.py"), "--controls",
                             str(controls), "--width", "1800", "--height", "1000", "--x", "0", "--y", "0"],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    pid = int(json.loads(proc.stdout.readline())["pid"])
    accessibility.accessible_app(pid)
    return proc, pid


def compare_reads(engine, controls, rounds):
    """Wall time per read, and the CPU it costs: the reader's own (the engine, or the pyatspi
    script's process) and the application's, which answers every question."""
    proc, pid = start_window(controls)
    params = {"pid": pid, "budgetMs": 400, "neverLook": []}
    desktop.wait_for(lambda: len(engine.result("outline.read", params)["controls"]) > 0, 10, 0.2)
    ours, peer, sizes, peer_sizes = [], [], [], []
    cpu = {"engine": 0.0, "app for engine": 0.0, "pyatspi": 0.0, "app for pyatspi": 0.0}
    for _ in range(rounds):
        engine_cpu, app_cpu, start = cpu_seconds(engine.proc.pid), cpu_seconds(pid), time.perf_counter()
        sizes.append(len(engine.result("outline.read", params)["controls"]))
        ours.append(time.perf_counter() - start)
        cpu["engine"] += cpu_seconds(engine.proc.pid) - engine_cpu
        cpu["app for engine"] += cpu_seconds(pid) - app_cpu
        own_cpu, app_cpu, start = time.process_time(), cpu_seconds(pid), time.perf_counter()
        peer_sizes.append(len(peer_outline(pid)))
        peer.append(time.perf_counter() - start)
        cpu["pyatspi"] += time.process_time() - own_cpu
        cpu["app for pyatspi"] += cpu_seconds(pid) - app_cpu
    proc.stdin.close()
    proc.wait(10)
    print("outline.read, window of %d controls (median of %d, load %.1f): engine %7.2f ms (%d controls)   "
          "pyatspi %7.2f ms (%d controls)   peer/engine %5.1fx"
          % (controls, rounds, os.getloadavg()[0], median_ms(ours), statistics.median(sizes), median_ms(peer),
             statistics.median(peer_sizes), median_ms(peer) / median_ms(ours)))
    print("  CPU per read (mean): " + "   ".join("%s %.1f ms" % (who, seconds / rounds * 1000.0)
                                                 for who, seconds in cpu.items()))


def cpu_seconds(pid):
    fields = Path("/proc/%d/stat" % pid).read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def idle_cpu(engine, seconds):
    before = cpu_seconds(engine.proc.pid)
    time.sleep(seconds)
    return (cpu_seconds(engine.proc.pid) - before) / seconds * 100.0


def compare_idle_watch(engine, seconds):
    proc, pid = start_window(40)
    engine.result("outline.read", {"pid": pid, "budgetMs": 400, "neverLook": []})
    time.sleep(1)
    idle = idle_cpu(engine, seconds)
    engine.result("outline.watch", {"pid": pid})
    time.sleep(1)
    watching = idle_cpu(engine, seconds)
    engine.result("outline.watch", {"pid": None})
    proc.stdin.close()
    proc.wait(10)
    print("idle engine over %d s: %.3f %% of a core; with an idle outline.watch: %.3f %%"
          % (seconds, idle, watching))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--engine", default=os.environ.get("HALCY_ENGINE"))
    parser.add_argument("--rounds", type=int, default=20)
    parser.add_argument("--idle-seconds", type=int, default=10)
    parser.add_argument("--quick", action="store_true", help="only the window of 250 controls")
    options = parser.parse_args()
    desktop.require_desktop()
    engine = Engine(path=options.engine)
    desktop.wait_for(lambda: engine.result("permissions.request", {"permission": "accessibility"})["state"]
                     == "granted", 10, 0.2)
    compare_reads(engine, 250, options.rounds)
    if not options.quick:
        compare_reads(engine, 2000, max(3, options.rounds // 4))
        compare_idle_watch(engine, options.idle_seconds)
    engine.close()


if __name__ == "__main__":
    main()
