// What praxdl says about USB printers: each one the host has, what the "USB" connection makes of
// it, and why one can't be opened.
#pragma once

#include <iosfwd>
#include <string>

namespace prax::platform {
class Platform;
}

namespace prax::cli {

// The "USB" line of praxdl ports and one line per printer below it. Returns the node "USB" opens,
// empty when there is none.
std::string PrintUsbPorts(std::ostream& out, platform::Platform& host);

// Why the "USB" connection did not open, for the line under "Open port failed".
std::string UsbOpenHint(platform::Platform& host);

}  // namespace prax::cli
