#!/usr/bin/env bash
# The real program against a real data folder: a first start seeds the
# databases, later starts seed only what is missing and never replace the
# user's history, and without templates the program refuses to start; while
# another process holds the lock a second copy says so and touches no file;
# a lock file left behind by a killed run does not block.
set -euo pipefail
program=$1
fail() { echo "FAIL: $*" >&2; exit 1; }

data="$XDG_DATA_HOME/Tallyward"
out=$("$program") || fail "first start failed: $out"
[ -f "$data/settings.sqlite" ] || fail "settings.sqlite not seeded"
[ -f "$data/actmondb.sqlite" ] || fail "actmondb.sqlite not seeded"

# History recorded, then settings.sqlite moved aside: only the settings come back.
python3 - "$data/actmondb.sqlite" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute("INSERT INTO applications VALUES ('2024-05-01 12:00:00', '/usr/bin/xterm', '', "
           "'0', 3, 1)")
db.commit()
db.close()
PY
history=$(sha256sum <"$data/actmondb.sqlite")
mv "$data/settings.sqlite" "$data/settings.sqlite.aside"
"$program" >/dev/null || fail "start without settings.sqlite failed"
[ -f "$data/settings.sqlite" ] || fail "settings.sqlite not seeded again"
[ "$(sha256sum <"$data/actmondb.sqlite")" = "$history" ] || fail "the history was replaced"

# A file that is no database may be the user's: left alone.
echo "user data" > "$data/actmondb.sqlite"
"$program" >/dev/null || fail "start with an unreadable activity database failed"
[ "$(cat "$data/actmondb.sqlite")" = "user data" ] || fail "unreadable activity database replaced"

# Without templates a missing database is refused by name, and none is made up.
bare="$XDG_DATA_HOME/bare"
mkdir -p "$bare"
cp "$program" "$bare/"
rm "$data/settings.sqlite"
set +e
err=$("$bare/$(basename "$program")" 2>&1 >/dev/null)
status=$?
set -e
[ "$status" -ne 0 ] || fail "start without templates succeeded"
case "$err" in
    *"template \"$bare/settings.sqlite\" is missing"*) ;;
    *) fail "start without templates said: $err" ;;
esac
[ ! -e "$data/settings.sqlite" ] || fail "a settings database was made without its template"
[ ! -e "$data/Tallyward.lock" ] || fail "the refused start kept its lock file"
rm -r "$bare"
"$program" >/dev/null || fail "start with templates again failed"

# Hold the lock the way a running copy does: one process, stopped by its PID.
touch "$data/Tallyward.lock"
( exec 8<"$data/Tallyward.lock"; flock -x 8; exec sleep 600 ) </dev/null >/dev/null 2>&1 &
holder=$!
trap 'kill "$holder" 2>/dev/null || true; wait "$holder" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    flock -xn "$data/Tallyward.lock" true || break
    sleep 0.05
done
before=$(cd "$data" && ls -la --time-style=+%s.%N | sort)
set +e
err=$("$program" 2>&1 >/dev/null)
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
"$program" >/dev/null || fail "start after a killed run failed"
echo "startup lock test passed"
