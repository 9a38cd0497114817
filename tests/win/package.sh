#!/usr/bin/env bash
# package.sh BUILD_DIR VERSION: the two Windows packages as a user gets them. cpack makes the zip
# and the installer; the zip holds exactly the programs (stripped, Windows' own DLLs only, each
# with its version resource), the HTML documentation and the licence, and each program unzipped
# answers --version. The installer, run silently in a fresh prefix, puts the same files in
# Program Files, a Start-menu folder with the window and the documentation, and an entry in
# "Apps and features"; the installed praxdl.exe sends the Linux praxdl's stream and points to the
# installed manual; the silent uninstaller leaves nothing of the program behind.
. "$(dirname "$0")/wine-lib.sh"
build=$1 version=$2
work_dir package
name=prax-download-tool-$version-win64

timeout 300 cpack -G ZIP -B out --config "$build/CPackConfig.cmake" >cpack-zip.log 2>&1 ||
    { cat cpack-zip.log >&2; fail "cpack -G ZIP"; }
timeout 300 cpack -G NSIS -B out --config "$build/CPackConfig.cmake" >cpack-nsis.log 2>&1 ||
    { cat cpack-nsis.log >&2; fail "cpack -G NSIS"; }
made=$(find out -maxdepth 1 -type f \( -name '*.zip' -o -name '*.exe' \) -printf '%f\n' | LC_ALL=C sort)
[ "$made" = "$name-setup.exe"$'\n'"$name.zip" ] || fail "expected $name.zip and $name-setup.exe, cpack made: ${made//$'\n'/ }"
echo "sizes: $(stat -c '%n %s' out/"$name".zip out/"$name"-setup.exe | tr '\n' ' ')"

# What a user finds in the package, and nothing else.
programs=(prax-download praxdl prax-virtual-printer)
files=(LICENSE.txt doc/index.html doc/prax-download.html doc/prax-virtual-printer.html doc/praxdl.html)
for program in "${programs[@]}"; do files+=("bin/$program.exe"); done
expected=$(printf '%s\n' "${files[@]}" | sort)
unzip -Z1 "out/$name.zip" >zip.txt || fail "unzip could not list $name.zip"
listed=$(sed -e '/\/$/d' -e "s|^$name/||" zip.txt | sort)
[ "$listed" = "$expected" ] || { diff <(echo "$expected") <(echo "$listed") >&2; fail "the zip holds other files"; }
unzip -q "out/$name.zip" -d unzipped
unzipped=unzipped/$name

# strings -el reads the version resource's UTF-16 texts: each name is followed by its value.
resource_value() { strings -el -n 1 "$1" | grep -A1 -x "$2" | sed -n 2p; }
for program in "${programs[@]}"; do
    exe=$unzipped/bin/$program.exe
    windows_dlls_only "$exe"
    "${PRAX_OBJDUMP:?}" -h "$exe" >"$program.sections" || fail "objdump could not read $program.exe"
    ! grep -q '\.debug_' "$program.sections" || fail "$program.exe keeps its debug information"
    for field in FileVersion ProductVersion; do
        [ "$(resource_value "$exe" "$field")" = "$version" ] || fail "$program.exe's $field is not $version"
    done
    [ "$(resource_value "$exe" OriginalFilename)" = "$program.exe" ] || fail "$program.exe's resource names another file"
    wine_ok "$program-version" "$exe" --version
    [ "$(text_of "$program-version.out")" = "$program $version" ] ||
        { show "$program-version"; fail "$program.exe --version printed \"$(text_of "$program-version.out")\""; }
done
grep -q '<a href="praxdl.html">' "$unzipped/doc/index.html" || fail "the guide does not link the praxdl manual"
grep -q 'href="prax-virtual-printer.html"' "$unzipped/doc/praxdl.html" || fail "the praxdl manual does not link its neighbour"
! grep -qi 'scripts/\|build-win\|man praxdl' "$unzipped/doc/index.html" || fail "the Windows guide speaks of building or of man"

# A fresh prefix, as a machine the program never was on; its own home, so that nothing of Wine's
# desktop integration reaches the host's, and no menu entries made for the host at all.
fresh=$PWD/fresh
mkdir -p home
in_fresh() { WINEPREFIX=$fresh HOME=$PWD/home WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" "$@"; }
fresh_settled() { in_fresh timeout 120 "$WINESERVER" -w >/dev/null 2>&1 </dev/null || fail "the fresh prefix's programs did not end"; }
on_exit "in_fresh timeout 30 '$WINESERVER' -k >/dev/null 2>&1 </dev/null"
in_fresh wine_ok wineboot wineboot --init
fresh_settled

in_fresh wine_ok install "out/$name-setup.exe" /S
# The installer's own processes end with it, but what they wrote is only certain once the
# prefix's server went.
fresh_settled
installed="$fresh/drive_c/Program Files/PRAX Download Tool"
[ -d "$installed" ] || fail "the installer made no $installed"
got=$(find "$installed" -type f -printf '%P\n' | sort)
[ "$got" = "$(printf '%s\n' "${files[@]}" Uninstall.exe | sort)" ] ||
    { diff <(printf '%s\n' "${files[@]}" Uninstall.exe | sort) <(echo "$got") >&2; fail "the installer put other files in Program Files"; }
menu="$fresh/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/PRAX Download Tool"
for link in "PRAX Download Tool" "PRAX Download Tool documentation" Uninstall; do
    [ -f "$menu/$link.lnk" ] || fail "no Start-menu entry \"$link\": $(ls "$menu" 2>&1)"
done
# The window's entry starts the installed program, whose icon it shows.
grep -qaF 'C:\Program Files\PRAX Download Tool\bin\prax-download.exe' "$menu/PRAX Download Tool.lnk" ||
    fail "the window's Start-menu entry does not start the installed prax-download.exe"
grep -qaF 'C:\Program Files\PRAX Download Tool\doc\index.html' "$menu/PRAX Download Tool documentation.lnk" ||
    fail "the documentation's Start-menu entry does not open the installed guide"
wrestool -l -t 14 "$installed/bin/prax-download.exe" >icons.txt || fail "wrestool could not read prax-download.exe"
grep -q 'type=14' icons.txt || fail "prax-download.exe has no icon"
uninstallKey='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\PRAX Download Tool'
in_fresh wine_ok entry reg query "$uninstallKey"
# reg prints "    NAME    REG_SZ    VALUE": compared as NAME|REG_SZ|VALUE.
text_of entry.out | sed -E 's/^ +//; s/ {4}/|/g' >entry.txt
for line in "DisplayName|REG_SZ|PRAX Download Tool" "DisplayVersion|REG_SZ|$version" "Publisher|REG_SZ|PRAX Download Tool" \
    'UninstallString|REG_SZ|"C:\Program Files\PRAX Download Tool\Uninstall.exe"' \
    'DisplayIcon|REG_SZ|C:\Program Files\PRAX Download Tool\bin\prax-download.exe'; do
    grep -qxF "$line" entry.txt || { cat entry.txt >&2; fail "the uninstall entry has no $line"; }
done

# The installed praxdl sends what the Linux one sends, and its help names the installed manual.
praxdl="$installed/bin/praxdl.exe"
in_fresh wine_ok installed-version "$praxdl" --version
[ "$(text_of installed-version.out)" = "praxdl $version" ] || fail "installed praxdl.exe --version: $(text_of installed-version.out)"
make_image x.bin 30001 5
host_stream ref.bin firmware x.bin
in_fresh wine_ok run "$praxdl" --quiet --output out.bin firmware x.bin
same_status run ref.bin
same_bytes ref.bin out.bin "the installed praxdl.exe's firmware stream"
manual='C:\Program Files\PRAX Download Tool\doc\praxdl.html'
in_fresh wine_ok help "$praxdl" --help
grep -qF "$manual" help.out || { show help; fail "--help does not name the installed manual"; }
! grep -q 'man praxdl' help.out || fail "--help sends a Windows user to man"
in_fresh wine_run usage "$praxdl" --no-such-option
[ "$rc" -eq 2 ] && grep -qF "$manual" usage.err || { show usage; fail "a usage error does not name the installed manual"; }

in_fresh wine_ok uninstall "$installed/Uninstall.exe" /S
# The uninstaller copies itself away and goes on from there after this call returned.
fresh_settled
# What is left is looked for by the names inside the prefix, never in the whole path: the prefix
# lies in this build's folder, whose path may hold the program's name too (a checkout named after
# it), as may a value that records where a program ran from.
find "$fresh/drive_c" -printf '%P\n' >drive_c.txt
if grep -i prax drive_c.txt >left.txt; then fail "the uninstaller left in C:\\: $(head -n 5 left.txt | tr '\n' ' ')"; fi
# The registry: a key of the program's (the uninstall entry, the vendor's key) by its name, and any
# value that still names the installed folder (the PATH the installer may have extended).
# Each key is a line "[NAME] TIME"; a .reg file doubles the backslashes of its values.
for hive in system.reg user.reg; do
    if grep -i '^\[[^]]*prax' "$fresh/$hive" >left.txt || grep -iF 'Program Files\\PRAX Download Tool' "$fresh/$hive" >left.txt; then
        fail "the uninstaller left in $hive: $(head -n 3 left.txt | tr '\n' ' ')"
    fi
done
if [ -d home/.local ]; then
    find home/.local -mindepth 1 -printf '%P\n' >local.txt
    [ ! -s local.txt ] || fail "Wine wrote desktop entries: $(head -n 10 local.txt | tr '\n' ' ')"
fi
echo "package: $name.zip and $name-setup.exe, installed, used and uninstalled"
