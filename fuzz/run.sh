#!/usr/bin/env bash
# Builds the fuzz targets with clang (in build/fuzz) and runs each for SECONDS seconds
# (default 60), two at a time. Each run starts by executing the seeds, the shipped data and the kept
# regression inputs, then fuzzes; new inputs collect in build/fuzz/corpus/ across runs.
# Exits nonzero when any target finds something, leaving the input in build/fuzz/findings/.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz

"$root/fuzz/install-deps"
cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j2 >/dev/null

# run_target TARGET [OPTION...] -- [EXTRA_INPUT_DIR...]
run_target() {
    local target=$1
    shift
    local options=()
    while [ "$1" != "--" ]; do
        options+=("$1")
        shift
    done
    shift
    local corpus=$build/corpus/$target
    local log=$build/$target.log
    local inputs=("$corpus" "$root/fuzz/seeds/$target" "$@")
    [ -d "$root/fuzz/regressions/$target" ] && inputs+=("$root/fuzz/regressions/$target")
    mkdir -p "$corpus" "$build/findings"

    if "$build/${target}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$build/findings/$target-" "${options[@]}" "${inputs[@]}" \
        >"$log" 2>&1; then
        echo "fuzz $target: $(grep -E '^Done [0-9]+ runs' "$log" || echo done), no findings"
    else
        tail -n 40 "$log" >&2
        echo "fuzz $target: FINDING (full log $log)" >&2
        return 1
    fi
}

# Two targets at a time, one on each core; every target runs, and any finding fails the run.
status=0
run_target list_read -dict="$root/fuzz/list_read.dict" -- "$root/data" &
first=$!
run_target render -max_len=400 -- || status=1
wait "$first" || status=1
run_target csv_read -dict="$root/fuzz/csv_read.dict" -- "$root/data" &
first=$!
run_target options -dict="$root/fuzz/options.dict" -max_len=300 -- || status=1
wait "$first" || status=1
exit "$status"
