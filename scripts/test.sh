#!/usr/bin/env bash
# Sets up, builds and runs every test; then the same tests built with AddressSanitizer and
# UndefinedBehaviorSanitizer (clang, in $PRAX_BUILD_DIR-san, default build-san), and each fuzz
# target for a bounded time. Arguments go to both ctest runs (e.g. -R Decoder).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
build=${PRAX_BUILD_DIR:-build}
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" "$@"

# One clang build serves both: the fuzz targets need clang, and the sanitizers run there too.
san=${PRAX_SAN_BUILD_DIR:-$build-san}
PRAX_BUILD_DIR=$san scripts/build.sh -DCMAKE_CXX_COMPILER=clang++ \
  -DPRAX_SANITIZE=ON -DPRAX_BUILD_FUZZ=ON -DPRAX_BUILD_BENCH=OFF
# Any report fails the test that made it, in the test itself or in a program it runs.
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
ctest --test-dir "$san" --output-on-failure -j"$(nproc)" "$@"
PRAX_SAN_BUILD_DIR=$san scripts/fuzz.sh
