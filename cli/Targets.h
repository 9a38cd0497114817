// The connections of a run as the command line names them: a connection the window lists, a USB
// printer by its serial number or identity, a device or file, a network printer, or --output.
#pragma once

#include <string>

#include "link/TCom.h"
#include "link/UsbDiscovery.h"

namespace prax::cli {

// One connection of a run.
struct Target {
    enum class Kind { Port, Device, Output, Host };
    Kind kind = Kind::Port;
    std::string text;        // as given: a connection's list name, a path, HOST[:PORT]
    // A USB printer of --all or --watch, or the attached one that usbName names: its interface path.
    std::string usbPrinter{};
    // --port by a USB printer's serial number or identity: the text given ("USB" is then `text`).
    std::string usbName{};
    // That printer's serial number, as the device reports it, where it has one.
    std::string usbSerial{};
    // --output of a recipe: the file of its own that every step's stream goes to in turn, each
    // after the first added to its end; FILE gets it once the last step is through.
    std::string stagedOutput{};
    bool appendOutput = false;
    // How rows, JSON objects and the log name it.
    std::string Label() const;
};

// The target of a USB printer a look found.
Target UsbTarget(const link::SeenUsbPrinter& printer);

// The list index of a connection given in any letter case; -1 when the window lists none such.
int ConnectionIndex(const std::string& text);

// Why --port can't take `text`, or nothing: it takes a connection the window lists, or else a USB
// printer's serial number or identity.
std::string PortProblem(const std::string& text);

// HOST, HOST:PORT, [IPV6] or [IPV6]:PORT; an IPv6 address without brackets takes no port. The
// reason it can't be used, or nothing.
std::string ParseHostTarget(const std::string& text, link::NetworkTarget& target);

}  // namespace prax::cli
