#!/usr/bin/env bash
# The wlroots window-list route against a real headless sway.
# Usage: foreign_toplevel_e2e.sh TW-E2E-FTL-CHECK
# Opens the route before any window exists, then starts two gtk3-demo windows
# (same app_id, same title) and a gtk3-widget-factory, focuses each with
# swaymsg and compares the route's focused window and list with sway's own
# tree; closes one of the two look-alike windows by the route's id and checks
# that exactly that one went; checks that opening on a stopped sway gives up
# within seconds; finally stops sway under the route, which must
# then answer nothing and not hang.
# sway refuses root, so as root everything runs as the user ftltest (created
# when missing) with a private runtime folder, home and session bus. Every
# process is stopped by its PID on exit, also on failure; every wait is a
# poll with a deadline that holds on a fully loaded machine.
set -euo pipefail

check=$1
python=/usr/bin/python3
[ -x "$python" ] || python=python3

pids=()
work=$(mktemp -d "${TMPDIR:-/tmp}/tw-ftl-XXXXXX")
chmod 755 "$work"

fail() {
    echo "FAIL (wayland ftl): $*" >&2
    exit 1
}

zombie() {  # the process may be gone by the time its state is read
    sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | grep -q '^Z'
}
running() { kill -0 "$1" 2>/dev/null && ! zombie "$1"; }

cleanup() {
    local status=$? pid i
    # The route first, then the windows, sway and the bus; SIGKILL after 5 s.
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        pid=${pids[i]}
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 100); do
            running "$pid" || break
            sleep 0.05
        done
        kill -9 "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    if [ "$status" -ne 0 ]; then
        for log in "$work"/*.log; do
            [ -s "$log" ] || continue
            echo "--- $(basename "$log") (last lines)" >&2
            tail -n 25 "$log" >&2
        done
        echo "wayland ftl e2e: FAILED" >&2
    fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap "exit 143" TERM INT HUP

# wait_for SECONDS DESCRIPTION COMMAND...: polls until COMMAND succeeds.
wait_for() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        [ "$SECONDS" -lt "$deadline" ] || fail "timed out waiting for $what"
        sleep 0.05
    done
}

as_user=()
owner=$(id -un)
if [ "$(id -u)" -eq 0 ]; then
    id ftltest >/dev/null 2>&1 || useradd -m ftltest 2>/dev/null || id ftltest >/dev/null ||
        fail "cannot create the user ftltest"
    owner=ftltest
    as_user=(setpriv --reuid=ftltest --regid=ftltest --init-groups)
fi
run="$work/run"
mkdir -m 700 "$run" "$work/home"
chown "$owner:" "$run" "$work/home"
printf 'xwayland disable\n' >"$work/sway.conf"
chmod 644 "$work/sway.conf"

# "${as_test_user[@]}" NAME=VALUE... COMMAND...: as the test user, in the
# private session, with nothing else inherited. A simple command, so that $!
# is the command itself (setpriv and env exec it).
set_test_user() {
    as_test_user=("${as_user[@]}" env -i HOME="$work/home" PATH=/usr/local/bin:/usr/bin:/bin
        LANG=C.UTF-8 XDG_RUNTIME_DIR="$run" ${bus:+DBUS_SESSION_BUS_ADDRESS="$bus"}
        ${ASAN_OPTIONS:+ASAN_OPTIONS="$ASAN_OPTIONS"} ${UBSAN_OPTIONS:+UBSAN_OPTIONS="$UBSAN_OPTIONS"}
        ${LSAN_OPTIONS:+LSAN_OPTIONS="$LSAN_OPTIONS"})
}

bus=
set_test_user
"${as_test_user[@]}" dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$work/bus" \
    >"$work/dbus.log" 2>&1 &
pids+=($!)
wait_for 60 "the session bus" grep -q '^unix:' "$work/bus"
bus=$(head -n1 "$work/bus")
set_test_user

"${as_test_user[@]}" WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    WLR_HEADLESS_OUTPUTS=1 sway -c "$work/sway.conf" >"$work/sway.log" 2>&1 &
sway=$!
pids+=("$sway")

sockets_up() {
    local s
    for s in "$run"/wayland-*; do
        [ -S "$s" ] && display=$(basename "$s")
    done
    for s in "$run"/sway-ipc.*.sock; do
        [ -S "$s" ] && export SWAYSOCK=$s
    done
    [ -n "${display:-}" ] && [ -n "${SWAYSOCK:-}" ] && swaymsg -t get_version
}
wait_for 60 "sway's sockets" sockets_up

# The route under test, kept open for the whole run.
coproc CHECK { exec "${as_test_user[@]}" WAYLAND_DISPLAY="$display" "$check" 2>"$work/check.log"; }
check_pid=$CHECK_PID
pids+=("$check_pid")
# Plain copies: a coprocess's own descriptors are closed in pipelines.
exec {check_in}>&"${CHECK[1]}" {check_out}<&"${CHECK[0]}"
coproc_in=${CHECK[1]}

reply() {  # reads one line of the route's answer
    IFS= read -r -t 30 -u "$check_out" line || fail "no answer from the route"
    printf '%s\n' "$line"
}
ask() { printf '%s\n' "$*" >&"$check_in"; }
route_list() {  # "ID<TAB>APP_ID<TAB>TITLE" per window
    local line
    ask list
    while line=$(reply) && [ "$line" != end ]; do
        printf '%s\n' "${line#window }"
    done
}

[ "$(reply)" = "open yes" ] || fail "the route did not open on sway"
[ -z "$(route_list)" ] || fail "windows listed before any was started"

# sway's own view: "PID<TAB>APP_ID<TAB>TITLE<TAB>FOCUSED" per window.
sway_views() {
    swaymsg -t get_tree | "$python" -c '
import json, sys
def walk(n):
    if n.get("pid") and n.get("type") in ("con", "floating_con"):
        yield n
    for c in n.get("nodes", []) + n.get("floating_nodes", []):
        yield from walk(c)
for v in walk(json.load(sys.stdin)):
    print(v["pid"], v.get("app_id") or "", v.get("name") or "", int(v["focused"]), sep="\t")'
}

start_app() {
    "${as_test_user[@]}" WAYLAND_DISPLAY="$display" GDK_BACKEND=wayland NO_AT_BRIDGE=1 \
        GSETTINGS_BACKEND=memory "$@" >>"$work/apps.log" 2>&1 &
    pids+=($!)
    last_app=$!
}
# One at a time, so the route lists them in this order and the window closed
# below is the middle one, alike to the first.
windows_up() {
    [ "$(sway_views | wc -l)" -eq "$1" ] && [ "$(route_list | wc -l)" -eq "$1" ]
}
start_app gtk3-demo
demo1=$last_app
wait_for 90 "the first window in sway and in the route" windows_up 1
start_app gtk3-demo
demo2=$last_app
wait_for 90 "the second window in sway and in the route" windows_up 2
start_app gtk3-widget-factory
factory=$last_app
wait_for 90 "the third window in sway and in the route" windows_up 3

# focus PID: sway focuses the window; the route must then name it with the
# app_id and title sway gives. Sets $focused_id.
focus() {
    local pid=$1 expected line deadline=$((SECONDS + 30))
    swaymsg -q "[pid=$pid] focus" || fail "swaymsg could not focus $pid"
    while :; do
        expected=$(sway_views | awk -F'\t' -v p="$pid" '$1 == p && $4 == 1 {print $2 "\t" $3}')
        ask focused
        line=$(reply)
        if [ -n "$expected" ] && [ "$line" != "focused none" ] &&
            [ "$(cut -f2- <<<"${line#focused }")" = "$expected" ]; then
            focused_id=$(cut -f1 <<<"${line#focused }")
            return
        fi
        [ "$SECONDS" -lt "$deadline" ] ||
            fail "route says '$line' after focusing $pid, sway says '$expected'"
        sleep 0.05
    done
}

declare -A id_of
for pid in "$demo1" "$demo2" "$factory"; do
    focus "$pid"
    id_of[$pid]=$focused_id
done
focus "$demo1"
[ "$focused_id" = "${id_of[$demo1]}" ] || fail "the id of a window changed"
ids=$(printf '%s\n' "${id_of[@]}" | sort -u)
[ "$(wc -l <<<"$ids")" -eq 3 ] || fail "ids not distinct: $(echo $ids)"
grep -qx 0 <<<"$ids" && fail "a window has the id 0"

# The list: the same windows as sway's, with the ids seen while focused.
[ "$(route_list | cut -f1 | sort)" = "$ids" ] || fail "the list's ids differ: $(route_list)"
sway_set=$(sway_views | cut -f2,3 | sort)
[ "$(route_list | cut -f2,3 | sort)" = "$sway_set" ] ||
    fail "the list differs from sway's: $(route_list) / $sway_set"

# A route opened now gets the windows that already exist.
fresh=$(printf 'list\n' | "${as_test_user[@]}" WAYLAND_DISPLAY="$display" timeout -k 5 30 "$check" \
    2>>"$work/check.log")
[ "$(sed -n 's/^window [0-9]*\t//p' <<<"$fresh" | sort)" = "$sway_set" ] ||
    fail "a fresh route lists '$fresh'"

# Closing one of the two look-alike windows closes that one only.
ask close "${id_of[$demo2]}"
[ "$(reply)" = "closed yes" ] || fail "the route refused to close a window"
wait_for 30 "the closed gtk3-demo to end" bash -c "! kill -0 $demo2 2>/dev/null ||
    sed 's/.*) //' /proc/$demo2/stat | grep -q '^Z'"
closed_gone() { ! route_list | cut -f1 | grep -qx "${id_of[$demo2]}"; }
wait_for 30 "the route to drop the closed window" closed_gone
running "$demo1" || fail "the other gtk3-demo ended too"
running "$factory" || fail "gtk3-widget-factory ended too"
[ "$(sway_views | cut -f1 | sort)" = "$(printf '%s\n' "$demo1" "$factory" | sort)" ] ||
    fail "sway's windows after closing one: $(sway_views)"
[ "$(route_list | cut -f1 | sort)" = "$(printf '%s\n' "${id_of[$demo1]}" "${id_of[$factory]}" |
    sort)" ] || fail "the route's windows after closing one: $(route_list)"
for id in "${id_of[$demo2]}" 0 999999; do
    ask close "$id"
    [ "$(reply)" = "closed no" ] || fail "closing the unknown id $id was accepted"
done

ask bench 50
echo "Focused() with sway: $(reply)"

# A compositor that stopped answering: Open gives up after about a second.
kill -STOP "$sway"
start=$(date +%s%N)
hung=$(: | "${as_test_user[@]}" WAYLAND_DISPLAY="$display" timeout -k 5 30 "$check" \
    2>>"$work/check.log") || true
took_ms=$((($(date +%s%N) - start) / 1000000))
kill -CONT "$sway"
[ "$hung" = "open no" ] || fail "opening on a stopped sway gave '$hung'"
[ "$took_ms" -lt 5000 ] || fail "opening on a stopped sway took $took_ms ms"

# sway goes away under the route: every call answers nothing, none hangs.
kill "$sway"
wait_for 30 "sway to end" bash -c "! kill -0 $sway 2>/dev/null ||
    sed 's/.*) //' /proc/$sway/stat | grep -q '^Z'"
lost_answers() {
    ask focused
    [ "$(reply)" = "focused none" ] || return 1
    [ -z "$(route_list)" ] || return 1
    ask close "${id_of[$demo1]}"
    [ "$(reply)" = "closed no" ]
}
wait_for 30 "the route to answer nothing without sway" lost_answers

# The route ends cleanly (the sanitizers report leaks and errors here).
exec {check_in}>&-
eval "exec $coproc_in>&-"
wait_for 30 "the check program to end" bash -c "! kill -0 $check_pid 2>/dev/null ||
    sed 's/.*) //' /proc/$check_pid/stat | grep -q '^Z'"
wait "$check_pid" || fail "the check program ended with status $?"
echo "wayland ftl e2e: OK"
