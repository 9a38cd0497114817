#include "cli/Targets.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

#include "cli/UsbPorts.h"
#include "platform/Names.h"
#include "protocol/Connections.h"

namespace prax::cli {

namespace {

std::string Lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::string Target::Label() const {
    if (kind == Kind::Port && !usbPrinter.empty()) return UsbIdentity(usbPrinter);
    if (kind == Kind::Port && !usbName.empty()) return usbName;
    return text;
}

Target UsbTarget(const link::SeenUsbPrinter& printer) {
    Target target{Target::Kind::Port, "USB", printer.path};
    target.usbSerial = printer.Serial();
    return target;
}

int ConnectionIndex(const std::string& text) {
    const auto& names = protocol::kConnectionNames;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (Lower(std::string(names[i])) == Lower(text)) return static_cast<int>(i);
    return -1;
}

// A connection cut short is refused with the one it is short for, not taken for it: a script that
// says "COM1" should say what it means.
std::string PortProblem(const std::string& text) {
    if (ConnectionIndex(text) >= 0) return {};
    if (text.empty()) return "needs a connection (see praxdl ports)";
    std::vector<std::string> startsSo;
    for (const std::string_view name : protocol::kConnectionNames)
        if (Lower(std::string(name)).rfind(Lower(text), 0) == 0) startsSo.emplace_back(name);
    if (!startsSo.empty()) {
        std::string meant;
        for (std::size_t i = 0; i < startsSo.size(); ++i)
            meant += (i == 0 ? "" : i + 1 == startsSo.size() ? " or " : ", ") + ("\"" + startsSo[i] + "\"");
        return "unknown connection \"" + text + "\": did you mean " + meant + "?";
    }
    // No identity holds a blank, a control character or a byte beyond ASCII: the system keeps
    // none in a device's name.
    if (std::any_of(text.begin(), text.end(), [](char c) { return c <= ' ' || c >= 0x7F; }))
        return "unknown connection \"" + text + "\" (see praxdl ports)";
    return {};
}

std::string ParseHostTarget(const std::string& text, link::NetworkTarget& target) {
    std::optional<std::string> port;
    if (!text.empty() && text[0] == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos) return "no ] after [ in \"" + text + "\"";
        target.host = text.substr(1, close - 1);
        if (close + 1 < text.size()) {
            if (text[close + 1] != ':') return "\"" + text + "\" has text after ]";
            port = text.substr(close + 2);
        }
    } else if (const std::size_t colon = text.find(':');
               colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
        target.host = text.substr(0, colon);
        port = text.substr(colon + 1);
    } else {
        target.host = text;
    }
    if (target.host.empty()) return "needs a host name or address";
    if (port) {
        const bool digits = !port->empty() && port->size() <= 5 &&
                            std::all_of(port->begin(), port->end(), [](char c) { return c >= '0' && c <= '9'; });
        const unsigned long value = digits ? std::stoul(*port) : 0;
        if (value < 1 || value > 65535) return "the port must be a number from 1 to 65535, not \"" + *port + "\"";
        target.port = static_cast<std::uint16_t>(value);
    }
    return {};
}

}  // namespace prax::cli
