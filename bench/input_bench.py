#!/usr/bin/python3
"""Keys and the pointer against their floor and peer, on the test desktop, in one run:
- key delivery: an XTEST key press to the engine's "keys.event" line (read from its output), against
  the floor of the same press reaching a bare XInput2 raw-event client (python-xlib);
- "pointer.element" over a GTK button against a pyatspi script doing the same hit test (the window on
  top in the window manager's stacking order through python-xlib, then its application's element
  there) and reading the same facts (the element and its parent: role, names, states, frame, value)
  in its own process, its accessibility cache warm; wall time, and the CPU each call costs its own
  process, the application and the accessibility bus;
- the engine's CPU while an input watch and a key watch are on and nobody touches anything.
Prints medians, 99th percentiles and ratios; never fails on numbers.

    scripts/desktop run /usr/bin/python3 bench/input_bench.py [--engine PATH] [--rounds N]
"""

import argparse
import json
import os
import statistics
import sys
import threading
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "engines" / "linux" / "tests" / "e2e"))
import accessibility  # noqa: E402
import apps  # noqa: E402
import desktop  # noqa: E402
import engine  # noqa: E402
from synthetic_input import Synth  # noqa: E402

import pyatspi  # noqa: E402
from Xlib import X, Xatom, display  # noqa: E402
from Xlib.ext import ge, xinput  # noqa: E402


def percentile(samples, fraction):
    ordered = sorted(samples)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def report(name, samples):
    print("%-44s p50 %7.3f ms   p99 %7.3f ms   (%d)" % (name, statistics.median(samples) * 1000,
                                                        percentile(samples, 0.99) * 1000, len(samples)))
    return statistics.median(samples)


# --- key delivery --------------------------------------------------------------------------------

class RawListener:
    """The floor: a client that reads XInput2 raw key presses on the root and nothing else."""

    def __init__(self):
        self.display = display.Display()
        self.display.xinput_query_version()
        root = self.display.screen().root
        root.xinput_select_events([(xinput.AllMasterDevices, xinput.RawKeyPressMask)])
        self.display.sync()
        self.heard = []
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        while True:
            event = self.display.next_event()
            if event.type == ge.GenericEventCode and event.evtype == xinput.RawKeyPress:
                self.heard.append(time.perf_counter())


def key_latency(engine, synth, rounds):
    engine.result("input.watch", {"pointer": "none", "keys": True, "moves": False, "scroll": False,
                                  "excludePids": []})
    floor = RawListener()
    engine_samples, floor_samples = [], []
    code = synth.keycode("F12")  # types nothing into the window that has the focus
    for _ in range(rounds):
        engine.clear_notices()
        before_floor = len(floor.heard)
        sent = time.perf_counter()
        synth.key(code, True)
        line = engine.wait_line("input.event", timeout=2)
        synth.key(code, False)
        if line is not None:
            engine_samples.append(line - sent)
        if desktop.wait_for(lambda: len(floor.heard) > before_floor, 2, 0.0005):
            floor_samples.append(floor.heard[before_floor] - sent)
        time.sleep(0.005)
    engine.result("input.watch", {"pointer": "none", "keys": False, "moves": False, "scroll": False,
                                  "excludePids": []})
    engine_p50 = report("XTEST press to the engine's notice line", engine_samples)
    floor_p50 = report("XTEST press to a bare raw-event client", floor_samples)
    print("  the engine adds %.3f ms to the floor" % ((engine_p50 - floor_p50) * 1000))


# --- pointer.element -----------------------------------------------------------------------------

def describe(node):
    states = node.getState()
    extents = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    value = None
    if not states.contains(pyatspi.STATE_EDITABLE) or node.getRole() != pyatspi.ROLE_PASSWORD_TEXT:
        try:
            value = node.queryText().getText(0, -1)
        except NotImplementedError:
            pass
    return (node.getRole(), node.getLocalizedRoleName(), node.name, node.description, extents, value)


class WindowStack:
    """The peer's way to the window on top at a point: the window manager's stacking list, then each
    window's process, geometry and mapping, front to back, until one holds the point."""

    def __init__(self):
        self.display = display.Display()
        self.root = self.display.screen().root
        self.stacking = self.display.intern_atom("_NET_CLIENT_LIST_STACKING")
        self.pid = self.display.intern_atom("_NET_WM_PID")

    def top(self, x, y):
        windows = self.root.get_full_property(self.stacking, Xatom.WINDOW).value
        for wid in reversed(windows):
            window = self.display.create_resource_object("window", wid)
            if window.get_attributes().map_state != X.IsViewable:
                continue
            geometry = window.get_geometry()
            origin = window.translate_coords(self.root, 0, 0)
            if -origin.x <= x <= -origin.x + geometry.width and -origin.y <= y <= -origin.y + geometry.height:
                pid = window.get_full_property(self.pid, Xatom.CARDINAL)
                return pid.value[0] if pid else None
        return None


def peer_element(stack, x, y):
    """What the engine does, the usual pyatspi way: the window on top at the point, its application,
    the application's window there, the deepest element there, and it and its parent described."""
    pid = stack.top(x, y)
    app = next(a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.get_process_id() == pid)
    for frame in app:
        if not frame.queryComponent().contains(x, y, pyatspi.DESKTOP_COORDS):
            continue
        element = frame
        while True:
            deeper = element.queryComponent().getAccessibleAtPoint(x, y, pyatspi.DESKTOP_COORDS)
            if deeper is None or deeper == element:
                break
            element = deeper
        return describe(element), describe(element.parent)
    return None


def accessibility_bus_pid():
    """The accessibility bus's daemon of this desktop (its address names the desktop's folder)."""
    folder = desktop.desktop_dir().encode()
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            command = (entry / "cmdline").read_bytes().split(b"\0")
        except OSError:
            continue
        if any(b"accessibility.conf" in part for part in command) and any(folder in part for part in command):
            return int(entry.name)
    return None


class CpuMeter:
    """CPU seconds spent by each side's own process, the application answering and the accessibility
    bus, summed over the blocks of calls each side made."""

    def __init__(self, processes):
        self.processes = processes  # name -> pid
        self.used = {}

    def block(self, side, own_cpu, call, count):
        before = {name: cpu_seconds(pid) for name, pid in self.processes.items()}
        own = own_cpu()
        samples = []
        for _ in range(count):
            start = time.perf_counter()
            call()
            samples.append(time.perf_counter() - start)
        own = own_cpu() - own
        totals = self.used.setdefault(side, {"own": 0.0, **{name: 0.0 for name in self.processes}})
        totals["own"] += own
        for name, pid in self.processes.items():
            totals[name] += cpu_seconds(pid) - before[name]
        return samples

    def report(self, side, calls):
        totals = self.used[side]
        parts = "   ".join("%s %.2f" % (name, seconds / calls * 1000) for name, seconds in totals.items())
        print("  %-42s CPU ms a call: %s" % (side, parts))
        return sum(totals.values()) / calls


def element_speed(engine, fixture, rounds, block=10):
    node = accessibility.find_accessible(fixture.pid, "push button", "Submit")
    rect = node.get_extents(0)
    x, y = rect.x + rect.width // 2, rect.y + rect.height // 2
    params = {"x": x, "y": y, "excludePids": [], "beneathHalcy": False, "neverLook": [], "selectionOf": []}
    stack = WindowStack()
    assert engine.result("pointer.element", params)["element"]["title"] == "Submit"
    assert peer_element(stack, x, y)[0][2] == "Submit"
    meter = CpuMeter({"app": fixture.pid, "bus": accessibility_bus_pid()})
    engine_pid = engine.proc.pid
    engine_samples, peer_samples = [], []
    for _ in range(max(1, rounds // block)):
        engine_samples += meter.block("engine", lambda: cpu_seconds(engine_pid),
                                      lambda: engine.result("pointer.element", params), block)
        peer_samples += meter.block("pyatspi", time.process_time, lambda: peer_element(stack, x, y), block)
    engine_p50 = report("pointer.element over a GTK button", engine_samples)
    peer_p50 = report("pyatspi, the same hit test and facts", peer_samples)
    print("  the engine is %.1f times faster" % (peer_p50 / engine_p50))
    engine_cpu = meter.report("engine", len(engine_samples))
    peer_cpu = meter.report("pyatspi", len(peer_samples))
    print("  the engine's calls cost %.1f times less CPU in all" % (peer_cpu / engine_cpu))


# --- idle cost -----------------------------------------------------------------------------------

def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def idle_cost(engine, seconds):
    engine.result("keys.watch", {"watch": True, "downsWhile": 0x100000})
    engine.result("input.watch", {"pointer": "drags", "keys": True, "moves": True, "scroll": True,
                                  "excludePids": []})
    pid = engine.proc.pid
    before = cpu_seconds(pid)
    time.sleep(seconds)
    used = cpu_seconds(pid) - before
    print("%-44s %.2f %% of a core over %d s" % ("idle engine, keys and input watched", used / seconds * 100,
                                                  seconds))
    engine.result("keys.watch", {"watch": False, "downsWhile": 0})


class TimedEngine(engine.Engine):
    """The engine with the arrival time of every notice line."""

    def __init__(self, *args, **kwargs):
        self.arrivals = {}
        super().__init__(*args, **kwargs)

    def _read_stdout(self):
        for raw in self.proc.stdout:
            arrived = time.perf_counter()
            line = json.loads(raw)
            with self._lock:
                if "id" in line:
                    self._replies[line["id"]] = line
                else:
                    self._notices.append(line)
                    self.arrivals.setdefault(line["event"], []).append(arrived)
                self._lock.notify_all()
        with self._lock:
            self._stdout_done = True
            self._lock.notify_all()

    def clear_notices(self, event=None):
        with self._lock:
            self.arrivals = {}
        super().clear_notices(event)

    def wait_line(self, event, timeout):
        with self._lock:
            self._lock.wait_for(lambda: self.arrivals.get(event), timeout)
            times = self.arrivals.get(event)
            return times[0] if times else None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--engine", help="the halcy-engine binary (default: build/bin/halcy-engine)")
    parser.add_argument("--rounds", type=int, default=200)
    parser.add_argument("--idle-seconds", type=int, default=10)
    parser.add_argument("--only", choices=("keys", "element", "idle"), help="one measurement only")
    options = parser.parse_args()
    desktop.require_desktop()
    engine = TimedEngine(path=options.engine)
    synth = Synth()
    fixture = apps.start_fixture()
    try:
        desktop.wait_for(lambda: engine.result("permissions.request", {"permission": "accessibility"})["state"]
                         == "granted", 10, 0.2)
        desktop.run_tool("xdotool", "windowactivate", "--sync", str(fixture.xid))
        synth.move(1900, 1060)  # out of the way of the window
        if options.only in (None, "keys"):
            key_latency(engine, synth, options.rounds)
        if options.only in (None, "element"):
            element_speed(engine, fixture, options.rounds // 2)
        if options.only in (None, "idle"):
            idle_cost(engine, options.idle_seconds)
    finally:
        fixture.close()
        synth.close()
        engine.close()


if __name__ == "__main__":
    main()
