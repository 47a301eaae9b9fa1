#!/usr/bin/env bash
# Many files on one name with --rename-conflicts: COUNT files IMG.jpg, each in a folder of its
# own and all of one day, go to IMG.jpg, IMG_1.jpg ... in one day folder. Measured for a small
# and a large count in the same session; the cost per file must not grow with the count
# (goal: the large count's time per file at most 1.5 times the small count's).
#
# usage: bench/rename_conflicts.sh [path/to/nandell-cli]
# env:   SMALL (1000), LARGE (10000), BENCH_DIR (/dev/shm when writable, else /tmp)
set -euo pipefail
source "$(dirname "$0")/bench_lib.sh"

cli=$(readlink -f "${1:-build/cli/nandell-cli}")
small=${SMALL:-1000}
large=${LARGE:-10000}
base=${BENCH_DIR:-/dev/shm}
[ -w "$base" ] || base=/tmp
[ -x "$cli" ] || { echo "no nandell-cli at $cli" >&2; exit 2; }

bench_work nandell-bench "$base"

# run COUNT: prints the seconds of one copy run over COUNT files on one name.
run() {
  local count=$1 start end
  rm -rf "$work/src" "$work/out"
  mkdir -p "$work/src" "$work/out"
  for ((i = 0; i < count; ++i)); do
    mkdir "$work/src/$i"
    printf '%d' "$i" > "$work/src/$i/IMG.jpg"
  done
  find "$work/src" -type f -exec touch -d '2014-12-31 12:00' {} +
  start=$(date +%s.%N)
  "$cli" organize "$work/src" "$work/out" --rename-conflicts --quiet > "$work/summary" || true
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l | xargs printf "%.2f"
}

t_small=$(run "$small")
t_large=$(run "$large")
echo "rename-conflicts: $small files ${t_small}s   $large files ${t_large}s   $(tail -1 "$work/summary")"
echo "time per file, $large against $small: $(echo "($t_large / $large) / ($t_small / $small)" | bc -l | xargs printf "%.2f") (goal <= 1.5)"
