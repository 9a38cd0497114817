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
UsbVerdict JudgeUsbPrinterPath(platform::Platform& host, const std::string& path,
                               const UsbDeviceList& list);

// The device paths of the accepted printers, in enumeration order. `interfaceCount` receives the
// number of interfaces counted.
std::vector<std::string> FindUsbPrinterPaths(platform::Platform& host, int& interfaceCount);
// The device path of the first accepted printer in enumeration order, or empty when none is. With
// `wanted` set, the accepted printer of that path (letter case ignored) or empty when it is not
// attached: a line of printers names each link's own.
std::string FindUsbPrinterPath(platform::Platform& host, int& interfaceCount, const std::string& wanted = {});

}  // namespace prax::link
