#!/usr/bin/env bash
# `nandell-cli date` for Windows, run under Wine, prints byte for byte what the Linux build
# prints (standard output, standard error, exit code) over the sample photos and a copy of the
# shared corpus of real camera files (left out when absent), placed under a folder whose name
# holds blanks and Chinese characters. The paths go in relative, with "/", as a Windows user
# may type them, and come back as given.
#   date_same_as_linux.sh LINUX_CLI WINE_RUN WINE_PREFIX WINDOWS_CLI SAMPLES_DIR CORPUS_DIR
set -uo pipefail
# shellcheck source=../support/photo_tree.sh
source "$(dirname "$0")/../support/photo_tree.sh"
if [ $# -ne 6 ]; then
  echo "usage: date_same_as_linux.sh LINUX_CLI WINE_RUN WINE_PREFIX WINDOWS_CLI SAMPLES CORPUS" >&2
  exit 2
fi
linux_cli=$1 wine_run=$2 prefix=$3 windows_cli=$4 samples=$5 corpus=$6
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
make_photo_tree "$work" "$samples" "$corpus" || exit 1
cd "$work" || exit 1
mapfile -t files < <(find "$top" -type f -iname '*.jpg' | LC_ALL=C sort)
files+=("$top/missing.jpg" "$top")  # a missing file and a folder: reported on standard error

"$linux_cli" date "${files[@]}" >linux.out 2>linux.err
linux_status=$?
"$wine_run" "$prefix" "$windows_cli" date "${files[@]}" >windows.out 2>windows.err
windows_status=$?

status=0
for stream in out err; do
  if ! cmp -s "linux.$stream" "windows.$stream"; then
    echo "standard $stream differs (Linux, then Windows):"
    diff "linux.$stream" "windows.$stream" | head -20
    status=1
  fi
done
if [ "$linux_status" != "$windows_status" ]; then
  echo "exit code differs: Linux $linux_status, Windows $windows_status"
  status=1
fi
dated=$(grep -c $'\t.' linux.out)
echo "${#files[@]} paths, $dated dated, exit code $linux_status on both"
if [ "$dated" -lt 5 ]; then
  echo "too few dated files: the comparison proves nothing"
  status=1
fi
exit $status
