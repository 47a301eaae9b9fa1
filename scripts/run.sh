#!/usr/bin/env bash
# Installs what is missing, builds Nandell and runs it. With a display the window opens;
# without one, the command line organizes the bundled sample photos into a temporary folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNANDELL_BUILD_GUI=ON
cmake --build build -j "$(nproc)" --target nandell nandell-cli

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/app/nandell ] && [ "${NANDELL_DEMO:-}" != cli ]; then
  exec build/app/nandell
fi

echo "== Capture dates of the sample photos (nandell-cli date) =="
build/cli/nandell-cli date samples/*.jpg
out=$(mktemp -d)
echo
echo "== Organizing samples/ into $out (nandell-cli organize) =="
build/cli/nandell-cli organize samples "$out" || true
echo
echo "== Result =="
(cd "$out" && find . -type f | sort)
