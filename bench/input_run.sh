#!/usr/bin/env bash
# Times zorvi-report reading inputs of 5, 50 and 500 MB in each shape that once read in time
# growing with the square of a line's length or held a line whole, with the peak resident
# memory of each run: time must grow in proportion to the bytes, memory not at all. MB/s is
# per second of CPU time (user and system), which the load of a shared machine disturbs least.
#   free-long-line    a free-format file whose first line carries N MB after its three values
#   free-blank-lines  three events, then N MB of blank lines
#   csv-long-header   a CSV header of N MB (many columns before the ones in use), one event
#   csv-blank-lines   a CSV table of three events, then N MB of blank lines
#   csv-long-cell     a CSV table whose first row holds N MB in a quoted cell not in use
#   results-long-line a finished run whose first results record ends in N MB of blanks
# usage: bench/input_run.sh [SIZES_MB...]   (default 5 50 500)
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(5 50 500)
report=$PWD/build/release/zorvi-report
program=$PWD/build/release/zorvi
[ -x "$report" ] && [ -x "$program" ] || { echo "build first: make bench" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; }
source=$PWD
dir=$(mktemp -d /dev/shm/zorvi-input-XXXXXX)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
data=Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat
cp "$source/data/$data" .
"$program" >/dev/null

# fill BYTES CHAR: BYTES copies of CHAR (one byte) on standard output.
fill() { head -c "$1" /dev/zero | tr '\0' "$2"; }
study=(--interval 1980 2020 --series 10 --no-figure --results out.dat)

# make SHAPE BYTES: the input of SHAPE with about BYTES bytes of filler, and the options that
# read it (a study of a few series, or the finished run).
make() {
    local shape=$1 bytes=$2
    case $shape in
    free-long-line)
        { printf '1990.5 100 5 '; fill "$bytes" x; printf '\n2000.5 120 5\n2010.5 90 5\n'; } >in.dat
        options=(--data in.dat "${study[@]}") ;;
    free-blank-lines)
        { printf '1990.5 100 5\n2000.5 120 5\n2010.5 90 5\n'; fill "$bytes" '\n'; } >in.dat
        options=(--data in.dat "${study[@]}") ;;
    csv-long-header)
        { fill "$((bytes / 2))" ','; fill "$((bytes / 2))" x
          printf ',time_decimal_year,max_wind_kt,stderr_kt\n'
          fill "$((bytes / 2))" ','; printf ',1990.5,100,5\n'; } >in.csv
        options=(--data in.csv "${study[@]}") ;;
    csv-blank-lines)
        { printf 'time_decimal_year,max_wind_kt,stderr_kt\n1990.5,100,5\n2000.5,120,5\n'
          printf '2010.5,90,5\n'; fill "$bytes" '\n'; } >in.csv
        options=(--data in.csv "${study[@]}") ;;
    csv-long-cell)
        { printf 'time_decimal_year,notes,max_wind_kt,stderr_kt\n1990.5,"'; fill "$bytes" x
          printf '",100,5\n2000.5,,120,5\n2010.5,,90,5\n'; } >in.csv
        options=(--data in.csv "${study[@]}") ;;
    results-long-line)
        local results=$source/tests/golden/Zorviresult.dat
        { sed -n 1,3p "$results"; sed -n 4p "$results" | tr -d '\r\n'; fill "$bytes" ' '
          printf '\r\n'; sed -n '5,$p' "$results"; } >Zorviresult.dat
        options=(--no-figure) ;;
    esac
}

printf '%-18s %8s %9s %9s %10s %9s\n' shape MB seconds "CPU s" "MB/s" "peak MB"
for shape in free-long-line free-blank-lines csv-long-header csv-blank-lines csv-long-cell \
    results-long-line; do
    for mb in "${sizes[@]}"; do
        make "$shape" $((mb * 1000000))
        input=$([ "$shape" = results-long-line ] && echo Zorviresult.dat || ls in.*)
        size=$(stat -c %s "$input")
        /usr/bin/time -f '%e %U %S %M' -o run.txt "$report" "${options[@]}" >/dev/null
        read -r seconds user system peak <run.txt
        awk -v s="$shape" -v b="$size" -v t="$seconds" -v u="$user" -v y="$system" -v p="$peak" '
            BEGIN { cpu = u + y
            printf "%-18s %8.1f %9.2f %9.2f %10.0f %9.1f\n", s, b / 1e6, t, cpu,
                (cpu > 0 ? b / 1e6 / cpu : 0), p / 1024 }'
        rm -f in.dat in.csv out.dat
    done
done
