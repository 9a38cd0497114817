#!/usr/bin/env bash
# vprinter-default.sh PRINTER.EXE: with no input named, the Windows virtual printer is a network
# printer on 127.0.0.1:9100, the raw port that praxdl --host assumes, and decodes what comes there.
# That port is the machine's: when another program holds it (a print server, a virtual printer of
# someone else's) the case is skipped, saying so; every other case takes a free port.
. "$(dirname "$0")/wine-lib.sh"
printer=$1
work_dir vprinter-default

wine_start /dev/null default "$printer" --no-times --exit-after-items 1
# Its first line is the address it listens on; a printer that could not listen ends instead.
deadline=$((SECONDS + 30))
until [ -s default.out ]; do
    if ! kill -0 "$wine_pid" 2>/dev/null; then
        status=0
        wait "$wine_pid" || status=$?
        if [ "$status" -eq 1 ] && grep -qF '127.0.0.1:9100: address already in use' default.err; then
            skip "127.0.0.1:9100 is taken by another program on this machine, so the default port can't be tried: $(text_of default.err)"
        fi
        show default
        fail "the printer ended with status $status before it listened"
    fi
    [ $SECONDS -lt $deadline ] || { show default; fail "the printer did not listen within 30 s"; }
    sleep 0.05
done
[ "$(first_line default.out | tr -d '\r')" = 127.0.0.1:9100 ] || { show default; fail "no default listen"; }
"${PRAX_HOST_PRAXDL:?}" --quiet --host 127.0.0.1 send '~MDEL' >send.out 2>&1 || fail "praxdl send: $(cat send.out)"
ended "$wine_pid" 30 || { status=$?; show default; fail "the default printer ended with status $status"; }
[ "$(text_of default.out | sed -n 2p)" = "command: ~MDEL" ] || { show default; fail "the default printer's line"; }
echo "vprinter: listens on 127.0.0.1:9100 by default and decoded praxdl --host 127.0.0.1"
