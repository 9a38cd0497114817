#!/usr/bin/env bash
# package.sh BUILD_DIR VERSION: the two Windows packages as a user gets them. cpack makes the zip
# and the installer; the zip holds exactly the programs (stripped, Windows' own DLLs only, each
# with its version resource), the HTML documentation, the example recipe and the licence, and
# each program unzipped answers --version. The installer, run silently in a fresh prefix, puts the same files in
# Program Files, a Start-menu folder with the window and the documentation, and an entry in
# "Apps and features"; the installed praxdl.exe sends the Linux praxdl's stream and points to the
# installed manual and the Windows console's words; the silent uninstaller leaves nothing of the
# program behind, and the PATH values as it found them, none where there was none.
. "$(dirname "$0")/wine-lib.sh"
build=$1 version=$2
work_dir package
name=prax-download-tool-$version-win64

timeout 300 cpack -G ZIP -B out --config "$build/CPackConfig.cmake" >cpack-zip.log 2>&1 ||
    { cat cpack-zip.log >&2; fail "cpack -G ZIP"; }
timeout 300 cpack -G NSIS -B out --config "$build/CPackConfig.cmake" >cpack-nsis.log 2>&1 ||
    { cat cpack-nsis.log >&2; fail "cpack -G NSIS"; }
# cpack reads its configuration without a word of complaint (a backslash of the installer's
# steps would start a CMake escape sequence there).
! grep -n 'CMake Warning\|Invalid escape' cpack-zip.log cpack-nsis.log >&2 || fail "cpack warned"
made=$(find out -maxdepth 1 -type f \( -name '*.zip' -o -name '*.exe' \) -printf '%f\n' | LC_ALL=C sort)
[ "$made" = "$name-setup.exe"$'\n'"$name.zip" ] || fail "expected $name.zip and $name-setup.exe, cpack made: ${made//$'\n'/ }"
echo "sizes: $(stat -c '%n %s' out/"$name".zip out/"$name"-setup.exe | tr '\n' ' ')"

# What a user finds in the package, and nothing else.
programs=(prax-download praxdl prax-virtual-printer)
files=(LICENSE.txt doc/example-recipe.toml doc/index.html doc/prax-download.html doc/prax-virtual-printer.html doc/praxdl.html)
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
for page in praxdl prax-download prax-virtual-printer; do
    grep -q '<a href="index.html">' "$unzipped/doc/$page.html" || fail "the $page manual does not lead back to the guide"
done
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

# The PATH values as NAME|TYPE|VALUE, nothing where there is none: the current user's, and all
# users'.
env_value() {
    in_fresh wine_run env-value reg query "$1" /v PATH
    [ "$rc" -eq 0 ] || return 0
    text_of env-value.out | sed -E 's/^ +//; s/ {4}/|/g' | grep -i '^PATH|'
}
user_env='HKCU\Environment'
all_env='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
bin='C:\Program Files\PRAX Download Tool\bin'
[ -z "$(env_value "$user_env")" ] || fail "the fresh prefix has a PATH of the user's: $(env_value "$user_env")"

# A silent install asked for a PATH it does not know installs nothing.
in_fresh wine_run bad-path "out/$name-setup.exe" /S /PATH=everyone
fresh_settled
[ "$rc" -eq 2 ] || { show bad-path; fail "/PATH=everyone: status $rc, not 2"; }
[ ! -e "$fresh/drive_c/Program Files/PRAX Download Tool" ] || fail "/PATH=everyone installed something"

# Installed with the bin folder on the user's PATH, where there was no PATH value of the user's.
in_fresh wine_ok install "out/$name-setup.exe" /S /PATH=user
# The installer's own processes end with it, but what they wrote is only certain once the
# prefix's server went.
fresh_settled
installed="$fresh/drive_c/Program Files/PRAX Download Tool"
[ -d "$installed" ] || fail "the installer made no $installed"
[ "$(env_value "$user_env")" = "PATH|REG_EXPAND_SZ|$bin" ] || fail "/PATH=user made the user's PATH $(env_value "$user_env")"
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
! grep -q 'man praxdl\|/dev/\|SIGINT' help.out || fail "--help speaks of Linux to a Windows user"
grep -qF -- '--device COM12 --device \\.\COM13' help.out && grep -qF '143 after Ctrl+Break' help.out ||
    { show help; fail "--help names no COM port or no Ctrl+Break"; }
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
# No PATH value of the user's, as before the install: not even an empty one.
[ -z "$(env_value "$user_env")" ] || fail "the uninstaller left a PATH of the user's: $(env_value "$user_env")"

# A PATH value that was there is kept as it was, to its last ";": the user's through an install and
# uninstall with /PATH=user, all users' through one with /PATH=all, which leaves the user's alone.
in_fresh reg_add "$user_env" PATH REG_EXPAND_SZ '%USERPROFILE%\tools;C:\Tools;'
user_before=$(env_value "$user_env") all_before=$(env_value "$all_env")
[ -n "$all_before" ] || fail "the fresh prefix has no PATH for all users"
for scope in user all; do
    in_fresh wine_ok "install-$scope" "out/$name-setup.exe" /S /PATH=$scope
    fresh_settled
    if [ $scope = user ]; then
        [ "$(env_value "$user_env")" = "${user_before%;};$bin" ] || fail "/PATH=user made the user's PATH $(env_value "$user_env")"
    else
        [ "$(env_value "$all_env")" = "$all_before;$bin" ] || fail "/PATH=all made all users' PATH $(env_value "$all_env")"
        [ "$(env_value "$user_env")" = "$user_before" ] || fail "/PATH=all changed the user's PATH: $(env_value "$user_env")"
    fi
    in_fresh wine_ok "uninstall-$scope" "$installed/Uninstall.exe" /S
    fresh_settled
    [ "$(env_value "$user_env")" = "$user_before" ] && [ "$(env_value "$all_env")" = "$all_before" ] ||
        fail "after /PATH=$scope and the uninstall, the PATH values are: $(env_value "$user_env") $(env_value "$all_env")"
done

if [ -d home/.local ]; then
    find home/.local -mindepth 1 -printf '%P\n' >local.txt
    [ ! -s local.txt ] || fail "Wine wrote desktop entries: $(head -n 10 local.txt | tr '\n' ' ')"
fi
echo "package: $name.zip and $name-setup.exe, installed, used and uninstalled"
