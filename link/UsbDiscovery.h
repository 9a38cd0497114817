// Finds the USB printer the "USB" connection opens: the printer interfaces the system has
// registered, narrowed to the ones the usbprint driver serves right now and to the accepted
// makes. Everything is read from the registry afresh on each call, with no cache: a printer
// plugged in a moment ago counts, one pulled out no longer does. Nothing here throws or asks.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace prax::link {

inline constexpr const char* kPrinterInterfaceClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
inline constexpr const char* kUsbPrintEnumKey = "SYSTEM\\CurrentControlSet\\services\\usbprint\\Enum";

// The driver's entries in the form an interface subkey name spells them ("device#instance").
using UsbDeviceList = std::vector<std::string>;

int CountPrinterInterfaces(platform::Platform& host);
int ReadUsbPrintCount(platform::Platform& host);
bool ReadUsbPrintEntry(platform::Platform& host, int index, std::string& out);
UsbDeviceList CollectUsbPrintDevices(platform::Platform& host);
bool GetPrinterInterfacePath(platform::Platform& host, int index, std::string& path);
bool PathMatchesDeviceList(const std::string& path, const UsbDeviceList& list);
bool IsListedUsbPrinter(platform::Platform& host, const std::string& path);

// How one interface path fares in the search, step by step.
enum class UsbVerdict {
    NotAcceptedMake,  // the path names none of the accepted makes
    NotServed,        // the driver serves no device of that path: not attached
    NotConfirmed,     // the driver's entry for it is of no accepted make (or differs in case)
    Accepted,
};

// One look at every USB printer the host has, for listing them, serving them all or picking one
// out by name: the two keys read once each, every driver entry counted (not only the first ten the
// "USB" connection's own search can read), and each interface judged against them in one pass, so
// the look grows with the printers, not faster.
struct SeenUsbPrinter {
    std::string path;  // the interface path, as the printing class key names it
    UsbVerdict verdict = UsbVerdict::NotAcceptedMake;
    // What the host tells beyond the registry, where it does (see Platform::ListUsbDevices).
    bool facts = false;
    int hostOrder = -1;  // its place in the host's own listing
    std::string port, node, serial, manufacturer, product;
    bool nodeReady = true;
    // The serial number as the device reports it, or as its identity carries it.
    std::string Serial() const;
};
struct UsbLook {
    int interfaceCount = 0;
    bool driverKey = false;                // the driver's enumeration key is there
    bool hostLists = false;                // the host told what it knows of its printers
    std::vector<SeenUsbPrinter> printers;  // in the registry's enumeration order
    // The interface paths of the accepted ones, in that order.
    std::vector<std::string> AcceptedPaths() const;
};
// `withFacts`: also ask the host what it knows of each (its node, the serial as reported).
UsbLook LookAtUsbPrinters(platform::Platform& host, bool withFacts = true);

// The device paths of the accepted printers, in enumeration order. `interfaceCount` receives the
// number of interfaces counted.
std::vector<std::string> FindUsbPrinterPaths(platform::Platform& host, int& interfaceCount);
// The device path of the first accepted printer in enumeration order, or empty when none is: the
// printer the "USB" connection opens. With `wanted` set, the accepted printer of that path (letter
// case ignored) or empty when it is not attached: a line of printers names each link's own.
std::string FindUsbPrinterPath(platform::Platform& host, int& interfaceCount, const std::string& wanted = {});

// Whether `path` is the interface path of a printer of an accepted make, as a look gives it.
bool IsUsbPrinterInterfacePath(const std::string& path);

// The USB printer's identity from its interface path:
// "\\?\USB#VID_1958&PID_0001#ABC#{...}" gives "USB\VID_1958&PID_0001\ABC".
std::string UsbIdentity(const std::string& interfacePath);
// The serial number in a USB printer's identity, where the device has one.
std::string UsbSerialOf(const std::string& interfacePath);
// The device its identity names: "VID_1958&PID_0001".
std::string UsbDeviceOf(const std::string& interfacePath);
// The instance its identity ends in: the serial number, or one the system made up.
std::string UsbInstanceOf(const std::string& interfacePath);

// Whether `text` is one of the names a person may give the printer by: its serial number as the
// device reports it, the instance its identity ends in (a made-up one names the USB port a
// printer without a serial is plugged into), its identity and its interface path.
bool UsbPrinterNamed(const SeenUsbPrinter& printer, const std::string& text, bool ignoreCase);

// The attached printers of an accepted make that a name picks out: those it names exactly where
// any is, else those it names with letter case ignored.
struct UsbNamed {
    std::vector<SeenUsbPrinter> named;
    std::vector<std::string> attached;  // every accepted printer's interface path
};
UsbNamed FindUsbPrintersNamed(platform::Platform& host, const std::string& text);

}  // namespace prax::link
