#!/usr/bin/env bash
# fonts.sh PRAXDL.EXE: the installed fonts under Wine. A TrueType file in C:\windows\Fonts
# registered by its bare name is listed and sent; an entry with a full path (as Wine writes for
# the host's own fonts) is not listed. A font installed for the user alone (HKCU, a full path)
# is listed after the machine's with its path, and sent from there. The stream is the
# documented header line, then the file.
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
userKey='HKCU\Software\Microsoft\Windows NT\CurrentVersion\Fonts'
userFont='Prax Test Mine (TrueType)'
userFile='C:\praxuser\Mine.ttf'
cp "$source" "$fonts/praxtest.ttf"
mkdir -p "$WINEPREFIX/drive_c/praxuser"
head -c 1000 "$source" >"$WINEPREFIX/drive_c/praxuser/Mine.ttf"
on_exit "rm -rf '$fonts/praxtest.ttf' '$WINEPREFIX/drive_c/praxuser'; wine_quiet reg delete '$key' /v '$listed' /f; wine_quiet reg delete '$key' /v '$withPath' /f; wine_quiet reg delete '$userKey' /v '$userFont' /f"
reg_add "$key" "$listed" REG_SZ praxtest.ttf
reg_add "$key" "$withPath" REG_SZ 'C:\windows\Fonts\praxtest.ttf'
reg_add "$userKey" "$userFont" REG_SZ "$userFile"

wine_ok list "$praxdl" fonts
text_of list.out >list.txt
grep -qxF "$listed	praxtest.ttf	$size Bytes" list.txt ||
    { show list; fail "fonts does not list \"$listed\" with its file and size"; }
! grep -qF "$withPath" list.txt || { show list; fail "fonts lists \"$withPath\", whose file has a folder"; }
# Through files: grep -q that stops at the first match would end cut by SIGPIPE, and under
# pipefail the negated pipeline would then pass.
tail -n 1 list.txt >last.txt
grep -qxF "$userFont	$userFile	1000 Bytes" last.txt ||
    { show list; fail "fonts does not list the user's \"$userFont\" last, with its path and size"; }
grep -vF "$userFont" list.txt | cut -f2 >files.txt
! grep -q '[\\/:]' files.txt || { show list; fail "fonts lists a machine's file with a folder part"; }

wine_ok run "$praxdl" --quiet --output f.bin font "$listed" --slot TC
{ printf '\r\n~H,TTF,C%s,%s\r' "$listed" "$size"; cat "$source"; } >expected.bin
same_bytes expected.bin f.bin "font \"$listed\""
[ "$(text_of run.out)" = "$size Bytes" ] || { show run; fail "status \"$(text_of run.out)\", expected \"$size Bytes\""; }
wine_ok user "$praxdl" --quiet --output u.bin font "$userFont"
{ printf '\r\n~H,TTF,A%s,1000\r' "$userFont"; head -c 1000 "$source"; } >user.bin
same_bytes user.bin u.bin "the user's font \"$userFont\""
echo "fonts: \"$listed\" listed and sent exactly; the entry with a full path left out; the user's font sent from its path"
