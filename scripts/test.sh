#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors under
# AddressSanitizer and UndefinedBehaviorSanitizer, and runs every test; then
# builds and tests the administrator-password variant of the units it touches.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

scripts/install-deps.sh test

build="$top/build/ci"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTW_SANITIZE=ON -DTW_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$build" && ctest --output-on-failure -j2 --timeout 600)

if [ -x scripts/test-adminpw.sh ]; then
    scripts/test-adminpw.sh
fi
