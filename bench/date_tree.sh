#!/usr/bin/env bash
# Dates a tree of 10,000 camera-like JPEGs (about 200 KB each, nested folders, varied dates)
# three ways and compares the times:
#   nandell-cli date                       (our reader)
#   read_floor                             (open each file, read its first 64 KiB: the floor)
#   exiftool -r -fast2 -DateTimeOriginal   (an independent reader, as a yardstick)
# Goal: nandell-cli within 1.5x the floor, and at least 10x exiftool's throughput.
# The tree lives under /tmp and is removed at the end. Usage: bench/date_tree.sh [COUNT]
# NANDELL_BENCH_DATE_OPTIONS holds options for every `nandell-cli date` (for example
# "--media-dates --sidecar-dates --name-dates --day-starts-at 04:00 --shift +01:00 --source").
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-10000}
build=${NANDELL_BENCH_BUILD:-build-bench}
read -r -a date_options <<<"${NANDELL_BENCH_DATE_OPTIONS:-}"

if ! command -v exiftool >/dev/null; then
  echo "Installing exiftool (libimage-exiftool-perl) for the comparison"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    libimage-exiftool-perl >/dev/null
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNANDELL_BUILD_GUI=OFF \
  -DNANDELL_BUILD_TESTS=OFF -DNANDELL_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target nandell-cli read_floor make_bench_tree >/dev/null

tree=$(mktemp -d /tmp/nandell-bench-XXXXXX)
trap 'rm -rf "$tree"' EXIT
echo "Making $count JPEGs under $tree"
"$build/bench/make_bench_tree" "$tree/photos" "$count"
find "$tree/photos" -name '*.jpg' -print0 | sort -z >"$tree/list"
echo "Tree: $(du -sh "$tree/photos" | cut -f1) in $(find "$tree/photos" -type d | wc -l) folders"

# Page cache warm for everyone: read every byte once, then one unmeasured run of each.
xargs -0 cat <"$tree/list" >/dev/null
xargs -0 "$build/cli/nandell-cli" date "${date_options[@]}" <"$tree/list" | cut -f1,2 \
  >"$tree/ours.txt"
xargs -0 "$build/bench/read_floor" <"$tree/list" >/dev/null
exiftool -q -r -fast2 -p '$Directory/$FileName	$DateTimeOriginal' "$tree/photos" \
  >"$tree/exiftool.txt" 2>/dev/null || true

# Same answers: every file dated, and the same days as exiftool.
dated=$(awk -F'\t' '$2 != ""' "$tree/ours.txt" | wc -l)
agree=$(join -t $'\t' <(sort "$tree/ours.txt") \
  <(awk -F'\t' '{ d = $2; sub(/ .*/, "", d); gsub(/:/, "-", d); print $1 "\t" d }' \
    "$tree/exiftool.txt" | sort) | awk -F'\t' '$2 == $3' | wc -l)
echo "Dated by nandell-cli: $dated of $count; same day as exiftool: $agree"

best() {  # best wall time in seconds of $1 runs of the remaining command
  local runs=$1 t best=""
  shift
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }')
    if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
  done
  echo "$best"
}
run_ours() { xargs -0 "$build/cli/nandell-cli" date "${date_options[@]}" <"$tree/list"; }
run_floor() { xargs -0 "$build/bench/read_floor" <"$tree/list"; }
run_exiftool() { exiftool -q -r -fast2 -DateTimeOriginal "$tree/photos" 2>/dev/null || true; }

ours=$(best 5 run_ours)
floor=$(best 5 run_floor)
exif=$(best 2 run_exiftool)

rate() { awk -v n="$count" -v t="$1" 'BEGIN { printf "%d", n / t }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
printf '%-34s %8.3f s %8s files/s\n' "nandell-cli date" "$ours" "$(rate "$ours")"
printf '%-34s %8.3f s %8s files/s\n' "floor (open + read 64 KiB)" "$floor" "$(rate "$floor")"
printf '%-34s %8.3f s %8s files/s\n' "exiftool -fast2" "$exif" "$(rate "$exif")"
echo "nandell-cli / floor time:          $(ratio "$ours" "$floor") (goal <= 1.5)"
echo "nandell-cli / exiftool throughput: $(ratio "$exif" "$ours") (goal >= 10)"
