#include "cli/Praxdl.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>

#include "cli/Interrupt.h"
#include "cli/TerminalOperator.h"
#include "cli/UsbPorts.h"
#include "link/NetSocket.h"
#include "link/TCom.h"
#include "platform/posix/DeviceNames.h"
#include "platform/posix/PosixPlatform.h"
#include "protocol/Commands.h"
#include "protocol/Connections.h"
#include "protocol/Firmware.h"
#include "protocol/FontList.h"
#include "protocol/Fonts.h"
#include "protocol/RawFile.h"

namespace prax::cli {

namespace {

using platform::posix::PosixPlatform;

class PosixHost final : public Host {
public:
    PosixHost() { posix_.SetAbortFlag(&gInterruptSignal); }
    platform::Platform& platform() override { return posix_; }
    void MapDevice(const std::string& name, const std::string& path) override {
        posix_.MapDevice(name, path);
    }
    void MapOutputFile(const std::string& name, const std::string& path) override {
        posix_.MapDevice(name, path, true);
    }

private:
    PosixPlatform posix_;
};

std::string Lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

struct UsageError {
    std::string text;
};

struct Options {
    std::optional<std::string> port, device, output, host;
    std::optional<bool> answer;
    bool quiet = false;
    std::optional<std::string> packageSize;
    std::optional<std::string> slot;
    std::vector<std::string> positional;
};

Options Parse(const std::vector<std::string>& args) {
    Options o;
    bool optionsEnded = false;
    int connections = 0;
    auto value = [&](std::size_t& i, const std::string& name) {
        if (i + 1 >= args.size()) throw UsageError{name + " needs a value"};
        return args[++i];
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a.rfind("--", 0) != 0) {
            o.positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
        } else if (a == "--port") {
            o.port = value(i, a);
            ++connections;
        } else if (a == "--device") {
            o.device = value(i, a);
            ++connections;
        } else if (a == "--output") {
            o.output = value(i, a);
            ++connections;
        } else if (a == "--host") {
            o.host = value(i, a);
            ++connections;
        } else if (a == "--yes" || a == "--no") {
            if (o.answer && *o.answer != (a == "--yes")) throw UsageError{"--yes and --no exclude each other"};
            o.answer = a == "--yes";
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--package-size") {
            o.packageSize = value(i, a);
        } else if (a == "--slot") {
            o.slot = value(i, a);
        } else if (a == "--help") {
            throw UsageError{};
        } else {
            throw UsageError{"unknown option " + a};
        }
    }
    if (connections > 1) throw UsageError{"give one of --port, --device, --output and --host"};
    return o;
}

// HOST, HOST:PORT, [IPV6] or [IPV6]:PORT; an IPv6 address without brackets takes no port.
link::NetworkTarget ParseHostTarget(const std::string& text) {
    link::NetworkTarget target;
    std::optional<std::string> port;
    if (!text.empty() && text[0] == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos) throw UsageError{"--host: no ] after [ in \"" + text + "\""};
        target.host = text.substr(1, close - 1);
        if (close + 1 < text.size()) {
            if (text[close + 1] != ':') throw UsageError{"--host: \"" + text + "\" has text after ]"};
            port = text.substr(close + 2);
        }
    } else if (const std::size_t colon = text.find(':');
               colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
        target.host = text.substr(0, colon);
        port = text.substr(colon + 1);
    } else {
        target.host = text;
    }
    if (target.host.empty()) throw UsageError{"--host needs a host name or address"};
    if (port) {
        const bool digits = !port->empty() && port->size() <= 5 &&
                            std::all_of(port->begin(), port->end(), [](char c) { return c >= '0' && c <= '9'; });
        const unsigned long value = digits ? std::stoul(*port) : 0;
        if (value < 1 || value > 65535)
            throw UsageError{"--host: the port must be a number from 1 to 65535, not \"" + *port + "\""};
        target.port = static_cast<std::uint16_t>(value);
    }
    return target;
}

// What the host said about the failed open, in words an operator can act on.
std::string HintFor(platform::Platform& host, std::int32_t code, const link::NetworkTarget* network) {
    // The network's reasons (refused, unreachable, no answer, unknown host) say it all.
    if (network) return host.LastHostDetail();
    if (code == link::kUsbPortCode) return UsbOpenHint(host);
    switch (host.LastHostReason()) {
        case platform::HostReason::Permission:
            return host.LastHostDetail() +
                   " (the user needs to be in the dialout group for serial ports, lp for printers)";
        case platform::HostReason::Busy:
            return host.LastHostDetail() + " (another program holds the port)";
        case platform::HostReason::Absent:
            return host.LastHostDetail() + " (no such device)";
        case platform::HostReason::Io:
        case platform::HostReason::Other:
            return host.LastHostDetail();
        case platform::HostReason::None:
            break;
    }
    return {};
}

bool IsTerminalDevice(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool tty = isatty(fd) == 1;
    ::close(fd);
    return tty;
}

std::vector<std::string> ReadLines(std::istream& in) {
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

void PrintPorts(std::ostream& out) {
    for (std::size_t i = 0; i < protocol::kConnectionNames.size(); ++i) {
        const std::int32_t code = protocol::PortCodeForConnection(static_cast<int>(i));
        if (code == link::kUsbPortCode) {
            PosixPlatform host;
            PrintUsbPorts(out, host);
            continue;
        }
        const std::string name = code == link::kLpt1PortCode ? "LPT1" : "\\\\.\\COM" + std::to_string(code);
        const std::string path = platform::posix::HostPathFor(name);
        struct stat st {};
        const bool present = ::stat(path.c_str(), &st) == 0;
        std::string label(protocol::kConnectionNames[i]);
        label.resize(13, ' ');
        out << label << path << "  " << (present ? "present" : "absent") << '\n';
    }
}

// The byte stream of --output goes to a file of its own next to FILE and takes FILE's name only
// once the operation has delivered all of it, so an interrupted or failed run never leaves a
// FILE that looks complete, and a refused input (nothing opened) leaves FILE as it was. A FILE
// that is no regular file (a terminal, a pipe, /dev/null) is written directly.
class StagedOutput {
public:
    explicit StagedOutput(const std::string& path) : path_(path) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return;
        const std::filesystem::path p(path);
        temp_ = (p.parent_path() / ("." + p.filename().string() + ".praxdl-" +
                                    std::to_string(::getpid()) + ".part"))
                    .string();
    }
    ~StagedOutput() {
        if (!temp_.empty()) ::unlink(temp_.c_str());
    }
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    // What the link opens.
    const std::string& OpenPath() const { return temp_.empty() ? path_ : temp_; }
    // Gives the finished stream FILE's name. False, with `error` set, when that fails.
    bool Commit(std::string& error) {
        if (temp_.empty()) return true;
        struct stat st {};
        if (::stat(temp_.c_str(), &st) != 0) return true;  // never opened: nothing to give
        if (std::rename(temp_.c_str(), path_.c_str()) != 0) {
            error = "cannot rename " + temp_ + " to " + path_ + ": " + std::strerror(errno);
            return false;
        }
        temp_.clear();
        return true;
    }

private:
    std::string path_;
    std::string temp_;
};

int Fail(Streams& io, const std::string& text, int code) {
    io.err << "praxdl: " << text << '\n';
    return code;
}

// The slot list's index of "TA" ... "TZ", letter case ignored as the window's list ignores it.
std::optional<int> SlotIndex(const std::string& text) {
    if (text.size() != 2 || std::toupper(static_cast<unsigned char>(text[0])) != 'T') return std::nullopt;
    const int letter = std::toupper(static_cast<unsigned char>(text[1]));
    if (letter < 'A' || letter > 'Z') return std::nullopt;
    return letter - 'A';
}

// The fonts as the font selection dialog lists them. False, with the reason on standard error,
// when the list can't be read.
bool ReadFonts(platform::Platform& host, Streams& io, protocol::FontList& list) {
    try {
        list = protocol::ReadInstalledFonts(host);
    } catch (const std::exception& e) {
        io.err << "praxdl: " << e.what() << '\n';
        return false;
    }
    if (!list.opened) io.err << "praxdl: " << protocol::kCantOpenFont << '\n';
    return list.opened;
}

int ExitFor(const protocol::Result& r, Streams& io) {
    // A message the operation showed is on standard error already.
    if (!r.shown && !r.message.empty() &&
        (r.outcome == protocol::Outcome::Stopped || r.outcome == protocol::Outcome::Interrupted))
        io.err << "praxdl: " << r.message << '\n';
    if (gInterruptSignal != 0) return 128 + gInterruptSignal;
    return r.ok() ? kExitDone : kExitFailed;
}

}  // namespace

std::string UsageText() {
    return "usage: praxdl [--port TEXT | --device PATH | --output FILE | --host HOST[:PORT]]\n"
           "              [--yes | --no] [--quiet]\n"
           "              COMMAND [ARGUMENTS]\n"
           "commands:\n"
           "  init | cutter | change-mode     the printer's fixed command lines\n"
           "  send [LINE ...]                 each line followed by CR LF (standard input without LINE)\n"
           "  firmware IMAGE [--package-size N]\n"
           "  dl-firmware IMAGE               an image of at most 128 KiB behind the download-mode command\n"
           "  font NAME [--slot TA..TZ]       an installed TrueType font, NAME as praxdl fonts lists it\n"
           "  code-table FILE [--slot TA..TZ] any file as a font code table\n"
           "  raw FILE                        any file, byte for byte\n"
           "  channel 00|25|49                the device's channel settings, 300 ms after each line\n"
           "  read start|stop                 start or stop the device's reading\n"
           "  ports                           each connection and what it opens on this host\n"
           "  fonts                           the installed fonts the font list offers: name, file, size\n"
           "--port takes a connection as the window lists it: \"USB\", \"LPT1\", \"COM1 115200\" ...\n"
           "\"COM8 115200\" (default USB). --host takes a network printer's raw port: a name or\n"
           "address with port 9100 unless given, an IPv6 address in brackets, e.g. [::1]:9100.\n"
           "--slot defaults to TA.\n";
}

int RunPraxdl(const std::vector<std::string>& args, Streams& io, Host* givenHost) {
    Options o;
    try {
        o = Parse(args);
    } catch (const UsageError& e) {
        if (e.text.empty()) {
            io.out << UsageText();
            return kExitDone;
        }
        io.err << "praxdl: " << e.text << '\n' << UsageText();
        return kExitUsage;
    }
    if (o.positional.empty()) {
        io.err << UsageText();
        return kExitUsage;
    }
    std::optional<link::NetworkTarget> network;
    try {
        if (o.host) network = ParseHostTarget(*o.host);
    } catch (const UsageError& e) {
        io.err << "praxdl: " << e.text << '\n' << UsageText();
        return kExitUsage;
    }
    const std::string command = o.positional[0];
    const std::vector<std::string> rest(o.positional.begin() + 1, o.positional.end());

    if (command == "ports") {
        PrintPorts(io.out);
        return kExitDone;
    }
    const std::vector<std::string> known = {"init",    "cutter", "change-mode", "send",  "firmware", "dl-firmware",
                                            "raw",     "channel", "read",       "fonts", "font",     "code-table"};
    if (std::find(known.begin(), known.end(), command) == known.end()) {
        io.err << "praxdl: unknown command '" << command << "'\n" << UsageText();
        return kExitUsage;
    }
    if ((command == "firmware" || command == "dl-firmware") && rest.size() != 1)
        return Fail(io, command + " takes one IMAGE", kExitUsage);
    if (command == "raw" && rest.size() != 1) return Fail(io, "raw takes one FILE", kExitUsage);
    if (command == "font" && rest.size() != 1) return Fail(io, "font takes one NAME (see praxdl fonts)", kExitUsage);
    if (command == "code-table" && rest.size() != 1) return Fail(io, "code-table takes one FILE", kExitUsage);
    if (command == "fonts" && !rest.empty()) return Fail(io, "fonts takes no arguments", kExitUsage);
    if (o.slot && command != "font" && command != "code-table")
        return Fail(io, "--slot belongs to font and code-table", kExitUsage);
    const std::optional<int> slot = SlotIndex(o.slot.value_or("TA"));
    if (!slot) return Fail(io, "--slot takes one of TA ... TZ, not \"" + *o.slot + "\"", kExitUsage);
    std::optional<protocol::Channel> channel;
    if (command == "channel") {
        const std::string which = rest.size() == 1 ? rest[0] : "";
        if (which == "00") channel = protocol::Channel::Ch00;
        else if (which == "25") channel = protocol::Channel::Ch25;
        else if (which == "49") channel = protocol::Channel::Ch49;
        else return Fail(io, "channel takes one of 00, 25 and 49", kExitUsage);
    }
    if (command == "read" && (rest.size() != 1 || (rest[0] != "start" && rest[0] != "stop")))
        return Fail(io, "read takes start or stop", kExitUsage);
    if ((command == "init" || command == "cutter" || command == "change-mode") && !rest.empty())
        return Fail(io, command + " takes no arguments", kExitUsage);
    if (o.packageSize && command != "firmware")
        return Fail(io, "--package-size belongs to firmware", kExitUsage);
    // A package size no transfer could use is a usage error, found before anything is opened.
    if (o.packageSize) {
        const protocol::PackageSize size = protocol::ParsePackageSize(*o.packageSize);
        if (!size.ok()) return Fail(io, size.error, kExitUsage);
    }

    PosixHost ownHost;
    Host& hostSide = givenHost ? *givenHost : ownHost;
    platform::Platform& host = hostSide.platform();
    // The process-wide socket holder, with sockets started for as long as the run lasts.
    link::NetSocket netSocket(host);
    std::optional<protocol::FontChoice> font;
    if (command == "fonts" || command == "font") {
        protocol::FontList list;
        if (!ReadFonts(host, io, list)) return kExitFailed;
        if (command == "fonts") {
            for (const protocol::FontRow& row : list.rows)
                io.out << row.name << '\t' << row.file << '\t' << protocol::SizeText(row.size) << '\n';
            return kExitDone;
        }
        const auto it = std::find_if(list.rows.begin(), list.rows.end(),
                                     [&](const protocol::FontRow& row) { return row.name == rest[0]; });
        if (it == list.rows.end())
            return Fail(io, "no font named \"" + rest[0] + "\" is listed (see praxdl fonts)", kExitFailed);
        font = protocol::FontChoice{it->name, it->file};
    }
    std::int32_t code = link::kUsbPortCode;
    if (o.port) {
        const auto& names = protocol::kConnectionNames;
        const auto it = std::find_if(names.begin(), names.end(), [&](std::string_view c) {
            return Lower(std::string(c)) == Lower(*o.port);
        });
        if (it == names.end())
            return Fail(io, "unknown connection \"" + *o.port + "\" (see praxdl ports)", kExitUsage);
        code = protocol::PortCodeForConnection(static_cast<int>(it - names.begin()));
    }
    std::optional<StagedOutput> output;
    if (o.device || o.output) {
        if (o.output) output.emplace(*o.output);
        std::string path = o.device ? *o.device : output->OpenPath();
        std::error_code ec;
        const auto absolute = std::filesystem::absolute(path, ec);
        if (!ec) path = absolute.string();
        if (o.device && IsTerminalDevice(path)) {
            // A terminal is set up as a serial port is: raw, 115200 8N1, XON/XOFF.
            hostSide.MapDevice("\\\\.\\COM1", path);
            code = 1;
        } else {
            // A negative code opens the plain name "a"; here that name is the path given.
            if (o.output) hostSide.MapOutputFile("a", path);
            else hostSide.MapDevice("a", path);
            code = -1;
        }
    }

    const ProgressStyle style =
        o.quiet ? ProgressStyle::None : io.errIsTerminal ? ProgressStyle::Bar : ProgressStyle::Lines;
    TerminalOperator ui(io.err, style);
    ui.SetAnswers(o.answer, io.canAsk);
    ui.SetStopFlag(&gInterruptSignal);
    host.SetMessageBoxHandler([&ui](const std::string& text, const std::string& caption,
                                    std::uint32_t type) { return ui.Ask(text, caption, type); });
    std::string statusText;
    protocol::Context ctx{host, ui, [&] { return code; }, statusText, network ? &*network : nullptr};
    // Asked when an open-failure message comes, so it tells what that open ran into.
    ui.SetOpenHint([&host, &code, &ctx] { return HintFor(host, code, ctx.network); });

    protocol::Result result;
    if (command == "init" || command == "cutter" || command == "change-mode") {
        const auto which = command == "init"     ? protocol::PrinterCommand::InitializePrinter
                           : command == "cutter" ? protocol::PrinterCommand::InitializeCutter
                                                 : protocol::PrinterCommand::ChangeMode;
        result = protocol::SendPrinterCommand(ctx, which);
    } else if (command == "send") {
        const std::vector<std::string> lines = rest.empty() ? ReadLines(io.in) : rest;
        // Interrupted while the lines were read: nothing was opened, nothing is sent.
        if (gInterruptSignal != 0) return Fail(io, "interrupted", 128 + gInterruptSignal);
        result = protocol::SendLines(ctx, protocol::LineSource::Of(lines));
    } else if (command == "channel") {
        result = protocol::SendChannelSetup(ctx, *channel, {});
    } else if (command == "read") {
        // The toggle in the state that sends what was asked for.
        const std::string caption = rest[0] == "start" ? protocol::kContinueRead : protocol::kStopRead;
        result = protocol::ToggleRead(ctx, caption, {}).result;
    } else {
        if (command == "firmware") {
            protocol::FirmwareRequest req;
            req.packageSizeText = o.packageSize.value_or("512");
            req.imagePath = rest[0];
            result = protocol::DownloadFirmware(ctx, req);
        } else if (command == "dl-firmware") {
            result = protocol::DownloadModeFirmware(ctx, {rest[0], {}});
        } else if (command == "font") {
            result = protocol::DownloadTrueTypeFont(ctx, font, *slot);
        } else if (command == "code-table") {
            result = protocol::DownloadCodeTable(ctx, {rest[0], {}}, *slot);
        } else {
            result = protocol::DownloadRawFile(ctx, {rest[0], {}});
        }
        // The window's status line at the end; a transfer that ended before the body left none.
        const std::string status = result.ok() ? result.message : ui.status();
        if (result.outcome != protocol::Outcome::Refused && result.outcome != protocol::Outcome::OpenFailed &&
            !status.empty())
            io.out << status << '\n';
    }
    std::string error;
    if (result.ok() && gInterruptSignal == 0 && output && !output->Commit(error))
        return Fail(io, error, kExitFailed);
    return ExitFor(result, io);
}

}  // namespace prax::cli
