"""Real input for end-to-end tests: XTEST keys, buttons and pointer motion through python-xlib, as a
user's devices would make them (xdotool's mousemove warps the pointer and makes no motion event), and
the active window as the window manager announces it.

Runs under /usr/bin/python3 inside scripts/desktop.
"""

import time

from Xlib import X, XK, display
from Xlib.ext import xtest


class Synth:
    def __init__(self, display_name=None):
        self.display = display.Display(display_name)
        self.root = self.display.screen().root
        self._active = self.display.intern_atom("_NET_ACTIVE_WINDOW")

    def close(self):
        self.display.close()

    def keycode(self, name):
        """The key code of a key sym name ("v", "Control_L") in the current layout."""
        code = self.display.keysym_to_keycode(XK.string_to_keysym(name))
        if not code:
            raise ValueError("no key for %r" % name)
        return code

    def key(self, name_or_code, down):
        code = name_or_code if isinstance(name_or_code, int) else self.keycode(name_or_code)
        xtest.fake_input(self.display, X.KeyPress if down else X.KeyRelease, code)
        self.display.sync()

    def chord(self, *names, pause=0.02):
        """Presses the keys in order and releases them in reverse, as a hand types a shortcut."""
        for name in names:
            self.key(name, True)
            time.sleep(pause)
        for name in reversed(names):
            self.key(name, False)
            time.sleep(pause)

    def button(self, number, down):
        xtest.fake_input(self.display, X.ButtonPress if down else X.ButtonRelease, number)
        self.display.sync()

    def click(self, number=1, pause=0.02):
        self.button(number, True)
        time.sleep(pause)
        self.button(number, False)

    def move(self, x, y):
        xtest.fake_input(self.display, X.MotionNotify, x=int(x), y=int(y))
        self.display.sync()

    def pointer(self):
        reply = self.root.query_pointer()
        return reply.root_x, reply.root_y

    def active_window(self):
        prop = self.root.get_full_property(self._active, X.AnyPropertyType)
        return prop.value[0] if prop and len(prop.value) else None

    def grab_keyboard(self):
        """Holds the keyboard as a password prompt does, from a window of its own; returns the window."""
        window = self.root.create_window(0, 0, 10, 10, 0, self.display.screen().root_depth)
        window.map()
        self.display.sync()
        for _ in range(50):
            if window.grab_keyboard(False, X.GrabModeAsync, X.GrabModeAsync, X.CurrentTime) == X.GrabSuccess:
                return window
            time.sleep(0.02)
        raise RuntimeError("could not grab the keyboard")

    def ungrab_keyboard(self, window):
        self.display.ungrab_keyboard(X.CurrentTime)
        window.destroy()
        self.display.sync()
