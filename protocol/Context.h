// Everything an operation talks to: the host, the operator, and the connection chosen at the
// moment the operation opens its link.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Platform.h"
#include "protocol/FileImage.h"
#include "protocol/Operator.h"

namespace prax::link {
struct NetworkTarget;
}

namespace prax::protocol {

// Read right before each Open, so the connection selected at that moment counts.
using PortCodeSource = std::function<std::int32_t()>;

struct Context {
    platform::Platform& host;
    Operator& ui;
    PortCodeSource portCode;
    // The status line's text as the last transfer built it; a transfer appends to it at the end.
    std::string& statusText;
    // A network printer to talk to instead of the port code's connection.
    const link::NetworkTarget* network = nullptr;
    // The USB printer the USB connection opens, by its interface path; empty: the first accepted.
    std::string usbPrinter{};
    // Where the operation's files come from: read afresh when null.
    SharedInputs* inputs = nullptr;
    // Only the input is read and checked: the operation ends as Checked right before it would
    // open its link, or refuses the input exactly as a sending run would.
    bool checkOnly = false;
    // The stream goes to a file, not to a printer: a transfer that ends early leaves no printer
    // waiting for the rest of an image.
    bool toFile = false;
};

enum class Outcome {
    Done,        // everything was delivered
    Cancelled,   // the operator chose no file; nothing happened
    Refused,     // the input was refused before anything was opened
    OpenFailed,  // the connection could not be opened; nothing was sent
    Stopped,     // a write gave up or failed; the transfer ended early
    Interrupted, // the operator asked the operation to stop; it ended early, without a message
    Checked,     // a check-only run: the input passed every check; nothing was opened
};

struct Result {
    Outcome outcome = Outcome::Done;
    std::uint64_t delivered = 0;  // bytes of the whole stream that reached the connection
    std::string message;          // the text for the operator, if any
    bool shown = false;           // whether the operation showed `message` itself
    // The stream ended after an image's header and before its last byte: the printer still
    // counts the size the header announced and would take the next download as the rest.
    bool printerMidImage = false;
    bool ok() const { return outcome == Outcome::Done; }
};

// Greys the main window's Close command for as long as it lives, so it is enabled again on every
// way out of an operation, errors included.
class CloseCommandGreyed {
public:
    explicit CloseCommandGreyed(Operator& ui) : ui_(ui) { ui_.SetCloseEnabled(false); }
    ~CloseCommandGreyed() { ui_.SetCloseEnabled(true); }
    CloseCommandGreyed(const CloseCommandGreyed&) = delete;
    CloseCommandGreyed& operator=(const CloseCommandGreyed&) = delete;

private:
    Operator& ui_;
};

// The progress dialog, shown for as long as this lives (or until Hide), so it is hidden on every
// way out of an operation.
class ProgressShown {
public:
    explicit ProgressShown(Operator& ui) : ui_(ui) { ui_.ShowProgress(); }
    ~ProgressShown() { Hide(); }
    void Hide() {
        if (shown_) ui_.HideProgress();
        shown_ = false;
    }
    // The dialog stays on screen after this is gone (the countdown takes it over).
    void LeaveShown() { shown_ = false; }
    ProgressShown(const ProgressShown&) = delete;
    ProgressShown& operator=(const ProgressShown&) = delete;

private:
    Operator& ui_;
    bool shown_ = true;
};

}  // namespace prax::protocol
