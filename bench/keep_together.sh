#!/usr/bin/env bash
# What --keep-together costs a move run on a tree without companions (10,000 camera-like JPEGs
# in nested folders, moved within one file system): the run with the switch and without it,
# against the run of a baseline nandell-cli (another build, such as the main branch's), the
# three alternating in every round of one session. Prints the median of each and the ratios.
# Goal: with the switch within 1.1x of the baseline.
#
# usage: bench/keep_together.sh BASELINE_CLI [CLI]
# env:   COUNT (10000), ROUNDS (7), BENCH_DIR (/tmp), NANDELL_BENCH_BUILD (build: its
#        bench/make_bench_tree writes the tree; configure with -DNANDELL_BUILD_BENCH=ON)
set -euo pipefail
source "$(dirname "$0")/bench_lib.sh"
cd "$(dirname "$0")/.."
baseline=$(readlink -f "${1:?usage: bench/keep_together.sh BASELINE_CLI [CLI]}")
cli=$(readlink -f "${2:-build/cli/nandell-cli}")
count=${COUNT:-10000}
rounds=${ROUNDS:-7}
maker=${NANDELL_BENCH_BUILD:-build}/bench/make_bench_tree
for program in "$baseline" "$cli" "$maker"; do
  [ -x "$program" ] || { echo "no program at $program" >&2; exit 2; }
done

bench_work nandell-bench "${BENCH_DIR:-/tmp}"
"$maker" "$work/tree" "$count"
cat $(find "$work/tree" -type f) > /dev/null  # the page cache warm for every run

# run NAME CLI [OPTION]: one move run of a fresh copy of the tree (hard links: the copy costs
# no data); appends its seconds to NAME's list.
run() {
  local name=$1 program=$2 start end
  shift 2
  rm -rf "$work/src" "$work/out"
  cp -al "$work/tree" "$work/src"
  mkdir "$work/out"
  sync
  start=$(date +%s.%N)
  "$program" organize "$work/src" "$work/out" --move --quiet "$@" > /dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l >> "$work/$name"
}

for ((round = 0; round < rounds; ++round)); do
  run baseline "$baseline"
  run off "$cli"
  run on "$cli" --keep-together
done
base=$(median < "$work/baseline")
off=$(median < "$work/off")
on=$(median < "$work/on")
printf "move of %d files, median of %d rounds: baseline %.2fs, without the switch %.2fs, " \
  "$count" "$rounds" "$base" "$off"
printf "with --keep-together %.2fs\n" "$on"
printf "ratio to the baseline: without %.3f, with --keep-together %.3f (goal <= 1.1)\n" \
  "$(echo "$off / $base" | bc -l)" "$(echo "$on / $base" | bc -l)"
