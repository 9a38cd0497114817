#!/usr/bin/env bash
# Whole-transfer benchmarks, printed as ratios:
#  1. praxdl firmware of a 32 MiB image into a pty reader, beside cat of the same file into the
#     same kind of reader: time ratio, and praxdl's CPU seconds per MiB.
#  2. a throttled run at 115200 baud: wire time of the bytes sent / real time (1.0 is the limit).
set -euo pipefail
source "$(dirname "$0")/common.sh"

mib=${PRAX_BENCH_MIB:-32}
head -c $((mib * 1024 * 1024)) /dev/urandom > "$work/image.bin"

stop_reader() { kill "$reader" 2>/dev/null || true; wait "$reader" 2>/dev/null || true; }
# The reader ends by itself after the stream's last item, the closing ramp; the image's report
# line comes before it.
end_of_stream='closing ramp'
check_image() {
  grep -q "^firmware image: size $1, received $1, CRC .* matches" "$work/reader.log" ||
    { echo "the reader did not get a matching image:" >&2; cat "$work/reader.log" >&2; exit 1; }
}

# cat's reader is only there to take the bytes: what it makes of them does not matter.
start_reader
t0=$(now)
cat "$work/image.bin" > "$device"
t1=$(now)
stop_reader
cat_s=$(calc "$t1 - $t0")

start_reader --exit-on "$end_of_stream"
TIMEFORMAT='%R %U %S'
# In a subshell whose only child is praxdl: a reader that ends meanwhile and is reaped by this
# shell would add its CPU time to the figure.
(time "$praxdl" --device "$device" --quiet firmware "$work/image.bin" > "$work/status" 2>/dev/null) 2> "$work/time"
await_reader 60
read -r real user sys < "$work/time"
check_image $((mib * 1024 * 1024))
printf 'transfer of %d MiB into a pty: praxdl %.2f s, cat %.2f s, ratio %.2f; praxdl CPU %.4f s/MiB\n' \
  "$mib" "$real" "$cat_s" "$(calc "$real / $cat_s")" "$(calc "($user + $sys) / $mib")"

kib=${PRAX_BENCH_THROTTLED_KIB:-64}
head -c $((kib * 1024)) /dev/urandom > "$work/small.bin"
bytes=$(stat -c %s "$work/small.bin")
stream=$((bytes + 20 + 32 + ${#bytes} + 2 + 2 + 128))
wire=$(calc "$stream * 10 / 115200")
start_reader --throttle --exit-on "$end_of_stream"
t0=$(now)
"$praxdl" --device "$device" --quiet firmware "$work/small.bin" > /dev/null
# praxdl is done when the pty has taken the last byte; the printer, when it has read it.
await_reader "$(calc "int($wire * 3) + 10")"
t1=$(now)
check_image "$bytes"
real=$(calc "$t1 - $t0")
printf 'throttled to 115200 baud: %d bytes, wire time %.2f s, real %.2f s, efficiency %.3f\n' \
  "$stream" "$wire" "$real" "$(calc "$wire / $real")"
