#!/usr/bin/env bash
# Generates the walk tree (2,000 folders, 50,000 files) in $VORM_BENCH_TREE (default
# /tmp/vorm-bench-tree) and times the walkers against std::filesystem and find in one run,
# printing each as a ratio: bench/walk_compare.sh [build dir]
set -euo pipefail
build=${1:-build/bench}
"$build/bench/walk_bench" --benchmark_min_time=1
