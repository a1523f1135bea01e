#!/usr/bin/python3
"""Test windows for the panel addon: one process, standing for one application, that makes the X
windows described by its argument (a JSON list), reports their XIDs, then reports the keys and
focus changes they receive. Ends when its standard input closes.

Each window: {"name", "x", "y", "width", "height", "map": true, "wmClass": [instance, class] or null,
"type": "UTILITY" or null, "states": ["ABOVE", ...], "opacity": 0..0xFFFFFFFF or null}.
Output lines (JSON): {"ready": {name: xid}}, {"key": name, "keycode": n}, {"focus": name}.
"""

import json
import os
import sys
import threading

from Xlib import X, Xatom, display


def main():
    shapes = json.loads(sys.argv[1])
    screen_display = display.Display()
    root = screen_display.screen().root
    atom = screen_display.intern_atom
    windows = {}
    for shape in shapes:
        window = root.create_window(
            shape.get("x", 100), shape.get("y", 100), shape["width"], shape["height"], 0,
            screen_display.screen().root_depth, X.InputOutput, X.CopyFromParent,
            background_pixel=screen_display.screen().white_pixel,
            event_mask=X.KeyPressMask | X.FocusChangeMask | X.StructureNotifyMask | X.PropertyChangeMask)
        window.set_wm_name(shape["name"])
        wm_class = shape.get("wmClass", [shape["name"], shape["name"].capitalize()])
        if wm_class:
            window.set_wm_class(*wm_class)
        # What Electron windows declare: input wanted, and the "globally active" focus protocol.
        window.set_wm_hints(flags=1, input=1)
        window.set_wm_protocols([atom("WM_DELETE_WINDOW"), atom("WM_TAKE_FOCUS")])
        window.change_property(atom("_NET_WM_PID"), Xatom.CARDINAL, 32, [os.getpid()])
        # A fixed place, so the window manager's placement does not move it.
        window.set_wm_normal_hints(flags=1 | 4, x=shape.get("x", 100), y=shape.get("y", 100))
        if shape.get("type"):
            window.change_property(atom("_NET_WM_WINDOW_TYPE"), Xatom.ATOM, 32,
                                   [atom("_NET_WM_WINDOW_TYPE_" + shape["type"])])
        if shape.get("states"):
            window.change_property(atom("_NET_WM_STATE"), Xatom.ATOM, 32,
                                   [atom("_NET_WM_STATE_" + state) for state in shape["states"]])
        if shape.get("opacity") is not None:
            window.change_property(atom("_NET_WM_WINDOW_OPACITY"), Xatom.CARDINAL, 32, [shape["opacity"]])
        windows[window.id] = shape["name"]
        if shape.get("map", True):
            window.map()
    screen_display.sync()

    # Ready once every mapped window is managed (the window manager set WM_STATE on it).
    waiting = {xid for xid, name in windows.items()
               if next(shape for shape in shapes if shape["name"] == name).get("map", True)}
    wm_state = atom("WM_STATE")
    while waiting:
        for xid in list(waiting):
            window = screen_display.create_resource_object("window", xid)
            if window.get_full_property(wm_state, wm_state) is not None:
                waiting.discard(xid)
        if waiting:
            screen_display.next_event()
    print(json.dumps({"ready": {name: xid for xid, name in windows.items()}}), flush=True)

    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    while True:
        event = screen_display.next_event()
        name = windows.get(getattr(event, "window", root).id)
        if name is None:
            continue
        if event.type == X.KeyPress:
            print(json.dumps({"key": name, "keycode": event.detail}), flush=True)
        elif event.type == X.FocusIn:
            print(json.dumps({"focus": name}), flush=True)


if __name__ == "__main__":
    main()
