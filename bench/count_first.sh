#!/usr/bin/env bash
# What counting the files before the walk costs a move run, where the rest is cheapest (one
# rename per file): `nandell-cli organize --move` of a large tree on one file system, timed
# against a baseline build of nandell-cli that does not count (say, one of the main branch),
# the two alternating, each run undone (untimed) before the next. Prints the medians of each,
# wall-clock and processor time, and their ratios (goal: at most 1.1).
#
# usage: bench/count_first.sh BASELINE_CLI [CLI]     (CLI: build/cli/nandell-cli)
# env:   FILES (20000), ROUNDS (9), BENCH_DIR (/tmp)
set -euo pipefail
source "$(dirname "$0")/bench_lib.sh"

base=$(readlink -f "$1")
cli=$(readlink -f "${2:-build/cli/nandell-cli}")
files=${FILES:-20000}
rounds=${ROUNDS:-9}
for program in "$base" "$cli"; do
  [ -x "$program" ] || { echo "no nandell-cli at $program" >&2; exit 2; }
done

bench_work nandell-bench "${BENCH_DIR:-/tmp}"
mkdir -p "$work/out"

# Small JPEGs with an Exif DateTimeOriginal over five years, in 40 rolls of 7 day folders.
bench_python "$work/src" "$files" <<'EOF'
import os, random, struct, sys
root, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(20260101)
for i in range(count):
    folder = os.path.join(root, "roll%02d" % (i % 40), "day%d" % (i % 7))
    os.makedirs(folder, exist_ok=True)
    date = "%04d:%02d:%02d 12:00:00" % (rng.randrange(2016, 2021), rng.randrange(1, 13),
                                        rng.randrange(1, 29))
    with open(os.path.join(folder, "IMG_%05d.jpg" % i), "wb") as f:
        f.write(b"\xff\xd8" + exif_app1(date) + b"\xff\xda\x00\x02" + bytes(1024) + b"\xff\xd9")
EOF

# The wall-clock and the processor seconds (user + system) of one move run of `program`; the
# run is then undone by the baseline. The processor time says more on a busy machine.
move_run() {
  /usr/bin/time -f "%e %U %S" -o "$work/time" \
    "$1" organize "$work/src" "$work/out" --move --quiet >/dev/null
  "$base" undo "$work/out" >/dev/null
  rm -rf "$work/out/.nandell"
  awk '{ printf "%s %.3f\n", $1, $2 + $3 }' "$work/time"
}


move_run "$base" >/dev/null  # the page cache warm for both
: >"$work/base.times"
: >"$work/cli.times"
for ((i = 0; i < rounds; i++)); do
  move_run "$base" >>"$work/base.times"
  move_run "$cli" >>"$work/cli.times"
done
for column in 1 2; do
  b=$(cut -d' ' -f$column "$work/base.times" | median)
  c=$(cut -d' ' -f$column "$work/cli.times" | median)
  what=$([ $column = 1 ] && echo "wall-clock" || echo "processor")
  printf "move of %d files, %s: baseline %.3f s, counting first %.3f s (median of %d), ratio %.3f\n" \
    "$files" "$what" "$b" "$c" "$rounds" "$(echo "$c / $b" | bc -l)"
done
