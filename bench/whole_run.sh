#!/usr/bin/env bash
# Times whole runs of the Release zorvi (or zorvi-report, after one zorvi run) on the shipped
# data in a tmpfs directory (/dev/shm).
# usage: bench/whole_run.sh [RUNS] [zorvi|zorvi-report]   (default 200 runs of zorvi)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-200}
program=${2:-zorvi}
binary=$PWD/build/bench/$program
[ -x "$binary" ] || { echo "build first: make bench" >&2; exit 1; }
dir=$(mktemp -d /dev/shm/zorvi-bench-XXXXXX)
trap 'rm -rf "$dir"' EXIT
cp data/Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat "$dir/"
cd "$dir"
# The report reads a finished run's results.
[ "$program" = zorvi ] || "$(dirname "$binary")/zorvi" >/dev/null
if command -v hyperfine >/dev/null; then
    hyperfine -N --warmup 20 --runs "$runs" --export-json "$dir/times.json" "$binary"
    python3 -c 'import json, sys; r = json.load(open(sys.argv[1]))["results"][0]
print("median wall time: %.2f ms over %d runs" % (r["median"] * 1e3, len(r["times"])))' "$dir/times.json"
else
    # Fallback: per-run wall times in microseconds, then the median.
    for _ in $(seq "$runs"); do
        start=$(date +%s%N)
        "$binary" >/dev/null
        end=$(date +%s%N)
        echo $(((end - start) / 1000))
    done | sort -n | awk '{a[NR]=$1} END {print "median wall time: " a[int((NR+1)/2)] " us over " NR " runs"}'
fi
