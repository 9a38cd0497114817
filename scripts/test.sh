#!/usr/bin/env bash
# Sets up, builds and runs every test; then the Windows build (mingw-w64, in $PRAX_BUILD_DIR-win,
# default build-win) with its tests under Wine; then the same Linux tests built with
# AddressSanitizer and UndefinedBehaviorSanitizer (clang, in build-san), and each fuzz target for a
# bounded time. Arguments go to every ctest run (e.g. -R Decoder). Every build treats warnings as
# errors (scripts/build.sh). The first is a Release build, as users and packagers make it, so
# what only full optimisation warns about fails here; the Windows and the sanitized builds keep
# their debug information (a sanitizer's report names the lines).
set -euo pipefail
cd "$(dirname "$0")/.."
phase() { echo "test: $1 took $((SECONDS - started)) s"; started=$SECONDS; }
started=$SECONDS
scripts/setup.sh
scripts/build.sh
phase "build"
export QT_QPA_PLATFORM=offscreen
build=${PRAX_BUILD_DIR:-build}
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "$@"
phase "ctest"

# The Windows programs, run under Wine; some of its tests talk to the Linux programs built above.
win=${PRAX_WIN_BUILD_DIR:-$build-win}
PRAX_BUILD_DIR=$win scripts/build.sh -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DPRAX_HOST_BUILD_DIR="$(realpath "$build")"
phase "Windows build"
ctest --test-dir "$win" --output-on-failure "$@"
# ctest names a skipped case only; why it was skipped (a port the machine holds) is in its log.
grep -h '^SKIP: ' "$win/Testing/Temporary/LastTest.log" || true
phase "Windows ctest (Wine)"

# One clang build serves both: the fuzz targets need clang, and the sanitizers run there too.
san=${PRAX_SAN_BUILD_DIR:-$build-san}
PRAX_BUILD_DIR=$san scripts/build.sh -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DPRAX_SANITIZE=ON -DPRAX_BUILD_FUZZ=ON -DPRAX_BUILD_BENCH=OFF
phase "sanitized build"
# Any report fails the test that made it, in the test itself or in a program it runs; the exit
# status of a report is one no program of ours uses, so a test that expects a failing run (1)
# still notices.
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:exitcode=86
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:exitcode=86
ctest --test-dir "$san" --output-on-failure -j"$(nproc)" "$@"
phase "sanitized ctest"
PRAX_SAN_BUILD_DIR=$san scripts/fuzz.sh
phase "fuzzing"
