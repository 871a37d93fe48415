#!/usr/bin/env bash
# Renders every skinned window offscreen into build/dev/screenshots/:
# <look>_<window>.png, the look being "default" or the name of a skin.
# Usage: scripts/screenshots.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out="$top/build/dev/screenshots"

"$top/scripts/dev-build.sh" tw_skins test_ui_ScreenshotsTest test_control_ScreenshotsTest
rm -rf "$out"
mkdir -p "$out"
for layer in ui control; do
    TW_SCREENSHOT_DIR="$out" QT_QPA_PLATFORM=offscreen DBUS_SESSION_BUS_ADDRESS=disabled: \
        "$top/scripts/with-temp-home.sh" "$top/build/dev/bin/test_${layer}_ScreenshotsTest" \
        --gtest_brief=1 2>&1 | grep -v "^This plugin does not support"
done
echo "Screenshots in $out:"
ls "$out"
