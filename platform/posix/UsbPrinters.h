// The USB printers the kernel's usblp driver serves, read from sysfs and named as Windows names
// them, so the registry view of the printing class and of the usbprint driver can be built from
// them, and an interface path found there leads back to its /dev/usb/lpN node.
#pragma once

#include <string>
#include <vector>

namespace prax::platform::posix {

// Upper-cased, as the registry view compares key paths.
inline constexpr const char* kUsbPrintingClassKey =
    "SYSTEM\\CURRENTCONTROLSET\\CONTROL\\DEVICECLASSES\\{28D78FAD-5A12-11D1-AE5B-0000F803A8C2}";
inline constexpr const char* kUsbPrintEnumKey = "SYSTEM\\CURRENTCONTROLSET\\SERVICES\\USBPRINT\\ENUM";

struct UsbPrinter {
    std::string lp;                   // "lp0"
    std::string node;                 // what opens it: $PRAX_DEV_ROOT/usb/lp0
    std::string vendorId, productId;  // four upper-case hex digits
    std::string serial, manufacturer, product;  // as the device reports them; empty if it doesn't
    std::string instance;  // the serial as a name may carry it, or the USB port when there is none

    std::string DeviceId() const;      // USB\VID_1958&PID_0001\instance
    std::string InterfaceKey() const;  // ##?#USB#VID_1958&PID_0001#instance#{class}
    std::string InterfacePath() const; // \\?\USB#VID_1958&PID_0001#instance#{class}
};

// /sys, or $PRAX_SYSFS_ROOT; /dev, or $PRAX_DEV_ROOT.
std::string SysfsRoot();
std::string DevRoot();

// The printers in the order of their lpN numbers.
std::vector<UsbPrinter> ScanUsbPrinters();
// Whether the usblp driver is there at all (or a printer shows that it is: `printersFound` says a
// scan found some already).
bool UsbPrintDriverPresent(bool printersFound = false);
// Whether the node is there for this user to open for reading and writing.
bool UsbNodeReady(const std::string& node);

// The node of the printer with that interface path (letter case ignored, as Windows ignores it);
// empty when no attached printer has it.
std::string UsbNodeForPath(const std::string& path);

}  // namespace prax::platform::posix
