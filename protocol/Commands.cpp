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
    tx.Finish();
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
    // Closed here, as it would be going out of scope, so the result tells whether the lines went.
    tx.Finish();
    return Finished(tx);
}

#ifndef PRAX_ACCESS_CODE
#error "PRAX_ACCESS_CODE (four digits) is set when the project is configured"
#endif

namespace {

constexpr bool FourDigits(const char* text) {
    for (int i = 0; i < 4; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return text[4] == '\0';
}
static_assert(FourDigits(PRAX_ACCESS_CODE), "the access code is four ASCII digits");

constexpr const char* kSettingsOpener = "\x10\x04\r";  // DLE EOT CR

// Open, the lines one write each with the pause after every one, close. A line the device did
// not take ends the sequence: each further one would only wait out its own time-out.
Result SendPacedLines(Context& ctx, const std::vector<std::string>& lines,
                      const std::function<void(bool)>& buttonEnabled) {
    Transfer tx(ctx);
    if (!tx.Open()) return OpenFailed(ctx, kOpenPortFailed);
    if (buttonEnabled) buttonEnabled(false);
    for (const std::string& line : lines) {
        if (!tx.Send(line)) break;
        ctx.host.Sleep(kSettingsPauseMs);
    }
    tx.Finish();
    if (buttonEnabled) buttonEnabled(true);
    return Finished(tx);
}

}  // namespace

const char* AccessCode() { return PRAX_ACCESS_CODE; }

std::vector<std::string> ChannelSequence(Channel channel, const std::string& accessCode) {
    std::vector<std::string> lines = {kSettingsOpener, "pw=" + accessCode + "\r",
                                      "chan=" + std::to_string(static_cast<int>(channel)) + "\r",
                                      "hop=0\r"};
    for (char index = '0'; index <= '3'; ++index) lines.push_back(std::string("txp") + index + "=350\r");
    return lines;
}

Result SendChannelSetup(Context& ctx, Channel channel, const std::function<void(bool)>& buttonEnabled) {
    return SendPacedLines(ctx, ChannelSequence(channel), buttonEnabled);
}

std::vector<std::string> ReadToggleLines(const std::string& caption) {
    if (caption == kStopRead) return {"\r"};
    return {kSettingsOpener, "rl\r"};
}

ReadToggle ToggleRead(Context& ctx, const std::string& caption,
                      const std::function<void(bool)>& buttonEnabled) {
    ReadToggle toggle{SendPacedLines(ctx, ReadToggleLines(caption), buttonEnabled), caption};
    // The caption is the program's belief, not the device's answer: once the link opened, it
    // turns over whether or not the device took the lines, so the next click sends the other
    // half. Only a link that would not open leaves it, and the next click tries the same again.
    if (toggle.result.outcome != Outcome::OpenFailed)
        toggle.caption = caption == kStopRead ? kContinueRead : kStopRead;
    return toggle;
}

}  // namespace prax::protocol
