#include "cli/Arguments.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <memory>

#include <CLI/CLI.hpp>

#include "cli/UsbPorts.h"
#include "platform/Names.h"
#include "protocol/Connections.h"
#include "protocol/Firmware.h"
#include "version/Version.h"

namespace prax::cli {

namespace {

// The connections as the parser collects them: each option may come more than once.
struct Connections {
    std::vector<std::string> ports, devices, hosts;
};

// The options that name a connection, for the options that exclude them.
struct ConnectionOptions {
    CLI::Option *port, *device, *output, *host;
};

// A check for CLI11: the reason `text` is refused, or nothing.
using Check = std::function<std::string(const std::string&)>;

CLI::Validator Checked(Check check, const char* what) { return CLI::Validator(std::move(check), what); }

const CLI::Validator& Named() {
    static const CLI::Validator named = Checked(
        [](const std::string& text) { return text.empty() ? std::string("needs a path") : std::string(); }, "");
    return named;
}

std::unique_ptr<CLI::App> NewApp() {
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
    return app;
}

ConnectionOptions AddConnectionOptions(CLI::App& app, Invocation& inv, Connections& links, HostSystem system) {
    CLI::Option* port = app.add_option("--port", links.ports,
                                       "A connection as the window lists it, or a USB printer's serial number; "
                                       "again for more")
                            ->option_text("TEXT")
                            ->allow_extra_args(false)
                            ->check(Checked(PortProblem, ""));
    CLI::Option* device =
        app.add_option("--device", links.devices,
                       system == HostSystem::Windows
                           ? "Send to a device or file; a COM port (COM12, \\\\.\\COM12) is set up as a serial port"
                           : "Send to a device or file; a terminal is set up as a serial port")
            ->option_text("PATH")
            ->allow_extra_args(false)
            ->check(Named());
    CLI::Option* output =
        app.add_option("--output", inv.output, "Write the byte stream to FILE, named so once all of it went")
            ->option_text("FILE")
            ->check(Named());
    CLI::Option* host =
        app.add_option("--host", links.hosts, "Send to a network printer's raw port (9100 unless given)")
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
    return {port, device, output, host};
}

// --all, --watch and --count pick the printers of a line; --log keeps its record.
void AddLineOptions(CLI::App& app, Invocation& inv, const ConnectionOptions& given) {
    CLI::Option* all = app.add_flag("--all", inv.all, "With --port USB: every attached USB printer of an accepted make");
    CLI::Option* watch =
        app.add_flag("--watch", inv.watch, "Station mode: serve each USB printer of an accepted make as it is plugged in");
    app.add_option("--count", inv.count, "With --watch: end after N printers")
        ->option_text("N")
        ->needs(watch)
        ->check(CLI::Range(std::uint64_t{1}, std::uint64_t{1000000}));
    for (CLI::Option* other : {given.device, given.host, given.output}) {
        all->excludes(other);
        watch->excludes(other);
    }
    watch->excludes(given.port)->excludes(all);
    all->option_text(" ");
    watch->option_text(" ");
    app.add_option("--log", inv.log, "Append one JSON line per printer and operation to FILE")
        ->option_text("FILE")
        ->check(Named());
}

void AddAnswerAndOutputOptions(CLI::App& app, Invocation& inv) {
    CLI::Option* yes = app.add_flag("--yes", inv.yes, "Answer Yes when the printer stalls and praxdl asks to go on");
    CLI::Option* no = app.add_flag("--no", inv.no, "Answer No to every question");
    yes->excludes(no)->option_text(" ");
    no->excludes(yes)->option_text(" ");
    app.add_flag("--quiet", inv.quiet, "No progress");
    app.add_flag("--json", inv.json, "One JSON object a line on standard output; the rest on standard error");
}

// The command's one argument, which it can't do without.
CLI::App* WithOperand(CLI::App* command, Invocation& inv, const char* name, const char* what) {
    command->add_option(name, inv.operand, what)->required()->type_name("");
    return command;
}

void AddSlotOption(CLI::App* command, Invocation& inv) {
    command->add_option("--slot", inv.slot, "The printer's slot, TA (default) to TZ")
        ->option_text("TA..TZ")
        ->check(Checked(
            [](const std::string& text) {
                return SlotIndex(text) ? std::string() : "takes one of TA ... TZ, not \"" + text + "\"";
            },
            ""));
}

// A command that takes one word of a few, as `check` lets through.
void AddWordCommand(CLI::App& app, Invocation& inv, const char* name, const char* what, const char* argument,
                    const char* argumentWhat, Check check) {
    app.add_subcommand(name, what)
        ->add_option(argument, inv.which, argumentWhat)
        ->required()
        ->type_name("")
        ->check(Checked(std::move(check), ""));
}

void AddLineCommands(CLI::App& app, Invocation& inv) {
    app.add_subcommand("init", "Send the printer's initialize line");
    app.add_subcommand("cutter", "Send the cutter's initialize line");
    app.add_subcommand("change-mode", "Send the change-mode line");
    app.add_subcommand("send", "Send each LINE (standard input without LINE) followed by CR LF; -- before lines "
                               "that start with -")
        ->add_option("LINE", inv.lines, "A command line")
        ->type_name("");
}

void AddFileCommands(CLI::App& app, Invocation& inv) {
    WithOperand(app.add_subcommand("firmware", "Send a firmware image with its header and checksum"), inv, "IMAGE",
                "The image file")
        ->add_option("--package-size", inv.packageSize, "Bytes per write of the image, 1 to 2048 (default 512)")
        ->option_text("N")
        ->check(Checked([](const std::string& text) { return protocol::ParsePackageSize(text).error; }, ""));
    WithOperand(app.add_subcommand("dl-firmware", "Send an image of at most 128 KiB behind the download-mode command"),
                inv, "IMAGE", "The image file");
    CLI::App* font = app.add_subcommand("font", "Send an installed TrueType font, or a TrueType file under a name");
    font->add_option("NAME", inv.operand, "The font's name as praxdl fonts lists it")->type_name("");
    CLI::Option* file = font->add_option("--file", inv.fontFile, "A TrueType file to send instead of an installed font")
                            ->option_text("PATH")
                            ->check(Named());
    CLI::Option* name = font->add_option("--name", inv.fontName, "With --file: the name the printer gets, e.g. "
                                                                 "\"Corporate (TrueType)\"")
                            ->option_text("NAME");
    file->needs(name);
    name->needs(file);
    AddSlotOption(font, inv);
    AddSlotOption(
        WithOperand(app.add_subcommand("code-table", "Send a file as a font code table"), inv, "FILE", "The table"), inv);
    WithOperand(app.add_subcommand("raw", "Send a file byte for byte"), inv, "FILE", "The file");
}

void AddSettingCommands(CLI::App& app, Invocation& inv) {
    AddWordCommand(app, inv, "channel", "Send the device's channel settings, 300 ms after each line", "CHANNEL",
                   "00, 25 or 49", [](const std::string& text) {
                       return text == "00" || text == "25" || text == "49"
                                  ? std::string()
                                  : "takes one of 00, 25 and 49, not \"" + text + "\"";
                   });
    AddWordCommand(app, inv, "read", "Start or stop the device's reading", "WHAT", "start or stop",
                   [](const std::string& text) {
                       return text == "start" || text == "stop" ? std::string()
                                                                : "takes start or stop, not \"" + text + "\"";
                   });
}

void AddRecipeCommand(CLI::App& app, Invocation& inv) {
    CLI::App* apply = WithOperand(
        app.add_subcommand("apply", "Run a recipe's steps (firmware, waits, fonts, tables, settings) on each printer"),
        inv, "RECIPE", "The recipe, a TOML file");
    apply->add_flag("--dry-run", inv.dryRun, "Check the recipe and print its plan; nothing is opened");
}

void AddListCommands(CLI::App& app) {
    app.add_subcommand("ports", "List each connection and what it opens on this host");
    app.add_subcommand("fonts", "List the installed fonts the font list offers: name, file, size");
}

std::string Footer(const std::string& manual, HostSystem system) {
    const bool windows = system == HostSystem::Windows;
    return "--port takes a connection as the window lists it, in any letter case: \"USB\" (the default),\n"
           "\"LPT1\", \"COM1 115200\" ... \"COM8 115200\"; one cut short is refused with the one it is short\n"
           "for (\"COM1\": did you mean \"COM1 115200\"?). Any other text picks the USB printer of that serial\n"
           "number or identity as praxdl ports shows it (A1, USB\\VID_1958&PID_0001\\A1), in any letter case.\n"
           "--host takes a network printer's raw port: a name or address with port 9100 unless given, an\n"
           "IPv6 address in brackets, e.g. [::1]:9100.\n"
           "--port, --device and --host again send to every connection at once, e.g.\n"
           "praxdl --device " +
           std::string(windows ? "COM12 --device \\\\.\\COM13" : "/dev/ttyUSB0 --device /dev/ttyUSB1") +
           " firmware x.bin; a table ends the run.\n"
           "Exit status: 0 done, 1 failed, 2 usage error, " +
           (windows ? "130 after Ctrl+C, 143 after Ctrl+Break, 129 when\nits console is closed.\n"
                    : "130/143 after SIGINT/SIGTERM.\n") +
           "praxdl COMMAND --help tells more about each command; " +
           (manual.empty() ? "man praxdl" : manual) + " tells all.";
}

std::unique_ptr<CLI::App> MakeParser(Invocation& inv, Connections& links, const std::string& manual,
                                     HostSystem system) {
    std::unique_ptr<CLI::App> app = NewApp();
    AddLineOptions(*app, inv, AddConnectionOptions(*app, inv, links, system));
    AddAnswerAndOutputOptions(*app, inv);
    AddLineCommands(*app, inv);
    AddFileCommands(*app, inv);
    AddSettingCommands(*app, inv);
    AddRecipeCommand(*app, inv);
    AddListCommands(*app);
    for (CLI::App* command : app->get_subcommands({})) command->group("Commands");
    // Only the top's help has the footer: it is copied to a command when the command is made.
    app->footer(Footer(manual, system));
    return app;
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

// What a person is told of a command line CLI11 refused.
std::string ParseErrorText(CLI::App& parser, const CLI::ParseError& e) {
    std::string text = e.what();
    const std::vector<std::string> extra = parser.remaining();
    if (const std::string unknown = UnknownOption(parser, extra); !unknown.empty()) {
        text = "unknown option " + unknown;
    } else if (parser.get_subcommands().empty()) {
        // A word where the command belongs is an unknown command, not a missing one.
        const auto word = std::find_if(extra.begin(), extra.end(),
                                       [](const std::string& w) { return !w.empty() && w[0] != '-'; });
        if (word != extra.end()) text = "unknown command '" + *word + "'";
        else if (extra.empty() && dynamic_cast<const CLI::RequiredError*>(&e)) text = "no command given";
    } else if (!extra.empty()) {
        text = parser.get_subcommands()[0]->get_name() + " does not take";
        for (const std::string& word : extra) text += " " + word;
    }
    return text;
}

// The connections in the order given, each option's values taken in turn.
std::vector<Target> TargetsInOrder(CLI::App& parser, const Connections& links, const std::string& output) {
    std::vector<Target> targets;
    std::size_t nextPort = 0, nextDevice = 0, nextHost = 0;
    for (const CLI::Option* option : parser.parse_order()) {
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
    if (!output.empty()) targets.push_back({Target::Kind::Output, output, {}});
    if (targets.empty()) targets.push_back({Target::Kind::Port, "USB", {}});
    return targets;
}

// Why the connections can't go together with each other or with the command, or nothing.
std::string TargetsProblem(const Invocation& inv, const std::vector<Target>& targets) {
    // Two links to one printer: the second could never open it, and would blame "another program".
    for (std::size_t i = 0; i < targets.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (targets[i].kind == targets[j].kind && targets[i].text == targets[j].text &&
                platform::UpperAscii(targets[i].usbName) == platform::UpperAscii(targets[j].usbName))
                return Shown("\"" + targets[i].Label() + "\" is given twice");
    const bool usbOnly = std::all_of(targets.begin(), targets.end(), [](const Target& t) {
        return t.kind == Target::Kind::Port && ConnectionIndex(t.text) == ConnectionIndex("USB") && t.usbName.empty();
    });
    if (inv.all && !usbOnly) return "--all takes every USB printer: give it with --port USB alone";
    const std::string& command = inv.command;
    // A font is named or given as a file, not both.
    if (command == "font" && inv.operand.empty() == inv.fontFile.empty())
        return inv.operand.empty() ? "font needs NAME, or --file PATH --name NAME"
                                   : "font takes NAME or --file, not both";
    if ((inv.all || inv.watch || targets.size() > 1) && (command == "ports" || command == "fonts"))
        return command + " lists this host's own; it takes no connection";
    return {};
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args, const std::string& manual, HostSystem system) {
    CommandLine line;
    Connections links;
    const std::unique_ptr<CLI::App> parser = MakeParser(line.inv, links, manual, system);
    const auto ends = [&line](CommandLine::Kind kind, std::string text) {
        line.kind = kind;
        line.text = std::move(text);
        return line;
    };
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        parser->parse(reversed);
    } catch (const CLI::CallForHelp&) {
        return ends(CommandLine::Kind::Print, parser->help());
    } catch (const CLI::CallForVersion& e) {
        return ends(CommandLine::Kind::Print, e.what() + std::string("\n"));
    } catch (const CLI::ParseError& e) {
        if (!parser->get_subcommands().empty()) line.inv.command = parser->get_subcommands()[0]->get_name();
        return ends(CommandLine::Kind::Usage, ParseErrorText(*parser, e));
    }
    line.inv.command = parser->get_subcommands()[0]->get_name();
    line.targets = TargetsInOrder(*parser, links, line.inv.output);
    if (std::string problem = TargetsProblem(line.inv, line.targets); !problem.empty())
        return ends(CommandLine::Kind::Usage, std::move(problem));
    return line;
}

bool AsksForJson(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--") break;
        if (a == "--json") return true;
    }
    return false;
}

std::optional<int> SlotIndex(const std::string& text) {
    if (text.size() != 2 || std::toupper(static_cast<unsigned char>(text[0])) != 'T') return std::nullopt;
    const int letter = std::toupper(static_cast<unsigned char>(text[1]));
    if (letter < 'A' || letter > 'Z') return std::nullopt;
    return letter - 'A';
}

}  // namespace prax::cli
