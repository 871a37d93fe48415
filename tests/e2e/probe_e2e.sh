#!/usr/bin/env bash
# The probe against real X clients on a private Xvfb.
# Usage: probe_e2e.sh wm|nowm TALLYWARD-PROBE TW-E2E-SWEEP TW-E2E-QT-CLIENT
#   wm    with openbox running (EWMH: active window, client list, _NET_CLOSE_WINDOW)
#   nowm  without a window manager (input focus, root children, WM_DELETE_WINDOW)
# Checks that the probe names the program file /proc/PID/exe gives for an
# xterm and a Qt window brought to the front, that the list of a data folder
# matches, and that the real sweep closes the xterm windows and nothing else.
# Every process is started here and stopped here by its PID, also on failure;
# every wait is a poll with a deadline that holds on a fully loaded machine.
set -euo pipefail

mode=$1 probe=$2 sweep=$3 qtclient=$4
case $mode in wm | nowm) ;; *) echo "mode must be wm or nowm" >&2; exit 2 ;; esac

. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin "$mode" "e2e ($mode)" tw-e2e
export HOME="$work/home"
mkdir -p "$HOME"
export DBUS_SESSION_BUS_ADDRESS=disabled: QT_QPA_PLATFORM=xcb

start_xvfb
[ "$mode" = nowm ] || start_openbox

# Only mapped windows: focusing one that is not viewable yet is a BadMatch.
find_window() {
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1
}
window_shown() {
    [ -n "$(find_window "$1")" ]
}

xterm -T tw-e2e-xterm-1 &
xterm1=$! && pids+=("$xterm1")
xterm -T tw-e2e-xterm-2 &
xterm2=$! && pids+=("$xterm2")
"$qtclient" tw-e2e-qt >"$work/qt.log" 2>&1 &
qt=$! && pids+=("$qt")

for name in tw-e2e-xterm-1 tw-e2e-xterm-2 tw-e2e-qt; do
    wait_for 90 "window $name" window_shown "$name"
done

bring_to_front() {
    if [ "$mode" = wm ]; then
        timeout 10 xdotool windowactivate --sync "$1" || true
    else
        timeout 10 xdotool windowfocus --sync "$1" || true
    fi
}

probe_names() {  # probe_names HEX-HANDLE: the probe's foreground is that window
    [ "$(probe_cmd | cut -f1)" = "$1" ]
}

# in_front WINDOW HEX-HANDLE: asks again on every poll, since a request made
# while the window was still being mapped can be lost.
in_front() {
    bring_to_front "$1"
    probe_names "$2"
}

# check_foreground NAME PID: the probe names that window and its program file.
check_foreground() {
    local name=$1 pid=$2 wid hex line expected
    wid=$(find_window "$name")
    hex=$(printf '0x%x' "$wid")
    wait_for 90 "$name in front" in_front "$wid" "$hex"
    line=$(probe_cmd)
    expected=$(readlink "/proc/$pid/exe")
    [ "$(cut -f2 <<<"$line")" = "Desktop Application" ] || fail "$name: kind in '$line'"
    [ "$(cut -f3 <<<"$line")" = "$expected" ] || fail "$name: '$line', expected $expected"
    echo "ok: $name in front: $line"
}

check_foreground tw-e2e-xterm-1 "$xterm1"
check_foreground tw-e2e-qt "$qt"
check_foreground tw-e2e-xterm-2 "$xterm2"

# --all: one line per top-level window, each with its own program file.
all=$(probe_cmd --all)
for pair in "tw-e2e-xterm-1:$xterm1" "tw-e2e-xterm-2:$xterm2" "tw-e2e-qt:$qt"; do
    name=${pair%%:*} pid=${pair#*:}
    hex=$(printf '0x%x' "$(find_window "$name")")
    line=$(grep "^$hex	" <<<"$all") || fail "--all lacks $name ($hex): $all"
    [ "$(cut -f3 <<<"$line")" = "$(readlink "/proc/$pid/exe")" ] || fail "--all: $line"
done
echo "ok: --all lists every client"

# A list holding xterm's program file, written through the settings store.
xterm_path=$(readlink "/proc/$xterm1/exe")
sweep_cmd make-list "$work/data" "$xterm_path" "XTerm" || fail "make-list"
line=$(probe_cmd --data-folder "$work/data")
[ "$(cut -f5- <<<"$line")" = "XTerm	1" ] || fail "xterm in front does not match the list: $line"
qtwin=$(find_window tw-e2e-qt)
wait_for 90 "the Qt window in front" in_front "$qtwin" "$(printf '0x%x' "$qtwin")"
line=$(probe_cmd --data-folder "$work/data")
[ "$(cut -f5- <<<"$line")" = "-	0" ] || fail "the Qt window matches the list: $line"
echo "ok: --data-folder matches xterm only"

# The sweep closes both xterm windows and leaves the Qt window alone.
sweep_cmd sweep "$work/data" || fail "sweep"
for pid in "$xterm1" "$xterm2"; do
    wait_for 90 "xterm $pid to close" ended "$pid"
done
window_shown tw-e2e-qt || fail "the sweep closed the Qt window"
running "$qt" || fail "the Qt client ended"
echo "ok: the sweep closed the xterm windows and left the Qt window"

# Without a display the probe says so once and fails.
if err=$(DISPLAY= probe_cmd 2>&1 >/dev/null); then
    fail "the probe succeeded without a display"
fi
[ -n "$err" ] && [ "$(wc -l <<<"$err")" -eq 1 ] || fail "no-display message: '$err'"
echo "ok: no display: $err"

echo "e2e ($mode): all checks passed"
