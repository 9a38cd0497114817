// praxdl's command line, parsed with CLI11 and checked in one place before anything is opened:
// what to run on which connections, or the help, the version or the usage error to print instead.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/Targets.h"

namespace prax::cli {

// Everything the command line asks for.
struct Invocation {
    std::string command;
    std::string output;
    bool yes = false, no = false, quiet = false, json = false;
    bool all = false, watch = false;
    std::uint64_t count = 0;  // --watch: printers to serve; 0: until interrupted
    std::string log;
    std::vector<std::string> lines;  // send
    std::string operand;             // the IMAGE, FILE, NAME or RECIPE of a command that takes one
    std::string fontFile;            // font --file: a TrueType file sent under `fontName`
    std::string fontName;
    bool dryRun = false;             // apply --dry-run: the plan, and nothing opened
    std::string packageSize = "512";
    std::string slot = "TA";
    std::string which;               // channel 00|25|49, read start|stop
};

struct CommandLine {
    enum class Kind {
        Run,    // `inv` on `targets`
        Print,  // the help or the version: `text` on standard output, and done
        Usage,  // refused: `text` says why; `inv.command` is the command given, if any
    };
    Kind kind = Kind::Run;
    std::string text;
    Invocation inv;
    std::vector<Target> targets;  // in the order given; "USB" when none is
};

// The system whose words the help uses: serial ports as device paths, and the signals that stop
// praxdl; or Windows' COM ports by name, and its console's Ctrl+C, Ctrl+Break and closing.
enum class HostSystem { Posix, Windows };

// `args` without the program name. `manual` names where the whole manual is (empty: the man page).
CommandLine ParseCommandLine(const std::vector<std::string>& args, const std::string& manual,
                             HostSystem system = HostSystem::Posix);

// Whether the command line asks for --json, even one that fails to parse, so a script always gets
// its result object.
bool AsksForJson(const std::vector<std::string>& args);

// The slot list's index of "TA" ... "TZ", letter case ignored as the window's list ignores it.
std::optional<int> SlotIndex(const std::string& text);

}  // namespace prax::cli
