#!/usr/bin/env python3
"""Prints the PID of the window in front on a desktop without a compositor
interface for it: the one frame the accessibility bus marks active, or, when
none is (an X11 client under XWayland never joins that bus), the X server's
active window. Prints nothing and fails while that is not exactly one.
With --all, prints the PIDs of every window instead, one a line: the frames
on the accessibility bus and the X server's client list."""
import subprocess
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402


def frames(active_only=True):
    pids = set()
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is None:
            continue
        try:
            for j in range(app.get_child_count()):
                frame = app.get_child_at_index(j)
                if frame is None:
                    continue
                states = frame.get_state_set()
                if states.contains(Atspi.StateType.ACTIVE if active_only
                                   else Atspi.StateType.SHOWING):
                    pids.add(frame.get_process_id())
        except GLib.Error:
            continue  # an application that went away meanwhile
    return pids


def xprop(*args):
    return subprocess.run(["xprop", *args], capture_output=True, text=True,
                          timeout=10).stdout


def x11_pid(window):
    out = xprop("-id", window, "_NET_WM_PID")
    return int(out.split()[-1]) if "=" in out else None


def x11_active():
    words = xprop("-root", "_NET_ACTIVE_WINDOW").split()
    window = words[-1] if words else ""
    if not window.startswith("0x") or int(window, 16) == 0:
        return None
    return x11_pid(window)


def x11_clients():
    out = xprop("-root", "_NET_CLIENT_LIST")
    if "#" not in out:
        return set()
    windows = [w.strip() for w in out.split("#", 1)[1].split(",")]
    return {pid for pid in map(x11_pid, windows) if pid}


def main():
    Atspi.set_timeout(3000, 3000)
    if sys.argv[1:] == ["--all"]:
        for pid in sorted(frames(active_only=False) | x11_clients()):
            print(pid)
        return 0
    pids = frames()
    if not pids:
        pid = x11_active()
        pids = {pid} if pid else set()
    if len(pids) != 1:
        return 1
    print(pids.pop())
    return 0


if __name__ == "__main__":
    sys.exit(main())
