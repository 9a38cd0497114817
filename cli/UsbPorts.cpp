#include "cli/UsbPorts.h"

#include <algorithm>
#include <iterator>
#include <ostream>

#include "link/OpenHint.h"
#include "link/UsbDiscovery.h"
#include "platform/Names.h"
#include "platform/Platform.h"
#if !defined(_WIN32)
#include "platform/posix/UsbPrinters.h"
#endif

namespace prax::cli {

using platform::UpperAscii;

namespace {

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
        return link::UsbReasonText(host.LastHostReason(), host.LastHostDetail());
    host.CloseHandle(h);
    return {};
}

// The printer's line after its name: the verdict, why it can't be opened, whether "USB" takes it.
std::string VerdictLine(const UsbPrinterRow& row) {
    return row.verdict + (row.problem.empty() ? "" : ", cannot be opened: " + row.problem) +
           (row.chosen ? ", \"USB\" opens it" : "");
}

std::string Listed(const std::vector<std::string>& paths) {
    std::string list;
    for (const std::string& path : paths) list += (list.empty() ? "" : ", ") + UsbIdentity(path);
    return list;
}

}  // namespace

#if defined(_WIN32)
// Windows names its printers in the registry: every printer interface it knows, with the verdict
// of the search that "USB" runs.
UsbPortsView ListUsbPorts(platform::Platform& host) {
    UsbPortsView view;
    int interfaces = 0;
    const std::string chosen = link::FindUsbPrinterPath(host, interfaces);
    const link::UsbDeviceList served = link::CollectUsbPrintDevices(host);
    view.opens = chosen;
    view.lines.push_back("USB          " +
                         (chosen.empty() ? "no USB printer of an accepted make  absent" : chosen + "  present"));
    for (int i = 0; i < interfaces; ++i) {
        std::string path;
        if (!link::GetPrinterInterfacePath(host, i, path)) continue;
        const link::UsbVerdict verdict = link::JudgeUsbPrinterPath(host, path, served);
        UsbPrinterRow row{UsbIdentity(path), UsbSerialOf(path), path, VerdictText(verdict), {},
                          verdict == link::UsbVerdict::Accepted, !chosen.empty() && path == chosen};
        if (verdict != link::UsbVerdict::NotServed) row.problem = OpenTrial(host, path);
        view.lines.push_back("  " + path + "  " + VerdictLine(row));
        view.printers.push_back(std::move(row));
    }
    if (view.printers.empty()) view.lines.push_back("  no USB printer is attached");
    return view;
}
#else

UsbPortsView ListUsbPorts(platform::Platform& host) {
    UsbPortsView view;
    const auto printers = platform::posix::ScanUsbPrinters();
    int interfaces = 0;
    const std::string chosen = link::FindUsbPrinterPath(host, interfaces);
    const link::UsbDeviceList served = link::CollectUsbPrintDevices(host);

    if (!chosen.empty()) view.opens = platform::posix::UsbNodeForPath(chosen);
    view.lines.push_back("USB          " +
                         (chosen.empty() ? "no USB printer of an accepted make  absent" : view.opens + "  present"));
    if (printers.empty()) {
        view.lines.push_back(std::string("  no USB printer is attached") +
                             (platform::posix::UsbPrintDriverPresent() ? "" : " (the usblp driver is not loaded)"));
        return view;
    }
    for (const auto& p : printers) {
        const std::string path = p.InterfacePath();
        const link::UsbVerdict verdict = link::JudgeUsbPrinterPath(host, path, served);
        UsbPrinterRow row{p.DeviceId(), p.serial, p.node, VerdictText(verdict), OpenTrial(host, path),
                          verdict == link::UsbVerdict::Accepted, !chosen.empty() && path == chosen};
        std::string line = "  " + p.lp + "  VID_" + p.vendorId + "&PID_" + p.productId + "  " +
                           (p.serial.empty() ? "no serial" : "serial " + p.serial);
        if (!p.manufacturer.empty() || !p.product.empty()) line += "  " + p.manufacturer + ' ' + p.product;
        view.lines.push_back(line + "  " + p.node + "  " + VerdictLine(row));
        view.printers.push_back(std::move(row));
    }
    return view;
}
#endif

std::string UsbIdentity(const std::string& interfacePath) {
    std::string rest = interfacePath.rfind("\\\\?\\", 0) == 0 ? interfacePath.substr(4) : interfacePath;
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
        const std::size_t hash = rest.find('#', start);
        parts.push_back(rest.substr(start, hash == std::string::npos ? std::string::npos : hash - start));
        if (hash == std::string::npos) break;
        start = hash + 1;
    }
    if (parts.size() < 3) return interfacePath;
    return parts[0] + "\\" + parts[1] + "\\" + parts[2];
}

// An instance the system made up (Windows' "6&2c1a&0&USB001", Linux's port "1-1.2") is no
// serial number.
std::string UsbSerialOf(const std::string& interfacePath) {
    const std::string identity = UsbIdentity(interfacePath);
    const std::size_t cut = identity.rfind('\\');
    if (cut == std::string::npos || UpperAscii(identity).rfind("USB\\", 0) != 0) return {};
    const std::string instance = identity.substr(cut + 1);
    const bool madeUp = instance.find('&') != std::string::npos ||
                        std::all_of(instance.begin(), instance.end(),
                                    [](char c) { return (c >= '0' && c <= '9') || c == '-' || c == '.'; });
    return madeUp ? std::string() : instance;
}

bool NamesUsbPrinter(const std::string& text, const std::string& interfacePath) {
    const std::string wanted = UpperAscii(text);
    const std::string identity = UpperAscii(UsbIdentity(interfacePath));
    const std::size_t cut = identity.rfind('\\');
    // Made-up instances count too: one that names the USB port a printer without a serial is
    // plugged into still picks that printer out.
    return !wanted.empty() && (wanted == identity || wanted == UpperAscii(interfacePath) ||
                               (cut != std::string::npos && wanted == identity.substr(cut + 1)));
}

std::vector<std::string> FindUsbPrintersNamed(platform::Platform& host, const std::string& text) {
    int interfaces = 0;
    std::vector<std::string> named = link::FindUsbPrinterPaths(host, interfaces);
    named.erase(std::remove_if(named.begin(), named.end(),
                               [&](const std::string& path) { return !NamesUsbPrinter(text, path); }),
                named.end());
    return named;
}

std::string UsbNameHint(platform::Platform& host, const std::string& text) {
    int interfaces = 0;
    const std::vector<std::string> attached = link::FindUsbPrinterPaths(host, interfaces);
    std::vector<std::string> named;
    std::copy_if(attached.begin(), attached.end(), std::back_inserter(named),
                 [&](const std::string& path) { return NamesUsbPrinter(text, path); });
    if (named.size() > 1)
        return "\"" + text + "\" names " + std::to_string(named.size()) + " attached USB printers: " + Listed(named) +
               "; give the whole identity";
    return "\"" + text + "\" names no connection and no attached USB printer of an accepted make (" +
           (attached.empty() ? std::string("none is attached") : "attached: " + Listed(attached)) +
           "; see praxdl ports)";
}

}  // namespace prax::cli
