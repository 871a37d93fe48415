#!/usr/bin/env bash
# What the command-line tools refuse: each case ends with its status, names
# the problem on stderr and prints nothing on stdout. A private Xvfb gives the
# probe a desktop with no window in front.
# Usage: tool_arguments_test.sh TALLYWARD-REPORT TALLYWARD-PROBE
set -euo pipefail
report=$1 probe=$2

. "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"
e2e_begin arguments "tool arguments" tw-arguments
start_xvfb

data="$work/data"
mkdir -p "$data"
cp "$(dirname "$report")/settings.sqlite" "$(dirname "$report")/actmondb.sqlite" "$data/"

failed=0
# expect STATUS STDERR-TEXT PROGRAM ARG...: status 0 wants an empty stderr,
# any other a stderr holding STDERR-TEXT and an empty stdout.
expect() {
    local want=$1 text=$2 status=0
    shift 2
    "$@" >"$work/out" 2>"$work/err" </dev/null || status=$?
    local why=""
    if [ "$status" -ne "$want" ]; then
        why="status $status, not $want"
    elif [ "$want" -eq 0 ] && [ -s "$work/err" ]; then
        why="unexpected stderr"
    elif [ "$want" -ne 0 ] && ! grep -qF -- "$text" "$work/err"; then
        why="stderr lacks '$text'"
    elif [ "$want" -ne 0 ] && [ -s "$work/out" ]; then
        why="stdout not empty"
    fi
    if [ -n "$why" ]; then
        failed=1
        printf 'FAIL: %s:' "$(basename "$1")" >&2
        printf ' [%s]' "${@:2}" >&2
        printf ': %s\n  stdout: %s\n  stderr: %s\n' "$why" "$(cat "$work/out")" \
            "$(cat "$work/err")" >&2
    fi
}

at() { echo "--at \"$1\" is not a moment of the form yyyy-mm-dd hh:nn:ss"; }
for moment in "" " 2024-05-01 12:00:00" "2024-05-01 12:00:00 " "2024-05-01  2:00:00" \
    "2024-5-1 12:00:00" "2024-05-01 1:02:03" "2024-13-01 12:00:00" "2024-05-01 24:00:00" \
    "2024/05/01 12:00:00"; do
    expect 1 "$(at "$moment")" "$report" --data-folder "$data" --at "$moment"
done
expect 0 "" "$report" --data-folder "$data" --at "2024-05-01 12:00:00"
grep -qx "Total	0" "$work/out" || { failed=1; echo "FAIL: report printed $(cat "$work/out")" >&2; }
expect 1 "unknown argument --bogus" "$report" --bogus
expect 1 "unknown argument --bogus" "$report" --data-folder "$data" --bogus value
expect 1 "missing value after --at" "$report" --data-folder "$data" --at
expect 1 "empty folder after --data-folder" "$report" --data-folder ""
expect 1 'unknown period "weekly"' "$report" --data-folder "$data" --period weekly

for seconds in "" " 1" "1 " "+1" "-1" "3601" "99999" "1s"; do
    expect 2 "--wait takes 0 to 3600 seconds" "$probe" --wait "$seconds"
done
expect 2 "unknown argument --bogus" "$probe" --bogus
expect 2 "missing value after --wait" "$probe" --wait
expect 2 "empty folder after --data-folder" "$probe" --data-folder ""
expect 1 "no window is in front" "$probe"
expect 1 "no window is in front" "$probe" --wait 0 --data-folder "$data"

[ "$failed" -eq 0 ] || fail "see above"
echo "tool arguments test passed"
