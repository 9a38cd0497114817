#!/usr/bin/env bash
# Sets up, builds and starts the desktop program with a virtual printer attached as COM1.
# Choose "COM1 115200" in the window; what arrives is decoded in this terminal. Arguments go to
# the program (e.g. an image to send at once). Setup and build print one line each; their
# output goes to $build/run-build.log, whose end is shown when a step fails.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${PRAX_BUILD_DIR:-build}
mkdir -p "$build"
log="$build/run-build.log"
: > "$log"

# step NAME WHAT COMMAND...: runs COMMAND with its output in the log; "ok" or the log's end.
step() {
  local name=$1 what=$2 started=$SECONDS rc=0
  shift 2
  printf '%s: %s ... ' "$name" "$what"
  echo "=== $name: $*" >> "$log"
  "$@" >> "$log" 2>&1 || rc=$?
  if [ "$rc" -eq 0 ]; then
    echo "ok ($((SECONDS - started)) s)"
    return
  fi
  echo "failed (exit $rc)"
  echo "--- the last lines of $log:"
  tail -n 40 "$log"
  echo "--- the whole log: $(realpath "$log")"
  exit "$rc"
}
step setup "the packages the build needs" scripts/setup.sh
step build "everything into $build/" scripts/build.sh

printer_log=$(mktemp -t prax-virtual-printer.XXXXXX)
"$build/tools/virtual-printer/prax-virtual-printer" --throttle >"$printer_log" 2>&1 &
printer=$!
tail_pid=""
cleanup() {
  kill "$printer" 2>/dev/null || true
  wait "$printer" 2>/dev/null || true
  # The lines the printer printed last, then its byte count: tail ends once the printer has.
  if [ -n "$tail_pid" ]; then wait "$tail_pid" 2>/dev/null || true; fi
  rm -f "$printer_log"
}
trap cleanup EXIT

# The program is done once the pty has taken its last byte; the printer, reading at the wire
# rate, may still have some to read and decode. Waits while it still reads, at most 30 s.
printer_settles() {
  local read="" last="" quiet=0
  for _ in $(seq 300); do
    read=$(grep '^rchar' "/proc/$printer/io" 2>/dev/null) || return 0
    if [ "$read" = "$last" ]; then
      quiet=$((quiet + 1))
      [ "$quiet" -ge 5 ] && return 0
    else
      quiet=0
    fi
    last=$read
    sleep 0.1
  done
}

# Its first line is the device path of its pty.
device=""
for _ in $(seq 100); do
  device=$(head -n 1 "$printer_log")
  [ -n "$device" ] && break
  kill -0 "$printer" 2>/dev/null || break
  sleep 0.05
done
case "$device" in
  /dev/*) ;;
  *) echo "the virtual printer did not start:" >&2; cat "$printer_log" >&2; exit 1 ;;
esac
export PRAX_COM1="$device"
echo "printer: a virtual printer on $device is COM1: choose \"COM1 115200\" in the window"
# The printer's report lines, for as long as the printer runs.
tail --pid="$printer" -n +2 -f "$printer_log" | sed -u 's/^/printer: /' &
tail_pid=$!

status=0
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat <<'EOF'
window: there is no display here (neither DISPLAY nor WAYLAND_DISPLAY is set), so the window
        runs on a virtual X server (xvfb-run) that nobody can see. The printer's lines still
        show here, and an image given as an argument is sent at once:
          scripts/run.sh IMAGE "COM1 115200"
        To see the window, run this from a desktop session, over "ssh -X", or with a display
        named: DISPLAY=:0 scripts/run.sh. Ctrl-C ends it.
EOF
  xvfb-run -a "$build/app/qt/prax-download" "$@" || status=$?
else
  echo "window: starting prax-download on ${DISPLAY:-$WAYLAND_DISPLAY}; close it to end"
  "$build/app/qt/prax-download" "$@" || status=$?
fi
printer_settles
exit "$status"
