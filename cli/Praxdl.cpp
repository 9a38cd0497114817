#include "cli/Praxdl.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <optional>
#include <sstream>

#include <CLI/CLI.hpp>

#include "cli/Interrupt.h"
#include "cli/Json.h"
#include "cli/Run.h"
#include "cli/RunLog.h"
#include "cli/Sha256.h"
#include "cli/TerminalOperator.h"
#include "cli/UsbPorts.h"
#include "link/NetSocket.h"
#include "link/OpenHint.h"
#include "link/TCom.h"
#include "link/UsbDiscovery.h"
#include "platform/Names.h"
#include "platform/Native.h"
#include "platform/System.h"
#include "protocol/Commands.h"
#include "protocol/Connections.h"
#include "protocol/Firmware.h"
#include "protocol/FontList.h"
#include "protocol/Fonts.h"
#include "protocol/RawFile.h"
#include "version/Version.h"

namespace prax::cli {

namespace {

using platform::NativePlatform;


std::string Lower(std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// HOST, HOST:PORT, [IPV6] or [IPV6]:PORT; an IPv6 address without brackets takes no port. The
// reason it can't be used, or nothing.
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

// No printer command is anywhere near this long; a longer line is no command but a stream (say
// /dev/zero), and must not grow memory without bound.
constexpr std::size_t kMaxLineBytes = 64 * 1024;
constexpr std::size_t kMaxInputBytes = 16 * 1024 * 1024;

// The lines of `in`, each without its line end; the reason they can't be taken, or nothing.
std::string ReadLines(std::istream& in, std::vector<std::string>& lines) {
    std::string line;
    // A CR before the line end is part of the end.
    const auto endLine = [&] {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        line.clear();
    };
    std::size_t total = 0;
    for (int c; (c = in.get()) != std::char_traits<char>::eof();) {
        if (++total > kMaxInputBytes)
            return "standard input is longer than " + std::to_string(kMaxInputBytes) + " bytes; nothing was sent";
        if (c == '\n') {
            endLine();
            continue;
        }
        line += static_cast<char>(c);
        if (line.size() > kMaxLineBytes)
            return "line " + std::to_string(lines.size() + 1) + " of standard input is longer than " +
                   std::to_string(kMaxLineBytes) + " bytes, which no printer command is; nothing was sent";
    }
    if (in.bad()) return std::string("cannot read standard input: ") + std::strerror(errno);
    // A last line without its line end still counts; a final line end adds no empty line.
    if (!line.empty()) endLine();
    return {};
}

// Each connection and what it opens here: the person's lines on `human`, or one JSON object
// each on `json` (each USB printer below "USB" too).
void PrintPorts(std::ostream* human, std::ostream* json) {
    for (std::size_t i = 0; i < protocol::kConnectionNames.size(); ++i) {
        const std::int32_t code = protocol::PortCodeForConnection(static_cast<int>(i));
        const std::string connection(protocol::kConnectionNames[i]);
        std::string opens;
        bool present = false;
        std::vector<std::string> lines;
        UsbPortsView usb;
        if (code == link::kUsbPortCode) {
            NativePlatform host;
            usb = ListUsbPorts(host);
            opens = usb.opens;
            present = !opens.empty();
            lines = usb.lines;
        } else {
            const std::string name = code == link::kLpt1PortCode ? "LPT1" : "\\\\.\\COM" + std::to_string(code);
            opens = platform::HostPathFor(name);
            present = platform::DevicePresent(opens);
            std::string label = connection;
            label.resize(13, ' ');
            lines.push_back(label + opens + "  " + (present ? "present" : "absent"));
        }
        if (human)
            for (const std::string& line : lines) *human << line << '\n';
        if (!json) continue;
        *json << JsonObject("port").Add("connection", connection).Add("opens", opens).Add("present", present).Line();
        for (const UsbPrinterRow& printer : usb.printers) {
            JsonObject object("usb-printer");
            object.Add("identity", printer.identity);
            if (!printer.serial.empty()) object.Add("serial", printer.serial);
            object.Add("opens", printer.opens).Add("verdict", printer.verdict).Add("accepted", printer.accepted);
            if (!printer.problem.empty()) object.Add("problem", printer.problem);
            *json << object.Add("chosen", printer.chosen).Line();
        }
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
        std::error_code ec;
        // Onto a symbolic link: the file it points to gets the stream, and the link stays.
        if (std::filesystem::is_symlink(std::filesystem::symlink_status(path, ec))) {
            const auto target = std::filesystem::weakly_canonical(path, ec);
            if (!ec) path_ = target.string();
        }
        const std::filesystem::path p(path_);
        const std::string prefix = "." + p.filename().string() + ".praxdl-";
        RemoveLeftovers(p.parent_path(), prefix);
        temp_ = (p.parent_path() / (prefix + std::to_string(::getpid()) + ".part")).string();
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
        // Over a FILE that is there already, on Windows too.
        std::error_code ec;
        std::filesystem::rename(temp_, path_, ec);
        if (ec) {
            error = "cannot rename " + temp_ + " to " + path_ + ": " + ec.message();
            return false;
        }
        temp_.clear();
        return true;
    }

private:
    // What a run that was killed outright left of its stream for this FILE: its process is gone.
    static void RemoveLeftovers(const std::filesystem::path& folder, const std::string& prefix) {
        std::error_code ec;
        for (std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
             it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (name.size() <= prefix.size() + 5 || name.rfind(prefix, 0) != 0 ||
                name.compare(name.size() - 5, 5, ".part") != 0)
                continue;
            const std::string pid = name.substr(prefix.size(), name.size() - prefix.size() - 5);
            if (pid.empty() || pid.size() > 9 || !std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
            if (platform::ProcessGone(std::stoi(pid))) {
                std::error_code ignored;
                std::filesystem::remove(it->path(), ignored);
            }
        }
    }
    std::string path_;
    std::string temp_;
};

// The slot list's index of "TA" ... "TZ", letter case ignored as the window's list ignores it.
std::optional<int> SlotIndex(const std::string& text) {
    if (text.size() != 2 || std::toupper(static_cast<unsigned char>(text[0])) != 'T') return std::nullopt;
    const int letter = std::toupper(static_cast<unsigned char>(text[1]));
    if (letter < 'A' || letter > 'Z') return std::nullopt;
    return letter - 'A';
}

// The list index of a connection given in any letter case; -1 when the window lists none such.
int ConnectionIndex(const std::string& text) {
    const auto& names = protocol::kConnectionNames;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (Lower(std::string(names[i])) == Lower(text)) return static_cast<int>(i);
    return -1;
}

// Why --port can't take `text`, or nothing: it takes a connection the window lists, or else a USB
// printer's serial number or identity. A connection cut short is refused with the one it is short
// for, not taken for it: a script that says "COM1" should say what it means.
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

// The first of `words` that is spelt as an option but is no option of praxdl or of any of its
// commands, by its name before any "="; empty when there is none. An option of another command
// is no unknown option: the command just does not take it.
std::string UnknownOption(CLI::App& app, const std::vector<std::string>& words) {
    const auto has = [](CLI::App* in, const std::string& name) {
        const auto options = in->get_options();
        return std::any_of(options.begin(), options.end(), [&](const CLI::Option* o) { return o->check_name(name); });
    };
    for (const std::string& word : words) {
        // "-5" is a number and "-" or "--" no option at all.
        const bool spelt = word.size() > 1 && word[0] == '-' &&
                           (std::isalpha(static_cast<unsigned char>(word[1])) || (word[1] == '-' && word.size() > 2));
        if (!spelt) continue;
        const std::string name = word.substr(0, word.find('='));
        const auto commands = app.get_subcommands([](CLI::App*) { return true; });
        if (!has(&app, name) &&
            std::none_of(commands.begin(), commands.end(), [&](CLI::App* c) { return has(c, name); }))
            return name;
    }
    return {};
}

// The connections as the parser collects them: each option may come more than once.
struct Connections {
    std::vector<std::string> ports, devices, hosts;
};

// A check for CLI11: the reason `text` is refused, or nothing.
using Check = std::function<std::string(const std::string&)>;

CLI::Validator Checked(Check check, const char* what) { return CLI::Validator(std::move(check), what); }

std::unique_ptr<CLI::App> MakeParser(Invocation& inv, Connections& links, const std::string& manual) {
    auto app = std::make_unique<CLI::App>(
        "Sends label printers firmware images, TrueType fonts, font code tables, any file unchanged "
        "and command lines, over USB, LPT1, a serial port or the network.",
        "praxdl");
    // Options are spelt the same everywhere: on Windows a "/" starts a path, not an option.
    app->allow_windows_style_options(false);
    app->get_formatter()->label("REQUIRED", "");
    app->get_formatter()->label("SUBCOMMAND", "COMMAND");
    app->get_formatter()->label("Positionals", "Arguments");
    app->get_formatter()->column_width(30);
    app->set_version_flag("--version", std::string("praxdl ") + kVersion, "Print the version and exit");
    app->require_subcommand(1);
    // The connection and answer options may also follow the command.
    app->fallthrough();
    CLI::Option* port = app->add_option("--port", links.ports,
                                        "A connection as the window lists it, or a USB printer's serial number; "
                                        "again for more")
                            ->option_text("TEXT")
                            ->allow_extra_args(false)
                            ->check(Checked(PortProblem, ""));
    const CLI::Validator named = Checked(
        [](const std::string& text) { return text.empty() ? std::string("needs a path") : std::string(); }, "");
    CLI::Option* device =
        app->add_option("--device", links.devices, "Send to a device or file; a terminal is set up as a serial port")
            ->option_text("PATH")
            ->allow_extra_args(false)
            ->check(named);
    CLI::Option* output =
        app->add_option("--output", inv.output, "Write the byte stream to FILE, named so once all of it went")
            ->option_text("FILE")
            ->check(named);
    CLI::Option* host =
        app->add_option("--host", links.hosts, "Send to a network printer's raw port (9100 unless given)")
            ->option_text("HOST[:PORT]")
            ->allow_extra_args(false)
            ->check(Checked(
                [](const std::string& text) {
                    link::NetworkTarget target;
                    return ParseHostTarget(text, target);
                },
                ""));
    // --output is no printer: it stands alone. The others mix, one link each.
    for (CLI::Option* printer : {port, device, host}) output->excludes(printer);
    CLI::Option* all = app->add_flag("--all", inv.all, "With --port USB: every attached USB printer of an accepted make");
    CLI::Option* watch =
        app->add_flag("--watch", inv.watch, "Station mode: serve each USB printer of an accepted make as it is plugged in");
    app->add_option("--count", inv.count, "With --watch: end after N printers")
        ->option_text("N")
        ->needs(watch)
        ->check(CLI::Range(std::uint64_t{1}, std::uint64_t{1000000}));
    for (CLI::Option* other : {device, host, output}) {
        all->excludes(other);
        watch->excludes(other);
    }
    watch->excludes(port)->excludes(all);
    all->option_text(" ");
    watch->option_text(" ");
    app->add_option("--log", inv.log, "Append one JSON line per printer and operation to FILE")
        ->option_text("FILE")
        ->check(named);
    CLI::Option* yes = app->add_flag("--yes", inv.yes, "Answer Yes when the printer stalls and praxdl asks to go on");
    CLI::Option* no = app->add_flag("--no", inv.no, "Answer No to every question");
    yes->excludes(no)->option_text(" ");
    no->excludes(yes)->option_text(" ");
    app->add_flag("--quiet", inv.quiet, "No progress");
    app->add_flag("--json", inv.json, "One JSON object a line on standard output; the rest on standard error");

    const auto operand = [&](CLI::App* command, const char* name, const char* what) {
        command->add_option(name, inv.operand, what)->required()->type_name("");
        return command;
    };
    const auto slotOption = [&](CLI::App* command) {
        command->add_option("--slot", inv.slot, "The printer's slot, TA (default) to TZ")
            ->option_text("TA..TZ")
            ->check(Checked(
                [](const std::string& text) {
                    return SlotIndex(text) ? std::string() : "takes one of TA ... TZ, not \"" + text + "\"";
                },
                ""));
    };
    app->add_subcommand("init", "Send the printer's initialize line");
    app->add_subcommand("cutter", "Send the cutter's initialize line");
    app->add_subcommand("change-mode", "Send the change-mode line");
    app->add_subcommand("send", "Send each LINE (standard input without LINE) followed by CR LF; -- before lines "
                                "that start with -")
        ->add_option("LINE", inv.lines, "A command line")
        ->type_name("");
    operand(app->add_subcommand("firmware", "Send a firmware image with its header and checksum"), "IMAGE",
            "The image file")
        ->add_option("--package-size", inv.packageSize, "Bytes per write of the image, 1 to 2048 (default 512)")
        ->option_text("N")
        ->check(Checked([](const std::string& text) { return protocol::ParsePackageSize(text).error; }, ""));
    operand(app->add_subcommand("dl-firmware", "Send an image of at most 128 KiB behind the download-mode command"),
            "IMAGE", "The image file");
    slotOption(operand(app->add_subcommand("font", "Send an installed TrueType font"), "NAME",
                       "The font's name as praxdl fonts lists it"));
    slotOption(operand(app->add_subcommand("code-table", "Send a file as a font code table"), "FILE", "The table"));
    operand(app->add_subcommand("raw", "Send a file byte for byte"), "FILE", "The file");
    app->add_subcommand("channel", "Send the device's channel settings, 300 ms after each line")
        ->add_option("CHANNEL", inv.which, "00, 25 or 49")
        ->required()
        ->type_name("")
        ->check(Checked(
            [](const std::string& text) {
                return text == "00" || text == "25" || text == "49" ? std::string()
                                                                      : "takes one of 00, 25 and 49, not \"" + text + "\"";
            },
            ""));
    app->add_subcommand("read", "Start or stop the device's reading")
        ->add_option("WHAT", inv.which, "start or stop")
        ->required()
        ->type_name("")
        ->check(Checked(
            [](const std::string& text) {
                return text == "start" || text == "stop" ? std::string() : "takes start or stop, not \"" + text + "\"";
            },
            ""));
    app->add_subcommand("ports", "List each connection and what it opens on this host");
    app->add_subcommand("fonts", "List the installed fonts the font list offers: name, file, size");
    for (CLI::App* command : app->get_subcommands({})) command->group("Commands");
    // Only the top's help has the footer: it is copied to a command when the command is made.
    app->footer(
        "--port takes a connection as the window lists it, in any letter case: \"USB\" (the default),\n"
        "\"LPT1\", \"COM1 115200\" ... \"COM8 115200\"; one cut short is refused with the one it is short\n"
        "for (\"COM1\": did you mean \"COM1 115200\"?). Any other text picks the USB printer of that serial\n"
        "number or identity as praxdl ports shows it (A1, USB\\VID_1958&PID_0001\\A1), in any letter case.\n"
        "--host takes a network printer's raw port: a name or address with port 9100 unless given, an\n"
        "IPv6 address in brackets, e.g. [::1]:9100.\n"
        "--port, --device and --host again send to every connection at once, e.g.\n"
        "praxdl --device /dev/ttyUSB0 --device /dev/ttyUSB1 firmware x.bin; a table ends the run.\n"
        "Exit status: 0 done, 1 failed, 2 usage error, 130/143 after SIGINT/SIGTERM.\n"
        "praxdl COMMAND --help tells more about each command; " + (manual.empty() ? "man praxdl" : manual) +
        " tells all.");
    return app;
}

const char* OutcomeName(protocol::Outcome outcome) {
    switch (outcome) {
        case protocol::Outcome::Done: return "done";
        case protocol::Outcome::Cancelled: return "cancelled";
        case protocol::Outcome::Refused: return "refused";
        case protocol::Outcome::OpenFailed: return "open-failed";
        case protocol::Outcome::Stopped: return "stopped";
        case protocol::Outcome::Interrupted: return "interrupted";
        case protocol::Outcome::Checked: return "checked";
    }
    return "failed";
}

// --json is honoured even on a command line that fails to parse, so a script always gets its
// result object.
bool AsksForJson(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--") break;
        if (a == "--json") return true;
    }
    return false;
}

// The fonts as the font selection dialog lists them; the reason they can't be read, or nothing.
std::string ReadFonts(platform::Platform& host, protocol::FontList& list) {
    try {
        list = protocol::ReadInstalledFonts(host);
    } catch (const std::exception& e) {
        return e.what();
    }
    return list.opened ? std::string() : std::string(protocol::kCantOpenFont);
}

// The status line's checksum with all four hex digits; empty when the line has none.
std::string ChecksumOf(const std::string& status) {
    const std::size_t crc = status.rfind("CRC=");
    if (crc == std::string::npos) return {};
    const std::string digits = status.substr(crc + 4);
    return std::string(digits.size() < 4 ? 4 - digits.size() : 0, '0') + digits;
}

}  // namespace

bool TakesFileInput(const std::string& command) {
    return command == "firmware" || command == "dl-firmware" || command == "font" || command == "code-table" ||
           command == "raw";
}

Target UsbTarget(const link::SeenUsbPrinter& printer) {
    Target target{Target::Kind::Port, "USB", printer.path};
    target.usbSerial = printer.Serial();
    return target;
}

std::string Target::Label() const {
    if (kind == Kind::Port && !usbPrinter.empty()) return UsbIdentity(usbPrinter);
    if (kind == Kind::Port && !usbName.empty()) return usbName;
    return text;
}

void WriteResult(std::ostream& out, const std::string& operation, const Ending& e) {
    JsonObject result("result");
    if (!e.connection.empty()) result.Add("connection", e.connection);
    result.Add("operation", operation).Add("outcome", e.outcome).Add("exit", std::int64_t{e.exitCode});
    result.Add("delivered", static_cast<std::int64_t>(e.delivered));
    if (!e.status.empty()) result.Add("status", e.status);
    // The status line shows the register as the window does ("CRC=84"); a script gets all four
    // hex digits.
    if (const std::string checksum = ChecksumOf(e.status); !checksum.empty()) result.Add("checksum", checksum);
    if (!e.error.empty()) result.Add("error", e.error);
    if (!e.reason.empty()) result.Add("reason", e.reason);
    // Every transfer that ended early says whether the printer is left inside an image.
    if (e.outcome == "stopped" || e.outcome == "interrupted") result.Add("printerMidImage", e.printerMidImage);
    // A row of a run to several printers also says what it opened and how long it took.
    if (!e.connection.empty()) {
        if (!e.device.empty()) result.Add("opens", e.device);
        result.Add("seconds", e.seconds, 3);
    }
    out << result.Line() << std::flush;
}

const std::string& Prepared::InputDigest() {
    const std::lock_guard<std::mutex> lock(digestMutex_);
    if (!digested_) {
        const auto files = inputs.Files();
        if (!files.empty() && files.front().second->ok()) digest_ = Sha256Hex(files.front().second->bytes);
        digested_ = true;
    }
    return digest_;
}

bool Record(RunLog& log, const Invocation& inv, Prepared& prepared, const Target& target, Ending& e,
            std::ostream& err) {
    LogRecord record;
    record.time = std::chrono::system_clock::now();
    record.connection = target.Label();
    record.device = e.device;
    record.usbSerial = e.usbSerial;
    record.command = inv.command;
    // A raw file is read once its link is open, so a link that failed to open has read nothing;
    // its record still names what it was to send, read and checked as a sending run reads it.
    if (inv.command == "raw" && prepared.inputs.Files().empty())
        prepared.inputs.Load(inv.operand, std::numeric_limits<std::int32_t>::max());
    if (const auto files = prepared.inputs.Files(); !files.empty() && files.front().second->ok()) {
        record.inputName = files.front().first;
        record.inputSize = files.front().second->bytes.size();
        record.inputSha256 = prepared.InputDigest();
    }
    record.crc = ChecksumOf(e.status);
    record.outcome = e.outcome;
    record.delivered = e.delivered;
    record.printerMidImage = e.printerMidImage;
    record.seconds = e.seconds;
    std::string error;
    if (log.Append(record, error)) return true;
    err << "praxdl: " << error << '\n' << std::flush;
    // A run that did its work but left no record is no success, and its result says why.
    if (e.exitCode == kExitDone) {
        e.exitCode = kExitFailed;
        if (e.error.empty()) e.error = error;
    }
    return false;
}

Ending RunLink(const Invocation& inv, const Target& target, Prepared& prepared, Host& hostSide, LinkOutput& out,
               bool checkOnly) {
    const auto started = std::chrono::steady_clock::now();
    platform::Platform& host = hostSide.platform();
    const std::string& command = inv.command;
    std::optional<link::NetworkTarget> network;
    if (target.kind == Target::Kind::Host) ParseHostTarget(target.text, network.emplace());
    const int connectionIndex = target.kind == Target::Kind::Port ? ConnectionIndex(target.text) : 0;
    const int slot = *SlotIndex(inv.slot);
    const auto seconds = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };

    std::int32_t code = protocol::PortCodeForConnection(connectionIndex);
    std::optional<StagedOutput> output;
    std::string opens;  // the device or file the link opens, given on the command line
    std::string staged;  // the file of its own that --output's stream goes to first
    if (target.kind == Target::Kind::Device || target.kind == Target::Kind::Output) {
        const bool isDevice = target.kind == Target::Kind::Device;
        if (!isDevice) output.emplace(target.text);
        std::string path = isDevice ? target.text : output->OpenPath();
        const bool serial = isDevice && platform::IsSerialDevice(path);
        if (serial) path = platform::SerialDevicePath(path);
        std::error_code ec;
        // A port's own name is no path in the working folder.
        const auto absolute = serial ? std::filesystem::path(path) : std::filesystem::absolute(path, ec);
        if (!ec) path = absolute.string();
        if (output) staged = path;
        const auto named = serial ? std::filesystem::path(path) : std::filesystem::absolute(target.text, ec);
        opens = ec ? path : named.string();
        if (serial) {
            // Set up as every serial port is: raw, 115200 8N1, XON/XOFF.
            hostSide.MapDevice("\\\\.\\COM1", path);
            code = 1;
        } else {
            // A negative code opens the plain name "a"; here that name is the path given.
            if (output) hostSide.MapOutputFile("a", path);
            else hostSide.MapDevice("a", path);
            code = -1;
        }
    }
    // What the link opened, as the host names it.
    const auto opened = [&] {
        if (network) return platform::HostAndPort(network->host, network->port);
        if (!opens.empty()) return opens;
        return platform::HostPathFor(link::DeviceFileName(link::currentDeviceName()));
    };

    TerminalOperator ui(out.err, out.style);
    ui.SetAnswers(inv.yes ? std::optional<bool>(true) : inv.no ? std::optional<bool>(false) : std::nullopt,
                  out.canAsk);
    ui.SetStopFlag(&gInterruptSignal);
    if (out.progress) ui.SetProgressReport(out.progress);
    // Asked when an open-failure message comes, so it tells what that open ran into.
    const link::NetworkTarget* networkTarget = network ? &*network : nullptr;
    const bool toFile = output.has_value();
    ui.SetOpenHint([&host, &code, networkTarget, toFile, usbName = target.usbName, staged, given = target.text,
                    named = !target.usbPrinter.empty()] {
        // A printer a look found: why its own node would not open.
        if (named) return link::UsbReasonText(host.LastHostReason(), host.LastHostDetail());
        // A USB printer named on the command line that is not attached (any more), or not alone:
        // which ones are.
        if (!usbName.empty()) {
            const UsbNamed found = FindUsbPrintersNamed(host, usbName);
            if (found.named.size() != 1) return UsbNameHint(found, usbName);
        }
        std::string hint = link::OpenFailureHint(host, code, networkTarget, toFile);
        // The person named FILE, not the file of its own that the stream goes to first.
        for (std::size_t at = 0; !staged.empty() && (at = hint.find(staged, at)) != std::string::npos;
             at += given.size())
            hint.replace(at, staged.size(), given);
        return hint;
    });
    std::optional<JsonOperator> json;
    if (out.json) {
        json.emplace(ui, *out.json, [&ui] { return ui.lastHint(); }, [&] {
            JsonObject connection("connection");
            // Where several printers are served every object names its connection already.
            if (out.label.empty())
                connection.Add("connection",
                               network                   ? std::string("network")
                               : !opens.empty()          ? std::string(output ? "output" : "device")
                               : !target.usbName.empty() ? target.Label()
                                                         : std::string(protocol::kConnectionNames[static_cast<std::size_t>(connectionIndex)]));
            return connection.Add("opens", opened());
        });
        json->SetConnectionLabel(out.label);
    }
    std::string statusText;
    protocol::Context ctx{host, json ? static_cast<protocol::Operator&>(*json) : ui, [&] { return code; }, statusText,
                          networkTarget};
    // A name that matched no attached printer (or several) is looked for as an interface path, so
    // the open fails as it would for a printer pulled out, and opens only the very one it spells.
    ctx.usbPrinter = !target.usbPrinter.empty() ? target.usbPrinter : target.usbName;
    ctx.inputs = &prepared.inputs;
    ctx.checkOnly = checkOnly;
    ctx.toFile = toFile;
    host.SetMessageBoxHandler([&](const std::string& text, const std::string& caption, std::uint32_t type) {
        if (json && !(type & platform::MB_YESNO_)) {
            json->ShowMessage(text);
            return 1;
        }
        const int answer = ui.Ask(text, caption, type);
        if (json)
            json->Emit(JsonObject("question")
                           .Add("caption", caption)
                           .Add("text", text)
                           .Add("answer", answer == platform::IDYES_ ? "yes" : "no")
                           .Add("by", ui.answeredBy()));
        return answer;
    });

    protocol::Result result;
    std::string status;
    const auto linkOpened = [&result] {
        using protocol::Outcome;
        return result.outcome != Outcome::Refused && result.outcome != Outcome::OpenFailed &&
               result.outcome != Outcome::Checked && result.outcome != Outcome::Cancelled;
    };
    if (command == "init" || command == "cutter" || command == "change-mode") {
        const auto which = command == "init"     ? protocol::PrinterCommand::InitializePrinter
                           : command == "cutter" ? protocol::PrinterCommand::InitializeCutter
                                                 : protocol::PrinterCommand::ChangeMode;
        result = protocol::SendPrinterCommand(ctx, which);
    } else if (command == "send") {
        result = protocol::SendLines(ctx, protocol::LineSource::Of(prepared.lines));
    } else if (command == "channel") {
        const auto channel = inv.which == "00"   ? protocol::Channel::Ch00
                             : inv.which == "25" ? protocol::Channel::Ch25
                                                 : protocol::Channel::Ch49;
        result = protocol::SendChannelSetup(ctx, channel, {});
    } else if (command == "read") {
        // The toggle in the state that sends what was asked for.
        const std::string caption = inv.which == "start" ? protocol::kContinueRead : protocol::kStopRead;
        result = protocol::ToggleRead(ctx, caption, {}).result;
    } else {
        if (command == "firmware") {
            protocol::FirmwareRequest req;
            req.packageSizeText = inv.packageSize;
            req.imagePath = inv.operand;
            result = protocol::DownloadFirmware(ctx, req);
        } else if (command == "dl-firmware") {
            result = protocol::DownloadModeFirmware(ctx, {inv.operand, {}});
            // The window's message says only the limit, in words of its own; the person wants the
            // numbers.
            if (result.outcome == protocol::Outcome::Refused && result.message == protocol::kDownloadModeTooLarge) {
                std::error_code ec;
                const auto size = std::filesystem::file_size(inv.operand, ec);
                if (!ec)
                    out.err << "praxdl: \"" << inv.operand << "\" is " << size
                            << " bytes; a download-mode image takes at most " << protocol::kDownloadModeMaxSize << ".\n"
                            << std::flush;
            }
        } else if (command == "font") {
            result = protocol::DownloadTrueTypeFont(ctx, prepared.font, slot);
        } else if (command == "code-table") {
            result = protocol::DownloadCodeTable(ctx, {inv.operand, {}}, slot);
        } else {
            result = protocol::DownloadRawFile(ctx, {inv.operand, {}});
        }
        // The window's status line at the end; a transfer that ended before the body left none.
        if (linkOpened()) status = result.ok() ? result.message : ui.status();
        if (!status.empty() && out.human) *out.human << status << '\n';
    }
    Ending ending{OutcomeName(result.outcome), kExitDone, result.delivered, status, {}, {}};
    // The printer's own serial, whether or not its node opened.
    ending.usbSerial = target.usbSerial;
    ending.printerMidImage = result.printerMidImage;
    if (linkOpened()) {
        ending.device = opened();
        if (code == link::kUsbPortCode && !network && target.usbSerial.empty())
            ending.usbSerial = UsbSerialOf(link::currentDeviceName());
    }
    if (!result.ok()) {
        ending.error = result.message;
        if (json && ending.error.empty()) ending.error = json->lastMessage();
        if (json && result.outcome == protocol::Outcome::OpenFailed) ending.reason = json->lastHint();
    }
    std::string error;
    if (result.ok() && gInterruptSignal == 0 && output && !output->Commit(error)) {
        out.err << "praxdl: " << error << '\n';
        Ending failed{"failed", kExitFailed, 0, {}, error, {}};
        failed.seconds = seconds();
        return failed;
    }
    // A message the operation showed is on standard error already.
    if (!result.shown && !result.message.empty() &&
        (result.outcome == protocol::Outcome::Stopped || result.outcome == protocol::Outcome::Interrupted)) {
        std::istringstream lines(result.message);
        for (std::string line; std::getline(lines, line);) out.err << "praxdl: " << line << '\n';
    }
    const bool ok = result.ok() || result.outcome == protocol::Outcome::Checked;
    ending.exitCode = gInterruptSignal != 0 ? 128 + gInterruptSignal : ok ? kExitDone : kExitFailed;
    ending.seconds = seconds();
    return ending;
}

int RunPraxdl(const std::vector<std::string>& args, Streams& io, Host* givenHost) {
    Invocation inv;
    Connections links;
    const std::unique_ptr<CLI::App> parser = MakeParser(inv, links, io.manual);
    const auto usageError = [&](const std::string& text, const std::string& operation) {
        io.err << "praxdl: " << text << "\nSee praxdl --help, or praxdl COMMAND --help";
        io.err << (io.manual.empty() ? std::string(".\n") : "; the manual: " + io.manual + "\n");
        if (AsksForJson(args)) WriteResult(io.out, operation, Ending{"usage", kExitUsage, 0, {}, text, {}});
        return kExitUsage;
    };
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        parser->parse(reversed);
    } catch (const CLI::CallForHelp&) {
        io.out << parser->help();
        return kExitDone;
    } catch (const CLI::CallForVersion& e) {
        io.out << e.what() << '\n';
        return kExitDone;
    } catch (const CLI::ParseError& e) {
        std::string text = e.what();
        const std::vector<std::string> extra = parser->remaining();
        if (const std::string unknown = UnknownOption(*parser, extra); !unknown.empty()) {
            text = "unknown option " + unknown;
        } else if (parser->get_subcommands().empty()) {
            // A word where the command belongs is an unknown command, not a missing one.
            const auto word = std::find_if(extra.begin(), extra.end(),
                                           [](const std::string& w) { return !w.empty() && w[0] != '-'; });
            if (word != extra.end()) text = "unknown command '" + *word + "'";
            else if (extra.empty() && dynamic_cast<const CLI::RequiredError*>(&e)) text = "no command given";
        } else if (!extra.empty()) {
            text = parser->get_subcommands()[0]->get_name() + " does not take";
            for (const std::string& word : extra) text += " " + word;
        }
        return usageError(text, parser->get_subcommands().empty() ? std::string()
                                                                  : parser->get_subcommands()[0]->get_name());
    }
    inv.command = parser->get_subcommands()[0]->get_name();
    const std::string& command = inv.command;

    // The connections in the order given, each option's values taken in turn.
    std::vector<Target> targets;
    {
        std::size_t nextPort = 0, nextDevice = 0, nextHost = 0;
        for (const CLI::Option* option : parser->parse_order()) {
            const std::string name = option->get_name();
            if (name == "--port" && nextPort < links.ports.size()) {
                const std::string& given = links.ports[nextPort++];
                const int index = ConnectionIndex(given);
                // Any other text the parser let through names a USB printer.
                if (index < 0)
                    targets.push_back({Target::Kind::Port, "USB", {}, given});
                else
                    targets.push_back({Target::Kind::Port,
                                       std::string(protocol::kConnectionNames[static_cast<std::size_t>(index)]), {}});
            } else if (name == "--device" && nextDevice < links.devices.size()) {
                targets.push_back({Target::Kind::Device, links.devices[nextDevice++], {}});
            } else if (name == "--host" && nextHost < links.hosts.size()) {
                targets.push_back({Target::Kind::Host, links.hosts[nextHost++], {}});
            }
        }
        if (!inv.output.empty()) targets.push_back({Target::Kind::Output, inv.output, {}});
        if (targets.empty()) targets.push_back({Target::Kind::Port, "USB", {}});
    }
    // Two links to one printer: the second could never open it, and would blame "another program".
    for (std::size_t i = 0; i < targets.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (targets[i].kind == targets[j].kind && targets[i].text == targets[j].text &&
                platform::UpperAscii(targets[i].usbName) == platform::UpperAscii(targets[j].usbName))
                return usageError(Shown("\"" + targets[i].Label() + "\" is given twice"), command);
    const bool usbOnly = std::all_of(targets.begin(), targets.end(), [](const Target& t) {
        return t.kind == Target::Kind::Port && ConnectionIndex(t.text) == ConnectionIndex("USB") && t.usbName.empty();
    });
    if (inv.all && !usbOnly) return usageError("--all takes every USB printer: give it with --port USB alone", command);
    if ((inv.all || inv.watch || targets.size() > 1) && (command == "ports" || command == "fonts"))
        return usageError(command + " lists this host's own; it takes no connection", command);

    // With --json the person's text goes to standard error and standard output carries only JSON.
    std::ostream& human = inv.json ? io.err : io.out;
    const auto finish = [&](const Ending& e) {
        if (inv.json) WriteResult(io.out, command, e);
        return e.exitCode;
    };
    const auto fail = [&](const std::string& text) {
        io.err << "praxdl: " << text << '\n';
        return finish(Ending{"failed", kExitFailed, 0, {}, text, {}});
    };

    // With --json the lists are JSON alone: standard error is left to errors.
    if (command == "ports") {
        PrintPorts(inv.json ? nullptr : &io.out, inv.json ? &io.out : nullptr);
        return finish(Ending{"done", kExitDone, 0, {}, {}, {}});
    }
    // The record must be there to take every printer's line before the first is sent to.
    std::unique_ptr<RunLog> log;
    if (!inv.log.empty() && command != "fonts") {
        std::string error;
        log = RunLog::Open(inv.log, error);
        if (!log) return usageError(error, command);
    }

    NativeHost ownHost;
    Host& hostSide = givenHost ? *givenHost : ownHost;
    platform::Platform& host = hostSide.platform();
    // This thread's socket holder, with sockets started for as long as the run lasts.
    link::NetSocket netSocket(host);
    // A USB printer named on the command line is looked for once, as --all looks for them all,
    // so each row, result and record names the printer by its whole identity.
    for (Target& target : targets) {
        if (target.usbName.empty()) continue;
        const UsbNamed found = FindUsbPrintersNamed(host, target.usbName);
        // None or several: the open fails, and says which printers there are.
        if (found.named.size() == 1) {
            target.usbPrinter = found.named.front().path;
            target.usbSerial = found.named.front().Serial();
        }
    }
    for (std::size_t i = 0; i < targets.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (!targets[i].usbPrinter.empty() &&
                platform::UpperAscii(targets[i].usbPrinter) == platform::UpperAscii(targets[j].usbPrinter))
                return usageError(Shown("\"" + targets[j].usbName + "\" and \"" + targets[i].usbName +
                                        "\" are one printer, " + targets[i].Label()),
                                  command);
    Prepared prepared;
    if (command == "fonts" || command == "font") {
        protocol::FontList list;
        if (const std::string error = ReadFonts(host, list); !error.empty()) return fail(error);
        if (command == "fonts") {
            for (const protocol::FontRow& row : list.rows) {
                if (inv.json) {
                    JsonObject entry("font");
                    entry.Add("name", row.name).Add("file", row.file).Add("size", row.size).Add("sendable", row.problem.empty());
                    if (!row.problem.empty()) entry.Add("problem", row.problem);
                    io.out << entry.Line();
                    continue;
                }
                // A name that can't be sent is marked, and never printed with its control characters.
                io.out << protocol::PrintableName(row.name) << '\t' << row.file << '\t' << protocol::SizeText(row.size)
                       << (row.problem.empty() ? "" : "\tnot sendable: " + row.problem) << '\n';
            }
            // An empty list is no failure, but a person should not wonder why nothing came.
            if (list.rows.empty())
                io.err << "praxdl: no font is listed: the list takes TrueType fonts (.ttf files), and none is "
                          "installed\n";
            return finish(Ending{"done", kExitDone, 0, {}, {}, {}});
        }
        const auto it = std::find_if(list.rows.begin(), list.rows.end(),
                                     [&](const protocol::FontRow& row) { return row.name == inv.operand; });
        if (it == list.rows.end()) return fail("no font named \"" + inv.operand + "\" is listed (see praxdl fonts)");
        prepared.font = protocol::FontChoice{it->name, it->file};
    }
    if (command == "send") {
        prepared.lines = inv.lines;
        const std::string unread = !inv.lines.empty()      ? std::string()
                                   : !io.inProblem.empty() ? io.inProblem
                                                           : ReadLines(io.in, prepared.lines);
        // Interrupted while the lines were read: nothing was opened, nothing is sent.
        if (gInterruptSignal != 0) {
            io.err << "praxdl: interrupted\n";
            return finish(Ending{"interrupted", 128 + gInterruptSignal, 0, {}, "interrupted", {}});
        }
        if (!unread.empty()) return fail(unread);
    }
    if (inv.watch) return RunStation(inv, prepared, io, hostSide, givenHost != nullptr, log.get());
    if (inv.all) {
        const link::UsbLook look = link::LookAtUsbPrinters(host);
        std::vector<Target> printers;
        for (const link::SeenUsbPrinter& p : look.printers)
            if (p.verdict == link::UsbVerdict::Accepted) printers.push_back(UsbTarget(p));
        // None attached: the one USB link says so as it always does.
        if (!printers.empty()) targets = std::move(printers);
    }
    if (inv.all || targets.size() > 1) return RunLine(inv, targets, prepared, io, hostSide, givenHost != nullptr, log.get());

    const ProgressStyle style =
        inv.quiet ? ProgressStyle::None : io.errIsTerminal ? ProgressStyle::Bar : ProgressStyle::Lines;
    LinkOutput out{&human, io.err, inv.json ? &io.out : nullptr, style, io.canAsk};
    Ending ending = RunLink(inv, targets.front(), prepared, hostSide, out);
    // A USB printer named on the command line: the result names it as a row of a line would.
    if (!targets.front().usbName.empty()) ending.connection = targets.front().Label();
    // On disk before the result is told: a result a script saw is always in the record.
    if (log) Record(*log, inv, prepared, targets.front(), ending, io.err);
    return finish(ending);
}

}  // namespace prax::cli
