#!/usr/bin/env bash
# Times whole zorvi-report studies of the shipped data at growing series counts, with the peak
# resident memory of each: the series are streamed, so memory must not grow with their number.
# usage: bench/study_run.sh [RUNS]   (default 5 per count)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
report=$PWD/build/release/zorvi-report
[ -x "$report" ] || { echo "build first: make bench" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; }
dir=$(mktemp -d /dev/shm/zorvi-study-XXXXXX)
trap 'rm -rf "$dir"' EXIT
cp data/Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat "$dir/"
cd "$dir"

for series in 2000 100000 1000000; do
    for _ in $(seq "$runs"); do
        /usr/bin/time -f '%e %M' -o run.txt "$report" --series "$series" --no-figure \
            --results study.dat >/dev/null
        cat run.txt
    done | sort -n | awk -v n="$series" '{t[NR] = $1; if ($2 > m) m = $2}
        END {printf "%8d series: median %.2f s (fastest %.2f s) over %d runs, peak RSS %.1f MB\n",
             n, t[int((NR + 1) / 2)], t[1], NR, m / 1024}'
done
