#!/usr/bin/env bash
# The GNOME Shell route end to end: a headless gnome-shell with Tallyward's
# extension, two GTK 3 windows, and the route reading the focus and closing
# exactly one window. The shell refuses to be useful as root, so it runs as
# an unprivileged test user, with a private system and session bus.
# Usage: gnome_e2e.sh EXTENSION-FOLDER ROUTE-HELPER PROBE
#   EXTENSION-FOLDER  packaging/gnome-shell-extension (its 43 and 45 variants)
#   ROUTE-HELPER      tw_e2e_gnome_route
#   PROBE             tallyward-probe, which must find the window in front the same way
# Exit status 77 (skipped) when neither root nor password-less sudo is at hand.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
user=${TW_E2E_USER:-tallyward-e2e}

if [ "${1:-}" != --as-user ]; then
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
            exec sudo -n TW_E2E_USER="$user" bash "$0" "$@"
        fi
        echo "SKIP: the shell needs a test user, which needs root or sudo"
        exit 77
    fi
    id -u "$user" >/dev/null 2>&1 || useradd -m -s /bin/bash "$user"
    top=$(mktemp -d /tmp/tw-gnome-XXXXXX)
    chmod 755 "$top"
    chown "$user:" "$top"
    child=
    trap '[ -z "$child" ] || kill "$child" 2>/dev/null; wait; rm -rf "$top"' EXIT
    trap 'exit 143' TERM INT HUP
    runuser -u "$user" -- env -i PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 \
        TW_E2E_USER="$user" bash "$0" --as-user "$top" "$(readlink -f "$1")" "$(readlink -f "$2")" \
        "$(readlink -f "$3")" &
    child=$!
    status=0
    wait "$child" || status=$?
    child=
    exit "$status"
fi

# As the test user, in a folder of its own.
top=$2 extensions=$3 helper=$4 probe=$5
export HOME="$top/home" TMPDIR="$top/tmp" XDG_RUNTIME_DIR="$top/runtime"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
mkdir -p "$HOME" "$TMPDIR" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# shellcheck source=../lib.sh
. "$here/../lib.sh"
e2e_begin gnome "GNOME Shell end-to-end test" tw-gnome

e2e_on_failure() {
    echo "--- gnome-shell's log (end):" >&2
    tail -n 40 "$work/shell.log" >&2
    echo "--- windows:" >&2
    "$helper" list >&2
}

# The bus daemons write their address to fd 3 once they listen.
start_bus() {  # NAME ARGS...
    local name=$1
    shift
    dbus-daemon --nofork --nopidfile --print-address=3 "$@" 3>"$work/$name.address" 2>"$work/$name.log" &
    pids+=($!)
    wait_for 60 "the $name bus" grep -q . "$work/$name.address"
}
cat >"$work/system.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$work/system_bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_type="method_return"/>
    <allow send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="signal"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
  </policy>
</busconfig>
CONF
start_bus system --config-file="$work/system.conf"
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/system_bus"
start_bus session --session
DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/session.address")
export DBUS_SESSION_BUS_ADDRESS

# The variant for this shell, enabled before the shell starts.
major=$(gnome-shell --version | sed -n 's/^GNOME Shell \([0-9]*\).*/\1/p')
[ -n "$major" ] || fail "no version from gnome-shell --version"
variant=43
[ "$major" -lt 45 ] || variant=45
mkdir -p "$XDG_DATA_HOME/gnome-shell/extensions"
cp -r "$extensions/$variant/focus@tallyward.org" "$XDG_DATA_HOME/gnome-shell/extensions/"
gsettings set org.gnome.shell disable-user-extensions false
gsettings set org.gnome.shell enabled-extensions "['focus@tallyward.org']"

export WAYLAND_DISPLAY=wayland-g GDK_BACKEND=wayland NO_AT_BRIDGE=1
gnome-shell --headless --wayland --no-x11 --virtual-monitor 1280x800 \
    --wayland-display="$WAYLAND_DISPLAY" >"$work/shell.log" 2>&1 &
shell=$!
pids+=("$shell")
# The route opens once the extension owns its name.
wait_for 240 "the extension on the session bus" "$helper" focus
# Out of the overview, where no window has the focus.
"$helper" keyboard >"$work/keyboard" 2>&1 &
pids+=($!)
wait_for 60 "a keyboard and Escape" grep -q ready "$work/keyboard"

focus_pid_is() { [ "$("$helper" focus | cut -d' ' -f2)" = "$1" ]; }
window_of() { "$helper" list | awk -v pid="$1" '$2 == pid { print $1 }'; }
has_window() { [ -n "$(window_of "$1")" ]; }

# Each new window takes the focus.
gtk3-demo >"$work/demo1.log" 2>&1 &
first=$!
pids+=("$first")
wait_for 120 "the first window to take the focus" focus_pid_is "$first"
gtk3-demo >"$work/demo2.log" 2>&1 &
second=$!
pids+=("$second")
wait_for 120 "the second window to take the focus" focus_pid_is "$second"
"$helper" focus | grep -q "^[0-9]* $second gtk3-demo 0$" ||
    fail "focus: $("$helper" focus), not the native window of gtk3-demo $second"
[ "$("$helper" list | wc -l)" -eq 2 ] || fail "windows: $("$helper" list)"
timeout -k 5 60 "$probe" --verbose >"$work/probe.out" 2>"$work/probe.err" ||
    fail "tallyward-probe: $(cat "$work/probe.err")"
grep -q "route: gnome-extension$" "$work/probe.err" ||
    fail "tallyward-probe took another route: $(cat "$work/probe.err")"
grep -q "	/usr/bin/gtk3-demo	" "$work/probe.out" ||
    fail "tallyward-probe: $(cat "$work/probe.out")"

echo "GetFocus through the route, median of 50: $("$helper" bench 50) ms"

[ "$("$helper" close 12345)" = false ] || fail "closing an unknown window succeeded"
id=$(window_of "$second")
[ "$("$helper" close "$id")" = true ] || fail "closing window $id failed"
# The demo ends with its last window; the other one stays and gets the focus.
wait_for 60 "the second demo to end" ended "$second"
wait_for 60 "the focus to return to the first window" focus_pid_is "$first"
running "$first" || fail "the first demo ended too"
[ "$("$helper" list | awk '{ print $2 }')" = "$first" ] || fail "windows left: $("$helper" list)"
running "$shell" || fail "gnome-shell ended"
echo "GNOME Shell end-to-end test passed"
