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

start_reader
t0=$(now)
cat "$work/image.bin" > "$device"
t1=$(now)
stop_reader
cat_s=$(calc "$t1 - $t0")

start_reader
TIMEFORMAT='%R %U %S'
{ time "$praxdl" --device "$device" --quiet firmware "$work/image.bin" > "$work/status" 2>/dev/null; } 2> "$work/time"
stop_reader
read -r real user sys < "$work/time"
grep -q "received $((mib * 1024 * 1024)), CRC .* matches" "$work/reader.log" || { echo "reader did not get a matching image" >&2; cat "$work/reader.log" >&2; }
printf 'transfer of %d MiB into a pty: praxdl %.2f s, cat %.2f s, ratio %.2f; praxdl CPU %.4f s/MiB\n' \
  "$mib" "$real" "$cat_s" "$(calc "$real / $cat_s")" "$(calc "($user + $sys) / $mib")"

kib=${PRAX_BENCH_THROTTLED_KIB:-64}
head -c $((kib * 1024)) /dev/urandom > "$work/small.bin"
start_reader --throttle
t0=$(now)
"$praxdl" --device "$device" --quiet firmware "$work/small.bin" > /dev/null
# praxdl is done when the pty has taken the last byte; the printer, when it has read it.
for _ in $(seq 3000); do grep -q '^closing ramp: 128 bytes' "$work/reader.log" && break; sleep 0.01; done
t1=$(now)
stop_reader
bytes=$(stat -c %s "$work/small.bin")
stream=$((bytes + 20 + 32 + ${#bytes} + 2 + 2 + 128))
wire=$(calc "$stream * 10 / 115200")
real=$(calc "$t1 - $t0")
printf 'throttled to 115200 baud: %d bytes, wire time %.2f s, real %.2f s, efficiency %.3f\n' \
  "$stream" "$wire" "$real" "$(calc "$wire / $real")"
