#!/usr/bin/env bash
# Builds the Debian package: a Release build in build/package with Debian's
# hardening flags, under the machine's build lock, then cpack. Prints the
# package's path on the last line.
# Usage: scripts/package.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/install-deps.sh package

build="$top/build/package"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)"
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

exec 9>/tmp/tallyward-build.lock
flock 9
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
      -DTW_BUILD_TESTS=OFF -DTW_BUILD_BENCH=OFF -DTW_MAN_PAGES=ON \
      -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" \
      -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/packages/tallyward_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
exec 9>&-

deb=$(ls "$build"/packages/tallyward_*.deb)
echo "$deb"
