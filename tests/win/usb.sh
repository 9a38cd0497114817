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
