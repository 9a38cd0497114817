# Sourced by the whole-transfer benchmarks: the programs, a scratch folder removed on exit, a
# virtual printer reader on a fresh pty, and the arithmetic helpers.
cd "$(dirname "$0")/.."
build=${PRAX_BUILD_DIR:-build}
praxdl="$build/cli/praxdl"
printer="$build/tools/virtual-printer/prax-virtual-printer"
[ -x "$praxdl" ] && [ -x "$printer" ] || { echo "build first: scripts/build.sh" >&2; exit 1; }

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

# Starts a reader on a new pty with the given options and sets $reader and $device. Its lines
# are bare (no arrival times), so the scripts can match them from the start. The last reader's
# log goes first: the new reader's shell truncates it only once it runs, and until then the old
# device path would be read, a pty that is gone or by now another program's.
start_reader() {
  rm -f "$work/reader.log"
  "$printer" --no-times "$@" > "$work/reader.log" 2>&1 &
  reader=$!
  for _ in $(seq 200); do
    # A whole first line: the path is printed with its newline in one write.
    [ -f "$work/reader.log" ] && [ "$(head -n 1 "$work/reader.log" | wc -l)" -eq 1 ] && break
    sleep 0.02
  done
  device=$(head -n 1 "$work/reader.log" 2>/dev/null || true)
  case "$device" in
    /dev/*) ;;
    *) echo "the reader did not start:" >&2; cat "$work/reader.log" >&2 2>/dev/null; exit 1 ;;
  esac
}

# Waits, at most $4 seconds, until $work/$1 holds $2 lines that match $3, then for the reader to
# end; gives up with what it reported.
await_totals() {
  local deadline=$((SECONDS + $4))
  local found
  until found=$(grep -c "$3" "$work/$1" 2>/dev/null); [ "${found:-0}" -ge "$2" ]; do
    if [ "$SECONDS" -ge "$deadline" ]; then
      kill "$reader" 2>/dev/null || true
      wait "$reader" 2>/dev/null || true
      echo "the reader did not finish within $4 s; what it reported:" >&2
      cat "$work/$1" >&2
      exit 1
    fi
    sleep 0.01
  done
  wait "$reader" 2>/dev/null || true
}

# Waits, at most $1 seconds, for the reader to end by itself (--exit-on, --exit-after-idle):
# the writer is done when the pty has taken the last byte, the reader only once it has read and
# decoded it, so its report is complete only then. Its last line is "total bytes: N".
await_reader() { await_totals reader.log 1 '^total bytes: ' "$1"; }
now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }

# Starts one reader serving $1 printers on new ptys (--ptys), with the remaining options, and sets
# $reader and $devices, their paths in the order of their numbers. Its report lines, each led by
# its printer's number, go to $work/line.log, the last one's log gone first as above. All the
# paths come in one write before any report line.
# With line_times=1 each report line keeps its arrival time, after the number: "3:   1.234  ...".
line_times=0
start_line() {
  local count=$1 bare=(--no-times)
  shift
  [ "$line_times" = 1 ] && bare=()
  rm -f "$work/line.log"
  "$printer" "${bare[@]}" --ptys "$count" "$@" > "$work/line.log" 2>&1 &
  reader=$!
  for _ in $(seq 200); do
    [ -f "$work/line.log" ] && [ "$(head -n "$count" "$work/line.log" | wc -l)" -eq "$count" ] && break
    sleep 0.02
  done
  mapfile -t devices < <(head -n "$count" "$work/line.log" 2>/dev/null || true)
  if [ "${#devices[@]}" -ne "$count" ] || printf '%s\n' "${devices[@]}" | grep -qv '^/dev/'; then
    echo "the reader did not start:" >&2; cat "$work/line.log" >&2 2>/dev/null; exit 1
  fi
}

# Waits, at most $1 seconds, for every printer of the line to end by itself, as await_reader does
# for one: each one's last line is "N: total bytes: ...".
await_line() { await_totals line.log "${#devices[@]}" '^[0-9]*: total bytes: ' "$1"; }
