#!/usr/bin/env bash
# network.sh PRAXDL.EXE: --host under Wine's sockets to the Linux virtual printer on a loopback
# port. The printer decodes the connection exactly as the Linux praxdl's stream of the same
# command (the image's CRC matching), and keeps the very image that was sent. A Ctrl+C during a
# transfer to a printer that stopped reading ends praxdl.exe with 130.
. "$(dirname "$0")/wine-lib.sh"
praxdl=$1
work_dir network
make_image x.bin 70001 9
printer=${PRAX_HOST_VPRINTER:?}

host_stream ref.bin firmware x.bin
"$printer" --file ref.bin --no-times >expected.txt 2>&1 || fail "the virtual printer could not read ref.bin"

"$printer" --listen 127.0.0.1:0 --no-times --save saved >printer.txt 2>&1 </dev/null &
printerPid=$!
lib_pids+=("$printerPid")
address=$(first_line printer.txt)
[[ $address == 127.0.0.1:* ]] || fail "the virtual printer did not listen: $(cat printer.txt)"

wine_ok run "$praxdl" --host "$address" --quiet firmware x.bin
same_status run ref.bin

# The printer reports the ramp once the connection ended; then it is stopped.
deadline=$((SECONDS + 10))
until grep -q '^closing ramp' printer.txt; do
    [ $SECONDS -lt $deadline ] || { cat printer.txt >&2; fail "the printer reported no closing ramp"; }
    sleep 0.05
done
kill -TERM "$printerPid"
ended "$printerPid" 10 || fail "the virtual printer failed: $(cat printer.txt)"
tail -n +2 printer.txt >received.txt
if ! cmp -s expected.txt received.txt; then
    diff expected.txt received.txt >&2 || true
    fail "the printer decoded something else than the Linux stream"
fi
grep -q "^firmware image: .* matches$" received.txt || fail "the printer did not find the CRC matching"
same_bytes x.bin saved/*firmware*.bin "the image the printer kept"

# Ctrl+C in the middle of a transfer (Wine makes a console's Ctrl+C of SIGINT), to a printer that
# stopped reading: praxdl stops sending, closes the connection, says how far it got and ends with
# 130, as on Linux.
"$printer" --listen 127.0.0.1:0 --no-times --stall-after 2000 --stall-ms 600000 >stalled.txt 2>&1 </dev/null &
lib_pids+=($!)
stalled=$(first_line stalled.txt)
[[ $stalled == 127.0.0.1:* ]] || fail "the stalling printer did not listen: $(cat stalled.txt)"
make_image big.bin 8000000 3
wine_start /dev/null stop "$praxdl" --json --host "$stalled" firmware big.bin
deadline=$((SECONDS + 60))
until grep -q '"event":"progress"' stop.out; do
    [ $SECONDS -lt $deadline ] || { show stop; fail "no progress to interrupt"; }
    sleep 0.05
done
kill -INT "$wine_pid"
status=0
ended "$wine_pid" 30 || status=$?
[ "$status" -eq 130 ] && grep -q '"outcome":"interrupted","exit":130' stop.out ||
    { show stop; fail "Ctrl+C during a transfer: status $status"; }
echo "network: $(grep '^firmware image' received.txt); Ctrl+C: 130"
