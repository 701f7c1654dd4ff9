#!/usr/bin/env bash
# Times the tree walkers against std::filesystem and find(1), then VormCopyTree and
# VormDeleteTree against cp -r and rm -rf on tmpfs and on a disk file system, printing each
# as a ratio (ours / peer's, lower is faster): bench/walk_compare.sh [build dir]
# Each tree (2,000 folders, 50,000 files) is made once and kept:
#   VORM_BENCH_TREE   the walks and the disk run (default /tmp/vorm-bench-tree)
#   VORM_BENCH_TMPFS  the tmpfs run (default /dev/shm/vorm-bench-tree; skipped without /dev/shm)
set -euo pipefail
build=${1:-build/bench}
disk=${VORM_BENCH_TREE:-${TMPDIR:-/tmp}/vorm-bench-tree}
tmpfs=${VORM_BENCH_TMPFS:-/dev/shm/vorm-bench-tree}

echo "== walks ($(stat -f -c %T "$(dirname "$disk")"))"
VORM_BENCH_TREE=$disk "$build/bench/walk_bench" --benchmark_min_time=1

if [ -d "$(dirname "$tmpfs")" ]; then
  echo "== tree copy and removal on $(stat -f -c %T "$(dirname "$tmpfs")")"
  VORM_BENCH_TREE=$tmpfs "$build/bench/file_ops_bench"
fi
echo "== tree copy and removal on $(stat -f -c %T "$(dirname "$disk")")"
VORM_BENCH_TREE=$disk "$build/bench/file_ops_bench"
