#!/usr/bin/env bash
# serial.sh PRAXDL.EXE: a COM port under Wine is a pty behind the prefix's com3 link (never
# com1, which Wine gives the host's first serial port). Three commands go over it one after the
# other; what arrives is exactly the Linux praxdl's stream of the same commands, in that order.
. "$(dirname "$0")/wine-lib.sh"
praxdl=$1
work_dir serial
make_image x.bin 70001 3

pty_reader arrived.bin
com_port 3 "$pty"

commands=("firmware x.bin" "init" "send ^XA,^FDWine^FS ^XZ")
: >expected.bin
for command in "${commands[@]}"; do
    read -r -a args <<<"$command"
    host_stream ref.bin "${args[@]}"
    cat ref.bin >>expected.bin
    wine_ok run "$praxdl" --port "COM3 115200" --quiet "${args[@]}"
    same_status run ref.bin
done
finish_reader arrived.bin
same_bytes expected.bin arrived.bin "COM3: ${commands[*]}"
echo "COM3 received the $(stat -c %s arrived.bin) bytes of: ${commands[*]}"
