#!/usr/bin/env bash
# Runs the libFuzzer targets of a fuzz build:  fuzz/run.sh BUILD_DIR SECONDS [NAME...]
# (every target when no name is given, one after the other). Each starts from its committed
# seed corpus and keeps what it finds in BUILD_DIR/fuzz/corpus/<name>/, so the seeds are never
# written; fuzz/<name>.dict is used when present. A failing input is saved in
# BUILD_DIR/fuzz/findings/<name>/ and makes the script fail once every target has run.
set -uo pipefail
build=$1
seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for f in "$here"/*_fuzz.cpp; do names+=("$(basename "$f" _fuzz.cpp)"); done
fi
failed=()
for n in "${names[@]}"; do
  work=$build/fuzz/corpus/$n
  findings=$build/fuzz/findings/$n
  mkdir -p "$work" "$findings"
  dict=()
  [ -f "$here/$n.dict" ] && dict=(-dict="$here/$n.dict")
  echo "== $n: ${seconds} s"
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} \
    "$build/fuzz/${n}_fuzz" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$findings/" \
    "${dict[@]}" "$work" "$here/corpus/$n" || failed+=("$n")
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz targets that failed: ${failed[*]} (inputs in $build/fuzz/findings/)" >&2
  exit 1
fi
