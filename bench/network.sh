#!/usr/bin/env bash
# Network transfer benchmark, printed as ratios: praxdl --host firmware of a 32 MiB image to a
# loopback reader that throws the bytes away, beside plain socket copies of the same stream (the
# --output stream file, through bash's /dev/tcp) to the same reader: dd in 512-byte writes, the
# writes the stream is made of (the goal: ratio <= 1.25), and cat in large blocks (the floor,
# for scale). Prints the median ratios of the runs and praxdl's CPU seconds per MiB; then one
# run into the virtual printer checks that the image arrived with a matching CRC.
set -euo pipefail
source "$(dirname "$0")/common.sh"

mib=${PRAX_BENCH_MIB:-32}
runs=${PRAX_BENCH_RUNS:-5}
head -c $((mib * 1024 * 1024)) /dev/urandom > "$work/image.bin"
"$praxdl" --output "$work/stream.bin" --quiet firmware "$work/image.bin" > /dev/null

# The reader: takes one connection after another and discards what comes.
python3 -c '
import socket, sys
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen(8)
with open(sys.argv[1], "w") as f:
    f.write(str(s.getsockname()[1]))
buf = bytearray(1 << 20)
while True:
    c, _ = s.accept()
    while c.recv_into(buf):
        pass
    c.close()
' "$work/port.tmp" &
for _ in $(seq 200); do [ -s "$work/port.tmp" ] && break; sleep 0.02; done
mv "$work/port.tmp" "$work/port"
port=$(cat "$work/port")

TIMEFORMAT='%R %U %S'
: > "$work/pairs"
for _ in $(seq "$runs"); do
  { time "$praxdl" --host "127.0.0.1:$port" --quiet firmware "$work/image.bin" > /dev/null; } 2> "$work/t1"
  { time dd if="$work/stream.bin" bs=512 status=none > "/dev/tcp/127.0.0.1/$port"; } 2> "$work/t2"
  { time cat "$work/stream.bin" > "/dev/tcp/127.0.0.1/$port"; } 2> "$work/t3"
  read -r real user sys < "$work/t1"
  read -r copy _ _ < "$work/t2"
  read -r block _ _ < "$work/t3"
  echo "$real $copy $(calc "$real / $copy") $(calc "($user + $sys) / $mib") $block $(calc "$real / $block")" >> "$work/pairs"
done
median() { sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
real=$(cut -d' ' -f1 "$work/pairs" | median)
copy=$(cut -d' ' -f2 "$work/pairs" | median)
ratio=$(cut -d' ' -f3 "$work/pairs" | median)
cpu=$(cut -d' ' -f4 "$work/pairs" | median)
block=$(cut -d' ' -f5 "$work/pairs" | median)
blockRatio=$(cut -d' ' -f6 "$work/pairs" | median)
printf 'network transfer of %d MiB over loopback (median of %d): praxdl %.3f s, dd in 512-byte writes %.3f s, ratio %.2f (goal <= 1.25); praxdl CPU %.4f s/MiB\n' \
  "$mib" "$runs" "$real" "$copy" "$ratio" "$cpu"
printf 'for scale, cat in large blocks: %.3f s, praxdl/cat ratio %.2f\n' "$block" "$blockRatio"

# The same transfer into the virtual printer: the bytes are right, not only fast. praxdl is done
# when the socket has taken the last byte; the printer ends after the stream's last item.
"$printer" --no-times --listen 0 --exit-on 'closing ramp' > "$work/reader.log" 2>&1 &
reader=$!
for _ in $(seq 200); do [ -s "$work/reader.log" ] && break; sleep 0.02; done
"$praxdl" --host "$(head -n 1 "$work/reader.log")" --quiet firmware "$work/image.bin" > /dev/null
await_reader 60
grep -q "^firmware image: size $((mib * 1024 * 1024)), received $((mib * 1024 * 1024)), CRC .* matches" "$work/reader.log" ||
  { echo "the virtual printer did not get a matching image" >&2; cat "$work/reader.log" >&2; exit 1; }
echo "virtual printer: $(grep '^firmware image' "$work/reader.log")"
