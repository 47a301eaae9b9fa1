#!/usr/bin/env bash
# Measures `nandell-cli organize` on a generated photo tree against the everyday tools:
#   copy  against `cp -r` of the same tree on the same file system,
#   move  against one `mv` per file,
#   copy  against exiftool's own organize by DateTimeOriginal,
# and the peak memory of a run over 100,000 small files (it must not grow with the count).
#
# usage: bench/organize_tree.sh [path/to/nandell-cli]
# env:   FILES (10000), FILE_KB (200), MANY (100000), BENCH_DIR (/tmp), SKIP_EXIFTOOL=1
# needs: python3, GNU time (/usr/bin/time), exiftool (Debian libimage-exiftool-perl)
set -euo pipefail
source "$(dirname "$0")/bench_lib.sh"

cli=${1:-build/cli/nandell-cli}
cli=$(readlink -f "$cli")
files=${FILES:-10000}
file_kb=${FILE_KB:-200}
many=${MANY:-100000}
base=${BENCH_DIR:-/tmp}
[ -x "$cli" ] || { echo "no nandell-cli at $cli" >&2; exit 2; }

bench_work nandell-bench "$base"
many_work=""
cleanup() {
  rm -rf "$work"
  [ -n "$many_work" ] && rm -rf "$many_work"
}
trap cleanup EXIT

# make_tree DIR COUNT KB: JPEGs with an Exif DateTimeOriginal over eleven years (80%), videos
# (15%) and other files (5%), in nested folders, every name unique.
make_tree() {
  bench_python "$1" "$2" "$3" <<'EOF'
import os, random, struct, sys
root, count, kb = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(20260101)
body = os.urandom(kb * 1024)
made = 0
for i in range(count):
    folder = os.path.join(root, "roll%02d" % (i % 40), "day%02d" % (i % 7) if i % 3 else "")
    os.makedirs(folder, exist_ok=True)
    kind = i % 20
    offset = rng.randrange(0, 4096)
    data = body[offset:] + body[:offset]
    if kind < 16:
        date = "%04d:%02d:%02d %02d:%02d:%02d" % (rng.randrange(2010, 2021), rng.randrange(1, 13),
                                                rng.randrange(1, 29), 12, 0, 0)
        sof_sos = b"\xff\xda\x00\x08\x01\x01\x00\x00\x3f\x00"
        name = "IMG_%06d.%s" % (i, "JPG" if i % 2 else "jpg")
        content = b"\xff\xd8" + exif_app1(date) + sof_sos + data + b"\xff\xd9"
    elif kind < 19:
        name = "MVI_%06d.%s" % (i, "mp4" if kind < 18 else "mov")
        content = data
    else:
        name = "note_%06d.txt" % i
        content = data[:1024]
    path = os.path.join(folder, name)
    with open(path, "wb") as f:
        f.write(content)
    t = 1262347200 + rng.randrange(0, 11 * 365 * 86400)
    os.utime(path, (t, t))
EOF
}

# seconds COMMAND...: runs COMMAND and prints its wall time in seconds. The data written by
# the step before is flushed first, so that its write-back does not slow this one down.
seconds() {
  local start end
  sync
  start=$(date +%s.%N)
  "$@" > /dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l | xargs printf "%.2f"
}

echo "building $files files of ~${file_kb} KB under $work ..."
make_tree "$work/src" "$files" "$file_kb"
du -sh "$work/src" | sed 's/^/tree size: /'
cp -r "$work/src" "$work/warm" && rm -rf "$work/warm"  # page cache warm for everyone

cli_copy() { "$cli" organize "$work/src" "$work/out-copy" --quiet || [ $? -eq 1 ]; }
cp_copy() { cp -r "$work/src" "$work/out-cp"; }
mkdir -p "$work/out-copy"
t_cp=$(seconds cp_copy)
t_copy=$(seconds cli_copy)
t_cp_sync=$(seconds bash -c "cp -r '$work/src' '$work/out-cp2' && sync")
echo "copy:  nandell ${t_copy}s   cp -r ${t_cp}s   cp -r + sync ${t_cp_sync}s   ratio $(ratio "$t_copy" "$t_cp") (goal <= 1.3), vs cp+sync $(ratio "$t_copy" "$t_cp_sync")"
rm -rf "$work/out-cp" "$work/out-cp2"

cp -r "$work/src" "$work/src-move"
cp -r "$work/src" "$work/src-mv"
mkdir -p "$work/out-move" "$work/out-mv"
cli_move() { "$cli" organize "$work/src-move" "$work/out-move" --move --quiet; }
mv_each() {
  while IFS= read -r -d '' f; do mv -n -- "$f" "$work/out-mv/"; done \
    < <(find "$work/src-mv" -type f -print0)
}
t_move=$(seconds cli_move)
t_mv=$(seconds mv_each)
echo "move:  nandell ${t_move}s   mv per file ${t_mv}s   ratio $(ratio "$t_move" "$t_mv") (goal <= 3)"
rm -rf "$work/src-move" "$work/src-mv" "$work/out-move" "$work/out-mv" "$work/out-copy"

if [ "${SKIP_EXIFTOOL:-0}" != 1 ] && command -v exiftool > /dev/null; then
  mkdir -p "$work/out-copy" "$work/out-exif"
  t_copy2=$(seconds cli_copy)
  exif_run() {
    exiftool -q -q -r -o "$work/out-exif/" '-Directory<DateTimeOriginal' \
      -d "$work/out-exif/%Y年/%Y-%m-%d" "$work/src" || true
  }
  t_exif=$(seconds exif_run)
  echo "exif:  nandell ${t_copy2}s   exiftool ${t_exif}s   nandell is $(ratio "$t_exif" "$t_copy2")x faster (goal >= 10)"
  rm -rf "$work/out-copy" "$work/out-exif"
fi

# Peak memory: the walk keeps no per-file state, so 100,000 files need what 1,000 need.
# Small files on a memory file system, so that the disk does not set the pace.
many_base=/dev/shm
[ -w "$many_base" ] || many_base=$base
many_work=$(mktemp -d "$many_base/nandell-bench-many-XXXXXX")
for count in 1000 "$many"; do
  rm -rf "$many_work/src" "$many_work/out"
  make_tree "$many_work/src" "$count" 1
  mkdir -p "$many_work/out"
  /usr/bin/time -v "$cli" organize "$many_work/src" "$many_work/out" --quiet \
    > /dev/null 2> "$many_work/time.txt" || true
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$many_work/time.txt")
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$many_work/time.txt")
  echo "memory: $count files: peak RSS ${rss} KB, wall $wall"
done
