#!/usr/bin/env bash
# Writes every output of zorvi-report for four cases into OUT/<case>/: a finished run of the
# shipped data, the same run given as study options, the shipped CSV at 64 kt, and a CSV of
# another shape (25 events, other column names, a fractional threshold).
#   record.sh BUILD_DIR SOURCE_DIR OUT
set -euo pipefail
build=$(realpath "$1") source=$(realpath "$2") out=$3
mkdir -p "$out"
out=$(realpath "$out")
report=$build/zorvi-report
data=Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat
csv=us-hurricane-landfalls-1980-2018.csv
fixed=(--threshold 113 --interval 1980.417 2018.917 --series 2000 --seed -206761862)

# One case in a fresh directory: the text with the figure and tables, then the JSON.
each() {
    local name=$1
    shift
    local dir=$out/$name
    rm -rf "$dir"
    mkdir -p "$dir"
    cp "$source/data/$data" "$source/data/$csv" "$source/tests/golden/report/quakes.csv" "$dir/"
    (cd "$dir" && prepare_$name && "$report" "$@" --csv tables >summary.txt &&
        "$report" "$@" --no-figure --json >report.json)
    rm -f "$dir/$data" "$dir/$csv" "$dir/quakes.csv" "$dir/Zorviresult.dat.input"
}
prepare_run() { "$build/zorvi" >/dev/null; }
prepare_study() { :; }
prepare_csv64() { :; }
prepare_quakes() { :; }

each run
each study --data "$data" "${fixed[@]}"
each csv64 --data "$csv" --threshold 64
each quakes --data quakes.csv --columns when,Mw,se --threshold 6.5 --interval 1950 2020 \
    --results quakes.dat
