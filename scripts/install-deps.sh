#!/usr/bin/env bash
# Installs exactly the Debian packages the build and the tests need that are
# missing, so it costs nothing when everything is there.
# Usage: scripts/install-deps.sh [build|test|fuzz|format|package|kwin]
#   build   what the build needs (the default)
#   test    also what the tests run
#   package also what the Debian package and its test need (scripts/package.sh)
#   kwin    also a headless KWin for scripts/kwin-check.sh
#   fuzz    also clang-14 and its sanitizer and libFuzzer runtime (scripts/fuzz.sh)
#   format  only clang-format (the format target)
set -euo pipefail

build_packages=(
    build-essential cmake pkg-config
    libsqlite3-dev libpng-dev libjpeg-dev libgif-dev
    qt6-base-dev libx11-dev libxres-dev libxi-dev libatspi2.0-dev
    libgtest-dev libbenchmark-dev
    libwayland-dev libwayland-bin
    fonts-liberation2
)
test_packages=(
    xvfb openbox trayer xdotool xterm x11-utils dbus dbus-x11 tzdata
    at-spi2-core firefox-esr chromium python3 procps
    desktop-file-utils appstream scdoc
    sway xwayland mutter gnome-shell dconf-service libglib2.0-bin gtk-3-examples
    python3-gi gir1.2-atspi-2.0
)

# scripts/kwin-check.sh, run by hand: a headless KWin (it pulls in ~150 packages).
kwin_packages=(kwin-wayland gtk-3-examples xwayland xterm dbus)
fuzz_packages=(clang-14 libclang-rt-14-dev)
format_packages=(clang-format)
package_packages=(scdoc dpkg-dev file lintian debootstrap)

case ${1:-build} in
    build) wanted=("${build_packages[@]}") ;;
    test) wanted=("${build_packages[@]}" "${test_packages[@]}") ;;
    fuzz) wanted=("${build_packages[@]}" "${fuzz_packages[@]}") ;;
    format) wanted=("${format_packages[@]}") ;;
    package) wanted=("${build_packages[@]}" "${package_packages[@]}") ;;
    kwin) wanted=("${build_packages[@]}" "${kwin_packages[@]}") ;;
    *) sed -n '4,10p' "$0" >&2; exit 2 ;;
esac

missing=()
for p in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
