# Sourced by every Wine case. All cases share one prefix (made by setup-prefix.sh, its server
# stopped by stop-server.sh) and run one at a time. ctest reads a test's output through a pipe,
# and anything Wine starts (its server, its services) may keep an inherited descriptor open long
# after the program ended, so no Wine process ever gets this script's standard streams: each
# call writes to files, reads /dev/null, and is bounded in time.
#
# A case fails by `fail WHY`. Any other command that fails where nothing checks it ends the case
# too (errexit, in functions and command substitutions as well), and never silently: the ERR trap
# names the script, the line and the command first.
set -Eeuo pipefail
shopt -s inherit_errexit

# The trap's report: where, what, with what status (each of a pipeline's, and a signal by its name:
# SIGPIPE is a reader that closed early), and the functions it was called through.
lib_error() {
    local status=$1 statuses=$2 file=$3 line=$4 command=$5 i how="status $1"
    # Of a pipeline, bash names the last command only.
    [[ $statuses == *" "* ]] && how="statuses $statuses" command="the pipeline ending in $command"
    ((status <= 128)) || how+=" (SIG$(kill -l $((status - 128)) 2>/dev/null || echo "?"))"
    echo "FAIL: ${file##*/}:$line: $command: $how" >&2
    for ((i = 1; i < ${#FUNCNAME[@]} - 1; i++)); do
        echo "  in ${FUNCNAME[i]}, called at ${BASH_SOURCE[i + 1]##*/}:${BASH_LINENO[i]}" >&2
    done
}
trap 'lib_error $? "${PIPESTATUS[*]}" "${BASH_SOURCE[0]}" "$LINENO" "$BASH_COMMAND"' ERR

: "${PRAX_WINE_DIR:?the folder for the Wine prefix}"
export WINEPREFIX=$PRAX_WINE_DIR/prefix
export TMPDIR=$PRAX_WINE_DIR/tmp
export WINEDEBUG=-all
# No prompt to install Mono or Gecko, which nothing here needs.
export WINEDLLOVERRIDES="mscoree,mshtml="
# No window of Wine's own (its desktop process) on a developer's screen.
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$TMPDIR"

WINE=${PRAX_WINE:-wine}
WINESERVER=${PRAX_WINESERVER:-wineserver}
# One Wine call: a cold start of the prefix's services takes a few seconds, a transfer less.
WINE_LIMIT=${PRAX_WINE_LIMIT:-120}

lib_started=$SECONDS
lib_pids=()
lib_cleanups=()

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# skip WHY: the case can't run on this machine right now, for a reason that is the machine's (a
# port another program holds), not the program's. ctest counts it as skipped (SKIP_RETURN_CODE).
skip() {
    echo "SKIP: $*" >&2
    exit 77
}

lib_exit() {
    local status=$?
    local pid action
    for action in "${lib_cleanups[@]}"; do eval "$action" || true; done
    for pid in "${lib_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    echo "took $((SECONDS - lib_started)) s"
    exit $status
}
trap lib_exit EXIT

# Runs ACTION (a command line) when the case ends, however it ends.
on_exit() { lib_cleanups+=("$1"); }

# A fresh folder for the case, which is also the working folder of its Wine programs, so that
# relative names mean the same file on both sides.
work_dir() {
    local folder="$PRAX_WINE_DIR/cases/$1"
    rm -rf "$folder"
    mkdir -p "$folder"
    cd "$folder"
}

# wine_run NAME PROGRAM [ARG...]: PROGRAM under Wine; its standard output in NAME.out, its
# standard error in NAME.err, its exit status in $rc. A program that does not end is killed and
# the case fails.
wine_run() {
    local name=$1
    shift
    wine_from /dev/null "$name" "$@"
}

# wine_ok NAME PROGRAM [ARG...]: as wine_run, and the program must end with status 0.
wine_ok() {
    wine_run "$@"
    if [ "$rc" -ne 0 ]; then
        show "$1"
        fail "$(basename "$2") ${*:3} ended with status $rc"
    fi
}

# What a Wine program printed, for a failure's report.
show() {
    echo "--- $1: standard output" >&2
    cat "$1.out" >&2 || true
    echo "--- $1: standard error" >&2
    cat "$1.err" >&2 || true
}

# A Windows program writes CR LF line ends; compared as text, its output drops the CRs.
text_of() { tr -d '\r' <"$1"; }

# The same command of the Linux praxdl, its stream written to FILE: the reference.
host_stream() {
    local file=$1
    shift
    "${PRAX_HOST_PRAXDL:?}" --quiet --output "$file" "$@" >"$file.status" 2>"$file.err" ||
        fail "the Linux praxdl could not make the reference for $*: $(cat "$file.err")"
}

# same_status NAME REF: the status line the Wine program printed (the byte count, a firmware's
# CRC) is the one the Linux praxdl printed for the reference REF.
same_status() {
    [ "$(text_of "$1.out")" = "$(cat "$2.status")" ] ||
        { show "$1"; fail "status \"$(text_of "$1.out")\", expected \"$(cat "$2.status")\""; }
}

# same_bytes EXPECTED GOT WHAT: the files are equal byte for byte.
same_bytes() {
    if ! cmp -s "$1" "$2"; then
        echo "expected $(stat -c %s "$1") bytes, got $(stat -c %s "$2" 2>/dev/null || echo no file)" >&2
        cmp "$1" "$2" >&2 || true
        fail "$3: the bytes differ"
    fi
}

# windows_dlls_only EXE: it imports Windows' own DLLs only, so it is one file that needs nothing
# installed beside it.
windows_dlls_only() {
    local dll dlls
    "${PRAX_OBJDUMP:?}" -p "$1" >"$(basename "$1").imports" || fail "objdump could not read $1"
    dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' "$(basename "$1").imports" | tr 'A-Z' 'a-z' | sort -u)
    [ -n "$dlls" ] || fail "no imports read from $1"
    for dll in $dlls; do
        case $dll in
            kernel32.dll | user32.dll | gdi32.dll | comctl32.dll | comdlg32.dll | advapi32.dll | \
                ws2_32.dll | winspool.drv | msvcrt.dll | shell32.dll | ucrtbase.dll | api-ms-win-crt-*) ;;
            *) fail "$1 imports $dll, which Windows does not ship" ;;
        esac
    done
}

# Bytes that look like a firmware image: the same for a given size and seed on every run.
make_image() {
    perl -e 'srand($ARGV[1]); print map { chr int rand 256 } 1 .. $ARGV[0]' "$2" "${3:-1}" >"$1"
}

# Waits (bounded) until FILE has a first line, and prints it.
first_line() {
    local file=$1 deadline=$((SECONDS + 10))
    until [ -s "$file" ] && [ "$(wc -l <"$file")" -ge 1 ]; do
        [ $SECONDS -lt $deadline ] || fail "no first line in $file within 10 s"
        sleep 0.05
    done
    head -n 1 "$file"
}

# pty_reader FILE: a pty whose far end keeps every byte in FILE; sets $pty (the device) and
# $reader (its process). finish_reader collects what is still on its way.
pty_reader() {
    perl "${PRAX_PTY_READER:?}" "$1" 300 >"$1.reader" 2>&1 </dev/null &
    reader=$!
    lib_pids+=("$reader")
    pty=$(first_line "$1.reader")
    case $pty in
        /dev/pts/*) ;;
        *) fail "the pty reader did not start: $pty" ;;
    esac
}
finish_reader() {
    kill -USR1 "$reader"
    ended "$reader" 10 || fail "the pty reader failed: $(cat "$1.reader")"
}

# ended PID SECONDS: waits, at most SECONDS, for a process this case started; its exit status.
ended() {
    local deadline=$((SECONDS + $2))
    while kill -0 "$1" 2>/dev/null; do
        [ $SECONDS -lt $deadline ] || fail "process $1 did not end within $2 s"
        sleep 0.05
    done
    wait "$1"
}

# dos_device NAME TARGET: the prefix's device NAME (com3, a USB interface path ...) opens TARGET;
# taken away again when the case ends.
dos_device() {
    local link=$WINEPREFIX/dosdevices/$1
    ln -sfn "$2" "$link"
    on_exit "rm -f '$link'"
}

# com_port N PTY: COMn opens PTY (never COM1, the host's first serial port), until the case ends.
# Whenever Wine's services start they relink the COM ports, comN to the host's Nth serial port if
# it has one, unless the registry names another device: so the registry first, then the link.
com_port() {
    local ports='HKLM\Software\Wine\Ports'
    [ "$1" -ne 1 ] || fail "COM1 is the host's own serial port"
    reg_add "$ports" "COM$1" REG_SZ "$2"
    on_exit "wine_quiet reg delete '$ports' /v COM$1 /f"
    dos_device "com$1" "$2"
}

# A Wine call that tidies up when a case ends: its output is not needed, its failure not fatal.
wine_quiet() { timeout -k 5 30 "$WINE" "$@" >/dev/null 2>&1 </dev/null || true; }

# reg_add KEY [VALUE TYPE DATA]: a registry fixture, through Wine's own reg.
reg_add() {
    if [ $# -eq 1 ]; then
        wine_ok reg reg add "$1" /f
    else
        wine_ok reg reg add "$1" /v "$2" /t "$3" /d "$4" /f
    fi
}

# usb_printer TARGET: two printer interfaces in the registry, as the printing class and the
# usbprint driver list them: one of another make, listed first, and one of an accepted make whose
# interface path ($usb_path) reaches TARGET through the prefix's device link of that name. Gone
# again when the case ends.
usb_printer() {
    local class='{28d78fad-5a12-11d1-ae5b-0000f803a8c2}'
    local classKey="HKLM\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\$class"
    local enumKey='HKLM\SYSTEM\CurrentControlSet\services\usbprint\Enum'
    local printer='USB\VID_1958&PID_0001\A1'
    local other='USB\VID_04B8&PID_0202\E1'
    local device
    on_exit "wine_quiet reg delete '$classKey' /f; wine_quiet reg delete '$enumKey' /f"
    for device in "$other" "$printer"; do
        # USB\VID_1958&PID_0001\A1 -> ##?#USB#VID_1958&PID_0001#A1#{class}
        reg_add "$classKey\\##?#${device//\\/#}#$class" DeviceInstance REG_SZ "$device"
    done
    reg_add "$enumKey" Count REG_DWORD 2
    reg_add "$enumKey" 0 REG_SZ "$other"
    reg_add "$enumKey" 1 REG_SZ "$printer"
    usb_path="\\\\?\\${printer//\\/#}#$class"
    # Wine looks \\?\ names up in dosdevices by their lower-case spelling.
    dos_device "$(printf '%s' "${usb_path#????}" | tr 'A-Z' 'a-z')" "$1"
}

# wine_from FILE NAME PROGRAM [ARG...]: as wine_run, with standard input read from FILE.
wine_from() {
    local input=$1 name=$2
    shift 2
    rc=0
    timeout -k 10 "$WINE_LIMIT" "$WINE" "$@" >"$name.out" 2>"$name.err" <"$input" || rc=$?
    if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
        show "$name"
        fail "$(basename "$1") ${*:2} <$input did not end within $WINE_LIMIT s"
    fi
    return 0
}

# wine_start FILE NAME PROGRAM [ARG...]: as wine_from, in the background; $wine_pid is for ended,
# which gives its exit status (124 when it did not end within $WINE_LIMIT s), and for kill, which
# timeout passes on to the program.
wine_start() {
    local input=$1 name=$2
    shift 2
    timeout -k 10 "$WINE_LIMIT" "$WINE" "$@" >"$name.out" 2>"$name.err" <"$input" &
    wine_pid=$!
    lib_pids+=("$wine_pid")
}
