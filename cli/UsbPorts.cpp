#include "cli/UsbPorts.h"

#include <algorithm>
#include <iterator>
#include <ostream>

#include "link/OpenHint.h"
#include "link/UsbDiscovery.h"
#include "platform/Platform.h"
#include "protocol/Fonts.h"

namespace prax::cli {

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

UsbPortsView ListUsbPorts(platform::Platform& host) {
    UsbPortsView view;
    int interfaces = 0;
    const std::string chosen = link::FindUsbPrinterPath(host, interfaces);
    link::UsbLook look = link::LookAtUsbPrinters(host);
    const bool facts = std::any_of(look.printers.begin(), look.printers.end(),
                                   [](const link::SeenUsbPrinter& p) { return p.facts; });
    // Where the host lists its printers itself, in its order (lp0, lp1, ...); else the registry's.
    if (facts)
        std::stable_sort(look.printers.begin(), look.printers.end(),
                         [](const auto& a, const auto& b) { return a.hostOrder < b.hostOrder; });
    const auto nodeOf = [&](const std::string& path) {
        for (const link::SeenUsbPrinter& p : look.printers)
            if (p.path == path && p.facts) return p.node;
        return path;
    };
    if (!chosen.empty()) view.opens = nodeOf(chosen);
    const std::size_t accepted = look.AcceptedPaths().size();
    view.lines.push_back("USB          " + (!chosen.empty() ? Shown(view.opens) + "  present"
                                            : accepted    ? link::UnseenUsbPrinters(accepted) + "  absent"
                                                          : std::string("no USB printer of an accepted make  absent")));
    for (const link::SeenUsbPrinter& p : look.printers) {
        UsbPrinterRow row{UsbIdentity(p.path), p.Serial(), p.facts ? p.node : p.path, VerdictText(p.verdict), {},
                          p.verdict == link::UsbVerdict::Accepted, !chosen.empty() && p.path == chosen};
        // One the driver doesn't serve is not there to open.
        if (p.facts || p.verdict != link::UsbVerdict::NotServed) row.problem = OpenTrial(host, p.path);
        std::string line = "  ";
        if (p.facts) {
            line += p.port + "  " + link::UsbDeviceOf(p.path) + "  " +
                    (p.serial.empty() ? "no serial" : "serial " + p.serial);
            if (!p.manufacturer.empty() || !p.product.empty()) line += "  " + p.manufacturer + ' ' + p.product;
            line += "  " + p.node;
        } else {
            line += p.path;
        }
        // Whatever a device or the registry calls itself, the terminal only shows it.
        view.lines.push_back(Shown(line + "  " + VerdictLine(row)));
        view.printers.push_back(std::move(row));
    }
    if (view.printers.empty())
        view.lines.push_back(std::string("  no USB printer is attached") +
                             (look.hostLists && !look.driverKey ? " (the usblp driver is not loaded)" : ""));
    return view;
}

std::string UsbNameHint(const UsbNamed& found, const std::string& text) {
    std::vector<std::string> named;
    for (const link::SeenUsbPrinter& p : found.named) named.push_back(p.path);
    if (named.size() > 1)
        return Shown("\"" + text + "\" names " + std::to_string(named.size()) + " attached USB printers: " +
                     Listed(named) + "; give the whole identity");
    return Shown("\"" + text + "\" names no connection and no attached USB printer of an accepted make (" +
                 (found.attached.empty() ? std::string("none is attached") : "attached: " + Listed(found.attached)) +
                 "; see praxdl ports)");
}

std::string Shown(const std::string& text) { return protocol::PrintableName(text); }

}  // namespace prax::cli
