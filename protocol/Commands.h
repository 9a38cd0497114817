// The printer command lines: one short line, or the operator's lines, over a link opened for the
// one click and closed again.
#pragma once

#include <cstdint>
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
// Whether a message says the link did not open (front ends add the host's reason under it).
inline bool IsOpenFailureMessage(const std::string& text) { return text == kOpenPortFailed || text == kCantOpenPort; }

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

// The settings interface of the device: short CR-terminated lines, one write each, every write
// followed by a pause the device needs to take the line in. Nothing is read back.
inline constexpr std::uint32_t kSettingsPauseMs = 300;
inline constexpr const char* kContinueRead = "continue read";
inline constexpr const char* kStopRead = "Stop Read";

enum class Channel { Ch00 = 0, Ch25 = 25, Ch49 = 49 };

// The device's access code, four ASCII digits, fixed when the program is built.
const char* AccessCode();

// The eight writes that set a channel: the opener, the access code, the channel, the hop
// setting and the four transmit powers.
std::vector<std::string> ChannelSequence(Channel channel, const std::string& accessCode = AccessCode());

// Sends the channel sequence. `buttonEnabled(false)` is called once the link is open, and
// `buttonEnabled(true)` once it is closed again.
Result SendChannelSetup(Context& ctx, Channel channel, const std::function<void(bool)>& buttonEnabled);

// What the read toggle sends for its caption: reading is started unless the caption is exactly
// "Stop Read", in which case it is stopped.
std::vector<std::string> ReadToggleLines(const std::string& caption);

struct ReadToggle {
    Result result;
    std::string caption;  // the caption after the click
};
// The caption moves on once the link opened, whether or not the device took the lines; a link
// that would not open leaves it, so the next click tries the same again.
ReadToggle ToggleRead(Context& ctx, const std::string& caption,
                      const std::function<void(bool)>& buttonEnabled);

}  // namespace prax::protocol
