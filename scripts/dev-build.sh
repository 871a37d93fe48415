#!/usr/bin/env bash
# Builds targets in the shared development tree, one build at a time: the
# machine has two cores and parallel builds only thrash.
# Usage: scripts/dev-build.sh [TARGET...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/dev"
exec 9>/tmp/tallyward-build.lock
flock 9
# Re-run the configure step every time: new files are picked up by globs.
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTW_SANITIZE=ON -DTW_WERROR=ON >/dev/null
if [ $# -eq 0 ]; then
    cmake --build "$build" -j2
else
    for t in "$@"; do cmake --build "$build" -j2 --target "$t"; done
fi
