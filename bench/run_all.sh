#!/usr/bin/env bash
# Runs every benchmark program of a bench build: bench/run_all.sh <build dir>
set -euo pipefail
build=${1:-build/bench}
for b in "$build"/bench/*_bench; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b"
done
# One load by each parser in a fresh process, as a program that loads one document sees it.
if [ -x "$build/bench/xml_bench" ]; then
  echo "== xml_bench --fresh-process"
  "$build/bench/xml_bench" --fresh-process
fi
