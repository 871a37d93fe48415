#!/usr/bin/env bash
# The probe and the sweep on a headless Wayland compositor, as the test user
# of lib.sh with a private session bus and accessibility on.
# Usage: wayland_e2e.sh sway|mutter TALLYWARD-PROBE TW-E2E-SWEEP VIRTUAL-KEYBOARD
# Starts the compositor with a keyboard, then a GTK 3 program, Firefox and
# Chromium (native Wayland, each showing a page served on 127.0.0.1) and an
# xterm under XWayland. Brings each to the front in turn (sway: by its IPC;
# mutter: Alt+Tab on the remote desktop keyboard), checked apart from the
# program (sway's tree; on mutter the active frame on the accessibility bus,
# or the X11 active window), and checks that the probe names that program's
# file and, for a browser, the address. Then, with a list holding one of
# them, that one sweep closes exactly that window and the others stay.
set -euo pipefail

compositor=$1 probe=$2 sweep=$3 keyboard=$4
case $compositor in sway | mutter) ;; *) echo "compositor must be sway or mutter" >&2; exit 2 ;; esac

. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
wl_begin "$compositor" "wayland e2e ($compositor)" tw-wayland
poll_interval=0.1
e2e_on_failure() {
    for log in "$work"/*.log; do
        [ -s "$log" ] && { echo "--- $(basename "$log") (last lines)"; tail -n 15 "$log"; } >&2
    done
}
probe=$(wl_binary "$probe")
sweep=$(wl_binary "$sweep")
keyboard=$(wl_binary "$keyboard")
started=$SECONDS
step() { echo "[$((SECONDS - started)) s] $*"; }

# --- session, compositor, keyboard ------------------------------------------------
wl_start_session_bus
case $compositor in
sway)
    wl_start_sway
    wl_start_sway_keyboard "$keyboard"
    ;;
mutter)
    wl_start_mutter
    wl_start_mutter_keyboard
    ;;
esac
step "$compositor runs on $WAYLAND_DISPLAY, XWayland on $DISPLAY"

# --- the web server ---------------------------------------------------------------
www="$wl_home/www"
mkdir -p "$www"
printf '<!DOCTYPE html><title>Page Fox</title><h1>Fox</h1>\n' >"$www/fox.html"
printf '<!DOCTYPE html><title>Page Chrome</title><h1>Chrome</h1>\n' >"$www/chrome.html"
chmod -R a+rX "$www"
# -u: the port line must reach the log at once, not when the buffer fills.
wl_start http python3 -u -m http.server 0 --bind 127.0.0.1 -d "$www"
port_known() { grep -q 'port [0-9]' "$work/http.log"; }
wait_for 60 "the web server" port_known
port=$(sed -n 's/.*port \([0-9]*\).*/\1/p' "$work/http.log" | head -n1)
fox_url="http://127.0.0.1:$port/fox.html"
chrome_url="http://127.0.0.1:$port/chrome.html"

# --- the programs -----------------------------------------------------------------
# front_pid: the PID of the window in front, as the accessibility bus (the
# one active frame) or for an X11 client the X server tell it, and on sway
# its tree as well; nothing while they disagree, or none or several claim it.
front_pid() {
    local pid
    pid=$(wl_run python3 "$wl_dir/front_pid.py") || return 1
    [ "$compositor" = mutter ] || [ "$(wl_sway_focused)" = "$pid" ] || return 1
    echo "$pid"
}
front_is() { [ "$(front_pid 2>/dev/null)" = "$1" ]; }
front_changed() {
    local now
    now=$(front_pid 2>/dev/null) && [ "$now" != "$1" ]
}

declare -A app_pid=()
# start_app NAME CMD...: starts it and waits until its window is in front
# (each compositor gives a new window the focus).
start_app() {
    local name=$1
    shift
    wl_start "$name" "$@"
    app_pid[$name]=$last_pid
    local pid=$last_pid nudge=$SECONDS
    app_in_front() {
        running "$pid" || fail "$name ended: $(tail -n 5 "$work/$name.log")"
        front_is "$pid" && return 0
        # mutter may leave a new window without the keyboard focus until the
        # keyboard types; a Shift now and then does nothing else.
        if [ "$compositor" = mutter ] && [ "$SECONDS" -ge "$nudge" ]; then
            wl_keys Shift_L
            nudge=$((SECONDS + 2))
        fi
        return 1
    }
    wait_for 120 "$name in front" app_in_front
    step "$name (pid $pid) is in front"
}

start_app gtk env GDK_BACKEND=wayland gtk3-demo
profile="$wl_home/firefox"
mkdir -p "$profile"
quiet_firefox_profile "$profile"
[ "$(id -u)" -ne 0 ] || chown -R "$wl_user:" "$profile"
start_app firefox env MOZ_ENABLE_WAYLAND=1 firefox-esr --profile "$profile" --no-remote "$fox_url"
# The flags keep it off the closed network; no sandbox, which needs
# privileges a container may not give.
start_app chromium chromium --ozone-platform=wayland --force-renderer-accessibility \
    --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --no-default-browser-check \
    --user-data-dir="$wl_home/chromium" "$chrome_url"
start_app xterm xterm

# --- each in front in turn ------------------------------------------------------
# to_front NAME: brings its window to the front and waits until it is there.
# On mutter each Alt+Shift+Tab brings the window used longest ago to the
# front, so as many presses as windows reach every one (Alt+Tab only swaps
# the last two).
to_front() {
    local name=$1 pid=${app_pid[$1]} presses=0 before
    if [ "$compositor" = sway ]; then
        wl_run swaymsg "[pid=$pid] focus" >/dev/null || fail "sway did not focus $name"
        wait_for 60 "$name in front" front_is "$pid"
        return
    fi
    until front_is "$pid"; do
        [ "$presses" -lt "${#app_pid[@]}" ] || fail "$name not in front after $presses presses"
        before=$(front_pid) || before=""
        wl_keys Alt_L Shift_L Tab
        presses=$((presses + 1))
        wait_for 30 "the front to change from '$before'" front_changed "$before"
    done
}

# probe_shows NAME: the foreground probe names NAME's program file and, for
# a browser, its address, found by an expected route; sets $line and $route.
# A probe may give up on a browser that answers too slowly (it would try
# again on the next scan), so every check polls.
declare -A address=([firefox]=$fox_url [chromium]=${chrome_url#http://})
probe_shows() {
    local name=$1 routes
    shift
    line=$(wl_run timeout -k 5 60 "$probe" --verbose "$@" 2>"$work/probe.log") || return 1
    echo "$line" >>"$work/probe.log"
    route=$(sed -n 's/^tallyward-probe: route: //p' "$work/probe.log")
    # The compositor's own interface where it has one, else the active frame.
    case $name in
    xterm) routes="x11" ;;
    *) routes="accessibility $compositor" ;;
    esac
    [[ " $routes " == *" $route "* ]] || return 1
    [ "$(cut -f3 <<<"$line")" = "$(readlink "/proc/${app_pid[$name]}/exe")" ] &&
        [ "$(cut -f4 <<<"$line")" = "${address[$name]:-}" ]
}

for name in gtk firefox chromium xterm; do
    to_front "$name"
    wait_for 90 "the probe to name $name" probe_shows "$name"
    step "$name in front, by $route: $line"
done

# --- the sweep ------------------------------------------------------------------
# One listed window, not in front: sway's by its address, mutter's by its
# program file (neither has an interface to close a window of its own).
data="$wl_home/data"
case $compositor in
sway)
    listed=chromium
    wl_run "$sweep" make-site-list "$data" "127.0.0.1:$port/chrome" "Chrome page" ||
        fail "make-site-list"
    ;;
mutter)
    listed=firefox
    wl_run "$sweep" make-list "$data" "$(readlink "/proc/${app_pid[firefox]}/exe")" "Firefox" ||
        fail "make-list"
    ;;
esac
to_front gtk
wait_for 90 "the probe to name gtk with the list" probe_shows gtk --data-folder "$data"
[ "$(cut -f5- <<<"$line")" = "-	0" ] || fail "the GTK program matches the list: $line"

# windowed PID: the process still shows a window.
windowed() {
    if [ "$compositor" = sway ]; then
        wl_sway_pids | grep -x "$1" >/dev/null
    else
        wl_run python3 "$wl_dir/front_pid.py" --all | grep -x "$1" >/dev/null
    fi
}
for name in "${!app_pid[@]}"; do
    windowed "${app_pid[$name]}" || fail "$name shows no window before the sweep"
done
# swept: one sweep, as on one scan tick (a sweep whose read gave up does
# nothing; the next tick tries again), then the listed window is gone.
swept() {
    wl_run timeout -k 5 60 "$sweep" sweep "$data" >>"$work/sweep.log" 2>&1 || return 1
    ! windowed "${app_pid[$listed]}"
}
wait_for 90 "the sweep to close the $listed window" swept
# A busy application may miss one accessibility read: the others must show
# their windows again within the deadline, a closed one never would.
for name in "${!app_pid[@]}"; do
    [ "$name" = "$listed" ] || wait_for 30 "$name to show its window after the sweep" \
        windowed "${app_pid[$name]}"
done
step "the sweep closed the $listed window and no other"
step "all checks passed"
