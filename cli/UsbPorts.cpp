#include "cli/UsbPorts.h"

#include <ostream>

#include "link/UsbDiscovery.h"
#include "platform/Platform.h"
#if !defined(_WIN32)
#include "platform/posix/UsbPrinters.h"
#endif

namespace prax::cli {

using platform::HostReason;

namespace {

// The host's reason for a printer node that would not open, with what the operator can do.
std::string ReasonText(HostReason reason, const std::string& detail) {
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

const char* VerdictText(link::UsbVerdict v) {
    switch (v) {
        case link::UsbVerdict::Accepted: return "accepted make";
        case link::UsbVerdict::NotServed: return "not served by the printer driver";
        case link::UsbVerdict::NotAcceptedMake:
        case link::UsbVerdict::NotConfirmed: break;
    }
    return "not of an accepted make";
}

// Opened and closed again at once, as the connection would open it: nothing is sent. The reason
// it would not open, or nothing.
std::string OpenTrial(platform::Platform& host, const std::string& path) {
    const platform::Handle h = host.CreateFileA(
        path, platform::GENERIC_READ_ | platform::GENERIC_WRITE_,
        platform::FILE_SHARE_READ_ | platform::FILE_SHARE_WRITE_, platform::OPEN_EXISTING_,
        platform::FILE_FLAG_OVERLAPPED_);
    if (h == platform::kInvalidHandle || h == platform::kNullHandle)
        return ", cannot be opened: " + ReasonText(host.LastHostReason(), host.LastHostDetail());
    host.CloseHandle(h);
    return {};
}

}  // namespace

#if defined(_WIN32)
// Windows names its printers in the registry: every printer interface it knows, with the verdict
// of the search that "USB" runs.
std::string PrintUsbPorts(std::ostream& out, platform::Platform& host) {
    int interfaces = 0;
    const std::string chosen = link::FindUsbPrinterPath(host, interfaces);
    const link::UsbDeviceList served = link::CollectUsbPrintDevices(host);
    out << "USB          " << (chosen.empty() ? "no USB printer of an accepted make  absent" : chosen + "  present")
        << '\n';
    int listed = 0;
    for (int i = 0; i < interfaces; ++i) {
        std::string path;
        if (!link::GetPrinterInterfacePath(host, i, path)) continue;
        const link::UsbVerdict verdict = link::JudgeUsbPrinterPath(host, path, served);
        ++listed;
        out << "  " << path << "  " << VerdictText(verdict);
        if (verdict != link::UsbVerdict::NotServed) out << OpenTrial(host, path);
        if (!chosen.empty() && path == chosen) out << ", \"USB\" opens it";
        out << '\n';
    }
    if (listed == 0) out << "  no USB printer is attached\n";
    return chosen;
}
#else

std::string PrintUsbPorts(std::ostream& out, platform::Platform& host) {
    const auto printers = platform::posix::ScanUsbPrinters();
    int interfaces = 0;
    const std::string chosen = link::FindUsbPrinterPath(host, interfaces);
    const link::UsbDeviceList served = link::CollectUsbPrintDevices(host);

    std::string chosenNode;
    if (!chosen.empty()) chosenNode = platform::posix::UsbNodeForPath(chosen);
    out << "USB          "
        << (chosen.empty() ? "no USB printer of an accepted make  absent" : chosenNode + "  present") << '\n';
    if (printers.empty()) {
        out << "  no USB printer is attached"
            << (platform::posix::UsbPrintDriverPresent() ? "" : " (the usblp driver is not loaded)") << '\n';
        return chosenNode;
    }
    for (const auto& p : printers) {
        out << "  " << p.lp << "  VID_" << p.vendorId << "&PID_" << p.productId << "  "
            << (p.serial.empty() ? "no serial" : "serial " + p.serial);
        if (!p.manufacturer.empty() || !p.product.empty()) out << "  " << p.manufacturer << ' ' << p.product;
        const std::string path = p.InterfacePath();
        out << "  " << p.node << "  " << VerdictText(link::JudgeUsbPrinterPath(host, path, served));
        out << OpenTrial(host, path);
        if (!chosen.empty() && path == chosen) out << ", \"USB\" opens it";
        out << '\n';
    }
    return chosenNode;
}
#endif

std::string UsbOpenHint(platform::Platform& host) {
    int interfaces = 0;
    if (link::FindUsbPrinterPath(host, interfaces).empty())
        return "no USB printer of an accepted make is attached (see praxdl ports)";
    return ReasonText(host.LastHostReason(), host.LastHostDetail());
}

}  // namespace prax::cli
