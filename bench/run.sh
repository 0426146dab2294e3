#!/usr/bin/env bash
# Runs every built benchmark program.
set -euo pipefail
cd "$(dirname "$0")/.."
for b in build/bench/bench/*_bench; do
    [ -x "$b" ] && "$b" --benchmark_min_time=0.2
done
