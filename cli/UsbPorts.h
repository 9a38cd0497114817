// What praxdl says about USB printers: each one the host has, what the "USB" connection makes of
// it, how --port names one, and why one can't be opened.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace prax::platform {
class Platform;
}

namespace prax::cli {

// One USB printer below the "USB" line of praxdl ports.
struct UsbPrinterRow {
    std::string identity;  // USB\VID_1958&PID_0001\A1
    std::string serial;    // as the device reports it; empty when it has none
    std::string opens;     // the node (the interface path on Windows)
    std::string verdict;   // "accepted make", "not of an accepted make", ...
    std::string problem;   // why it can't be opened; empty when it can (or isn't tried)
    bool accepted = false;
    bool chosen = false;   // the one "USB" opens
};

struct UsbPortsView {
    std::string opens;               // the node "USB" opens; empty when there is none
    std::vector<std::string> lines;  // the "USB" line of praxdl ports and one per printer below it
    std::vector<UsbPrinterRow> printers;
};

// Every USB printer the host has, with the verdict of the search that "USB" runs. Nothing is sent.
UsbPortsView ListUsbPorts(platform::Platform& host);

// The USB printer's identity as praxdl names it, from its interface path:
// "\\?\USB#VID_1958&PID_0001#ABC#{...}" gives "USB\VID_1958&PID_0001\ABC".
std::string UsbIdentity(const std::string& interfacePath);
// The serial number in a USB printer's identity, where the device has one.
std::string UsbSerialOf(const std::string& interfacePath);

// Whether `text` names the printer of that interface path: its serial number (the last part of
// its identity), its identity or the path itself, letter case ignored.
bool NamesUsbPrinter(const std::string& text, const std::string& interfacePath);
// The interface paths of the attached printers of an accepted make that `text` names.
std::vector<std::string> FindUsbPrintersNamed(platform::Platform& host, const std::string& text);
// Why `text` opened no USB printer: it names none of the attached ones (which are listed), or
// several of them.
std::string UsbNameHint(platform::Platform& host, const std::string& text);

}  // namespace prax::cli
