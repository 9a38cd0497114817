#include "cli/Ports.h"

#include <ostream>
#include <string>
#include <vector>

#include "cli/Json.h"
#include "cli/UsbPorts.h"
#include "link/TCom.h"
#include "protocol/Connections.h"

namespace prax::cli {

namespace {

// A connection by its device name: what it opens and whether that is there, as one line.
std::string PortLine(Host& host, const std::string& connection, std::int32_t code, std::string& opens,
                     bool& present) {
    const std::string name = code == link::kLpt1PortCode ? "LPT1" : "\\\\.\\COM" + std::to_string(code);
    opens = host.DevicePath(name);
    present = host.DevicePresent(opens);
    std::string label = connection;
    label.resize(13, ' ');
    return label + opens + "  " + (present ? "present" : "absent");
}

void WriteUsbPrinters(std::ostream& json, const UsbPortsView& usb) {
    for (const UsbPrinterRow& printer : usb.printers) {
        JsonObject object("usb-printer");
        object.Add("identity", printer.identity);
        if (!printer.serial.empty()) object.Add("serial", printer.serial);
        object.Add("opens", printer.opens).Add("verdict", printer.verdict).Add("accepted", printer.accepted);
        if (!printer.problem.empty()) object.Add("problem", printer.problem);
        json << object.Add("chosen", printer.chosen).Line();
    }
}

}  // namespace

void PrintPorts(Host& host, std::ostream* human, std::ostream* json) {
    for (std::size_t i = 0; i < protocol::kConnectionNames.size(); ++i) {
        const std::int32_t code = protocol::PortCodeForConnection(static_cast<int>(i));
        const std::string connection(protocol::kConnectionNames[i]);
        std::string opens;
        bool present = false;
        std::vector<std::string> lines;
        UsbPortsView usb;
        if (code == link::kUsbPortCode) {
            usb = ListUsbPorts(host.platform());
            opens = usb.opens;
            present = !opens.empty();
            lines = usb.lines;
        } else {
            lines.push_back(PortLine(host, connection, code, opens, present));
        }
        if (human)
            for (const std::string& line : lines) *human << line << '\n';
        if (!json) continue;
        *json << JsonObject("port").Add("connection", connection).Add("opens", opens).Add("present", present).Line();
        WriteUsbPrinters(*json, usb);
    }
}

}  // namespace prax::cli
