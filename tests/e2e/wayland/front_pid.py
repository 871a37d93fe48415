#!/usr/bin/env python3
"""Prints the PID of the window in front on a desktop without a compositor
interface for it: the one frame the accessibility bus marks active, or, when
none is (an X11 client under XWayland never joins that bus), the X server's
active window. Prints nothing and fails while that is not exactly one."""
import subprocess
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def active_frames():
    pids = set()
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is None:
            continue
        try:
            for j in range(app.get_child_count()):
                frame = app.get_child_at_index(j)
                if frame is not None and frame.get_state_set().contains(Atspi.StateType.ACTIVE):
                    pids.add(frame.get_process_id())
        except gi.repository.GLib.Error:
            continue  # an application that went away meanwhile
    return pids


def x11_active():
    out = subprocess.run(["xprop", "-root", "_NET_ACTIVE_WINDOW"], capture_output=True,
                         text=True, timeout=10).stdout
    window = out.split()[-1] if out.split() else ""
    if not window.startswith("0x") or int(window, 16) == 0:
        return None
    out = subprocess.run(["xprop", "-id", window, "_NET_WM_PID"], capture_output=True,
                         text=True, timeout=10).stdout
    return int(out.split()[-1]) if "=" in out else None


def main():
    Atspi.set_timeout(3000, 3000)
    pids = active_frames()
    if not pids:
        pid = x11_active()
        pids = {pid} if pid else set()
    if len(pids) != 1:
        return 1
    print(pids.pop())
    return 0


if __name__ == "__main__":
    sys.exit(main())
