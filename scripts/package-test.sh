#!/usr/bin/env bash
# The Debian package on a fresh Debian 12: builds it, checks it with lintian,
# installs it with apt into a minimal root made by debootstrap (cached in
# /var/cache/tallyward-package-test, so reruns are fast), starts the installed
# program there as an ordinary user on a private Xvfb with a tray host, and
# checks that it runs from /usr/lib/tallyward and seeds the user's data
# folder; that a reinstall (an upgrade) leaves it running; that removal ends
# it through its own timer within two seconds of the uninstall flag; and that
# removal and purge leave the user's data folder intact. Everything mounted
# and started is undone on the way out. Needs root and the Debian mirror.
# Usage: scripts/package-test.sh [PACKAGE.deb]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
[ "$(id -u)" -eq 0 ] || { echo "package-test: needs root (chroot, mounts)" >&2; exit 1; }
scripts/install-deps.sh package

if [ $# -ge 1 ]; then
    deb=$(realpath "$1")
else
    deb=$(scripts/package.sh | tail -n 1)
fi
echo "== package: $deb ($(du -k "$deb" | cut -f1) KiB)"
dpkg-deb --field "$deb"

echo "== lintian"
# Every tag down to the pedantic and experimental ones, to list them in full.
lintian_out=$(lintian --display-info --pedantic --display-experimental "$deb" 2>&1 |
    grep -v '^running with root privileges') || true
echo "${lintian_out:-(no tags)}"
if grep -q '^E: ' <<<"$lintian_out"; then
    echo "FAIL: lintian reports errors" >&2
    exit 1
fi

cache=/var/cache/tallyward-package-test
mirror=http://deb.debian.org/debian
mkdir -p "$cache/archives"
work=$(mktemp -d /tmp/tallyward-package-test-XXXXXX)
root="$work/root"
pids=()
mounts=()

cleanup() {
    local status=$? i pid
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
    done
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        pid=${pids[i]}
        for _ in $(seq 100); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.05
        done
        kill -9 "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" || true
    done
    # Only once nothing is mounted in it, and never across into another file system.
    if ! grep -q " $work/" /proc/mounts; then
        rm -rf --one-file-system "$work"
    else
        echo "package-test: $work still has mounts; left in place" >&2
    fi
    [ "$status" -eq 0 ] || echo "package test: FAILED" >&2
    exit "$status"
}
trap cleanup EXIT
trap "exit 143" TERM INT HUP

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
mount_in_root() {  # mount_in_root TARGET MOUNT-ARGS...
    local target=$1
    shift
    [ -e "$target" ] || mkdir -p "$target"
    mount "$@" "$target"
    mounts+=("$target")
}
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
    DEBIAN_FRONTEND=noninteractive "$@"; }
# as_user COMMAND...: runs in the root as the ordinary user with a plain
# session environment, in place of the calling (sub)shell, so that $! of
# `as_user ... &` is the command's own PID.
as_user() {
    exec chroot --userspec=tester:tester "$root" /usr/bin/env -i PATH=/usr/bin:/bin \
        HOME=/home/tester USER=tester LOGNAME=tester DISPLAY=:57 \
        XDG_RUNTIME_DIR=/tmp/runtime-tester DBUS_SESSION_BUS_ADDRESS=disabled: "$@"
}
now_ms() { echo $(($(date +%s%N) / 1000000)); }
# wait_for SECONDS WHAT COMMAND...: polls until COMMAND succeeds.
wait_for() {
    local deadline=$((SECONDS + $1)) what=$2
    shift 2
    until "$@" >/dev/null 2>&1; do
        [ "$SECONDS" -lt "$deadline" ] || fail "timed out waiting for $what"
        sleep 0.05
    done
}
running() { kill -0 "$1" 2>/dev/null && ! grep -q '^[^)]*) Z' "/proc/$1/stat" 2>/dev/null; }

# A minimal Debian 12 with an X server and a tray host, made once.
if [ ! -f "$cache/root.tar" ]; then
    echo "== making the cached Debian 12 root (once)"
    rm -rf "$cache/root.new"
    debootstrap --variant=minbase bookworm "$cache/root.new" "$mirror" >"$cache/debootstrap.log"
    cp /etc/resolv.conf "$cache/root.new/etc/resolv.conf"
    mount -t proc proc "$cache/root.new/proc"
    chroot "$cache/root.new" /usr/bin/env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends xvfb trayer procps xauth \
        >"$cache/prepare.log" || { umount "$cache/root.new/proc"; exit 1; }
    umount "$cache/root.new/proc"
    chroot "$cache/root.new" apt-get clean
    tar -C "$cache/root.new" -cf "$cache/root.tar.new" .
    mv "$cache/root.tar.new" "$cache/root.tar"
    rm -rf --one-file-system "$cache/root.new"
fi

echo "== installing into a fresh root"
mkdir -p "$root"
tar -C "$root" -xf "$cache/root.tar"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount_in_root "$root/proc" -t proc proc
mount_in_root "$root/dev/shm" -t tmpfs tmpfs
# Terminals of the root's own, so apt can log its maintainer scripts.
mount_in_root "$root/dev/pts" -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts
mount_in_root "$root/dev/ptmx" --bind "$root/dev/pts/ptmx"
mount_in_root "$root/var/cache/apt/archives" --bind "$cache/archives"
cp "$deb" "$root/tmp/"
in_root apt-get update -q >/dev/null
in_root apt-get install -y -q --no-install-recommends "./tmp/$(basename "$deb")" \
    >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "apt-get install"; }
grep -E "^(Setting up|The following NEW)" "$work/install.log" | tail -n 3

for program in tallyward tallyward-report tallyward-probe; do
    in_root "$program" --version || fail "$program --version"
done
in_root tallyward --help | head -n 1
[ -f "$root/etc/chromium.d/tallyward" ] || fail "no /etc/chromium.d/tallyward"
[ -f "$root/usr/share/man/man1/tallyward.1.gz" ] || fail "no man page"

echo "== the installed program as an ordinary user"
in_root useradd --create-home --shell /bin/sh tester
install -d -m 700 "$root/tmp/runtime-tester"
chroot "$root" chown tester:tester /tmp/runtime-tester
chroot "$root" /usr/bin/env -i PATH=/usr/bin:/bin Xvfb :57 -nolisten tcp -screen 0 1280x800x24 \
    >"$work/xvfb.log" 2>&1 &
pids+=($!)
wait_for 60 "Xvfb" test -S "$root/tmp/.X11-unix/X57"
as_user trayer --edge bottom --align right --widthtype request >"$work/trayer.log" 2>&1 &
pids+=($!)
as_user tallyward >"$work/tallyward.log" 2>&1 &
program=$!
pids+=("$program")

data="$root/home/tester/.local/share/Tallyward"
wait_for 60 "the data folder to be seeded" test -s "$data/settings.sqlite"
wait_for 60 "the program's lock" grep -q ":$(stat -c %i "$data/Tallyward.lock" 2>/dev/null || echo x) " /proc/locks
running "$program" || { cat "$work/tallyward.log"; fail "the program ended"; }
exe=$(chroot "$root" readlink "/proc/$program/exe")
user=$(chroot "$root" id -un "$(stat -c %u "/proc/$program")")
echo "program $program runs $exe as $user"
[ "$user" = tester ] || fail "the program runs as $user"
[ "$exe" = /usr/lib/tallyward/tallyward ] || fail "runs $exe, not /usr/lib/tallyward/tallyward"
chroot "$root" ls -l /home/tester/.local/share/Tallyward | sed 1d
echo "kept" >"$data/marker"

echo "== reinstall (an upgrade): the running copy goes on"
in_root dpkg -i "/tmp/$(basename "$deb")" >"$work/upgrade.log" 2>&1 ||
    { cat "$work/upgrade.log"; fail "reinstall"; }
[ ! -e "$root/usr/lib/tallyward/uninstall.flag" ] || fail "the reinstall left uninstall.flag"
# Three polls of the program's 900 ms timer: it must still be there.
deadline=$((SECONDS + 3))
while [ "$SECONDS" -lt "$deadline" ]; do
    running "$program" || fail "the program ended on an upgrade"
    sleep 0.1
done
echo "still running after the reinstall"

echo "== apt-get remove"
in_root apt-get remove -y -q tallyward >"$work/remove.log" 2>&1 &
remover=$!
pids+=("$remover")
flag_at="" ended_at=""
deadline=$((SECONDS + 60))
while [ -z "$ended_at" ] && [ "$SECONDS" -lt "$deadline" ]; do
    if [ -z "$flag_at" ] && [ -e "$root/usr/lib/tallyward/uninstall.flag" ]; then
        flag_at=$(now_ms)
    fi
    running "$program" || ended_at=$(now_ms)
    sleep 0.02
done
status=0
wait "$remover" || status=$?
grep -E "^(Removing|E:|W:|dpkg:)" "$work/remove.log" || true
[ "$status" -eq 0 ] || fail "apt-get remove exited with $status"
[ -n "$ended_at" ] || fail "the program still runs after the removal"
[ -n "$flag_at" ] || fail "the program ended before uninstall.flag was seen"
program_status=0
wait "$program" || program_status=$?
echo "the program ended $((ended_at - flag_at)) ms after uninstall.flag appeared, status $program_status"
[ $((ended_at - flag_at)) -le 2000 ] || fail "the program took longer than two seconds to end"
[ "$program_status" -eq 0 ] || { cat "$work/tallyward.log"; fail "the program's exit status"; }
[ ! -e "$root/usr/lib/tallyward" ] || fail "/usr/lib/tallyward is left: $(ls -A "$root/usr/lib/tallyward")"
[ ! -e "$root/usr/bin/tallyward" ] || fail "/usr/bin/tallyward is left"

check_data() {
    for file in settings.sqlite actmondb.sqlite marker; do
        [ -s "$data/$file" ] || fail "$1 took $file from the data folder"
    done
}
check_data "apt-get remove"
in_root apt-get purge -y -q tallyward >"$work/purge.log" 2>&1 || { cat "$work/purge.log"; fail "purge"; }
check_data "apt-get purge"
[ ! -e "$root/etc/chromium.d/tallyward" ] || fail "purge left /etc/chromium.d/tallyward"
echo "data folder intact after remove and purge: $(ls "$data" | tr '\n' ' ')"
echo "the program's log:"
sed 's/^/  /' "$data/tallyward.log"
echo "package test passed"
