#!/usr/bin/env bash
# usb.sh PRAXDL.EXE: the USB connection under Wine. The registry holds two printer interfaces,
# as the printing class and the usbprint driver list them: one of another make, listed first,
# and one of an accepted make whose interface path reaches a pty through the prefix's device
# link of that name. `ports` names the accepted one; --port by its identity and the default
# connection (USB) deliver the exact streams to it, and a name no printer has opens nothing.
. "$(dirname "$0")/wine-lib.sh"
praxdl=$1
work_dir usb
make_image x.bin 70001 7

pty_reader arrived.bin
usb_printer "$pty"
path=$usb_path

wine_ok ports "$praxdl" ports
usbLine=$(text_of ports.out | grep '^USB ' || true)
[[ ${usbLine,,} == *"${path,,}"* ]] || { show ports; fail "ports does not name $path for USB: \"$usbLine\""; }
[[ $usbLine == *present* && $usbLine != *absent* ]] || { show ports; fail "ports does not call $path present"; }

# A name that no attached printer has opens nothing and lists the one there is.
wine_run unknown "$praxdl" --port Z9 init
[ "$rc" -eq 1 ] || { show unknown; fail "--port Z9 ended with status $rc, not 1"; }
[[ $(text_of unknown.err) == *'(attached: USB\VID_1958&PID_0001\A1; see praxdl ports)'* ]] ||
    { show unknown; fail "--port Z9 does not list the attached printer"; }

# The printer by its identity in another letter case, then by default.
host_stream init.bin init
host_stream fw.bin firmware x.bin
cat init.bin fw.bin >ref.bin
wine_ok named "$praxdl" --port 'usb\vid_1958&pid_0001\a1' init
wine_ok run "$praxdl" --quiet firmware x.bin
same_status run fw.bin
finish_reader arrived.bin
same_bytes ref.bin arrived.bin "USB init by identity, then firmware"
echo "USB: ports names $path; --port by its identity and USB sent it the $(stat -c %s arrived.bin) bytes of both streams"

# Thirteen printers, the one behind a new pty the driver's thirteenth entry, past the ten that
# "USB" itself reads: ports calls every one of them of an accepted make, and its serial reaches it.
pty_reader many.bin
usb_printer "$pty"
class='{28d78fad-5a12-11d1-ae5b-0000f803a8c2}'
{
    printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\services\\usbprint\\Enum]\r\n'
    printf '"Count"=dword:0000000d\r\n'
    for i in $(seq 1 11); do printf '"%d"="USB\\\\VID_1958&PID_0001\\\\S%d"\r\n' "$i" "$i"; done
    printf '"12"="USB\\\\VID_1958&PID_0001\\\\A1"\r\n\r\n'
    for i in $(seq 1 11); do
        printf '[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\%s\\##?#USB#VID_1958&PID_0001#S%d#%s]\r\n\r\n' \
            "$class" "$i" "$class"
    done
} >many.reg
wine_ok import reg import "Z:$(pwd | tr / '\\')\\many.reg"
wine_ok many "$praxdl" ports
text_of many.out >many.txt
accepted=$(grep -c '  accepted make' many.txt || true)
[ "$accepted" -eq 12 ] || { show many; fail "ports calls $accepted of the 12 printers of an accepted make so"; }
grep -qi "VID_1958&PID_0001#A1#.*  accepted make" many.txt || { show many; fail "ports does not accept A1"; }
wine_ok thirteenth "$praxdl" --port A1 init
finish_reader many.bin
same_bytes init.bin many.bin "init to the driver's thirteenth printer by its serial"
echo "USB: with thirteen printers ports accepts all twelve of the accepted make; --port A1 reached the thirteenth entry"
