#!/usr/bin/env bash
# Runs every built benchmark program, then times whole runs and counts the instructions of one.
set -euo pipefail
cd "$(dirname "$0")/.."
for b in build/release/*_bench; do
    [ -x "$b" ] && "$b" --benchmark_min_time=0.2
done
bench/whole_run.sh
bench/study_run.sh
bench/input_run.sh
if command -v valgrind >/dev/null; then bench/instructions.sh build/release/zorvi; fi
