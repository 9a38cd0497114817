#!/usr/bin/env bash
# Renders the desktop program's windows to PNG files under a virtual X server, one per scene:
# the window at start, after each hidden key sequence, a transfer part-way, the countdown.
#
#   scripts/screenshots.sh [FOLDER] [SCENE ...]      default folder: build/screenshots
#
# prax-screenshots --list names the scenes.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build=${PRAX_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target prax-screenshots
folder=${1:-$build/screenshots}
[ $# -gt 0 ] && shift

# A screen at 96 DPI, as the layout was drawn, and a plain style, so pictures from one machine
# compare with another's. No window manager: the windows have no frames.
unset QT_QPA_PLATFORM QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_STYLE_OVERRIDE
export QT_AUTO_SCREEN_SCALE_FACTOR=0 QT_ENABLE_HIGHDPI_SCALING=0
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
  "$build/tools/screenshots/prax-screenshots" "$folder" "$@"
