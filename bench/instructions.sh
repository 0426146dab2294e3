#!/usr/bin/env bash
# Counts the instructions of one whole run of each zorvi binary given (default: the Release
# build) with valgrind's callgrind, from process start, on the shipped data in a tmpfs directory.
# usage: bench/instructions.sh [BINARY...]
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || set -- "$PWD/build/release/zorvi"
dir=$(mktemp -d /dev/shm/zorvi-instructions-XXXXXX)
trap 'rm -rf "$dir"' EXIT
cp data/Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat "$dir/"
for binary in "$@"; do
    binary=$(realpath "$binary")
    (cd "$dir" && valgrind --tool=callgrind --callgrind-out-file="$dir/callgrind.out" \
        "$binary" >/dev/null 2>"$dir/valgrind.log")
    total=$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$dir/valgrind.log")
    printf '%s: %s instructions\n' "$binary" "$total"
done
