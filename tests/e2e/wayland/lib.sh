# Harness for end-to-end scripts on headless Wayland compositors (sourced,
# not run), on top of ../lib.sh (work folder, processes stopped by PID,
# bounded polls).
#
# A compositor refuses to run as root, so when the script runs as root (as in
# CI) every desktop process runs as an unprivileged test user, created on
# first use; run as another user, the script's own user is the test user.
# Each run gets a private runtime folder and a private session bus with
# accessibility switched on; all of it, and every process started (and what
# those started, such as the accessibility bus), is stopped by PID on exit,
# also on failure.
#
#   wl_begin TAG TITLE WORK-PREFIX    instead of e2e_begin; sets $wl_home
#   wl_run CMD...                     runs CMD as the test user in the session
#   wl_start NAME CMD...              the same in the background, output in
#                                     $work/NAME.log; sets $last_pid
#   wl_start_session_bus              then DBUS_SESSION_BUS_ADDRESS is set
#   wl_start_sway | wl_start_mutter   then WAYLAND_DISPLAY and DISPLAY are set
#   wl_start_sway_keyboard PROGRAM    the wlroots virtual keyboard
#   wl_start_mutter_keyboard          the remote desktop keyboard; wl_keys
#                                     KEY... presses a chord on it
#   wl_binary PATH                    PATH, or a copy the test user may run
#
# The session's variables (HOME, XDG_RUNTIME_DIR, WAYLAND_DISPLAY, DISPLAY...)
# are the shell's own and not exported: wl_run passes them (and PATH, LANG)
# to the user's processes alone. So the private runtime folder in a
# process's environment marks it as one of this session's, even after its
# parent left it to init (as D-Bus activation does), and cleanup finds it.

# shellcheck source=../lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"

wl_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
wl_user=${TW_WAYLAND_USER:-twwayland}
wl_session_vars=(HOME XDG_RUNTIME_DIR XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME TMPDIR
    DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY DISPLAY XAUTHORITY SWAYSOCK)

wl_begin() {
    e2e_begin "$@"
    trap wl_cleanup EXIT
    # A failure inside a polled condition (whose output wait_for drops) is
    # still told.
    exec {wl_stderr}>&2
    # The work folder is root's and private; the user gets a folder inside.
    chmod 711 "$work"
    if [ "$(id -u)" -eq 0 ]; then
        id -u "$wl_user" >/dev/null 2>&1 || useradd -m -s /bin/sh "$wl_user" ||
            id -u "$wl_user" >/dev/null 2>&1 || fail "cannot create the user $wl_user"
        wl_setpriv=(setpriv --reuid="$(id -u "$wl_user")" --regid="$(id -g "$wl_user")"
            --init-groups --)
        # XWayland puts its socket here; created by root as an X server would.
        mkdir -p /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix
    else
        wl_setpriv=()
    fi
    wl_home="$work/user"
    mkdir -p "$wl_home/home" "$wl_home/runtime" "$wl_home/tmp"
    [ "$(id -u)" -ne 0 ] || chown -R "$wl_user:" "$wl_home"
    chmod 700 "$wl_home/runtime"
    unset "${wl_session_vars[@]}" AT_SPI_BUS_ADDRESS
    HOME="$wl_home/home" XDG_RUNTIME_DIR="$wl_home/runtime" TMPDIR="$wl_home/tmp"
    XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache"
    XDG_DATA_HOME="$HOME/.local/share"
}

fail() {
    echo "FAIL ($e2e_tag): $*" >&"${wl_stderr:-2}"
    exit 1
}

wl_cleanup() {
    local status=$? pid extra=()
    # Whatever the session started on its own (the accessibility bus and its
    # registry, activated through the session bus) goes after the programs:
    # e2e_cleanup stops the last started first.
    for pid in $(wl_session_processes); do
        [[ " ${pids[*]} " == *" $pid "* ]] || extra+=("$pid")
    done
    pids=("${extra[@]}" "${pids[@]}")
    set +e
    (exit "$status")
    e2e_cleanup
}

# wl_session_processes: the PIDs of the processes with this session's
# runtime folder in their environment, those this script started included.
wl_session_processes() {
    [ -n "${XDG_RUNTIME_DIR:-}" ] || return 0
    grep -lzx "XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR" /proc/[0-9]*/environ 2>/dev/null |
        sed -n 's|^/proc/\([0-9]*\)/environ$|\1|p'
}

# wl_env: the session's variables that are set, as NAME=VALUE words.
wl_env() {
    local name
    echo "PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 USER=$wl_user LOGNAME=$wl_user"
    for name in "${wl_session_vars[@]}"; do
        [ -z "${!name:-}" ] || echo "$name=${!name}"
    done
}

wl_run() {
    local vars=()
    mapfile -t vars < <(wl_env | tr ' ' '\n')
    "${wl_setpriv[@]}" env -i "${vars[@]}" "$@"
}

# setpriv and env each replace themselves by the next, so $! is the
# program's own PID.
wl_start() {
    local name=$1 vars=()
    shift
    mapfile -t vars < <(wl_env | tr ' ' '\n')
    "${wl_setpriv[@]}" env -i "${vars[@]}" "$@" >"$work/$name.log" 2>&1 </dev/null &
    last_pid=$!
    pids+=("$last_pid")
}

# wl_binary PATH: prints PATH when the test user can run it, else a copy in
# the work folder, with the template databases a program finds beside it.
wl_binary() {
    if wl_run test -x "$1"; then
        echo "$1"
        return
    fi
    mkdir -p "$work/bin"
    cp "$1" "$work/bin/"
    cp "$(dirname "$1")"/*.sqlite "$work/bin/" 2>/dev/null || true
    chmod -R a+rX "$work/bin"
    echo "$work/bin/$(basename "$1")"
}

wl_start_session_bus() {
    wl_run dbus-daemon --session --fork --nopidfile --print-address=3 --print-pid=4 \
        3>"$work/bus.address" 4>"$work/bus.pid" </dev/null >"$work/bus.log" 2>&1 ||
        fail "the session bus did not start: $(cat "$work/bus.log")"
    pids+=("$(head -n1 "$work/bus.pid")")
    DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus.address")
    # Set before any application starts: Qt and the browsers look only then.
    wait_for 60 "accessibility to be switched on" wl_run gdbus call --session \
        --dest org.a11y.Bus --object-path /org/a11y/bus \
        --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>'
}

# --- sway -----------------------------------------------------------------------

wl_start_sway() {
    local conf="$wl_home/sway.conf"
    # No bar, no wallpaper; the exec line reports the X display sway made for
    # its XWayland (started when the first X client comes).
    cat >"$conf" <<EOF
output HEADLESS-1 resolution 1280x800
xwayland enable
exec echo "\$DISPLAY" >$wl_home/sway.display
EOF
    chmod a+r "$conf"
    wl_start sway env WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
        sway -c "$conf"
    wl_compositor_pid=$last_pid
    wait_for 60 "sway's IPC socket" wl_sway_socket
    SWAYSOCK=$(wl_sway_socket)
    wait_for 60 "sway to answer" wl_run swaymsg -t get_version
    wait_for 60 "sway's Wayland socket" wl_wayland_socket
    WAYLAND_DISPLAY=$(wl_wayland_socket)
    wait_for 60 "sway to name its X display" grep -q '^:[0-9]' "$wl_home/sway.display"
    DISPLAY=$(head -n1 "$wl_home/sway.display")
}

wl_sway_socket() {
    running "$wl_compositor_pid" || fail "sway ended: $(tail -n 5 "$work/sway.log")"
    compgen -G "$XDG_RUNTIME_DIR/sway-ipc.*.sock" | head -n1 | grep .
}

wl_wayland_socket() {
    local socket
    for socket in "$XDG_RUNTIME_DIR"/wayland-*; do
        [ -S "$socket" ] && { basename "$socket"; return 0; }
    done
    return 1
}

# wl_sway_focused: the PID of the window sway has focused.
# wl_sway_pids: the PIDs of all its windows, one a line.
wl_sway_focused() { wl_sway_views focused; }
wl_sway_pids() { wl_sway_views all; }
wl_sway_views() {
    wl_run swaymsg -t get_tree | python3 -c '
import json, sys
def walk(node):
    if node.get("pid") and (sys.argv[1] == "all" or node.get("focused")):
        yield node["pid"]
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        yield from walk(child)
pids = list(walk(json.load(sys.stdin)))
print("\n".join(map(str, pids)))
sys.exit(0 if pids else 1)' "$1"
}

# wl_start_sway_keyboard PROGRAM: tw_e2e_virtual_keyboard.
wl_start_sway_keyboard() {
    wl_start keyboard "$1"
    local keyboard_pid=$last_pid
    keyboard_ready() {
        running "$keyboard_pid" || fail "the virtual keyboard ended: $(cat "$work/keyboard.log")"
        grep -qx ready "$work/keyboard.log"
    }
    wait_for 60 "the virtual keyboard" keyboard_ready
}

# --- mutter ---------------------------------------------------------------------

wl_start_mutter() {
    WAYLAND_DISPLAY=tw-wayland-0
    # Settings in memory: there is no settings daemon in the private session.
    wl_start mutter env GSETTINGS_BACKEND=memory mutter --headless --wayland \
        --virtual-monitor 1280x800 --wayland-display="$WAYLAND_DISPLAY"
    wl_compositor_pid=$last_pid
    mutter_up() {
        running "$wl_compositor_pid" || fail "mutter ended: $(tail -n 5 "$work/mutter.log")"
        [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] &&
            grep -q 'Using public X11 display' "$work/mutter.log" &&
            compgen -G "$XDG_RUNTIME_DIR/.mutter-Xwaylandauth.*" >/dev/null
    }
    wait_for 90 "mutter and its XWayland" mutter_up
    DISPLAY=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$work/mutter.log" | head -n1)
    XAUTHORITY=$(compgen -G "$XDG_RUNTIME_DIR/.mutter-Xwaylandauth.*" | head -n1)
    wait_for 60 "mutter's XWayland to answer" wl_run xdpyinfo
}

# The remote desktop session's keyboard stays while its helper runs; the
# helper takes one chord per line from a pipe held open here.
wl_start_mutter_keyboard() {
    mkfifo "$work/keys"
    local vars=()
    mapfile -t vars < <(wl_env | tr ' ' '\n')
    "${wl_setpriv[@]}" env -i "${vars[@]}" python3 -u "$wl_dir/mutter_keyboard.py" \
        <"$work/keys" >"$work/keyboard.log" 2>&1 &
    local keyboard_pid=$!
    pids+=("$keyboard_pid")
    # Opened to read and write, the pipe never waits for the other end.
    exec {wl_keys_fd}<>"$work/keys"
    keyboard_ready() {
        running "$keyboard_pid" || fail "the remote desktop keyboard ended: $(cat "$work/keyboard.log")"
        grep -qx ready "$work/keyboard.log"
    }
    wait_for 60 "the remote desktop keyboard" keyboard_ready
    wl_keys_done=0
    # mutter gives windows the keyboard focus only once the device has typed.
    wl_keys Shift_L
}

# wl_keys KEY...: presses the keys in order and lets them go in reverse
# (keysym names: Alt_L Tab Escape ...), then waits for the helper.
wl_keys() {
    echo "$*" >&"$wl_keys_fd"
    wl_keys_done=$((wl_keys_done + 1))
    keys_pressed() { [ "$(grep -c '^done' "$work/keyboard.log")" -ge "$wl_keys_done" ]; }
    wait_for 30 "the keys $*" keys_pressed
}
