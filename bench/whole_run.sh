#!/usr/bin/env bash
# Times whole runs of the Release zorvi on the shipped data in a tmpfs directory (/dev/shm),
# then whole runs of zorvi-report on the results file it wrote.
# usage: bench/whole_run.sh [RUNS]   (default 200)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-200}
binary=$PWD/build/release/zorvi
report=$PWD/build/release/zorvi-report
[ -x "$binary" ] && [ -x "$report" ] || { echo "build first: make bench" >&2; exit 1; }
dir=$(mktemp -d /dev/shm/zorvi-bench-XXXXXX)
trap 'rm -rf "$dir"' EXIT
cp data/Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat "$dir/"
cd "$dir"

# Prints the median wall time of `runs` runs of the command given.
time_runs() {
    if command -v hyperfine >/dev/null; then
        hyperfine -N --warmup 20 --runs "$runs" --export-json "$dir/times.json" "$*"
        python3 -c 'import json, sys; r = json.load(open(sys.argv[1]))["results"][0]
print("median wall time: %.2f ms over %d runs" % (r["median"] * 1e3, len(r["times"])))' \
            "$dir/times.json"
    else
        # Fallback: per-run wall times in microseconds, then the median.
        for _ in $(seq "$runs"); do
            start=$(date +%s%N)
            "$@" >/dev/null
            end=$(date +%s%N)
            echo $(((end - start) / 1000))
        done | sort -n | awk '{a[NR]=$1} END {print "median wall time: " a[int((NR+1)/2)] " us over " NR " runs"}'
    fi
}

time_runs "$binary"
"$binary" >/dev/null  # the results file the report reads
time_runs "$report"
