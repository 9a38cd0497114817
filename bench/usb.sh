#!/usr/bin/env bash
# The USB search on fake sysfs trees of 1, 10, 100 and 1,000 printers of an accepted make
# ($PRAX_BENCH_SIZES to choose others), printed as figures and ratios:
#  1. `praxdl ports`: seconds, and milliseconds per printer (flat when the search is linear);
#  2. one look of a station: `--watch --count N init` serving every printer once, seconds;
#  3. an idle station over $PRAX_BENCH_IDLE seconds (default 10) with the printers attached and
#     served already (so it only watches): its CPU as a share of one core (target < 1%).
# Set PRAXDL to time another praxdl (an older build) the same way.
set -euo pipefail
source "$(dirname "$0")/common.sh"
praxdl=${PRAXDL:-$praxdl}
idle=${PRAX_BENCH_IDLE:-10}
ticks=$(getconf CLK_TCK)

# A tree of $2 printers under $1, laid out as the kernel lays it out; each node a file of its own
# (one shared /dev/null would be one device that every link locks).
make_tree() {
  local root=$1 n=$2 i dev
  rm -rf "$root"
  mkdir -p "$root/sys/class/usbmisc" "$root/sys/bus/usb/drivers/usblp" "$root/dev/usb" "$root/out"
  for ((i = 0; i < n; i++)); do
    dev="$root/sys/devices/usb1/1-$i"
    mkdir -p "$dev/1-$i:1.0" "$root/sys/class/usbmisc/lp$i"
    echo 1958 > "$dev/idVendor"; echo 0001 > "$dev/idProduct"; echo "S$i" > "$dev/serial"
    echo Maker > "$dev/manufacturer"; echo Label > "$dev/product"; echo 07 > "$dev/1-$i:1.0/bInterfaceClass"
    ln -s "$dev/1-$i:1.0" "$root/sys/class/usbmisc/lp$i/device"
    : > "$root/out/lp$i"
    ln -s "$root/out/lp$i" "$root/dev/usb/lp$i"
  done
}

# CPU seconds (user + system) of process $1 so far.
cpu_of() { awk -v t="$ticks" '{ print ($14 + $15) / t }' "/proc/$1/stat"; }

printf '%8s %10s %12s %12s %14s\n' printers "ports s" "ms/printer" "look s" "idle CPU %"
for n in ${PRAX_BENCH_SIZES:-1 10 100 1000}; do
  make_tree "$work/t$n" "$n"
  export PRAX_SYSFS_ROOT="$work/t$n/sys" PRAX_DEV_ROOT="$work/t$n/dev"
  start=$(now)
  "$praxdl" ports > "$work/ports.out"
  ports=$(calc "$(now) - $start")
  listed=$(grep -c '^  lp[0-9]* .*  accepted make' "$work/ports.out" || true)
  [ "$listed" -eq "$n" ] || { echo "ports listed $listed of $n printers as accepted" >&2; exit 1; }
  start=$(now)
  "$praxdl" --quiet --watch --count "$n" init > "$work/look.out" 2>&1 ||
    { echo "the station failed:" >&2; tail "$work/look.out" >&2; exit 1; }
  look=$(calc "$(now) - $start")
  grep -q "^$n of $n printers\? done" "$work/look.out" || { echo "the station did not serve all $n" >&2; exit 1; }
  # Served once each, then only watching: what it costs to wait.
  "$praxdl" --quiet --watch init > "$work/idle.out" 2>&1 &
  pid=$!
  until [ "$(grep -c . "$work/idle.out" 2>/dev/null || true)" -ge $((n + 1)) ] || ! kill -0 $pid 2>/dev/null; do sleep 0.1; done
  before=$(cpu_of $pid)
  sleep "$idle"
  after=$(cpu_of $pid)
  kill -INT $pid; wait $pid || true
  printf '%8d %10.3f %12.3f %12.3f %14.2f\n' "$n" "$ports" "$(calc "$ports * 1000 / $n")" "$look" \
    "$(calc "($after - $before) * 100 / $idle")"
done
