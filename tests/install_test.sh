#!/usr/bin/env bash
# Installs the build into a fresh prefix, checks that the programs and their manual pages are
# where a user looks for them, that the pages format without warnings, and that the installed
# zorvi writes the golden results file; then that a program of someone else's builds against the
# installed library and gets the same analysis as the installed zorvi-report.
# usage: install_test.sh BUILD_DIR SOURCE_DIR [LINK_FLAGS]  (the flags the consumer links with)
set -euo pipefail
build=$1 source=$2 link_flags=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
for file in bin/zorvi bin/zorvi-report share/man/man1/zorvi.1 share/man/man1/zorvi-report.1; do
    [ -e "$work/prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done

mkdir "$work/run"
cp "$source/data/Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat" "$work/run/"
(cd "$work/run" && "$work/prefix/bin/zorvi" >/dev/null)
cmp "$work/run/Zorviresult.dat" "$source/tests/golden/Zorviresult.dat"
# The installed report runs a study of the program's own values: the same results file.
(cd "$work/run" && "$work/prefix/bin/zorvi-report" --no-figure --seed -206761862 >/dev/null)
cmp "$work/run/study-results.dat" "$source/tests/golden/Zorviresult.dat"

# An unrelated project: find_package(Zorvi), link Zorvi::zorvi, run a study on the shipped CSV.
csv=$source/data/us-hurricane-landfalls-1980-2018.csv
cmake -S "$source/tests/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$work/prefix" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_EXE_LINKER_FLAGS="$link_flags" >/dev/null
cmake --build "$work/consumer" >/dev/null
"$work/consumer/consumer" "$csv" 64 >"$work/consumer.json"
(cd "$work/run" && "$work/prefix/bin/zorvi-report" --data "$csv" --threshold 64 --json \
    --no-figure >"$work/report.json")
cmp "$work/consumer.json" "$work/report.json"

if ! command -v groff >/dev/null; then
    echo "groff is not installed: manual pages not checked"
    exit 77  # skipped
fi
for page in "$work"/prefix/share/man/man1/*.1; do
    warnings=$(groff -man -Tutf8 -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || { echo "$page: $warnings"; exit 1; }
done
