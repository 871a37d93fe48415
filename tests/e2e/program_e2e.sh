#!/usr/bin/env bash
# The real program on a private desktop: Xvfb, openbox, a trayer panel and a
# session bus of its own, in a temporary HOME.
# Usage: program_e2e.sh TALLYWARD TW-E2E-QT-CLIENT SCREENSHOT-DIR TW-E2E-ATSPI-TEXTS
#
# First start on a fresh data folder: the first-run settings window, answered
# with the keyboard, marks the first run done; the icon docks in the tray;
# Alt twice, and a click on the icon, show and hide the panel, which stays
# out of the task bar and the task switcher, docks at the work area's right
# edge and shows each view its menu picks (read on the accessibility bus); a second copy says "Application
# is already running" and ends while the first keeps running; SIGTERM ends
# the first with its settings saved and its icon gone.
# Second start, before the tray, with xterm on the list, one minute a day,
# "Close Browser/App." and 57 seconds already used today: without a tray the
# panel stays on screen, the icon docks once the tray starts; xterm in front
# is counted, the panel's time moves from 00:00 to 00:01, the reminder comes, and Esc on
# it closes the listed xterm while a copy of xterm under another file name
# stays; uninstall.flag in the program folder ends it.
# Third start: logind's PrepareForShutdown(true), sent by the test on a
# system bus of its own, ends it with its settings saved and its icon gone.
#
# Screenshots of the whole screen at the main steps go to SCREENSHOT-DIR as
# e2e-*.png. Every process is started here and stopped here by its PID, also
# on failure; every wait is a poll with a deadline.
set -euo pipefail

program=$1 qtclient=$2 shots=$3 atspi=$4
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
e2e_begin program "program e2e" tw-program-e2e
export HOME="$work/home" XDG_DATA_HOME="$work/xdg-data" XDG_CONFIG_HOME="$work/xdg-config"
export XDG_CACHE_HOME="$work/xdg-cache" QT_QPA_PLATFORM=xcb
mkdir -p "$HOME" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$shots"
unset SESSION_MANAGER

# The program runs from a folder of its own, so its uninstall.flag reaches
# no other copy of the build's program.
bin="$work/bin"
mkdir -p "$bin"
cp "$program" "$(dirname "$program")"/settings.sqlite "$(dirname "$program")"/actmondb.sqlite "$bin/"
program="$bin/$(basename "$program")"
data="$XDG_DATA_HOME/Tallyward"

# The window tree as the test ended, for a failure's report.
e2e_before_stop() {
    [ -n "${DISPLAY:-}" ] && timeout 10 xwininfo -root -tree >"$work/tree" 2>&1
}
e2e_on_failure() {
    echo "--- windows" >&2
    grep -v '^ *$' "$work/tree" >&2 2>/dev/null || true
    echo "--- program output" >&2
    cat "$work"/tallyward*.out >&2 2>/dev/null || true
    echo "--- log" >&2
    cat "$data/tallyward.log" >&2 2>/dev/null || true
}

start_xvfb
start_openbox

# A session bus of the test's own, stopped by its PID.
dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$work/bus" 2>/dev/null &
pids+=($!)
wait_for 60 "the session bus" grep -q . "$work/bus"
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")
# And one as the system bus, where the test plays logind.
dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$work/system-bus" 2>/dev/null &
pids+=($!)
wait_for 60 "the system bus" grep -q . "$work/system-bus"
export DBUS_SYSTEM_BUS_ADDRESS=$(head -n1 "$work/system-bus")

start_trayer() {
    trayer --edge bottom --align right --widthtype request --height 24 >>"$work/trayer.log" 2>&1 &
    trayer=$!
    pids+=("$trayer")
    wait_for 60 "trayer's panel" xdotool search --onlyvisible --name '^panel$'
}
stop_trayer() {
    local kept=() pid
    kill "$trayer"
    wait "$trayer" || true
    for pid in "${pids[@]}"; do
        [ "$pid" = "$trayer" ] || kept+=("$pid")
    done
    pids=("${kept[@]}")
}
start_trayer

shot() {  # shot NAME: the whole screen as $shots/e2e-NAME.png
    timeout 30 "$qtclient" --screenshot "$shots/e2e-$1.png" >/dev/null 2>&1 || true
}

# tray_icon: the program's icon window, once it sits inside trayer's panel.
tray_icon() {
    xwininfo -root -tree | awk '
        /"panel": \("panel" "trayer"\)/ { match($0, /^ */); depth = RLENGTH; inside = 1; next }
        inside { match($0, /^ */); if (RLENGTH <= depth) inside = 0 }
        inside && !found && /\("tallyward" "Tallyward"\)/ { print $1; found = 1 }
        END { exit !found }'
}
no_tray_icon() { ! tray_icon; }

visible() {  # visible TITLE: a mapped window of that title
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 | grep .
}
gone() { ! visible "$1"; }

# press TITLE KEY: KEY typed into that window once it is the active one;
# fails (for the caller's poll to try again) while it is not.
press() {
    local window
    window=$(visible "$1") || return 1
    timeout 10 xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
    [ "$(xdotool getactivewindow 2>/dev/null)" = "$window" ] || return 1
    xdotool key --clearmodifiers "$2"
}

# The panel: the managed window of the program's title (the tray icon has the
# same title but no window manager).
panel() {
    local id
    for id in $(xprop -root _NET_CLIENT_LIST | grep -o '0x[0-9a-f]*'); do
        xprop -id "$id" _NET_WM_NAME WM_CLASS | tr '\n' ' ' |
            grep -q '"Tallyward".*"tallyward"' && { echo "$id"; return 0; }
    done
    return 1
}
mapped() { xwininfo -id "$1" | grep -q 'Map State: IsViewable'; }
unmapped() { ! mapped "$1"; }

setting() {  # setting NAME: its value in settings.sqlite
    python3 - "$data/settings.sqlite" "$1" <<'PY'
import sqlite3, sys
row = sqlite3.connect(sys.argv[1]).execute(
    "SELECT value FROM settings WHERE name = ?", (sys.argv[2],)).fetchone()
print(row[0] if row else "")
PY
}

geometry() {  # geometry WINDOW: "x y width height" on the screen
    xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $4 } /Absolute upper-left Y/ { y = $4 }
                             /Width:/ { w = $2 } /Height:/ { h = $2 } END { print x, y, w, h }'
}

# The names the program's widgets on screen show on the accessibility bus.
showing() { timeout 20 "$atspi" "$tw" 2>/dev/null | grep -qxF "$1"; }

# choose_view DOWNS TEXT: the view menu's item DOWNS places down, until TEXT
# is on screen; a click or keys lost while the program was busy are tried
# again after a bounded wait.
choose_view() {
    local deadline=$((SECONDS + 60)) tried x y
    while :; do
        read -r x y _ _ <<<"$(geometry "$panel")"
        xdotool mousemove --sync $((x + 259)) $((y + 16)) click 1
        xdotool sleep 0.3 key --repeat "$1" Down key Return
        tried=$((SECONDS + 5))
        while [ "$SECONDS" -lt "$tried" ]; do
            showing "$2" && return 0
            sleep "$poll_interval"
        done
        xdotool key Escape
        [ "$SECONDS" -lt "$deadline" ] || fail "the view menu did not bring \"$2\" on screen"
    done
}

start_program() {  # start_program TAG: runs the program, its PID in $tw
    "$program" >"$work/tallyward-$1.out" 2>&1 &
    tw=$!
    pids+=("$tw")
}

# --- First start: a fresh data folder ---
start_program first
wait_for 60 "the first-run settings window" visible Settings
shot settings
# Enter through its pages; the last one saves and closes it.
answer_settings() {
    gone Settings && return 0
    press Settings Return || true
    return 1
}
wait_for 60 "the settings window to close with Enter" answer_settings
[ "$(setting IsNotFirstRun)" = 1 ] || fail "IsNotFirstRun is not set after the first run"
echo "ok: first-run settings window answered, IsNotFirstRun stored"

wait_for 60 "the icon in the tray" tray_icon
running "$tw" || fail "the program ended"

# toggle_panel WANTED: Alt twice until the panel's state is WANTED (shown or
# hidden); a pair lost while the program was busy is typed again after a
# bounded wait.
toggle_panel() {
    local deadline=$((SECONDS + 60)) tried
    while :; do
        xdotool key alt alt
        tried=$((SECONDS + 5))
        while [ "$SECONDS" -lt "$tried" ]; do
            if [ "$1" = shown ]; then
                panel=$(panel) && mapped "$panel" && return 0
            else
                unmapped "$panel" && return 0
            fi
            sleep "$poll_interval"
        done
        [ "$SECONDS" -lt "$deadline" ] || fail "Alt twice did not make the panel $1"
    done
}
toggle_panel shown
shot panel
states=$(xprop -id "$panel" _NET_WM_STATE)
for state in _NET_WM_STATE_SKIP_TASKBAR _NET_WM_STATE_SKIP_PAGER _NET_WM_STATE_ABOVE; do
    grep -q "$state" <<<"$states" || fail "the panel lacks $state: $states"
done
xprop -id "$panel" _NET_WM_WINDOW_TYPE | grep -q '_NET_WM_WINDOW_TYPE_UTILITY' ||
    fail "the panel is no utility window: $(xprop -id "$panel" _NET_WM_WINDOW_TYPE)"
echo "ok: Alt twice shows the panel, a utility window out of the task bar and switcher"
# Docked at the right edge of the work area, at its top, compact.
read -r x y w h <<<"$(geometry "$panel")"
screen_width=$(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1] }')
[ $((x + w)) -eq "$screen_width" ] && [ "$y" -eq 0 ] ||
    fail "the panel is not docked at the right edge: $x,$y ${w}x$h on a screen $screen_width wide"
echo "ok: the panel docks at the work area's right edge"
wait_for 60 "the time on the panel" showing "Time on List:"
for view in "1 Things to do this: all" "2 This Morning: reminders" \
            "3 Time spent on these applications/websites: usage" "4 Things to do this: lite"; do
    downs=${view%% *} rest=${view#* } name=${view##* }
    choose_view "$downs" "${rest% *}"
    shot "panel-$name"
done
read -r _ _ _ h <<<"$(geometry "$panel")"
[ "$h" -lt 300 ] || fail "the Lite view is $h pixels high"
echo "ok: the view menu shows each view"
toggle_panel hidden
echo "ok: Alt twice hides the panel"

# A click on the icon shows the panel, another hides it.
click_icon() {
    local icon x y
    icon=$(tray_icon) || return 1
    x=$(xwininfo -id "$icon" | awk '/Absolute upper-left X/ { print $4 }')
    y=$(xwininfo -id "$icon" | awk '/Absolute upper-left Y/ { print $4 }')
    xdotool mousemove --sync $((x + 11)) $((y + 11)) click 1
}
click_icon || fail "no icon to click"
wait_for 60 "a click on the icon to show the panel" mapped "$panel"
click_icon || fail "no icon to click"
wait_for 60 "a click on the icon to hide the panel" unmapped "$panel"
echo "ok: a click on the icon shows the panel, another hides it"

# A second copy: its notice, answered with Enter; the first keeps running.
"$program" >"$work/tallyward-second.out" 2>&1 &
second=$!
pids+=("$second")
wait_for 60 "the second copy's notice" visible "Please Note"
shot second-copy
answer_notice() {
    running "$second" || return 0
    press "Please Note" Return || true
    return 1
}
wait_for 60 "the second copy to end" answer_notice
status=0
wait "$second" || status=$?
shot after-second-copy
[ "$status" -eq 1 ] || fail "the second copy ended with $status"
grep -q "Application is already running" "$work/tallyward-second.out" ||
    fail "the second copy said: $(cat "$work/tallyward-second.out")"
running "$tw" || fail "the first copy ended with the second"
tray_icon >/dev/null || fail "the first copy's icon went with the second"
echo "ok: a second copy says it is already running and ends; the first runs on"

# SIGTERM: an orderly end. Save rewrites every row of the settings table, so
# a row added meanwhile is gone only when the settings were saved.
add_marker() {
    python3 - "$data/settings.sqlite" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute("INSERT INTO settings VALUES ('e2eMarker', '1')")
db.commit()
PY
}
add_marker
kill -TERM "$tw"
wait_for 60 "the program to end on SIGTERM" ended "$tw"
status=0
wait "$tw" || status=$?
[ "$status" -eq 0 ] || fail "SIGTERM: exit status $status"
[ -z "$(setting e2eMarker)" ] || fail "SIGTERM: the settings were not saved on the way out"
[ "$(setting IsNotFirstRun)" = 1 ] || fail "SIGTERM: IsNotFirstRun lost"
no_tray_icon || fail "SIGTERM: the icon is still in the tray"
echo "ok: SIGTERM ends the program with its settings saved and its icon gone"

# --- Second start: xterm on the list, 57 of 60 seconds used today ---
xterm_path=$(readlink -f "$(command -v xterm)")
cp "$xterm_path" "$bin/otherterm"
python3 - "$data" "$xterm_path" <<'PY'
import datetime, sqlite3, sys
data, xterm = sys.argv[1], sys.argv[2]
settings = sqlite3.connect(data + "/settings.sqlite")
for name, value in (("TimeLimitSeconds", "60"), ("ExpirationAction", "Close Browser/App."),
                    ("ScanPeriodSeconds", "3")):
    settings.execute("DELETE FROM settings WHERE name = ?", (name,))
    settings.execute("INSERT INTO settings VALUES (?, ?)", (name, value))
activity = sqlite3.connect(data + "/actmondb.sqlite")
for db in (settings, activity):
    db.execute("DELETE FROM applications_list")
    db.execute("INSERT INTO applications_list VALUES (?, 'XTerm', 1)", (xterm,))
    db.commit()
now = datetime.datetime.now().strftime("%Y-%m-%d %H:%M:%S")
activity.execute("INSERT INTO applications VALUES (?, ?, '', 'Desktop Application', 57, 1)",
                 (now, xterm))
activity.commit()
PY
activity_rows() {
    python3 - "$data/actmondb.sqlite" "$xterm_path" <<'PY'
import sqlite3, sys
print(sqlite3.connect(sys.argv[1]).execute(
    "SELECT COUNT(*) FROM applications WHERE app_name = ?", (sys.argv[2],)).fetchone()[0])
PY
}
counted() { [ "$(activity_rows)" -gt 1 ]; }

xterm -T tw-e2e-listed &
listed=$!
pids+=("$listed")
"$bin/otherterm" -T tw-e2e-unlisted &
unlisted=$!
pids+=("$unlisted")
wait_for 60 "the unlisted xterm" visible tw-e2e-unlisted
wait_for 60 "the listed xterm" visible tw-e2e-listed

# This time the tray comes after the program, as on a desktop whose panel
# starts late: the icon docks once it is there.
stop_trayer
start_program second
# The listed xterm in front until it is counted: the program is up by then.
listed_counted() {
    counted && return 0
    local window
    window=$(visible tw-e2e-listed) || return 1
    timeout 10 xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
    return 1
}
panel_on_screen() { panel=$(panel) && mapped "$panel"; }
wait_for 60 "the panel on screen, as there is no tray to hide it in" panel_on_screen
wait_for 60 "the time on the panel" showing 00:00
wait_for 60 "the listed xterm in front to be counted" listed_counted
start_trayer
wait_for 60 "the icon to dock in the tray that came later" tray_icon
echo "ok: the icon docks in a tray that starts after the program"
# The listed xterm in front until the reminder comes.
listed_in_front() {
    visible Reminder >/dev/null && return 0
    local window
    window=$(visible tw-e2e-listed) || return 1
    timeout 10 xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
    return 1
}
wait_for 60 "the reminder" listed_in_front
counted || fail "the listed xterm in front was not counted: $(activity_rows) rows"
echo "ok: the listed xterm in front is counted and the limit brings the reminder"
shot reminder
answer_reminder() {
    visible Reminder >/dev/null || return 0
    press Reminder Escape || true
    return 1
}
wait_for 60 "the reminder to close on Esc" answer_reminder
wait_for 60 "the listed xterm to be closed" ended "$listed"
running "$unlisted" || fail "the unlisted xterm was closed"
visible tw-e2e-unlisted >/dev/null || fail "the unlisted xterm's window is gone"
running "$tw" || fail "the program ended"
echo "ok: Esc on the reminder closes the listed xterm and leaves the unlisted one"
wait_for 60 "the panel's time to reach the minute" showing 00:01
echo "ok: the panel shows the time on the list move on"

# uninstall.flag in the program folder: the program ends by itself.
touch "$bin/uninstall.flag"
flagged=$(date +%s%N)
wait_for 30 "the program to end on uninstall.flag" ended "$tw"
status=0
wait "$tw" || status=$?
[ "$status" -eq 0 ] || fail "uninstall.flag: exit status $status"
no_tray_icon || fail "uninstall.flag: the icon is still in the tray"
echo "ok: uninstall.flag ends the program after $((($(date +%s%N) - flagged) / 1000000)) ms"

# --- Third start: logind announces a power-off ---
rm "$bin/uninstall.flag"
add_marker
start_program third
wait_for 60 "the icon in the tray" tray_icon
timeout 60 "$qtclient" --prepare-for-shutdown || fail "PrepareForShutdown could not be sent"
wait_for 30 "the program to end on PrepareForShutdown" ended "$tw"
status=0
wait "$tw" || status=$?
[ "$status" -eq 0 ] || fail "PrepareForShutdown: exit status $status"
[ -z "$(setting e2eMarker)" ] || fail "PrepareForShutdown: the settings were not saved"
no_tray_icon || fail "PrepareForShutdown: the icon is still in the tray"
echo "ok: logind's PrepareForShutdown ends the program with its settings saved and its icon gone"

echo "program e2e: all checks passed"
