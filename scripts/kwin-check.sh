#!/usr/bin/env bash
# Checks the KWin route against a real, headless KWin: a native Wayland
# window (gtk3-demo) and an X11 one (xterm under XWayland) are opened, and
# tw_kwin_check follows the focus between them, lists them and closes the
# X11 one. Manual, not part of the test suite; installs kwin-wayland and
# the clients first when they are missing (scripts/install-deps.sh kwin).
#
# Runs as root: KWin runs as the unprivileged user kwtest (created when
# missing, removed again afterwards) on a session bus of its own. KWin's
# program carries a file capability this kind of container cannot grant, so
# a copy without it runs; the copy must keep the name kwin_wayland.
# Usage: scripts/kwin-check.sh [path/to/tw_kwin_check]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
check=${1:-$top/build/dev/bin/tw_kwin_check}
[ "$(id -u)" = 0 ] || { echo "run as root" >&2; exit 2; }
[ -x "$check" ] || { echo "no $check: build tw_kwin_check" >&2; exit 2; }
"$top/scripts/install-deps.sh" kwin

user=kwtest
created_user=0
work=$(mktemp -d /tmp/kwin-check.XXXXXX)
session=""
cleanup() {
    if [ -n "$session" ] && kill -0 "$session" 2>/dev/null; then
        kill "$session" 2>/dev/null || true
        wait "$session" 2>/dev/null || true
    fi
    rm -rf "$work"
    if [ "$created_user" = 1 ]; then
        userdel -r "$user" 2>/dev/null || true
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if ! id "$user" >/dev/null 2>&1; then
    useradd -m "$user"
    created_user=1
fi
chmod 755 "$work"
cp /usr/bin/kwin_wayland "$work/kwin_wayland"  # cp leaves the capability behind
cp "$check" "$work/tw_kwin_check"
mkdir "$work/run"
chown "$user" "$work/run"
chmod 700 "$work/run"

cat >"$work/session.sh" <<'EOF'
#!/usr/bin/env bash
# Inside the private session bus, as the test user.
set -euo pipefail
work=$1
pids=()
stop() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
}
trap stop EXIT
# Polls `$@` every 0.1 s for up to 30 s.
wait_for() {
    for _ in $(seq 300); do
        if "$@" >/dev/null 2>&1; then return 0; fi
        sleep 0.1
    done
    echo "timed out waiting for: $*" >&2
    return 1
}

"$work/kwin_wayland" --virtual --xwayland --width 1280 --height 800 --socket wayland-k \
    --no-lockscreen --no-global-shortcuts >"$work/run/kwin.log" 2>&1 &
kwin=$!
pids+=("$kwin")
wait_for gdbus call --session --dest org.kde.KWin --object-path /Scripting \
    --method org.kde.kwin.Scripting.isScriptLoaded none
wait_for pgrep -P "$kwin" -x Xwayland
display=$(ps -o args= -p "$(pgrep -P "$kwin" -x Xwayland)" | awk '{print $2}')
echo "$("$work/kwin_wayland" --version 2>/dev/null), XWayland display $display"

WAYLAND_DISPLAY=wayland-k GDK_BACKEND=wayland gtk3-demo >"$work/run/gtk.log" 2>&1 &
gtk=$!
pids+=("$gtk")
DISPLAY=$display xterm >"$work/run/xterm.log" 2>&1 &
xterm=$!
pids+=("$xterm")
echo "gtk3-demo pid $gtk, xterm pid $xterm"
"$work/tw_kwin_check" "$gtk" "$xterm"
EOF
chmod 755 "$work/session.sh"

runuser -u "$user" -- env -i HOME="/home/$user" PATH=/usr/bin:/bin \
    XDG_RUNTIME_DIR="$work/run" dbus-run-session -- "$work/session.sh" "$work" &
session=$!
status=0
wait "$session" || status=$?
session=""
exit "$status"
