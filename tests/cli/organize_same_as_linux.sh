#!/usr/bin/env bash
# `nandell-cli organize` for Windows, run under Wine, sorts the sample photos and a copy of the
# shared corpus of real camera files (left out when absent) as the Linux build does: the same
# year (年) and day folders in UTF-8, the same files with the same bytes and last-write times,
# and the same messages once "\" is read as "/". The two walk a folder in their file system's
# own order, so messages are compared without their numbers, in sorted order, and where two
# files want one name the one that gets it may differ. A second run fails every file and writes
# errorFile.txt (UTF-8, CR LF); a move empties the photo folder; Ctrl-C stops with exit 3.
# Then `history` lists the runs and `undo` takes back the copy and the move as on Linux: the
# photo folder is again what it was, the output folders hold only the journals, and a second
# undo is refused with exit code 2; Ctrl-C stops an undo, and the next one finishes it.
#   organize_same_as_linux.sh LINUX_CLI WINE_RUN WINE_PREFIX WINDOWS_CLI SAMPLES_DIR CORPUS_DIR
set -uo pipefail
# shellcheck source=../support/photo_tree.sh
source "$(dirname "$0")/../support/photo_tree.sh"
if [ $# -ne 6 ]; then
  echo "usage: organize_same_as_linux.sh LINUX_CLI WINE_RUN WINE_PREFIX WINDOWS_CLI SAMPLES CORPUS" >&2
  exit 2
fi
linux_cli=$1 wine_run=$2 prefix=$3 windows_cli=$4 samples=$5 corpus=$6
work=$(mktemp -d) || exit 1
[ -n "${KEEP_WORK:-}" ] || trap 'rm -rf "$work"' EXIT
make_photo_tree "$work" "$samples" "$corpus" || exit 1
cd "$work" || exit 1
mkdir -p linux/out linux/cfg windows/out windows/cfg || exit 1
status=0
fail() {
  echo "$*"
  status=1
}

linux() {  # linux NAME ARGS...: runs the Linux build with its own config folder
  local name=$1
  shift
  NANDELL_CONFIG_DIR=linux/cfg "$linux_cli" "$@" >"linux/$name.out" 2>"linux/$name.err"
  echo $? >"linux/$name.code"
}
windows() {
  local name=$1
  shift
  NANDELL_CONFIG_DIR=windows/cfg "$wine_run" "$prefix" "$windows_cli" "$@" \
    >"windows/$name.out" 2>"windows/$name.err"
  echo $? >"windows/$name.code"
}

interrupted() {  # interrupted NAME ARGS...: as windows, with Ctrl-C once it has printed
  local name=$1
  shift
  NANDELL_CONFIG_DIR=windows/cfg "$wine_run" "$prefix" "$windows_cli" "$@" \
    >"windows/$name.out" 2>"windows/$name.err" &
  local pid=$!
  for _ in $(seq 400); do
    [ -s "windows/$name.out" ] && break
    sleep 0.05
  done
  kill -INT "$pid"
  wait "$pid"
  echo $? >"windows/$name.code"
}

# The messages of run NAME of SIDE, one record a file: "TARGET<TAB>ok|failed (REASON)<TAB>SOURCE"
# (of an undo: "TARGET<TAB>removed|moved back<TAB>SOURCE", anything else as "?<TAB>LINE") and the
# summary, with "\" read as "/", paths relative to the working folder (an undo names them in
# full) and the side's folder named "SIDE" (the move's folders named as the copy's).
records() {
  tr '\\' '/' <"$1/$2.out" | sed "s#\\(Z:\\)\\{0,1\\}$work/##g; s#$1/#SIDE/#g; s#SIDE/moved/#SIDE/out/#g; s#SIDE/photos/#$top/#g" |
    awk '
    /^(复制|移动)文件\([0-9]+\): / { sub(/^[^:]*: /, ""); source = $0; next }
    /^(复制|移动)到: / { sub(/^[^:]*: /, ""); print $0 "\tok\t" source; next }
    /^(复制|移动)文件失败: / {
      sub(/^[^:]*: /, ""); arrow = index($0, " -> "); rest = substr($0, arrow + 4)
      open = index(rest, " (")
      print substr(rest, 1, open - 1) "\tfailed" substr(rest, open) "\t" substr($0, 1, arrow - 1)
      next }
    /^整理文件/ { print "~\t" $0 }
    /^(删除副本|移回文件)\([0-9]+\): / { sub(/^[^:]*: /, ""); target = $0; next }
    /^原文件: / { sub(/^[^:]*: /, ""); print target "\tremoved\t" $0; next }
    /^移回到: / { sub(/^[^:]*: /, ""); print target "\tmoved back\t" $0; next }
    /^撤销文件/ { print "~\t" $0; next }
    /./ && !/^(复制|移动|整理)/ { print "?\t" $0 }'
}

# The records of run NAME of SIDE to compare: without the sources of contested targets (two
# files of one day with one name: which one the walk meets first differs), and without the
# files whose day folder Windows cannot hold (their date text ends with a blank or a dot: on
# Windows they go by their last-write day instead, checked below).
comparable() {
  records "$1" "$2" | awk -F'\t' '
    FILENAME == ARGV[1] { contested[$0] = 1; next }
    FILENAME == ARGV[2] { odd[$0] = 1; next }
    ($3 in odd) { next }
    ($1 in contested) { print $1 "\t" $2; next }
    { print }' contested.txt odd.txt - | LC_ALL=C sort
}

# Every file of the output folder of SIDE with its size and last-write time, but the contested
# and the odd ones and the runs' journals (.nandell).
tree() {
  (cd "$1/out" && find . -path ./.nandell -prune -o -type f \
    -printf 'SIDE/out/%P\t%s %TY-%Tm-%Td %TH:%TM:%.2TS\n') |
    awk -F'\t' 'FILENAME == ARGV[1] { skip[$0] = 1; next } !($1 in skip)' skip.txt - |
    LC_ALL=C sort
}

same() {  # same NAME WHAT: the two sides' records of run NAME agree
  if ! cmp -s <(comparable linux "$1") <(comparable windows "$1"); then
    fail "$2: the messages differ (Linux <, Windows >):"
    diff <(comparable linux "$1") <(comparable windows "$1") | head -20
  fi
  if [ "$(cat "linux/$1.code")" != "$(cat "windows/$1.code")" ]; then
    fail "$2: exit code Linux $(cat "linux/$1.code"), Windows $(cat "windows/$1.code")"
  fi
}

# 1. A copy into an empty folder.
linux copy organize "$top" linux/out
windows copy organize "$top" windows/out
records linux copy | awk -F'\t' '$2 ~ /^failed/ { print $1 }' | sort -u >contested.txt
records linux copy | awk -F'\t' '$1 ~ /[ .]\// { print $3 }' >odd.txt
records windows copy | awk -F'\t' 'FILENAME == ARGV[1] { odd[$0] = 1; next }
  ($3 in odd) { print $1 }' odd.txt - >odd-windows.txt
cat contested.txt >skip.txt
records linux copy | awk -F'\t' '$1 ~ /[ .]\// { print $1 }' >>skip.txt
cat odd-windows.txt >>skip.txt
same copy "first copy"
if ! cmp -s <(tree linux) <(tree windows); then
  fail "the output trees differ (Linux <, Windows >):"
  diff <(tree linux) <(tree windows) | head -20
fi
if grep -v $'^SIDE/out/[0-9]\\{4\\}年/[0-9]\\{4\\}-[0-9][0-9]-[0-9][0-9]/[^/]*$' odd-windows.txt; then
  fail "files whose date Windows cannot hold as a folder did not go by their last-write day"
fi
years=$(cd windows/out && find . -maxdepth 1 -name '*年' | wc -l)
copied=$(cd windows/out && find . -path ./.nandell -prune -o -type f -print | wc -l)
[ "$years" -ge 3 ] || fail "only $years year folders: the comparison proves little"

# 2. The same copy again: every file fails, and errorFile.txt lists them all in UTF-8 with CR LF.
linux again organize "$top" linux/out
windows again organize "$top" windows/out
same again "second copy"
report=windows/cfg/errorFile.txt
if [ ! -f "$report" ]; then
  fail "the second run wrote no errorFile.txt"
else
  sources=$(records windows copy | grep -vc '^~')
  lines=$(grep -c $'复制文件失败: .* -> .* (File exists)\r$' "$report")
  [ "$lines" = "$sources" ] || fail "errorFile.txt lists $lines failures, not $sources"
  # Every line ends with CR LF but the summary, which ends the file.
  [ "$(sed '$d' "$report" | grep -c $'[^\r]$')" = 0 ] || fail "errorFile.txt has lines without CR LF"
  tr -d '\r' <"$report" >windows/report.out
  tr -d '\r' <linux/cfg/errorFile.txt >linux/report.out
  if ! cmp -s <(comparable linux report) <(comparable windows report); then
    fail "errorFile.txt differs from the Linux one (Linux <, Windows >):"
    diff <(comparable linux report) <(comparable windows report) | head -20
  fi
fi

# 3. A move of a copy of the photos: the photo folder keeps only the files that failed.
for side in linux windows; do
  cp -rp "$top" "$side/photos" && mkdir "$side/moved" || exit 1
done
linux move organize --move linux/photos linux/moved
windows move organize --move windows/photos windows/moved
same move "move"
# What stays: the files that failed and those the filter does not take (no hidden one).
left=$(find windows/photos -type f | wc -l)
[ "$left" = "$(find linux/photos -type f | wc -l)" ] ||
  fail "the move left $left files in the photo folder, Linux $(find linux/photos -type f | wc -l)"

# 4. Ctrl-C stops the run between files: exit code 3, the files done so far whole, nothing
# temporary left. Many small files, so that the run is still going when the signal comes.
mkdir windows/many windows/stopped || exit 1
head -c 4000000 /dev/zero | (cd windows/many && split -b 1000 -a 4 --additional-suffix=.jpg - f)
interrupted stop organize windows/many windows/stopped
code=$(cat windows/stop.code)
[ "$code" = 3 ] || fail "Ctrl-C: exit code $code, not 3"
grep -q "整理已停止" windows/stop.err || fail "Ctrl-C: no stop notice on standard error"
done_files=$(find windows/stopped -path '*/.nandell' -prune -o -type f -size 1000c -name 'f*.jpg' \
  -print | wc -l)
all_files=$(find windows/stopped -path '*/.nandell' -prune -o -type f -print | wc -l)
[ "$done_files" = "$all_files" ] && [ "$all_files" -lt 4000 ] ||
  fail "Ctrl-C: $all_files files in the output, $done_files of them whole copies"

# 5. The history of the runs, then the undo of the copy and of the move, as on Linux (the
# runs' start times and journals' paths aside), and once more after the undos.
runs_of() {  # runs_of NAME: the history of both sides' output folder NAME, compared
  for side in linux windows; do
    "$side" "history-$1" history "$side/$1"
  done
  if [ "$(cat "linux/history-$1.code")" != "$(cat "windows/history-$1.code")" ]; then
    fail "history of $1: exit code Linux $(cat "linux/history-$1.code"), Windows" \
      "$(cat "windows/history-$1.code")"
  fi
  if ! cmp -s <(cut -f2-4 "linux/history-$1.out") <(cut -f2-4 "windows/history-$1.out"); then
    fail "history of $1 differs (Linux <, Windows >):"
    diff <(cut -f2-4 "linux/history-$1.out") <(cut -f2-4 "windows/history-$1.out")
  fi
}
# Every file under folder $1 with its size and last-write time, and every folder, but the journals.
listing() {
  (cd "$1" && find . -path ./.nandell -prune -o -printf '%P\t%y %s %T+\n' |
    awk -F'\t' '$1 != "" { print $1 "\t" ($2 ~ /^d / ? "folder" : $2) }' | LC_ALL=C sort)
}
for folder in out moved; do
  runs_of "$folder"
  grep -q $'\t未撤销\t' "windows/history-$folder.out" || fail "history of $folder: no run to undo"
  linux "undo-$folder" undo "linux/$folder"
  windows "undo-$folder" undo "windows/$folder"
  same "undo-$folder" "undo of $folder"
  [ "$(cat "windows/undo-$folder.code")" = 0 ] || fail "undo of $folder: exit code not 0"
  [ -z "$(listing "windows/$folder")" ] || fail "undo of $folder left: $(listing "windows/$folder")"
  runs_of "$folder"
  grep -q $'\t已撤销\t' "windows/history-$folder.out" || fail "history of $folder: not undone"
  # Once undone, nothing is left to undo: refused with exit code 2 and the same words.
  linux "again-$folder" undo "linux/$folder"
  windows "again-$folder" undo "windows/$folder"
  [ "$(cat "windows/again-$folder.code")" = 2 ] || fail "second undo of $folder: exit code not 2"
  if ! cmp -s <(sed 's#linux/#SIDE/#' "linux/again-$folder.err") \
    <(tr '\\' '/' <"windows/again-$folder.err" | sed 's#windows/#SIDE/#'); then
    fail "second undo of $folder: Linux says $(cat "linux/again-$folder.err"), Windows" \
      "$(cat "windows/again-$folder.err")"
  fi
done
# The moved photos are back where they were, with their bytes and times.
if ! cmp -s <(listing "$top") <(listing windows/photos) || ! diff -r "$top" windows/photos >/dev/null
then
  fail "the undo of the move did not restore the photo folder:"
  diff <(listing "$top") <(listing windows/photos) | head -20
fi

# 6. Ctrl-C stops an undo after the file in hand with exit code 1; the next undo finishes it and
# the photos are all back. Enough files that the undo is still going when the signal comes, on
# a fast machine too (400 were undone before it came).
mkdir windows/few windows/sorted || exit 1
head -c 2000000 /dev/zero | (cd windows/few && split -b 1000 -a 4 --additional-suffix=.jpg - f)
listing windows/few >few.before
windows sort-few organize --move windows/few windows/sorted
interrupted unsort undo windows/sorted
code=$(cat windows/unsort.code)
if [ "$code" != 1 ] || ! grep -q "撤销已停止" windows/unsort.out; then
  fail "Ctrl-C in an undo: exit code $code; it printed:"
  tail -5 windows/unsort.out windows/unsort.err
fi
windows unsort-rest undo windows/sorted
[ "$(cat windows/unsort-rest.code)" = 0 ] || fail "the undo after Ctrl-C: exit code not 0"
cmp -s few.before <(listing windows/few) || fail "the stopped undo and the next one lost photos"

echo "$copied files in $years year folders; copy, second copy, move, Ctrl-C, history and undo" \
  "as on Linux"
exit $status
