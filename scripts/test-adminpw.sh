#!/usr/bin/env bash
# Builds and tests the storage layer of the build with the administrator
# password (-DAdminPasswordEnabled=ON). Only the storage units, the password
# dialogs and the settings window depend on the switch, so only their tests
# are built here; the full suite runs on the delivered configuration.
# Usage: scripts/test-adminpw.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/adminpw"

targets=()
for test in "$top"/tests/storage/*Test.cpp; do
    targets+=("test_storage_$(basename "$test" .cpp)")
done
for test in "$top"/tests/ui/Password*Test.cpp "$top"/tests/ui/SettingsTest.cpp; do
    [ -e "$test" ] && targets+=("test_ui_$(basename "$test" .cpp)")
done

(
    # One build at a time on this machine, shared with scripts/dev-build.sh.
    exec 9>/tmp/tallyward-build.lock
    flock 9
    cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DAdminPasswordEnabled=ON \
          -DTW_SANITIZE=ON -DTW_WERROR=ON -DTW_BUILD_BENCH=OFF >/dev/null
    cmake --build "$build" -j2 --target "${targets[@]}"
)

cd "$build"
ctest -L storage --output-on-failure
ctest -R '^test_ui_(Password|Settings)' --output-on-failure --timeout 120
