#!/usr/bin/env bash
# fonts.sh PRAXDL.EXE: the installed fonts under Wine. A TrueType file in C:\windows\Fonts
# registered by its bare name is listed and sent; an entry with a full path (as Wine writes for
# the host's own fonts) is not listed. The stream is the documented header line, then the file.
. "$(dirname "$0")/wine-lib.sh"
praxdl=$1
work_dir fonts

source=${PRAX_TEST_FONT:-/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf}
[ -f "$source" ] || fail "no TrueType file at $source (fonts-dejavu-core)"
size=$(stat -c %s "$source")
fonts=$WINEPREFIX/drive_c/windows/Fonts
key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts'
listed='Prax Test Sans (TrueType)'
withPath='Prax Test Path (TrueType)'
cp "$source" "$fonts/praxtest.ttf"
on_exit "rm -f '$fonts/praxtest.ttf'; wine_quiet reg delete '$key' /v '$listed' /f; wine_quiet reg delete '$key' /v '$withPath' /f"
reg_add "$key" "$listed" REG_SZ praxtest.ttf
reg_add "$key" "$withPath" REG_SZ 'C:\windows\Fonts\praxtest.ttf'

wine_ok list "$praxdl" fonts
text_of list.out >list.txt
grep -qxF "$listed	praxtest.ttf	$size Bytes" list.txt ||
    { show list; fail "fonts does not list \"$listed\" with its file and size"; }
! grep -qF "$withPath" list.txt || { show list; fail "fonts lists \"$withPath\", whose file has a folder"; }
# Through a file: grep -q that stops at the first match would end cut by SIGPIPE, and under pipefail
# the negated pipeline would then pass.
cut -f2 list.txt >files.txt
! grep -q '[\\/:]' files.txt || { show list; fail "fonts lists a file with a folder part"; }

wine_ok run "$praxdl" --quiet --output f.bin font "$listed" --slot TC
{ printf '\r\n~H,TTF,C%s,%s\r' "$listed" "$size"; cat "$source"; } >expected.bin
same_bytes expected.bin f.bin "font \"$listed\""
[ "$(text_of run.out)" = "$size Bytes" ] || { show run; fail "status \"$(text_of run.out)\", expected \"$size Bytes\""; }
echo "fonts: \"$listed\" listed and sent exactly; the entry with a full path left out"
