// The printer command lines: one short line, or the operator's lines, over a link opened for the
// one click and closed again.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "protocol/Context.h"

namespace prax::protocol {

enum class PrinterCommand {
    ChangeMode,         // "~~INTERNALCOMMANDCA" CR LF, fails with "Can't open port"
    InitializePrinter,  // "^default" CR LF
    InitializeCutter,   // "^D1,5" CR LF
};

inline constexpr const char* kOpenPortFailed = "Open port failed";
inline constexpr const char* kCantOpenPort = "Can't open port";

// The exact bytes of a fixed command line.
std::string CommandLineBytes(PrinterCommand command);

// Open, one write of the command line, close. Nothing is shown on success.
Result SendPrinterCommand(Context& ctx, PrinterCommand command);

// The lines of a multi-line edit; the count is asked again before every line, as the memo may
// change while lines go out.
struct LineSource {
    std::function<int()> count;
    std::function<std::string(int)> line;
    static LineSource Of(const std::vector<std::string>& lines);
};

// Each line followed by CR LF, one write per line.
Result SendLines(Context& ctx, const LineSource& lines);

}  // namespace prax::protocol
