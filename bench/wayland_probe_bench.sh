#!/usr/bin/env bash
# The foreground probe on headless Wayland compositors with a browser in
# front: median and maximum of ROUNDS probes, cached (one desktop object) and
# uncached (a new one each time), on sway and on mutter, with Firefox and with
# Chromium. Runs as the test user of tests/e2e/wayland/lib.sh.
# Usage: bench/wayland_probe_bench.sh WAYLAND-PROBE-BENCH VIRTUAL-KEYBOARD [ROUNDS [sway|mutter]]
#   e.g. bench/wayland_probe_bench.sh build/dev/bin/wayland_probe_bench \
#            build/dev/bin/tw_e2e_virtual_keyboard 30
set -euo pipefail

bench=$(realpath "$1") keyboard=$(realpath "$2") rounds=${3:-30}
if [ $# -lt 4 ]; then
    for compositor in sway mutter; do
        "$0" "$bench" "$keyboard" "$rounds" "$compositor"
    done
    exit 0
fi
compositor=$4

. "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/wayland/lib.sh"
wl_begin "$compositor" "wayland probe bench ($compositor)" tw-wlbench
poll_interval=0.1
e2e_on_failure() {
    for log in "$work"/*.log; do
        [ -s "$log" ] && { echo "--- $(basename "$log") (last lines)"; tail -n 15 "$log"; } >&2
    done
}
bench=$(wl_binary "$bench")
keyboard=$(wl_binary "$keyboard")

wl_start_session_bus
if [ "$compositor" = sway ]; then
    wl_start_sway
    wl_start_sway_keyboard "$keyboard"
else
    wl_start_mutter
    wl_start_mutter_keyboard
fi

mkdir -p "$wl_home/www"
printf '<!DOCTYPE html><title>Bench</title><h1>Bench</h1>\n' >"$wl_home/www/bench.html"
chmod -R a+rX "$wl_home/www"
wl_start http python3 -u -m http.server 0 --bind 127.0.0.1 -d "$wl_home/www"
port_known() { grep -q 'port [0-9]' "$work/http.log"; }
wait_for 60 "the web server" port_known
url="http://127.0.0.1:$(sed -n 's/.*port \([0-9]*\).*/\1/p' "$work/http.log" | head -n1)/bench.html"

# measure NAME CMD...: starts the browser, waits until the probe names it
# (a new window gets the focus; on mutter the keyboard must type first),
# runs the benchmark, then stops the browser.
measure() {
    local name=$1 pid
    shift
    wl_start "$name" "$@"
    pid=$last_pid
    reads_address() {
        running "$pid" || fail "$name ended: $(tail -n 5 "$work/$name.log")"
        [ "$compositor" = sway ] || wl_keys Shift_L
        wl_run "$bench" 1 >"$work/first.log" 2>&1 &&
            grep -q "^in front: \(Mozila FireFox\|Google Chrome\)" "$work/first.log"
    }
    wait_for 180 "$name in front with its address" reads_address
    echo "== $compositor, $name"
    wl_run "$bench" "$rounds" || fail "the benchmark failed with $name in front"
    kill "$pid"
    wait_for 60 "$name to end" ended "$pid"
}

mkdir -p "$wl_home/firefox"
[ "$(id -u)" -ne 0 ] || chown "$wl_user:" "$wl_home/firefox"
measure firefox env MOZ_ENABLE_WAYLAND=1 firefox-esr --profile "$wl_home/firefox" --no-remote "$url"
measure chromium chromium --ozone-platform=wayland --force-renderer-accessibility --no-sandbox \
    --disable-gpu --no-first-run --disable-background-networking --disable-component-update \
    --disable-sync --no-default-browser-check --user-data-dir="$wl_home/chromium" "$url"
