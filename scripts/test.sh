#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: first the whole suite in a normal
# build (windows under the offscreen platform), then the Debian package made from that build
# (installed, run and purged: scripts/package-test.sh), then the core suites again under
# AddressSanitizer and UndefinedBehaviorSanitizer, with the fuzzers of the JPEG reader and the
# media readers, and last the core, nandell-cli and the Windows window (nandell.exe) built for
# Windows (MinGW-w64) with their tests run under Wine, the installer and the zip made from that
# build among them.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
bash scripts/setup.sh || exit 1

jobs=$(nproc)
status=0
# Every test ends within this many seconds or counts as failed, so that a hung test cannot
# hold the run; a build that registered no tests fails instead of passing empty.
ctest_args=(--output-on-failure --timeout 600 --no-tests=error -j "$jobs")

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DNANDELL_BUILD_GUI=ON -DNANDELL_BUILD_TESTS=ON || exit 1
cmake --build build -j "$jobs" || exit 1
QT_QPA_PLATFORM=offscreen ctest --test-dir build "${ctest_args[@]}" || status=1
bash scripts/package-test.sh build || status=1

cmake -S . -B build-san -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DNANDELL_BUILD_GUI=OFF -DNANDELL_BUILD_TESTS=ON -DNANDELL_SANITIZE=ON -DNANDELL_BUILD_FUZZ=ON || exit 1
cmake --build build-san -j "$jobs" || exit 1
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-san "${ctest_args[@]}" || status=1

# Wine runs the Windows tests headless in a prefix of its own under build-win/ (made on the
# first run); the Linux nandell-cli is the reference that the Windows one must agree with. The
# Windows window (nandell.exe) is tested under Wine on a virtual display (window_check.sh).
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DNANDELL_BUILD_GUI=ON -DNANDELL_BUILD_TESTS=ON \
  -DNANDELL_REFERENCE_CLI="$PWD/build/cli/nandell-cli" || exit 1
cmake --build build-win -j "$jobs" || exit 1
ctest --test-dir build-win "${ctest_args[@]}" || status=1

exit $status
