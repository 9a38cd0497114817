#!/usr/bin/env bash
# Renders the desktop program's windows to PNG files under a virtual X server, one per scene:
# the window at start, after each hidden key sequence, a transfer part-way, the countdown; and
# the same of the Windows program under Wine, with the font list and a message box, as
# windows-SCENE.png beside them.
#
#   scripts/screenshots.sh [FOLDER] [SCENE ...]      default folder: build/screenshots
#
# prax-screenshots --list and prax-download-screenshots.exe --list name the scenes; a scene named
# on the command line is rendered by the side that has it. PRAX_SCREENSHOTS=linux or =windows
# renders one side only; the Windows one is built in $PRAX_WIN_BUILD_DIR (default build-win).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build=${PRAX_BUILD_DIR:-build}
folder=${1:-$build/screenshots}
[ $# -gt 0 ] && shift
sides=${PRAX_SCREENSHOTS:-linux windows}
mkdir -p "$folder"
folder=$(cd "$folder" && pwd)

# Scenes the named side has; all of them when none were named.
scenes_of() {
    local list=$1
    shift
    [ $# -eq 0 ] && return 0
    local name
    for name in "$@"; do
        if grep -q "^$name	" <<<"$list"; then printf '%s\n' "$name"; fi
    done
}

windows_screenshots() {
    local win_build=${PRAX_WIN_BUILD_DIR:-build-win}
    cmake -S . -B "$win_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPRAX_WERROR=ON \
        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DPRAX_HOST_BUILD_DIR="$PWD/$build" >/dev/null
    cmake --build "$win_build" -j2 --target prax-download-screenshots
    local exe
    exe=$(cd "$win_build/tools/screenshots/win32" && pwd)/prax-download-screenshots.exe
    # A prefix of its own, with a real graphics driver (the tests' prefix has the null one) and
    # Wine's "MS Sans Serif", which the layout was drawn with.
    export WINEPREFIX
    WINEPREFIX=$(cd "$win_build" && pwd)/screenshots-wine
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        timeout 120 wine wineboot --init >/dev/null 2>&1 </dev/null
        timeout 120 wineserver -w
    fi
    local fonts=$WINEPREFIX/drive_c/windows/Fonts
    if [ -d /usr/share/wine/fonts ]; then
        cp -n /usr/share/wine/fonts/* "$fonts/" 2>/dev/null || true
    fi
    # The font list shows the fonts registered by their bare file names; Wine registers the
    # host's own with full paths, which the list leaves out. One registered so, for the scene.
    local key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts'
    local sample=/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf
    if [ -f "$sample" ]; then
        cp -n "$sample" "$fonts/"
        timeout 60 wine reg add "$key" /v "Liberation Sans (TrueType)" /t REG_SZ \
            /d LiberationSans-Regular.ttf /f >/dev/null 2>&1 </dev/null
    fi
    local list chosen=()
    list=$(timeout 60 wine "$exe" --list </dev/null 2>/dev/null | tr -d '\r')
    # Wine's desktop process, started here without a display, would outlive this call and leave
    # the renderer with no graphics driver; the server writes the registry out as it ends.
    timeout 60 wineserver -w >/dev/null 2>&1 || timeout 60 wineserver -k >/dev/null 2>&1 || true
    if [ $# -gt 0 ]; then
        mapfile -t chosen < <(scenes_of "$list" "$@")
        [ ${#chosen[@]} -gt 0 ] || return 0
    fi
    # A window manager, as on a desktop: with none at all Wine waits for every window that
    # closes. Openbox runs the renderer once it is up, and ends after it.
    local driver winfolder
    driver=$(mktemp)
    # Drive Z: is the root of the host's files in every prefix.
    winfolder="Z:${folder//\//\\}"
    cat >"$driver" <<SCRIPT
#!/usr/bin/env bash
timeout 300 wine "$exe" "$winfolder" ${chosen[*]} </dev/null >"$driver.out" 2>&1
echo \$? >"$driver.status"
openbox --exit
SCRIPT
    chmod +x "$driver"
    unset DISPLAY
    timeout 400 xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" openbox --startup "$driver" >/dev/null 2>&1 || true
    timeout 60 wineserver -k >/dev/null 2>&1 || true
    tr -d '\r' <"$driver.out" | grep -v '^$' || true
    local status
    status=$(cat "$driver.status" 2>/dev/null || echo 1)
    rm -f "$driver" "$driver.out" "$driver.status"
    [ "$status" = 0 ] || { echo "screenshots: the Windows window could not be rendered" >&2; return 1; }
}

if [[ " $sides " == *" windows "* ]]; then
    windows_screenshots "$@"
fi
[[ " $sides " == *" linux "* ]] || exit 0
# Configured as scripts/build.sh and scripts/test.sh configure it, so neither rebuilds it all.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPRAX_WERROR=ON >/dev/null
cmake --build "$build" -j2 --target prax-screenshots
if [ $# -gt 0 ]; then
    mapfile -t linux_scenes < <(scenes_of "$(QT_QPA_PLATFORM=offscreen "$build/tools/screenshots/qt/prax-screenshots" --list)" "$@")
    [ ${#linux_scenes[@]} -gt 0 ] || exit 0
    set -- "${linux_scenes[@]}"
fi

# A screen at 96 DPI, as the layout was drawn, and a plain style, so pictures from one machine
# compare with another's. No window manager: the windows have no frames.
unset QT_QPA_PLATFORM QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_STYLE_OVERRIDE
export QT_AUTO_SCREEN_SCALE_FACTOR=0 QT_ENABLE_HIGHDPI_SCALING=0
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
  "$build/tools/screenshots/qt/prax-screenshots" "$folder" "$@"
