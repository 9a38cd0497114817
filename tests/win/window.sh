#!/usr/bin/env bash
# window.sh WINDOW_TESTS.EXE: the main window's in-process tests under Wine's null driver, with a
# pty behind COM3 and a TrueType font registered for the font window. What COM3 received is
# exactly the Linux praxdl's streams of the same operations, in the order the test presses the
# buttons: firmware, init, the font in slot TA, download-mode firmware, change mode, raw file.
. "$(dirname "$0")/wine-lib.sh"
exe=$1
name=$(basename "$exe" .exe)
work_dir window
make_image x.bin 70001 5

pty_reader arrived.bin
# The registry first, then the link: Wine's services relink the COM ports whenever they start.
ports='HKLM\Software\Wine\Ports'
reg_add "$ports" COM3 REG_SZ "$pty"
on_exit "wine_quiet reg delete '$ports' /v COM3 /f"
dos_device com3 "$pty"

source=${PRAX_TEST_FONT:-/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf}
[ -f "$source" ] || fail "no TrueType file at $source (fonts-dejavu-core)"
fonts=$WINEPREFIX/drive_c/windows/Fonts
key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts'
listed='Prax Window Sans (TrueType)'
cp "$source" "$fonts/praxwindow.ttf"
on_exit "rm -f '$fonts/praxwindow.ttf'; wine_quiet reg delete '$key' /v '$listed' /f"
reg_add "$key" "$listed" REG_SZ praxwindow.ttf

PRAX_TEST_COM3=1 PRAX_TEST_IMAGE=x.bin PRAX_TEST_FONT="$listed" \
    wine_run "$name" "$exe" --gtest_color=no
finish_reader arrived.bin
passed=$(text_of "$name.out" | sed -n 's/^\[  PASSED  \] \([0-9][0-9]*\) tests\{0,1\}\.$/\1/p')
ran=$(text_of "$name.out" | sed -n 's/^\[==========\] \([0-9][0-9]*\) tests\{0,1\} from .* ran\..*$/\1/p')
if [ "$rc" -ne 0 ] || [ -z "$passed" ] || [ "$passed" -eq 0 ] || [ "$passed" != "$ran" ]; then
    show "$name"
    fail "$name under Wine: status $rc, ${passed:-no} tests passed of ${ran:-?}"
fi

: >expected.bin
for command in "firmware x.bin" "init" "font" "dl-firmware x.bin" "change-mode" "raw x.bin"; do
    if [ "$command" = font ]; then
        # The font is the prefix's, not the host's: its stream is the header line, then the file.
        { printf '\r\n~H,TTF,A%s,%s\r' "$listed" "$(stat -c %s "$source")"; cat "$source"; } >>expected.bin
        continue
    fi
    read -r -a args <<<"$command"
    host_stream ref.bin "${args[@]}"
    cat ref.bin >>expected.bin
done
same_bytes expected.bin arrived.bin "the window's buttons over COM3"
echo "$name: all $passed tests passed; COM3 received the $(stat -c %s arrived.bin) bytes of the six buttons"
