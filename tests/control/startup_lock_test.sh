#!/usr/bin/env bash
# The real program against a real data folder: a first start seeds the
# databases; while another process holds the lock a second copy says so and
# touches no file; a lock file left behind by a killed run does not block.
set -euo pipefail
program=$1
fail() { echo "FAIL: $*" >&2; exit 1; }

data="$XDG_DATA_HOME/Tallyward"
out=$("$program") || fail "first start failed: $out"
[ -f "$data/settings.sqlite" ] || fail "settings.sqlite not seeded"
[ -f "$data/actmondb.sqlite" ] || fail "actmondb.sqlite not seeded"

# A database the user already has is left alone.
echo "user data" > "$data/actmondb.sqlite"
"$program" >/dev/null || fail "second start failed"
[ "$(cat "$data/actmondb.sqlite")" = "user data" ] || fail "existing activity database replaced"

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
