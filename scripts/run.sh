#!/usr/bin/env bash
# Sets up, builds and starts the desktop program with a virtual printer attached as COM1.
# Choose "COM1 115200" in the window; what arrives is decoded in this terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
build=${PRAX_BUILD_DIR:-build}

log=$(mktemp -t prax-virtual-printer.XXXXXX)
"$build/tools/virtual-printer/prax-virtual-printer" --throttle >"$log" 2>&1 &
printer=$!
tail_pid=""
cleanup() {
  [ -n "$tail_pid" ] && kill "$tail_pid" 2>/dev/null || true
  kill "$printer" 2>/dev/null || true
  rm -f "$log"
}
trap cleanup EXIT

for _ in $(seq 100); do
  [ -s "$log" ] && break
  sleep 0.05
done
device=$(head -n 1 "$log")
export PRAX_COM1="$device"
echo "virtual printer on $device, attached as COM1: choose \"COM1 115200\" in the window"
tail -n +2 -f "$log" | sed -u 's/^/printer: /' &
tail_pid=$!

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "no display here: starting the window on a virtual X server (xvfb-run)"
  xvfb-run -a "$build/app/prax-download" "$@"
else
  "$build/app/prax-download" "$@"
fi
