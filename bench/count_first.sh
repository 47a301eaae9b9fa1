#!/usr/bin/env bash
# What counting the files before the walk costs a move run, where the rest is cheapest (one
# rename per file): `nandell-cli organize --move` of a large tree on one file system, timed
# against a baseline build of nandell-cli that does not count (say, one of the main branch),
# the two alternating, each run undone (untimed) before the next. Prints the median of each and
# their ratio (goal: at most 1.1).
#
# usage: bench/count_first.sh BASELINE_CLI [CLI]     (CLI: build/cli/nandell-cli)
# env:   FILES (20000), ROUNDS (5), BENCH_DIR (/tmp)
set -euo pipefail

base=$(readlink -f "$1")
cli=$(readlink -f "${2:-build/cli/nandell-cli}")
files=${FILES:-20000}
rounds=${ROUNDS:-5}
for program in "$base" "$cli"; do
  [ -x "$program" ] || { echo "no nandell-cli at $program" >&2; exit 2; }
done

work=$(mktemp -d "${BENCH_DIR:-/tmp}/nandell-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/cfg" "$work/out"
export NANDELL_CONFIG_DIR="$work/cfg"

# Small JPEGs with an Exif DateTimeOriginal over five years, in 40 rolls of 7 day folders.
python3 - "$work/src" "$files" <<'EOF'
import os, random, struct, sys
root, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(20260101)
for i in range(count):
    folder = os.path.join(root, "roll%02d" % (i % 40), "day%d" % (i % 7))
    os.makedirs(folder, exist_ok=True)
    date = "%04d:%02d:%02d 12:00:00\0" % (rng.randrange(2016, 2021), rng.randrange(1, 13),
                                          rng.randrange(1, 29))
    tiff = b"II*\0" + struct.pack("<I", 8)
    tiff += struct.pack("<H", 1) + struct.pack("<HHII", 0x8769, 4, 1, 26) + struct.pack("<I", 0)
    tiff += struct.pack("<H", 1) + struct.pack("<HHII", 0x9003, 2, 20, 44) + struct.pack("<I", 0)
    payload = b"Exif\0\0" + tiff + date.encode()
    app1 = b"\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload
    with open(os.path.join(folder, "IMG_%05d.jpg" % i), "wb") as f:
        f.write(b"\xff\xd8" + app1 + b"\xff\xda\x00\x02" + bytes(1024) + b"\xff\xd9")
EOF

# Seconds of one move run of `program`; the run is then undone by the baseline.
move_run() {
  local start end
  start=$(date +%s.%N)
  "$1" organize "$work/src" "$work/out" --move --quiet >/dev/null
  end=$(date +%s.%N)
  "$base" undo "$work/out" >/dev/null
  rm -rf "$work/out/.nandell"
  echo "$end - $start" | bc -l
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

move_run "$base" >/dev/null  # the page cache warm for both
: >"$work/base.times"
: >"$work/cli.times"
for ((i = 0; i < rounds; i++)); do
  move_run "$base" >>"$work/base.times"
  move_run "$cli" >>"$work/cli.times"
done
b=$(median <"$work/base.times")
c=$(median <"$work/cli.times")
printf "move of %d files: baseline %.3f s, counting first %.3f s (median of %d), ratio %.3f\n" \
  "$files" "$b" "$c" "$rounds" "$(echo "$c / $b" | bc -l)"
