#include "protocol/Commands.h"

#include <cstdio>
#include <cstring>

#include "protocol/Transfer.h"

namespace prax::protocol {

std::string CommandLineBytes(PrinterCommand command) {
    switch (command) {
        case PrinterCommand::ChangeMode: {
            char line[32];
            std::snprintf(line, sizeof line, "~~INTERNALCOMMANDCA%c%c", 13, 10);
            return std::string(line, std::strlen(line));
        }
        case PrinterCommand::InitializePrinter:
            return std::string("^default\r\n", 10);
        case PrinterCommand::InitializeCutter:
            return std::string("^D1,5\r\n", 7);
    }
    return {};
}

namespace {

Result OpenFailed(Context& ctx, const char* text) {
    ctx.ui.ShowMessage(text);
    return Result{Outcome::OpenFailed, 0, text};
}

// The window shows nothing after these lines, not even when the printer stopped taking them;
// the caller gets the count and the text to report it.
Result Finished(const Transfer& tx) {
    if (tx.stopped()) return Result{tx.StoppedOutcome(), tx.delivered(), tx.StoppedMessage()};
    return Result{Outcome::Done, tx.delivered(), {}};
}

}  // namespace

Result SendPrinterCommand(Context& ctx, PrinterCommand command) {
    Transfer tx(ctx);
    if (!tx.Open())
        return OpenFailed(ctx, command == PrinterCommand::ChangeMode ? kCantOpenPort : kOpenPortFailed);
    tx.Send(CommandLineBytes(command));
    tx.com().Close();
    return Finished(tx);
}

LineSource LineSource::Of(const std::vector<std::string>& lines) {
    return LineSource{[&lines] { return static_cast<int>(lines.size()); },
                      [&lines](int i) { return lines[static_cast<std::size_t>(i)]; }};
}

Result SendLines(Context& ctx, const LineSource& lines) {
    Transfer tx(ctx);
    if (!tx.Open()) return OpenFailed(ctx, kOpenPortFailed);
    for (int i = 0; i < lines.count(); ++i) {
        if (!tx.Send(lines.line(i) + "\r\n")) break;
    }
    // No Close here: the link closes as it goes out of scope.
    return Finished(tx);
}

}  // namespace prax::protocol
