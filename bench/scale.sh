#!/usr/bin/env bash
# Time and peak memory of every command over trees of many small files on a memory file system,
# so that the disk does not set the pace: a dry run of a move, the move, history, date, library,
# duplicates, and the undo of the move, beside the mv loop that moves the same files. The peak
# memory of a command must not grow with the number of files, and an undo takes at most 1.2x
# its run (both without a library index to keep current: library made one, it is removed first).
#
# usage: bench/scale.sh [path/to/nandell-cli]
# env:   COUNTS ("50000 200000"; "50000 200000 1000000" for the million), FOLDER_FILES (1000),
#        BENCH_DIR (/dev/shm, else /tmp)
# needs: python3, GNU time (/usr/bin/time)
set -euo pipefail
source "$(dirname "$0")/bench_lib.sh"

cli=${1:-build/cli/nandell-cli}
cli=$(readlink -f "$cli")
counts=${COUNTS:-50000 200000}
folder_files=${FOLDER_FILES:-1000}
base=${BENCH_DIR:-/dev/shm}
[ -w "$base" ] || base=/tmp
[ -x "$cli" ] || { echo "no nandell-cli at $cli" >&2; exit 2; }

bench_work nandell-scale "$base"

# make_tree DIR COUNT: small JPEGs (an Exif DateTimeOriginal on one of 1,000 days) and movies
# (dated by their last-write time), FOLDER_FILES to a folder, sizes from 200 to 2,200 bytes.
make_tree() {
  bench_python "$1" "$2" "$folder_files" <<'EOF'
import os, random, struct, sys
root, count, per_folder = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(20261209)
body = os.urandom(4096)
for i in range(count):
    folder = os.path.join(root, "r%04d" % (i // per_folder))
    if i % per_folder == 0:
        os.makedirs(folder, exist_ok=True)
    day = rng.randrange(0, 1000)
    size = rng.randrange(200, 2200)
    data = struct.pack("<Q", i) + body[:size]
    if i % 5:
        date = "2017:01:01 12:00:00" if day == 0 else "%04d:%02d:%02d 12:00:00" % (
            2015 + day // 336, 1 + day % 336 // 28, 1 + day % 28)
        name, content = "IMG_%07d.jpg" % i, b"\xff\xd8" + exif_app1(date) + b"\xff\xda" + data
    else:
        name, content = "MVI_%07d.mov" % i, data
    path = os.path.join(folder, name)
    with open(path, "wb") as f:
        f.write(content)
    t = 1420113600 + day * 86400
    os.utime(path, (t, t))
EOF
}

# measure NAME COMMAND...: runs COMMAND with its output thrown away, and records its wall time
# (seconds) and peak resident memory (KB) in the variables NAME_s and NAME_kb.
measure() {
  local name=$1
  shift
  /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" > /dev/null 2> "$work/err.txt" || true
  # A command that failed has a line saying so before the figures.
  read -r secs kb < <(tail -n 1 "$work/time.txt")
  printf -v "${name}_s" "%s" "$secs"
  printf -v "${name}_kb" "%s" "$kb"
}

# The floor of a move: every file renamed, by mv, into one folder of the same file system.
mv_loop() {
  find "$work/src" -type f -print0 | xargs -0 -n 1000 mv -n -t "$work/mv/"
}
# `date` over every file placed, 10,000 files to a call.
date_all() {
  find "$work/out" -path "$work/out/.nandell" -prune -o -type f -print0 |
    xargs -0 -n 10000 "$cli" date
}
export work cli
export -f mv_loop date_all

commands="dry move history date library duplicates undo mv"
printf "%-9s %-11s %9s %12s\n" files command seconds "peak KB"
first=""
for count in $counts; do
  rm -rf "$work/src" "$work/out" "$work/mv"
  make_tree "$work/src" "$count"
  mkdir -p "$work/out" "$work/mv"
  # Every file's message printed, as the undo prints its own.
  measure dry "$cli" organize "$work/src" "$work/out" --move --dry-run
  measure move "$cli" organize "$work/src" "$work/out" --move
  measure history "$cli" history "$work/out"
  measure date bash -c date_all
  measure library "$cli" library "$work/out"
  measure duplicates "$cli" duplicates "$work/out"
  # The undo beside its run: both without an index to keep current.
  rm -f "$work/out/.nandell/library.sqlite"*
  measure undo "$cli" undo "$work/out"
  measure mv bash -c mv_loop
  for c in $commands; do
    s=${c}_s
    kb=${c}_kb
    printf "%-9s %-11s %9s %12s\n" "$count" "$c" "${!s}" "${!kb}"
    [ -z "$first" ] && printf -v "first_$c" "%s" "${!kb}"
  done
  echo "$count files: move / mv loop $(ratio "$move_s" "$mv_s"), undo / move $(ratio "$undo_s" "$move_s") (goal <= 1.2)"
  if [ -n "$first" ]; then
    for c in $commands; do
      kb=${c}_kb
      f=first_$c
      echo "  $c: peak memory grew by $(( (${!kb} - ${!f}) / 1024 )) MB from $first files"
    done
  fi
  [ -n "$first" ] || first=$count
done
