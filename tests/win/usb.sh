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

pty_reader arrived.bin
usb_printer "$pty"
path=$usb_path

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
