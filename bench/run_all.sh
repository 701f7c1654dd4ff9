#!/usr/bin/env bash
# Runs every benchmark program of a bench build: bench/run_all.sh <build dir>
set -euo pipefail
build=${1:-build/bench}
for b in "$build"/bench/*_bench; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b"
done
