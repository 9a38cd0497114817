#!/usr/bin/env bash
# usb.sh PRAXDL.EXE: the USB connection under Wine. The registry holds two printer interfaces,
# as the printing class and the usbprint driver list them: one of another make, listed first,
# and one of an accepted make whose interface path reaches a pty through the prefix's device
# link of that name. `ports` names the accepted one, and the default connection (USB) delivers
# the exact stream to it.
. "$(dirname "$0")/wine-lib.sh"
praxdl=$1
work_dir usb
make_image x.bin 70001 7

class='{28d78fad-5a12-11d1-ae5b-0000f803a8c2}'
classKey="HKLM\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\$class"
enumKey='HKLM\SYSTEM\CurrentControlSet\services\usbprint\Enum'
printer='USB\VID_1958&PID_0001\A1'
other='USB\VID_04B8&PID_0202\E1'
on_exit "wine_quiet reg delete '$classKey' /f; wine_quiet reg delete '$enumKey' /f"
for device in "$other" "$printer"; do
    # USB\VID_1958&PID_0001\A1 -> ##?#USB#VID_1958&PID_0001#A1#{class}
    reg_add "$classKey\\##?#${device//\\/#}#$class" DeviceInstance REG_SZ "$device"
done
reg_add "$enumKey" Count REG_DWORD 2
reg_add "$enumKey" 0 REG_SZ "$other"
reg_add "$enumKey" 1 REG_SZ "$printer"

path="\\\\?\\${printer//\\/#}#$class"
pty_reader arrived.bin
# Wine looks \\?\ names up in dosdevices by their lower-case spelling.
dos_device "$(printf '%s' "${path#????}" | tr 'A-Z' 'a-z')" "$pty"

wine_ok ports "$praxdl" ports
usbLine=$(text_of ports.out | grep '^USB ' || true)
[[ ${usbLine,,} == *"${path,,}"* ]] || { show ports; fail "ports does not name $path for USB: \"$usbLine\""; }
[[ $usbLine == *present* && $usbLine != *absent* ]] || { show ports; fail "ports does not call $path present"; }

host_stream ref.bin firmware x.bin
wine_ok run "$praxdl" --quiet firmware x.bin
same_status run ref.bin
finish_reader arrived.bin
same_bytes ref.bin arrived.bin "USB firmware"
echo "USB: ports names $path; it received the $(stat -c %s arrived.bin) bytes of the firmware stream"
