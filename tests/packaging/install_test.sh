#!/usr/bin/env bash
# `cmake --install` of a build tree into a staging folder: exactly the files
# of the installed layout, links in bin that resolve into the program folder,
# desktop entries and metainfo that their validators accept, and the three
# programs' --help, --version and refusal of an unknown argument, all without
# a display and without touching the user's data folder.
# Usage: install_test.sh BUILD-DIR VERSION MAN-PAGES(0|1)
set -euo pipefail
build=$1 version=$2 man_pages=$3
stage=$(mktemp -d "${TMPDIR:-/tmp}/tw-install-XXXXXX")
trap 'rm -rf "$stage"' EXIT
failed=0
fail() {
    failed=1
    echo "FAIL: $*" >&2
}

DESTDIR="$stage" cmake --install "$build" --prefix /usr >"$stage.log" 2>&1 ||
    { cat "$stage.log" >&2; rm -f "$stage.log"; exit 1; }
rm -f "$stage.log"

id=org.tallyward.Tallyward
expected=(
    etc/chromium.d/tallyward
    "etc/xdg/autostart/$id.desktop" etc/xdg/autostart/tallyward-accessibility.desktop
    usr/bin/tallyward usr/bin/tallyward-probe usr/bin/tallyward-report
    usr/lib/tallyward/Skins/Dusk.png usr/lib/tallyward/Skins/Graphite.png
    usr/lib/tallyward/Skins/Midnight.jpg usr/lib/tallyward/Skins/Slate.gif
    usr/lib/tallyward/actmondb.sqlite usr/lib/tallyward/settings.sqlite
    usr/lib/tallyward/tallyward usr/lib/tallyward/tallyward-probe
    usr/lib/tallyward/tallyward-report
    "usr/share/applications/$id.desktop"
    usr/share/gnome-shell/extensions/focus@tallyward.org/extension.js
    usr/share/gnome-shell/extensions/focus@tallyward.org/metadata.json
    usr/share/doc/tallyward/changelog.gz usr/share/doc/tallyward/copyright
    usr/share/icons/hicolor/128x128/apps/tallyward.png
    usr/share/icons/hicolor/256x256/apps/tallyward.png
    usr/share/icons/hicolor/64x64/apps/tallyward.png
    usr/share/icons/hicolor/scalable/apps/tallyward.svg
    "usr/share/metainfo/$id.metainfo.xml"
    usr/share/tallyward/gnome-shell-extension/45/focus@tallyward.org/extension.js
    usr/share/tallyward/gnome-shell-extension/45/focus@tallyward.org/metadata.json
    usr/share/tallyward/gnome-shell-extension/README
)
if [ "$man_pages" = 1 ]; then
    expected+=(usr/share/man/man1/tallyward-probe.1.gz usr/share/man/man1/tallyward-report.1.gz
               usr/share/man/man1/tallyward.1.gz)
fi
diff <(printf '%s\n' "${expected[@]}" | LC_ALL=C sort) \
     <(cd "$stage" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort) >&2 ||
    fail "installed files differ from the layout (< missing, > extra)"

lib="$stage/usr/lib/tallyward"
for db in settings actmondb; do
    [ "$(head -c 15 "$lib/$db.sqlite" 2>/dev/null)" = "SQLite format 3" ] ||
        fail "$db.sqlite is not a template database"
done
for size in 64 128 256; do
    # The PNG header's width and height, big-endian at bytes 16 and 20.
    read -r w h < <(od -An -tu1 -j16 -N8 "$stage/usr/share/icons/hicolor/${size}x$size/apps/tallyward.png" |
        awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
    [ "$w $h" = "$size $size" ] || fail "the ${size}x$size icon is $w x $h"
done

desktop-file-validate "$stage/usr/share/applications/$id.desktop" "$stage/etc/xdg/autostart/$id.desktop" \
    "$stage/etc/xdg/autostart/tallyward-accessibility.desktop" ||
    fail "desktop-file-validate"
appstreamcli validate --no-net --pedantic "$stage/usr/share/metainfo/$id.metainfo.xml" >"$stage/as.log" 2>&1 ||
    { cat "$stage/as.log" >&2; fail "appstreamcli validate"; }
grep -qx 'export CHROMIUM_FLAGS="$CHROMIUM_FLAGS --force-renderer-accessibility"' \
    "$stage/etc/chromium.d/tallyward" || fail "the Chromium flag line"

# expect STATUS PROGRAM ARG...: the status and the output, with no display.
expect() {
    local want=$1 status=0
    shift
    env -u DISPLAY -u WAYLAND_DISPLAY "$@" >"$stage/out" 2>"$stage/err" </dev/null || status=$?
    if [ "$status" -ne "$want" ]; then
        fail "$(basename "$1") ${*:2}: status $status, not $want; stderr: $(head -c 500 "$stage/err")"
    fi
}
for program in tallyward tallyward-report tallyward-probe; do
    bin="$stage/usr/bin/$program"
    [ "$(readlink -f "$bin")" = "$(readlink -f "$lib/$program")" ] ||
        fail "/usr/bin/$program does not lead to /usr/lib/tallyward/$program"
    [ "$(readlink "$bin")" = "../lib/tallyward/$program" ] || fail "/usr/bin/$program is not a relative link"
    expect 0 "$bin" --version
    [ "$(cat "$stage/out")" = "$program $version" ] || fail "$program --version printed '$(cat "$stage/out")'"
    expect 0 "$bin" --help
    grep -q "$program" "$stage/out" || fail "$program --help names no usage"
    status=0
    env -u DISPLAY "$bin" --no-such-option >/dev/null 2>"$stage/err" </dev/null || status=$?
    [ "$status" -ne 0 ] || fail "$program took an unknown argument"
done
# The program itself takes nothing else: an unknown argument, even beside
# --help, is refused with the usage line before anything starts.
for args in "--bogus" "--help --bogus" "-platform offscreen" "--version x"; do
    # shellcheck disable=SC2086
    expect 2 "$stage/usr/bin/tallyward" $args
    grep -q "^Usage: tallyward \[--help | --version | --enable-accessibility\]$" "$stage/err" ||
        fail "tallyward $args: no usage line"
    [ ! -s "$stage/out" ] || fail "tallyward $args printed on stdout"
done
expect 0 "$stage/usr/bin/tallyward" --help
grep -qF "${XDG_DATA_HOME:-$HOME/.local/share}/Tallyward/" "$stage/out" ||
    fail "tallyward --help does not say where the data lives"
[ ! -e "${XDG_DATA_HOME:-$HOME/.local/share}/Tallyward" ] ||
    fail "the arguments were read after the data folder was made"

# The early step at log-in says so when there is no session bus to switch on.
expect 1 env DBUS_SESSION_BUS_ADDRESS= XDG_RUNTIME_DIR="$stage/none" "$stage/usr/bin/tallyward" \
    --enable-accessibility
grep -q "accessibility bus could not be switched on" "$stage/err" ||
    fail "tallyward --enable-accessibility without a bus: $(cat "$stage/err")"

[ "$failed" -eq 0 ] || exit 1
echo "install test passed"
