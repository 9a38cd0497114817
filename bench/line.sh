#!/usr/bin/env bash
# A line of printers, one praxdl run serving eight ptys of one virtual printer, printed as ratios:
#  1. at 115200 baud, a 64 KiB firmware image to all eight: the bytes the printers took / what
#     eight wires carry in the run's real time, until the last printer's last byte (target >= 0.95).
#  2. unthrottled, a 4 MiB image to all eight, beside eight cats in parallel writing the same
#     stream to eight ptys: time ratio (target <= 1.25), for scale eight dd in the 512-byte writes
#     praxdl makes, and praxdl's CPU seconds per MiB delivered beside a run to one pty (target: no
#     higher). Medians of $PRAX_BENCH_RUNS runs: on a pty the times of one run are too noisy.
# Every printer must report a matching image and the whole stream; the times only get printed.
set -euo pipefail
source "$(dirname "$0")/common.sh"

count=8
end_of_stream='closing ramp'
TIMEFORMAT='%R %U %S'

# The image, and the stream praxdl makes of it, which cat sends and every printer must take whole.
make_image() {
  head -c "$1" /dev/urandom > "$work/image.bin"
  "$praxdl" --output "$work/stream.bin" --quiet firmware "$work/image.bin" > /dev/null
  stream=$(stat -c %s "$work/stream.bin")
}
check_line() {
  local bytes i
  bytes=$(stat -c %s "$work/image.bin")
  for i in $(seq "${#devices[@]}"); do
    grep -q "^$i: firmware image: size $bytes, received $bytes, CRC .* matches" "$work/line.log" &&
      grep -qx "$i: total bytes: $stream" "$work/line.log" ||
      { echo "$1: printer $i did not get a matching image, or not the whole stream:" >&2; cat "$work/line.log" >&2; exit 1; }
  done
}
# praxdl to every device of the line; $1 is where bash's time goes. Timed in a subshell, whose only
# child is praxdl: the reader may end before praxdl does, and bash's own time would then count the
# reader's CPU too, if the shell happens to reap it meanwhile.
run_praxdl() {
  local args=() d
  for d in "${devices[@]}"; do args+=(--device "$d"); done
  (time "$praxdl" "${args[@]}" --quiet firmware "$work/image.bin" > "$work/status" 2> "$work/praxdl.err") 2> "$1" ||
    { echo "praxdl failed:" >&2; cat "$work/status" "$work/praxdl.err" >&2; exit 1; }
  # One device is a plain run, without the table of a line.
  [ "${#devices[@]}" -eq 1 ] || grep -qx "${#devices[@]} of ${#devices[@]} printers done" "$work/status" ||
    { echo "praxdl did not report every printer done:" >&2; cat "$work/status" >&2; exit 1; }
}
grouped() { echo "$1" | sed ':a; s/\B[0-9]\{3\}\>/,&/; ta'; }

kib=${PRAX_BENCH_LINE_KIB:-64}
make_image $((kib * 1024))
wire=$(calc "$stream * 10 / 115200")
start_line "$count" --throttle --exit-on "$end_of_stream"
t0=$(now)
run_praxdl "$work/time"
# praxdl is done when the ptys have taken the last byte; the printers, when they have read it.
await_line "$(calc "int($wire * 3) + 10")"
t1=$(now)
check_line throttled
real=$(calc "$t1 - $t0")
took=$(sed -n 's/^[0-9]*: total bytes: //p' "$work/line.log" | awk '{ s += $1 } END { print s }')
printf '%d printers at 115200 baud: %s bytes, wire %.2f s each, real %.2f s, aggregate efficiency %.3f (target >= 0.95)\n' \
  "$count" "$(grouped "$took")" "$wire" "$real" "$(calc "$took / ($count * 11520 * $real)")"

mib=${PRAX_BENCH_LINE_MIB:-4}
runs=${PRAX_BENCH_RUNS:-5}
make_image $((mib * 1024 * 1024))
# Copies of the stream by $1 (cat, or dd in 512-byte writes), one to each device of a fresh line,
# all at once; $2 is where bash's time goes. The printers decode the same stream as praxdl's, so
# the reader does the same work for every writer.
copy_line() {
  start_line "$count" --exit-on "$end_of_stream"
  {
    time {
      pids=()
      for d in "${devices[@]}"; do
        case $1 in
          cat) cat "$work/stream.bin" > "$d" & ;;
          dd) dd if="$work/stream.bin" bs=512 status=none > "$d" & ;;
        esac
        pids+=($!)
      done
      wait "${pids[@]}"
    }
  } 2> "$2"
  await_line 60
  check_line "$1"
}
: > "$work/runs"
for _ in $(seq "$runs"); do
  copy_line cat "$work/cat.time"
  copy_line dd "$work/dd.time"
  start_line "$count" --exit-on "$end_of_stream"
  run_praxdl "$work/line.time"
  await_line 60
  check_line praxdl
  start_line 1 --exit-on "$end_of_stream"
  run_praxdl "$work/one.time"
  await_line 60
  check_line "praxdl to one"
  read -r cat_s _ _ < "$work/cat.time"
  read -r dd_s _ _ < "$work/dd.time"
  read -r real user sys < "$work/line.time"
  read -r _ one_user one_sys < "$work/one.time"
  echo "$real $cat_s $(calc "$real / $cat_s") $dd_s $(calc "$real / $dd_s")" \
    "$(calc "($user + $sys) / ($count * $mib)") $(calc "($one_user + $one_sys) / $mib")" >> "$work/runs"
done
median() { cut -d' ' -f"$1" "$work/runs" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
printf '%d printers, %d MiB each into ptys (median of %d): praxdl %.2f s, %d cats %.2f s, ratio %.2f (target <= 1.25)\n' \
  "$count" "$mib" "$runs" "$(median 1)" "$count" "$(median 2)" "$(median 3)"
# praxdl writes the stream 512 bytes at a time, and on a pty each write queues the push of the
# pty's buffer on a kernel worker: cat's large writes are a floor praxdl's writes cannot reach.
printf 'for scale, %d dd in 512-byte writes: %.2f s, praxdl/dd ratio %.2f\n' "$count" "$(median 4)" "$(median 5)"
printf 'praxdl CPU %.4f s/MiB delivered to %d, %.4f s/MiB to one (target: no higher)\n' \
  "$(median 6)" "$count" "$(median 7)"
