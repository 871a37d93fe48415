#!/usr/bin/env bash
# Builds and runs the libFuzzer targets of fuzz/ with clang, AddressSanitizer
# and UndefinedBehaviorSanitizer, in build/fuzz.
# Usage: scripts/fuzz.sh build
#        scripts/fuzz.sh run TARGET [SECONDS] [extra libFuzzer options...]
#   TARGET is png_fuzz, jpeg_fuzz, gif_fuzz, picture_fuzz (every format by
#   content, BMP and ICO included) or ini_fuzz; SECONDS defaults to 600.
# Installs clang-14 and libclang-rt-14-dev when they are missing (unless
# CC_FUZZ/CXX_FUZZ name other compilers). The working corpus grows in
# build/fuzz/corpus/TARGET, seeded from tests/imaging/corpus; crashes land in
# build/fuzz/artifacts/TARGET. Runs at the lowest priority, so a build or a
# test run beside it keeps the machine.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build/fuzz"
cc=${CC_FUZZ:-clang-14}
cxx=${CXX_FUZZ:-clang++-14}

build_targets() {
    if [ -z "${CC_FUZZ:-}${CXX_FUZZ:-}" ]; then
        "$top/scripts/install-deps.sh" fuzz
    fi
    if ! command -v "$cxx" >/dev/null; then
        echo "$cxx not found" >&2
        exit 1
    fi
    local flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
    flags+=" -fno-omit-frame-pointer -g -O1 -Wno-unknown-warning-option"
    # The dev tree's lock: one build at a time on this machine.
    exec 9>/tmp/tallyward-build.lock
    flock 9
    cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
        -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
        -DTW_FUZZ=ON -DTW_BUILD_TESTS=OFF -DTW_BUILD_BENCH=OFF \
        -DTW_SANITIZE=OFF -DTW_WERROR=OFF >/dev/null
    cmake --build "$build" -j2 --target png_fuzz jpeg_fuzz gif_fuzz picture_fuzz ini_fuzz
    exec 9>&-
}

# Seeds by what the fuzzer reads: pictures by extension, ini files from the
# tests' own examples when there are any, and a few written here.
seed_corpus() {
    local target=$1 dir=$2
    mkdir -p "$dir"
    local ext
    case $target in
        png_fuzz) ext="png" ;;
        jpeg_fuzz) ext="jpg" ;;
        gif_fuzz) ext="gif" ;;
        picture_fuzz) ext="*" ;;
        ini_fuzz)
            printf '[Appearance]\nColor=0\nTextColor=$FFFFFF\nTransparency=10\n' >"$dir/seed1.ini"
            printf '\xEF\xBB\xBF[A]\r\nKey=1\r\n; comment\r\n[a]\r\nkey = 0x10 \r\n' >"$dir/seed2.ini"
            printf '[Options]\nx=-2147483648\ny=$FFFFFFFF\n[Options]\nz=\n=novalue\n[broken\n' \
                >"$dir/seed3.ini"
            return
            ;;
    esac
    find "$top/tests/imaging/corpus" -type f -name "*.$ext" -exec cp -n {} "$dir/" \;
    # Misnamed files carry the content their name does not promise.
    cp -n "$top"/tests/imaging/corpus/mismatch/* "$dir/" 2>/dev/null || true
}

run_target() {
    local target=$1 seconds=${2:-600}
    shift $(($# < 2 ? $# : 2))
    local binary="$build/fuzz/$target"
    [ -x "$binary" ] || { echo "Build first: scripts/fuzz.sh build" >&2; exit 1; }
    local corpus="$build/corpus/$target" artifacts="$build/artifacts/$target/"
    seed_corpus "$target" "$corpus"
    mkdir -p "$artifacts"
    exec nice -n 19 "$binary" "$corpus" -artifact_prefix="$artifacts" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
        -print_final_stats=1 "$@"
}

case ${1:-} in
    build) build_targets ;;
    run) [ $# -ge 2 ] || { echo "Usage: $0 run TARGET [SECONDS]" >&2; exit 2; }
         shift; run_target "$@" ;;
    *) sed -n '2,12p' "$0" >&2; exit 2 ;;
esac
