#!/usr/bin/env bash
# The real program against a real data folder: a first start seeds the
# databases, later starts seed only what is missing and never replace the
# user's history, and without templates the program refuses to start; while
# another process holds the lock a second copy says so and touches no file;
# a lock file left behind by a killed run does not block. A first start
# brings up the first-run settings window; SIGTERM ends that as well, and so
# does an uninstaller's flag. The program runs
# until it is told to end: each start here ends it with SIGTERM once it holds
# its lock, and expects it to leave cleanly.
set -euo pipefail
program=$1
. "$(dirname "$0")/../e2e/lib.sh"
e2e_begin startup "startup lock test" tw-startup
start_xvfb

data="$XDG_DATA_HOME/Tallyward"
# lock_held: some process holds the lock. Read from /proc/locks: probing with
# flock would itself hold the lock for a moment, and a copy starting in that
# moment would rightly say it is already running.
lock_held() {
    local inode
    inode=$(stat -c %i "$data/Tallyward.lock" 2>/dev/null) || return 1
    grep -q ":$inode " /proc/locks
}
# start_and_end: one run of the program, ended by SIGTERM once it is up.
start_and_end() {
    "$program" >"$work/out" 2>&1 &
    local pid=$!
    pids+=("$pid")
    local deadline=$((SECONDS + 60))
    until lock_held; do
        running "$pid" || break
        [ "$SECONDS" -lt "$deadline" ] || fail "the program did not take its lock"
        sleep "$poll_interval"
    done
    kill -TERM "$pid" 2>/dev/null || true
    local status=0
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || { cat "$work/out" >&2; return "$status"; }
}

start_and_end || fail "first start failed"
[ -f "$data/settings.sqlite" ] || fail "settings.sqlite not seeded"
[ -f "$data/actmondb.sqlite" ] || fail "actmondb.sqlite not seeded"

# History recorded, then settings.sqlite moved aside: only the settings come
# back, and the row is still there (a recent site visit, which the start-up
# clean-up keeps).
history_rows() {
    python3 - "$data/actmondb.sqlite" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
print(db.execute("SELECT COUNT(*) FROM applications WHERE browser_url = 'history.example'")
      .fetchone()[0])
PY
}
python3 - "$data/actmondb.sqlite" <<'PY'
import datetime, sqlite3, sys
db = sqlite3.connect(sys.argv[1])
now = datetime.datetime.now().strftime("%Y-%m-%d %H:%M:%S")
db.execute("INSERT INTO applications VALUES (?, '/usr/bin/firefox', 'history.example', "
           "'Mozilla Firefox', 3, 2)", (now,))
db.commit()
db.close()
PY
mv "$data/settings.sqlite" "$data/settings.sqlite.aside"
start_and_end || fail "start without settings.sqlite failed"
[ -f "$data/settings.sqlite" ] || fail "settings.sqlite not seeded again"
[ "$(history_rows)" = 1 ] || fail "the history was replaced"

# A file that is no database may be the user's: left alone.
echo "user data" > "$data/actmondb.sqlite"
start_and_end || fail "start with an unreadable activity database failed"
[ "$(cat "$data/actmondb.sqlite")" = "user data" ] || fail "unreadable activity database replaced"

# Without templates a missing database is refused by name, and none is made up.
bare="$XDG_DATA_HOME/bare"
mkdir -p "$bare"
cp "$program" "$bare/"
rm "$data/settings.sqlite"
# The refusal is also shown in "Application Error", which is answered here.
"$bare/$(basename "$program")" >/dev/null 2>"$work/err" &
refused=$!
pids+=("$refused")
error_window() { xdotool search --onlyvisible --name '^Application Error$' | head -n1 | grep .; }
wait_for 60 "the Application Error window" error_window
answer_error() {
    running "$refused" || return 0
    xdotool windowfocus "$(error_window)" key Return
    return 1
}
wait_for 60 "the refused start to end" answer_error
status=0
wait "$refused" || status=$?
err=$(cat "$work/err")
[ "$status" -ne 0 ] || fail "start without templates succeeded"
case "$err" in
    *"template \"$bare/settings.sqlite\" is missing"*) ;;
    *) fail "start without templates said: $err" ;;
esac
[ ! -e "$data/settings.sqlite" ] || fail "a settings database was made without its template"
[ ! -e "$data/Tallyward.lock" ] || fail "the refused start kept its lock file"
rm -r "$bare"
start_and_end || fail "start with templates again failed"

# Hold the lock the way a running copy does: one process, stopped by its PID.
touch "$data/Tallyward.lock"
( exec 8<"$data/Tallyward.lock"; flock -x 8; exec sleep 600 ) </dev/null >/dev/null 2>&1 &
holder=$!
pids+=("$holder")
wait_for 60 "the holder to take the lock" lock_held
before=$(cd "$data" && ls -la --time-style=+%s.%N | sort)
# Without a display the notice goes to stderr alone (its window is the
# end-to-end test's).
set +e
err=$(DISPLAY= "$program" 2>&1 >/dev/null)
status=$?
set -e
[ "$status" -ne 0 ] || fail "second copy did not end with an error status"
case "$err" in
    *"Application is already running"*) ;;
    *) fail "second copy said: $err" ;;
esac
after=$(cd "$data" && ls -la --time-style=+%s.%N | sort)
[ "$before" = "$after" ] || fail "second copy touched files: $before / $after"

# A killed holder leaves its file behind; that must not block.
kill "$holder"; wait "$holder" 2>/dev/null || true
[ -f "$data/Tallyward.lock" ] || fail "lock file should still be there"
start_and_end || fail "start after a killed run failed"

# An uninstaller's flag in the program folder ends a first start still in its
# settings window (the package's removal waits for exactly that).
flagged="$work/flagged"
mkdir -p "$flagged"
cp "$program" "$(dirname "$program")"/settings.sqlite "$(dirname "$program")"/actmondb.sqlite \
    "$flagged/"
XDG_DATA_HOME="$work/flag-data" "$flagged/$(basename "$program")" >"$work/flag-out" 2>&1 &
first=$!
pids+=("$first")
settings_window() { xdotool search --onlyvisible --name '^Settings$' | head -n1 | grep -q .; }
wait_for 60 "the first-run settings window" settings_window
touch "$flagged/uninstall.flag"
wait_for 30 "the first start to end on uninstall.flag" ended "$first"
status=0
wait "$first" || status=$?
[ "$status" -eq 0 ] || fail "uninstall.flag during the first run: exit status $status"
echo "startup lock test passed"
