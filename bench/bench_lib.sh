# What the benchmark scripts share; sourced by them, never run on its own.

bench_dir=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")

# bench_work PREFIX FOLDER: makes the work folder $work in FOLDER (its name beginning with
# PREFIX), removed when the script ends, with $work/cfg as the program's settings folder
# (errorFile.txt goes there, Config.ini is never written).
bench_work() {
  work=$(mktemp -d "$2/$1-XXXXXX")
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/cfg"
  export NANDELL_CONFIG_DIR="$work/cfg"
}

# bench_python ARG...: runs the Python program read from standard input with ARGs, after
# bench/exif_app1.py, so that it can write JPEGs dated by exif_app1(date).
bench_python() {
  cat "$bench_dir/exif_app1.py" - | python3 - "$@"
}

# ratio A B: A / B with two decimals.
ratio() { echo "$1 / $2" | bc -l | xargs printf "%.2f"; }

# median: the median of the numbers on standard input, one a line.
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
