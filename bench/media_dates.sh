#!/usr/bin/env bash
# Dates 2,000 movies of 20 MiB with the movie header at the end and 2,000 HEIC photos, against
# the floor of opening each file and reading its first 64 KiB (goal: at most 2x for both).
# The (sparse) files live under /tmp and are removed at the end.
# Usage: bench/media_dates.sh [COUNT] [MIB]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${NANDELL_BENCH_BUILD:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNANDELL_BUILD_GUI=OFF \
  -DNANDELL_BUILD_TESTS=OFF -DNANDELL_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target media_dates_bench >/dev/null
"$build/bench/media_dates_bench" "${1:-2000}" "${2:-20}"
