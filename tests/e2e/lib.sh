# Harness shared by the end-to-end scripts (sourced, not run): a work folder,
# background processes stopped by their PID on exit (also on failure),
# bounded polls and a private X server. Every wait is a poll with a deadline
# that holds on a machine under full load, never a fixed sleep.
#
# A script calls e2e_begin first. It may define e2e_before_stop (run before
# the processes are stopped) and e2e_on_failure (run after, when it failed).

pids=()
poll_interval=0.05

# e2e_begin TAG TITLE WORK-PREFIX: messages name TAG ("FAIL (TAG)") and
# TITLE ("TITLE: FAILED"); sets $work to a fresh folder removed on exit.
e2e_begin() {
    e2e_tag=$1 e2e_title=$2
    work=$(mktemp -d "${TMPDIR:-/tmp}/$3-XXXXXX")
    trap e2e_cleanup EXIT
    trap "exit 143" TERM INT HUP
}

e2e_cleanup() {
    local status=$? pid i
    if declare -F e2e_before_stop >/dev/null; then
        e2e_before_stop || true
    fi
    # Clients first, the X server last; SIGKILL after five seconds.
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
    done
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        pid=${pids[i]}
        for _ in $(seq 100); do
            running "$pid" || break
            sleep 0.05
        done
        kill -9 "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    if [ "$status" -ne 0 ]; then
        if declare -F e2e_on_failure >/dev/null; then
            e2e_on_failure || true
        fi
        echo "$e2e_title: FAILED" >&2
    fi
    rm -rf "$work"
    exit "$status"
}

fail() {
    echo "FAIL ($e2e_tag): $*" >&2
    exit 1
}

zombie() {  # the process may be gone by the time its state is read
    sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | grep -q '^Z'
}

running() {
    kill -0 "$1" 2>/dev/null && ! zombie "$1"
}

ended() {
    ! running "$1"
}

# probe_cmd / sweep_cmd ARGS...: the programs under test ($probe, $sweep of
# the script). They end on their own; one that hangs fails its step here
# instead of holding the run until the test runner's time-out.
probe_cmd() { timeout -k 5 60 "$probe" "$@"; }
sweep_cmd() { timeout -k 5 60 "$sweep" "$@"; }

# wait_for SECONDS DESCRIPTION COMMAND...: polls until COMMAND succeeds.
wait_for() {
    local seconds=$1 what=$2
    shift 2
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        [ "$SECONDS" -lt "$deadline" ] || fail "timed out waiting for $what"
        sleep "$poll_interval"
    done
}

# quiet_firefox_profile DIR [PREF-LINE...]: a profile with no first-run
# pages, updates or reports (the network is closed anyway), plus the given
# user_pref lines.
quiet_firefox_profile() {
    local dir=$1
    shift
    mkdir -p "$dir"
    {
        cat <<'EOF'
user_pref("browser.aboutwelcome.enabled", false);
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("browser.tabs.warnOnClose", false);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("datareporting.policy.firstRunURL", "");
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
user_pref("app.update.auto", false);
user_pref("network.captive-portal-service.enabled", false);
user_pref("network.connectivity-service.enabled", false);
user_pref("browser.safebrowsing.update.enabled", false);
user_pref("extensions.update.enabled", false);
user_pref("browser.newtabpage.enabled", false);
EOF
        [ $# -eq 0 ] || printf '%s\n' "$@"
    } >"$dir/user.js"
}

# Xvfb picks a free display itself and writes its number to fd 5; a client
# that gets an answer shows it is really there.
start_xvfb() {
    Xvfb -displayfd 5 -nolisten tcp -screen 0 1280x1024x24 5>"$work/display" 2>"$work/xvfb.log" &
    pids+=($!)
    wait_for 60 "Xvfb to name its display" grep -q '^[0-9]' "$work/display"
    export DISPLAY=":$(head -n1 "$work/display")"
    wait_for 60 "Xvfb to answer on $DISPLAY" xdpyinfo
}

start_openbox() {
    openbox --sm-disable >"$work/openbox.log" 2>&1 &
    openbox_pid=$!
    pids+=("$openbox_pid")
    wait_for 60 "openbox to announce itself" openbox_up
}

# openbox_up: openbox has announced itself on the root window. One that could
# not reach the display and ended is started again.
openbox_up() {
    if ! running "$openbox_pid"; then
        openbox --sm-disable >>"$work/openbox.log" 2>&1 &
        openbox_pid=$!
        pids+=("$openbox_pid")
        return 1
    fi
    xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"
}
