#include "cli/Commands.h"

#include <array>
#include <filesystem>
#include <ostream>

#include "cli/Fonts.h"
#include "cli/Ports.h"
#include "protocol/Commands.h"
#include "protocol/Firmware.h"
#include "protocol/Fonts.h"
#include "protocol/RawFile.h"

namespace prax::cli {

namespace {

using protocol::Context;
using protocol::Result;

Result Firmware(Context& ctx, const Invocation& inv, Prepared&, std::ostream&) {
    protocol::FirmwareRequest req;
    req.packageSizeText = inv.packageSize;
    req.imagePath = inv.operand;
    return protocol::DownloadFirmware(ctx, req);
}

Result DownloadModeFirmware(Context& ctx, const Invocation& inv, Prepared&, std::ostream& err) {
    const Result result = protocol::DownloadModeFirmware(ctx, {inv.operand, {}});
    // The window's message says only the limit, in words of its own; the person wants the numbers.
    if (result.outcome == protocol::Outcome::Refused && result.message == protocol::kDownloadModeTooLarge) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(inv.operand, ec);
        if (!ec)
            err << "praxdl: \"" << inv.operand << "\" is " << size << " bytes; a download-mode image takes at most "
                << protocol::kDownloadModeMaxSize << ".\n"
                << std::flush;
    }
    return result;
}

Result Channel(Context& ctx, const Invocation& inv, Prepared&, std::ostream&) {
    const auto channel = inv.which == "00"   ? protocol::Channel::Ch00
                         : inv.which == "25" ? protocol::Channel::Ch25
                                             : protocol::Channel::Ch49;
    return protocol::SendChannelSetup(ctx, channel, {});
}

Result Read(Context& ctx, const Invocation& inv, Prepared&, std::ostream&) {
    // The toggle in the state that sends what was asked for.
    const std::string caption = inv.which == "start" ? protocol::kContinueRead : protocol::kStopRead;
    return protocol::ToggleRead(ctx, caption, {}).result;
}

std::string ListPorts(Host& host, bool json, Streams& io) {
    PrintPorts(host, json ? nullptr : &io.out, json ? &io.out : nullptr);
    return {};
}

std::string ListFonts(Host& host, bool json, Streams& io) { return PrintFonts(host.platform(), json, io); }

// The window's three fixed command lines.
template <protocol::PrinterCommand which>
Result FixedLine(Context& ctx, const Invocation&, Prepared&, std::ostream&) {
    return protocol::SendPrinterCommand(ctx, which);
}

const std::array<Command, 14> kCommands = {{
    {"init", false, false, false, FixedLine<protocol::PrinterCommand::InitializePrinter>},
    {"cutter", false, false, false, FixedLine<protocol::PrinterCommand::InitializeCutter>},
    {"change-mode", false, false, false, FixedLine<protocol::PrinterCommand::ChangeMode>},
    {"send", false, false, true,
     [](Context& ctx, const Invocation&, Prepared& prepared, std::ostream&) {
         return protocol::SendLines(ctx, protocol::LineSource::Of(prepared.lines));
     }},
    {"firmware", true, false, false, Firmware},
    {"dl-firmware", true, false, false, DownloadModeFirmware},
    {"font", true, true, false,
     [](Context& ctx, const Invocation& inv, Prepared& prepared, std::ostream&) {
         return protocol::DownloadTrueTypeFont(ctx, prepared.font, *SlotIndex(inv.slot));
     }},
    {"code-table", true, false, false,
     [](Context& ctx, const Invocation& inv, Prepared&, std::ostream&) {
         return protocol::DownloadCodeTable(ctx, {inv.operand, {}}, *SlotIndex(inv.slot));
     }},
    {"raw", true, false, false,
     [](Context& ctx, const Invocation& inv, Prepared&, std::ostream&) {
         return protocol::DownloadRawFile(ctx, {inv.operand, {}});
     }},
    {"channel", false, false, false, Channel},
    {"read", false, false, false, Read},
    // Its steps are the commands above, each run by the recipe's run.
    {"apply", false, false, false, nullptr},
    {"ports", false, false, false, nullptr, ListPorts},
    {"fonts", false, false, false, nullptr, ListFonts},
}};

}  // namespace

const Command& CommandNamed(std::string_view name) {
    for (const Command& command : kCommands)
        if (command.name == name) return command;
    return kCommands.front();
}

bool TakesFileInput(const std::string& command) { return CommandNamed(command).sendsFile; }

}  // namespace prax::cli
