#!/usr/bin/env bash
# line.sh PRAXDL.EXE: one run to two COM ports at once, each link on its own thread: com3 and com4
# (never com1) are each a pty behind the prefix's link of that name. Each port receives exactly
# the Linux praxdl's stream of the command, and the summary counts both. Then com4 has nothing
# behind it: com3 still receives all of its stream, and the summary names com4's failure.
. "$(dirname "$0")/wine-lib.sh"
praxdl=$1
work_dir line
make_image x.bin 70001 5
ports='HKLM\Software\Wine\Ports'
declare -A readers

# com_port NAME FILE: port NAME (COM3, COM4) is a fresh pty whose reader keeps in FILE what
# arrives. The registry first, then the link, as serial.sh explains.
com_port() {
    pty_reader "$2"
    readers[$1]=$reader
    reg_add "$ports" "$1" REG_SZ "$pty"
    on_exit "wine_quiet reg delete '$ports' /v $1 /f"
    dos_device "${1,,}" "$pty"
}

# received NAME FILE EXPECTED: port NAME's reader ends, and what it kept is EXPECTED.
received() {
    reader=${readers[$1]}
    finish_reader "$2"
    same_bytes "$3" "$2" "$1"
}

# summary ROW...: the table the run printed, each ROW "connection|outcome|bytes|status" in the
# order the ports were given (device and seconds vary), then its last line.
summary() {
    local want got
    want=$(printf '%s\n' "$@")
    got=$(text_of run.out | perl -ne '
        if ($. == 1) { /^connection +device +outcome +bytes +seconds +status$/ or print "header: $_"; next }
        if (/^\d+ of \d+ printers? done$/) { print; next }
        chomp; my @f = split /  +/, $_, 6; print join("|", @f[0, 2, 3], $f[5] // ""), "\n"')
    [ "$got" = "$want" ] && return
    show run
    # The same rows otherwise: the table followed the links' threads, not the command line.
    [ "$(sort <<<"$got")" = "$(sort <<<"$want")" ] && fail "the summary's rows are not in the order the ports were given"
    fail "the summary, expected:"$'\n'"$want"$'\n'"got:"$'\n'"$got"
}

com_port COM3 com3.bin
com_port COM4 com4.bin
: >expected.bin
for command in "firmware x.bin" "init"; do
    read -r -a args <<<"$command"
    host_stream ref.bin "${args[@]}"
    cat ref.bin >>expected.bin
    wine_ok run "$praxdl" --port "COM3 115200" --port "COM4 115200" --quiet "${args[@]}"
    bytes=$(stat -c %s ref.bin)
    status=$(cat ref.bin.status)
    summary "COM3 115200|done|$bytes|$status" "COM4 115200|done|$bytes|$status" "2 of 2 printers done"
done
received COM3 com3.bin expected.bin
received COM4 com4.bin expected.bin
echo "COM3 and COM4 each received the $(stat -c %s expected.bin) bytes of: firmware x.bin, init"

# COM4 opens nothing now, while COM3 is on a new pty.
wine_ok reg reg delete "$ports" /v COM4 /f
rm -f "$WINEPREFIX/dosdevices/com4"
com_port COM3 alone.bin
host_stream ref.bin firmware x.bin
wine_run run "$praxdl" --port "COM3 115200" --port "COM4 115200" --quiet firmware x.bin
[ "$rc" -eq 1 ] || { show run; fail "with COM4 missing the exit status is $rc, expected 1"; }
summary "COM3 115200|done|$(stat -c %s ref.bin)|$(cat ref.bin.status)" "COM4 115200|open-failed|0|" \
    "1 of 2 printers done"
received COM3 alone.bin ref.bin
echo "with COM4 missing, COM3 still received its $(stat -c %s ref.bin) bytes and COM4 was open-failed"
