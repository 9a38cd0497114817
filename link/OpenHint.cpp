#include "link/OpenHint.h"

#include "link/TCom.h"
#include "link/UsbDiscovery.h"

namespace prax::link {

using platform::HostReason;

std::string UsbReasonText(HostReason reason, const std::string& detail) {
    switch (reason) {
        case HostReason::Permission:
            return detail + " (the user needs to be in the lp group)";
        case HostReason::Busy:
            return detail + " (another program, a print spooler for example, holds the printer)";
        case HostReason::Absent:
            return detail + " (the printer is gone)";
        case HostReason::Io:
        case HostReason::DiskFull:
        case HostReason::Other:
            return detail;
        case HostReason::None:
            break;
    }
    return {};
}

std::string UnseenUsbPrinters(std::size_t attached) {
    return std::to_string(attached) + " USB printer" + (attached == 1 ? " of an accepted make is" : "s of an accepted make are") +
           " attached, but \"USB\" opens only one among the driver's first ten entries, and none once it serves more "
           "than 127: name the printer by its serial number";
}

std::string UsbOpenHint(platform::Platform& host) {
    int interfaces = 0;
    if (FindUsbPrinterPath(host, interfaces).empty()) {
        // The connection's own search reads the driver's first ten entries alone; past them, or
        // past a count of 127, printers are attached that it never sees, and saying none is would
        // send the operator looking for a cable.
        const std::size_t attached = LookAtUsbPrinters(host, false).AcceptedPaths().size();
        if (attached > 0) return UnseenUsbPrinters(attached) + " (see praxdl ports)";
        return "no USB printer of an accepted make is attached (see praxdl ports)";
    }
    return UsbReasonText(host.LastHostReason(), host.LastHostDetail());
}

std::string OpenFailureHint(platform::Platform& host, std::int32_t portCode, const NetworkTarget* network,
                            bool toFile) {
    // The network's reasons (refused, unreachable, no answer, unknown host) say it all.
    if (network) return host.LastHostDetail();
    if (portCode == kUsbPortCode) return UsbOpenHint(host);
    switch (host.LastHostReason()) {
        case HostReason::Permission:
            if (toFile) return host.LastHostDetail() + " (this user may not write files in that folder)";
            return host.LastHostDetail() +
                   " (the user needs to be in the dialout group for serial ports, lp for printers)";
        case HostReason::Busy:
            return host.LastHostDetail() + " (another program holds the port)";
        case HostReason::Absent:
            return host.LastHostDetail() + (toFile ? " (no such folder)" : " (no such device)");
        case HostReason::Io:
        case HostReason::DiskFull:
        case HostReason::Other:
            return host.LastHostDetail();
        case HostReason::None:
            break;
    }
    return {};
}

}  // namespace prax::link
