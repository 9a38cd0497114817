#!/usr/bin/env bash
# output.sh PRAXDL.EXE: --output under Wine writes exactly the Linux praxdl's stream, for an
# image of several chunks, an empty one, and command lines.
. "$(dirname "$0")/wine-lib.sh"
praxdl=$1
work_dir output
make_image x.bin 70001 5
: >empty.bin

for command in "firmware x.bin" "firmware empty.bin" "dl-firmware x.bin" "send A B"; do
    read -r -a args <<<"$command"
    host_stream ref.bin "${args[@]}"
    rm -f out.bin
    wine_ok run "$praxdl" --quiet --output out.bin "${args[@]}"
    same_bytes ref.bin out.bin "--output $command"
    same_status run ref.bin
done
echo "--output wrote the Linux streams exactly"
