#!/usr/bin/env bash
# Start-up and idle cost of the real program, built for Release, on a private
# desktop: Xvfb, openbox, a trayer panel, a session bus of its own and
# temporary HOME and XDG folders. Prints
#   (a) start to icon docked in the tray, a data folder past the first run
#       with the settings and the list but no history (median of RUNS runs);
#   (b) the same with 90 days of a heavy user's history, 864,000 activity rows;
#   (c) CPU used over 60 s with an unlisted xterm in front, scanning every 3 s
#       (utime + stime of /proc/PID/stat), as % of one core, from 15 s after
#       the icon docked (the first scans still load the day's totals, shown
#       apart), with the heavy history of (b);
#   (d) resident memory (VmRSS) after those 60 s.
# "Docked" is seen from outside: the program's icon window has become a
# descendant of trayer's panel window (xwininfo -tree), polled every 5 ms.
#
# Usage: bench/startup_bench.sh [RUNS]      (default 7)
# It builds, under the machine's build lock (the one scripts/dev-build.sh
# takes), only these two targets of the Release tree build/bench:
#   cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DTW_BUILD_TESTS=OFF
#   cmake --build build/bench --target tallyward tw_bench_data_folder
# and needs xvfb, openbox, trayer, xdotool, x11-utils, xterm and dbus
# (scripts/install-deps.sh test). It is no test: ctest does not run it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-7}
build="$top/build/bench"

(
    exec 9>/tmp/tallyward-build.lock
    flock 9
    cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTW_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build" -j2 --target tallyward tw_bench_data_folder >/dev/null
)
program="$build/bin/tallyward"

. "$top/tests/e2e/lib.sh"
e2e_begin bench "startup bench" tw-startup-bench
poll_interval=0.005
export HOME="$work/home" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
export XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb
mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset SESSION_MANAGER

start_xvfb
start_openbox
dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$work/bus" 2>/dev/null &
pids+=($!)
wait_for 60 "the session bus" grep -q . "$work/bus"
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")
trayer --edge bottom --align right --widthtype request --height 24 >"$work/trayer.log" 2>&1 &
pids+=($!)
wait_for 60 "trayer's panel" xdotool search --name '^panel$'

tray_icon() {
    xwininfo -root -tree | awk '
        /"panel": \("panel" "trayer"\)/ { match($0, /^ */); depth = RLENGTH; inside = 1; next }
        inside { match($0, /^ */); if (RLENGTH <= depth) inside = 0 }
        inside && /\("tallyward" "Tallyward"\)/ { found = 1 }
        END { exit !found }'
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# use_folder DIR: DIR becomes the data folder of the next start.
use_folder() {
    rm -rf "$XDG_DATA_HOME/Tallyward"
    ln -s "$1" "$XDG_DATA_HOME/Tallyward"
}

# start_docked: starts the program and sets $docked_ms to the milliseconds
# until its icon docked; the program keeps running, its PID in $tw.
start_docked() {
    local start deadline
    start=$(now_ms)
    "$program" >>"$work/tallyward.out" 2>&1 &
    tw=$!
    pids+=("$tw")
    deadline=$((SECONDS + 60))
    until tray_icon; do
        running "$tw" || fail "the program ended: $(tail -n5 "$work/tallyward.out")"
        [ "$SECONDS" -lt "$deadline" ] || fail "the icon did not dock"
        sleep "$poll_interval"
    done
    docked_ms=$(($(now_ms) - start))
}

# stop_program: SIGTERM, and the PID is no longer one to stop at the end.
stop_program() {
    local status=0 kept=() pid
    kill -TERM "$tw"
    wait "$tw" || status=$?
    for pid in "${pids[@]}"; do
        [ "$pid" = "$tw" ] || kept+=("$pid")
    done
    pids=("${kept[@]}")
    [ "$status" -eq 0 ] || fail "the program ended with status $status"
}

# startup_median FOLDER LABEL: RUNS starts, each ended again; the median.
startup_median() {
    local times=() i
    use_folder "$1"
    for ((i = 0; i < runs; i++)); do
        start_docked
        times+=("$docked_ms")
        stop_program
    done
    printf '%s\n' "${times[@]}" | median >"$work/median"
    printf '%-44s %6s ms  (runs: %s)\n' "$2" "$(cat "$work/median")" "${times[*]}"
}

"$build/bin/tw_bench_data_folder" "$work/plain" "$build/bin" 0 >/dev/null
echo "Building 90 days of history..."
rows=$("$build/bin/tw_bench_data_folder" "$work/heavy" "$build/bin" 90)
echo "Data folders ready (heavy: $rows, $(du -sh "$work/heavy" | cut -f1))"
echo

startup_median "$work/plain" "(a) start to icon docked, no history"
startup_median "$work/heavy" "(b) start to icon docked, ${rows% activity rows} rows"

# Idle: an unlisted xterm in front, the program scanning it every 3 s.
xterm -T tw-bench-xterm &
pids+=($!)
wait_for 60 "the xterm" xdotool search --onlyvisible --name '^tw-bench-xterm$'
xdotool windowactivate --sync "$(xdotool search --onlyvisible --name '^tw-bench-xterm$')" || true
use_folder "$work/heavy"
start_docked
cpu_ticks() { awk '{ sub(/.*\) /, ""); print $12 + $13 }' "/proc/$tw/stat"; }
ticks_per_second=$(getconf CLK_TCK)
# percent TICKS MILLISECONDS: CPU time as % of one core
percent() { awk -v t="$1" -v hz="$ticks_per_second" -v ms="$2" 'BEGIN { printf "%.3f", 100 * t / hz / (ms / 1000) }'; }
# The first scans after the start still load the day's totals; idle is what follows.
settle=15
before=$(cpu_ticks)
sleep "$settle"
first=$(($(cpu_ticks) - before))
before=$(cpu_ticks)
started=$(now_ms)
sleep 60
used=$(($(cpu_ticks) - before))
elapsed=$(($(now_ms) - started))
rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$tw/status")
stop_program
printf '%-44s %6s %%  (%d ticks of 1/%d s in %.1f s, from %d s after docking)\n' \
    "(c) CPU while idle, scan every 3 s" "$(percent "$used" "$elapsed")" "$used" \
    "$ticks_per_second" "$(awk -v ms="$elapsed" 'BEGIN { print ms / 1000 }')" "$settle"
printf '%-44s %6s %%  (%d ticks)\n' "    the first $settle s after docking" \
    "$(percent "$first" $((settle * 1000)))" "$first"
awk -v kb="$rss" 'BEGIN { printf "%-44s %6.1f MB\n", "(d) resident memory after that", kb / 1024 }'
echo
echo "Targets: (a) < 500 ms, (b) < 1000 ms, (c) < 0.1 %, (d) < 50 MB"
