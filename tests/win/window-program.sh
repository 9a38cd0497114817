#!/usr/bin/env bash
# window-program.sh PRAX-DOWNLOAD.EXE: the Windows program itself. It answers --version and
# --help on a redirected output, imports nothing but Windows' own DLLs, and with an image and a
# connection sends exactly the firmware stream over COM3 (a pty) and ends by itself; with the
# image alone it does the same over USB, the connection the window starts with.
. "$(dirname "$0")/wine-lib.sh"
exe=$1
work_dir window-program

version=$("${PRAX_HOST_PRAXDL:?}" --version | sed -n 's/^praxdl //p')
[ -n "$version" ] || fail "the Linux praxdl printed no version"
wine_ok version "$exe" --version
[ "$(text_of version.out)" = "prax-download $version" ] ||
    { show version; fail "--version printed \"$(text_of version.out)\""; }
wine_ok help "$exe" --help
grep -qF 'COMn opens \\.\COMn' help.out || { show help; fail "--help does not name the Windows ports"; }
! grep -qE '/dev/|PRAX_COM' help.out || { show help; fail "--help names Linux devices"; }

windows_dlls_only "$exe"

make_image x.bin 40001 7
host_stream ref.bin firmware x.bin
pty_reader arrived.bin
ports='HKLM\Software\Wine\Ports'
reg_add "$ports" COM3 REG_SZ "$pty"
on_exit "wine_quiet reg delete '$ports' /v COM3 /f"
dos_device com3 "$pty"
# Unattended: the window is never touched; the program ends by itself once the image is through.
wine_ok unattended "$exe" x.bin "COM3 115200"
finish_reader arrived.bin
same_bytes ref.bin arrived.bin "prax-download x.bin \"COM3 115200\""
# The image alone: over USB, to the printer the registry names.
pty_reader usb-arrived.bin
usb_printer "$pty"
wine_ok unattended-usb "$exe" x.bin
finish_reader usb-arrived.bin
same_bytes ref.bin usb-arrived.bin "prax-download x.bin (USB)"

echo "prax-download $version: $(stat -c %s "$exe") bytes, Windows' own DLLs only; sent $(stat -c %s arrived.bin) bytes unattended over COM3 and over USB and ended"
