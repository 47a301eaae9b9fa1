#!/usr/bin/env bash
# A second run over an organized tree with --skip-identical: every target exists and holds the
# same bytes, so every file is compared in full and skipped. Measured against comparing every
# pair with `cmp` (one process per pair, as a user would script it) and against reading both
# copies once (`cat` of every source and target: the floor), in the same session, with the
# page cache warm for everyone. Goal: at most the time of reading both copies once.
#
# usage: bench/skip_identical.sh [COUNT]     (default 10000 camera-like JPEGs of ~200 KB)
# env:   NANDELL_BENCH_BUILD (build-bench), BENCH_DIR (/tmp)
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-10000}
build=${NANDELL_BENCH_BUILD:-build-bench}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNANDELL_BUILD_GUI=OFF \
  -DNANDELL_BUILD_TESTS=OFF -DNANDELL_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target nandell-cli make_bench_tree >/dev/null
cli=$(readlink -f "$build/cli/nandell-cli")

work=$(mktemp -d "${BENCH_DIR:-/tmp}/nandell-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/cfg" "$work/out"
export NANDELL_CONFIG_DIR="$work/cfg"
echo "Making $count JPEGs under $work"
"$build/bench/make_bench_tree" "$work/src" "$count"
echo "Tree: $(du -sh "$work/src" | cut -f1)"
"$cli" organize "$work/src" "$work/out" --quiet >/dev/null

# The pairs, from the first run's journal: SOURCE NUL TARGET NUL (the names are plain here).
journal=$(ls "$work/out/.nandell/journal/"*.tsv)
awk -F'\t' '$1 == "copy" { printf "%s%c%s%c", $2, 0, $3, 0 }' "$journal" >"$work/pairs"
pairs=$(tr -cd '\0' <"$work/pairs" | wc -c)
echo "Pairs: $((pairs / 2))"

seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l | xargs printf "%.2f"
}
ratio() { echo "$1 / $2" | bc -l | xargs printf "%.2f"; }
skip_run() { "$cli" organize "$work/src" "$work/out" --skip-identical --quiet; }
cmp_each() { xargs -0 -n2 cmp -s <"$work/pairs"; }
read_both() { xargs -0 cat <"$work/pairs"; }

# Warm: every byte of both copies read once, and one unmeasured round of each.
read_both >/dev/null
skip_run >/dev/null
cmp_each
t_skip=$(seconds skip_run)
t_cmp=$(seconds cmp_each)
t_read=$(seconds read_both)
t_skip2=$(seconds skip_run)
skipped=$(skip_run | tail -1)
echo "second run: $skipped"
echo "skip-identical ${t_skip}s / ${t_skip2}s   cmp per pair ${t_cmp}s   cat of both copies ${t_read}s"
echo "ratio against cmp: $(ratio "$t_skip" "$t_cmp")   against reading both copies once: $(ratio "$t_skip" "$t_read") (goal <= 1)"
