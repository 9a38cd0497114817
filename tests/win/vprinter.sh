#!/usr/bin/env bash
# vprinter.sh PRINTER.EXE: the Windows virtual printer under Wine decodes what the Linux praxdl
# sends it over loopback, a file and its standard input exactly as the Linux virtual printer
# decodes the same streams, keeps the very payloads, and ends by itself; it restarts after an
# image as a network printer does; an address another program listens on it refuses in words.
# (The default port: vprinter-default.sh.)
. "$(dirname "$0")/wine-lib.sh"
printer=$1
host=${PRAX_HOST_VPRINTER:?}
work_dir vprinter
windows_dlls_only "$printer"

wine_ok version "$printer" --version
[ "$(text_of version.out)" = "$("$host" --version)" ] || fail "version \"$(text_of version.out)\""
wine_run bad "$printer" --ptys 2
[ "$rc" -eq 2 ] && grep -q -- '--ptys needs a pty' bad.err || { show bad; fail "--ptys 2: status $rc"; }

# Two connections, a firmware image and then a code table: each decoded as the Linux printer
# decodes its stream, and the byte count of both at the end.
make_image x.bin 70001 5
printf 'abc\001\002\r\nxyz\377' >t.tbl
host_stream fw.bin firmware x.bin
host_stream ct.bin code-table t.tbl
for ref in fw ct; do
    "$host" --file $ref.bin --no-times >$ref.txt 2>&1 || fail "the Linux printer could not read $ref.bin"
done
{ grep -hv '^total bytes' fw.txt ct.txt; echo "total bytes: $(($(stat -c %s fw.bin) + $(stat -c %s ct.bin)))"; } >expected.txt
items=$(($(wc -l <expected.txt) - 1))

wine_start /dev/null listen "$printer" --listen 127.0.0.1:0 --no-times --save saved --exit-after-items $items
address=$(first_line listen.out | tr -d '\r')
[[ $address == 127.0.0.1:* ]] || { show listen; fail "it did not listen: $address"; }
"${PRAX_HOST_PRAXDL:?}" --quiet --host "$address" firmware x.bin >fw.out 2>&1 || fail "praxdl firmware: $(cat fw.out)"
"$PRAX_HOST_PRAXDL" --quiet --host "$address" code-table t.tbl >ct.out 2>&1 || fail "praxdl code-table: $(cat ct.out)"
ended "$wine_pid" 30 || { status=$?; show listen; fail "the printer ended with status $status"; }
text_of listen.out | tail -n +2 >received.txt
diff expected.txt received.txt >&2 || fail "the printer decoded the connections differently"
grep -q "^firmware image: .* matches$" received.txt || fail "the printer did not find the CRC matching"
same_bytes x.bin saved/001-firmware.bin "the image the printer kept"
same_bytes t.tbl saved/002-code-table.bin "the code table the printer kept"

# A printer that restarts after the image: the connection ends with it (the ramp after it is not
# decoded), a connection meanwhile is refused, and the one after "ready" is decoded from its start.
wine_start /dev/null restart "$printer" --listen 127.0.0.1:0 --no-times --restart-ms 2000 --exit-on command
port=$(first_line restart.out | tr -d '\r')
port=${port##*:}
exec 3<>"/dev/tcp/127.0.0.1/$port"
cat fw.bin >&3 || true  # the printer may close before the ramp went
until_line() {
    local deadline=$((SECONDS + 30))
    until text_of restart.out | grep -qx "$1"; do
        [ $SECONDS -lt $deadline ] || { show restart; fail "no \"$1\" line"; }
        sleep 0.05
    done
}
until_line restarting
if (exec 4<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then fail "a connection was taken while restarting"; fi
exec 3>&-
until_line ready
printf '^default\r\n' >"/dev/tcp/127.0.0.1/$port"
ended "$wine_pid" 30 || { status=$?; show restart; fail "the restarting printer ended with status $status"; }
{ grep -v '^closing ramp\|^total bytes' fw.txt; printf 'restarting\nready\ncommand: ^default\n'; } >restart.expected
text_of restart.out | sed -n '2,/^command/p' >restart.got
diff restart.expected restart.got >&2 || fail "the restarting printer's lines"

# A file and standard input: the lines the Linux printer prints for the same stream.
wine_ok file "$printer" --file fw.bin --no-times
[ "$(text_of file.out)" = "$(cat fw.txt)" ] || { show file; fail "--file decoded something else"; }
wine_from fw.bin stdin "$printer" --stdin --no-times
[ "$rc" -eq 0 ] && [ "$(text_of stdin.out)" = "$(cat fw.txt)" ] || { show stdin; fail "--stdin decoded something else"; }

# Standard input that stays open: the timers run all the same, and a Ctrl+C (Wine makes one of
# SIGINT) ends it at once, with what was left half way and the byte count.
mkfifo idle.fifo stop.fifo
perl -e '$| = 1; print "xyz"; sleep 60' >idle.fifo 2>/dev/null &
lib_pids+=($!)
wine_from idle.fifo idle "$printer" --stdin --no-times --exit-after-idle 500
[ "$rc" -eq 0 ] && [ "$(text_of idle.out)" = $'unterminated line: xyz\ntotal bytes: 3' ] || { show idle; fail "--exit-after-idle"; }
perl -e '$| = 1; print "abc\r\nxyz"; sleep 60' >stop.fifo 2>/dev/null &
lib_pids+=($!)
wine_start stop.fifo stop "$printer" --stdin --no-times --settle-ms 0
[ "$(first_line stop.out | tr -d '\r')" = "command: abc" ] || { show stop; fail "no first line from the pipe"; }
kill -INT "$wine_pid"
ended "$wine_pid" 10 || { status=$?; show stop; fail "Ctrl+C: status $status"; }
[ "$(text_of stop.out)" = $'command: abc\nunterminated line: xyz\ntotal bytes: 8' ] || { show stop; fail "Ctrl+C"; }

# An address another program listens on (the Linux printer, on a free port): it says so in words.
"$host" --listen 127.0.0.1:0 --no-times >holder.txt 2>&1 </dev/null &
holder=$!
lib_pids+=("$holder")
held=$(first_line holder.txt)
[[ $held == 127.0.0.1:* ]] || fail "the Linux printer did not listen: $(cat holder.txt)"
wine_run taken "$printer" --listen "$held" --no-times
[ "$rc" -eq 1 ] && grep -qF "$held: address already in use" taken.err || { show taken; fail "--listen $held, which is taken: status $rc"; }
kill -TERM "$holder"
ended "$holder" 10 || fail "the Linux printer failed: $(cat holder.txt)"
echo "vprinter: $(grep '^firmware image' received.txt)"
