#!/usr/bin/env bash
# Configures and builds everything into build/ (or $PRAX_BUILD_DIR) as CI builds it: Release,
# with warnings as errors. Arguments go to cmake after these, so they can change them, e.g.
# -DCMAKE_BUILD_TYPE=RelWithDebInfo for a build with debug information.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${PRAX_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPRAX_WERROR=ON "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
