#!/usr/bin/env bash
# Raw file benchmark, printed as ratios: praxdl raw of a 64 MiB random file into a pty reader,
# beside cat of the same file into the same kind of reader.
#  - time: praxdl / cat, best of $PRAX_BENCH_RUNS runs each (goal: at most 1.25)
#  - memory: praxdl's peak resident size beside the file's size (goal: at most file + 30 MiB)
# Each reader must have received exactly the file's byte count. Needs GNU time (/usr/bin/time,
# Debian package `time`) for the peak resident size.
set -euo pipefail
source "$(dirname "$0")/common.sh"
[ -x /usr/bin/time ] || { echo "needs GNU time: apt-get install time" >&2; exit 1; }

mib=${PRAX_BENCH_MIB:-64}
runs=${PRAX_BENCH_RUNS:-3}
head -c $((mib * 1024 * 1024)) /dev/urandom > "$work/file.bin"
bytes=$(stat -c %s "$work/file.bin")

# Waits for the reader to end and checks it got every byte, no more. The reader ends by itself a
# second after the last byte (--exit-after-idle), so what is still in the pty when the writer is
# done gets read too; one that does not end fails the run instead of hanging it.
check_reader() {
  await_reader 60
  local got
  got=$(sed -n 's/^total bytes: //p' "$work/reader.log")
  [ "$got" = "$bytes" ] || { echo "$1: the reader got ${got:-nothing} bytes, not $bytes" >&2; exit 1; }
}
min() { calc "($1 < $2) ? $1 : $2"; }
max() { calc "($1 > $2) ? $1 : $2"; }

cat_s=1e9 praxdl_s=1e9 rss_kib=0
for _ in $(seq "$runs"); do
  start_reader --exit-after-idle 1000
  t0=$(now)
  /usr/bin/time -f %M -o "$work/cat.rss" sh -c 'cat "$1" > "$2"' sh "$work/file.bin" "$device"
  t1=$(now)
  check_reader cat
  cat_s=$(min "$cat_s" "$(calc "$t1 - $t0")")

  start_reader --exit-after-idle 1000
  t0=$(now)
  /usr/bin/time -f %M -o "$work/praxdl.rss" "$praxdl" --device "$device" --quiet raw "$work/file.bin" \
    > "$work/status" 2> "$work/praxdl.err" || { echo "praxdl failed:" >&2; cat "$work/praxdl.err" >&2; exit 1; }
  t1=$(now)
  check_reader praxdl
  praxdl_s=$(min "$praxdl_s" "$(calc "$t1 - $t0")")
  rss_kib=$(max "$rss_kib" "$(tail -n 1 "$work/praxdl.rss")")
done

ratio=$(calc "$praxdl_s / $cat_s")
rss_mib=$(calc "$rss_kib / 1024")
limit_mib=$(calc "$bytes / 1048576 + 30")
verdict() { awk "BEGIN { print ($1) ? \"ok\" : \"OVER\" }"; }
printf 'raw file of %d MiB into a pty (best of %d): praxdl %.2f s, cat %.2f s, ratio %.2f (goal <= 1.25: %s)\n' \
  "$mib" "$runs" "$praxdl_s" "$cat_s" "$ratio" "$(verdict "$ratio <= 1.25")"
printf 'praxdl peak memory %.1f MiB beside a %d MiB file: %.2f of file + 30 MiB (goal <= 1: %s)\n' \
  "$rss_mib" "$mib" "$(calc "$rss_mib / $limit_mib")" "$(verdict "$rss_mib <= $limit_mib")"
