#!/usr/bin/env bash
# Runs one test program with a temporary HOME and XDG folders, so no test
# ever touches the real user's files; the folders are removed afterwards.
set -u
tmp=$(mktemp -d "${TMPDIR:-/tmp}/tallyward-home-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/home" "$tmp/data" "$tmp/config" "$tmp/cache" "$tmp/runtime" "$tmp/tmp"
chmod 700 "$tmp/runtime"
export HOME="$tmp/home" XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config" \
       XDG_CACHE_HOME="$tmp/cache" XDG_RUNTIME_DIR="$tmp/runtime" TMPDIR="$tmp/tmp"
"$@"
