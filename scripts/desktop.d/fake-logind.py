#!/usr/bin/python3
"""A small stand-in for org.freedesktop.login1 on the test desktop's private system bus.

What it does, like logind:
- Inhibit(what, who, why, mode) hands out the writing end of a pipe; the lock lasts until every
  copy of that fd is closed.
- Suspend(interactive) emits PrepareForSleep(true), waits until every "sleep" delay lock is
  released (at most InhibitDelayMaxUSec), pauses a moment for the "sleep", then emits
  PrepareForSleep(false).
- ListInhibitors() lists the locks held now.

For tests, the interface org.halcy.FakeLogin1 on the same object returns History(): what happened
in order ("inhibit <what> <who> <mode>", "release <what> <who> <mode>", "prepare true",
"prepare false"), so a test can check that a lock was released only after the sleep was noticed.

Usage: fake-logind.py READY_FILE   (the file is written once the bus name is owned)
"""

import os
import sys
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

BUS_NAME = "org.freedesktop.login1"
OBJECT_PATH = "/org/freedesktop/login1"
MANAGER = "org.freedesktop.login1.Manager"
TEST_INTERFACE = "org.halcy.FakeLogin1"

# logind's default is 5 s; shorter keeps a test that forgets to release its lock from stalling long.
DELAY_MAX_SECONDS = float(os.environ.get("HALCY_FAKE_LOGIND_DELAY_MAX", "2"))
SLEEP_SECONDS = float(os.environ.get("HALCY_FAKE_LOGIND_SLEEP", "0.2"))


class Lock:
    def __init__(self, what, who, why, mode, uid, pid, read_fd):
        self.what, self.who, self.why, self.mode = what, who, why, mode
        self.uid, self.pid, self.read_fd = uid, pid, read_fd

    def blocks_sleep(self):
        return self.mode == "delay" and "sleep" in self.what.split(":")


class Manager(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, OBJECT_PATH)
        self.bus = bus
        self.locks = []
        self.history = []
        self.suspending = False

    # logind methods -------------------------------------------------------------------------
    @dbus.service.method(MANAGER, in_signature="ssss", out_signature="h", sender_keyword="sender")
    def Inhibit(self, what, who, why, mode, sender=None):
        if mode not in ("block", "delay"):
            raise dbus.exceptions.DBusException("Invalid mode " + mode,
                                                name="org.freedesktop.DBus.Error.InvalidArgs")
        uid, pid = self._credentials(sender)
        read_fd, write_fd = os.pipe()
        lock = Lock(str(what), str(who), str(why), str(mode), uid, pid, read_fd)
        self.locks.append(lock)
        self._record("inhibit %s %s %s" % (lock.what, lock.who, lock.mode))
        GLib.unix_fd_add_full(GLib.PRIORITY_DEFAULT, read_fd, GLib.IOCondition.HUP | GLib.IOCondition.ERR,
                              self._on_lock_closed, lock)
        handed_out = dbus.types.UnixFd(write_fd)  # dbus-python dups the fd
        os.close(write_fd)
        return handed_out

    @dbus.service.method(MANAGER, in_signature="", out_signature="a(ssssuu)")
    def ListInhibitors(self):
        return dbus.Array([dbus.Struct((l.what, l.who, l.why, l.mode, dbus.UInt32(l.uid), dbus.UInt32(l.pid)))
                           for l in self.locks], signature="(ssssuu)")

    @dbus.service.method(MANAGER, in_signature="b", out_signature="")
    def Suspend(self, interactive):
        if self.suspending:
            return
        self.suspending = True
        self._record("prepare true")
        self.PrepareForSleep(True)
        deadline = time.monotonic() + DELAY_MAX_SECONDS
        GLib.timeout_add(10, self._wait_for_delay_locks, deadline)

    @dbus.service.signal(MANAGER, signature="b")
    def PrepareForSleep(self, start):
        pass

    # properties a client may read -----------------------------------------------------------
    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        properties = self._properties(interface)
        if name not in properties:
            raise dbus.exceptions.DBusException("No property " + name,
                                                name="org.freedesktop.DBus.Error.UnknownProperty")
        return properties[name]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return dbus.Dictionary(self._properties(interface), signature="sv")

    def _properties(self, interface):
        if interface != MANAGER:
            return {}
        def held(mode):
            return dbus.String(":".join(sorted({w for l in self.locks if l.mode == mode for w in l.what.split(":")})))
        return {"InhibitDelayMaxUSec": dbus.UInt64(int(DELAY_MAX_SECONDS * 1000000)),
                "BlockInhibited": held("block"), "DelayInhibited": held("delay"),
                "PreparingForSleep": dbus.Boolean(self.suspending)}

    # test interface -------------------------------------------------------------------------
    @dbus.service.method(TEST_INTERFACE, in_signature="", out_signature="as")
    def History(self):
        return dbus.Array(self.history, signature="s")

    # internals ------------------------------------------------------------------------------
    def _wait_for_delay_locks(self, deadline):
        if any(l.blocks_sleep() for l in self.locks) and time.monotonic() < deadline:
            return True
        GLib.timeout_add(int(SLEEP_SECONDS * 1000), self._wake)
        return False

    def _wake(self):
        self._record("prepare false")
        self.PrepareForSleep(False)
        self.suspending = False
        return False

    def _on_lock_closed(self, fd, condition, lock):
        os.close(fd)
        if lock in self.locks:
            self.locks.remove(lock)
            self._record("release %s %s %s" % (lock.what, lock.who, lock.mode))
        return False

    def _record(self, entry):
        self.history.append(entry)

    def _credentials(self, sender):
        try:
            bus_object = self.bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
            daemon = dbus.Interface(bus_object, "org.freedesktop.DBus")
            return int(daemon.GetConnectionUnixUser(sender)), int(daemon.GetConnectionUnixProcessID(sender))
        except dbus.exceptions.DBusException:
            return 0, 0


def main():
    ready_file = sys.argv[1] if len(sys.argv) > 1 else None
    DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(os.environ["DBUS_SYSTEM_BUS_ADDRESS"])
    manager = Manager(bus)
    name = dbus.service.BusName(BUS_NAME, bus, do_not_queue=True)
    loop = GLib.MainLoop()
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, 15, loop.quit)
    bus.call_on_disconnection(lambda _conn: loop.quit())
    if ready_file:
        with open(ready_file + ".tmp", "w") as f:
            f.write("%d\n" % os.getpid())
        os.rename(ready_file + ".tmp", ready_file)
    loop.run()
    del name, manager


if __name__ == "__main__":
    main()
