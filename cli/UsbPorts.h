// What praxdl says about USB printers: each one the host has, what the "USB" connection makes of
// it, how --port names one, and why one can't be opened.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "link/UsbDiscovery.h"

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

// The identity look-ups and which attached printers a name picks out are the link's.
using link::FindUsbPrintersNamed;
using link::UsbIdentity;
using link::UsbNamed;
using link::UsbSerialOf;

// Why `text` opened no USB printer: it names none of the attached ones (which are listed), or
// several of them.
std::string UsbNameHint(const UsbNamed& found, const std::string& text);

// A text from a device, a file name or the registry as a terminal may show it: control
// characters replaced, so none can retitle or clear the operator's screen.
std::string Shown(const std::string& text);

}  // namespace prax::cli
