#!/usr/bin/env bash
# Installs what is missing, builds the program and its companion commands
# (build/release/bin/) and starts the program.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/install-deps.sh build
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_BUILD_TESTS=OFF \
      -DTW_BUILD_BENCH=OFF >/dev/null
cmake --build build/release -j"$(nproc)" --target tallyward tallyward-report tallyward-probe
exec build/release/bin/tallyward "$@"
