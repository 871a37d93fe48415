#!/usr/bin/env python3
"""Holds a remote desktop session open on mutter's session bus, which gives the
headless compositor a keyboard (GTK marks a window active only when it has
keyboard focus). Prints "ready" once the session runs; then reads chords, one
per line of key names ("Alt_L Tab"), presses them in order, lets them go in
reverse and prints "done" after each. A last word "xN" taps the last key N
times while the others are held ("Alt_L Tab x3"). Ends at the end of its
input."""
import sys

from gi.repository import Gio, GLib

SERVICE = "org.gnome.Mutter.RemoteDesktop"
SESSION = SERVICE + ".Session"
TIMEOUT_MS = 10000
KEYSYMS = {"Alt_L": 0xFFE9, "Shift_L": 0xFFE1, "Control_L": 0xFFE3, "Super_L": 0xFFEB,
           "Tab": 0xFF09, "Escape": 0xFF1B, "Return": 0xFF0D}

bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)


def call(path, interface, method, args=None):
    return bus.call_sync(SERVICE, path, interface, method, args, None,
                         Gio.DBusCallFlags.NONE, TIMEOUT_MS, None)


def key(session, keysym, pressed):
    call(session, SESSION, "NotifyKeyboardKeysym", GLib.Variant("(ub)", (keysym, pressed)))


def main():
    session = call("/org/gnome/Mutter/RemoteDesktop", SERVICE, "CreateSession").unpack()[0]
    call(session, SESSION, "Start")
    print("ready", flush=True)
    for line in sys.stdin:
        words = line.split()
        taps = 1
        if len(words) > 1 and words[-1][0] == "x" and words[-1][1:].isdigit():
            taps = int(words.pop()[1:])
        try:
            keysyms = [KEYSYMS[name] for name in words]
        except KeyError as unknown:
            print(f"unknown key {unknown}", file=sys.stderr, flush=True)
            return 1
        for keysym in keysyms[:-1]:
            key(session, keysym, True)
        for _ in range(taps):
            key(session, keysyms[-1], True)
            key(session, keysyms[-1], False)
        for keysym in reversed(keysyms[:-1]):
            key(session, keysym, False)
        print("done", flush=True)
    call(session, SESSION, "Stop")
    return 0


if __name__ == "__main__":
    sys.exit(main())
