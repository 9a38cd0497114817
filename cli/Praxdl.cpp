// praxdl's run from its command line to its exit status: the arguments checked, a list printed or
// the input read once, and the command run on its printers.
#include "cli/Praxdl.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <ostream>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/Fonts.h"
#include "cli/Interrupt.h"
#include "cli/Json.h"
#include "cli/Recipe.h"
#include "cli/RecipeRun.h"
#include "cli/Result.h"
#include "cli/Run.h"
#include "cli/RunLog.h"
#include "cli/RunLoop.h"
#include "cli/StandardInput.h"
#include "cli/UsbPorts.h"
#include "link/NetSocket.h"
#include "link/UsbDiscovery.h"
#include "platform/Names.h"

namespace prax::cli {

namespace {

// A command line refused: the reason and where help is, and with --json the result object.
int UsageError(const std::vector<std::string>& args, Streams& io, const std::string& text,
               const std::string& operation) {
    io.err << "praxdl: " << text << "\nSee praxdl --help, or praxdl COMMAND --help";
    io.err << (io.manual.empty() ? std::string(".\n") : "; the manual: " + io.manual + "\n");
    if (AsksForJson(args)) WriteResult(io.out, operation, Ending{Outcome::Usage, kExitUsage, 0, {}, text, {}});
    return kExitUsage;
}

// The end of a run that sent to no printer: a list, or an input that could not be had.
int Finish(const Invocation& inv, Streams& io, const Ending& e) {
    if (inv.json) WriteResult(io.out, inv.command, e);
    return e.exitCode;
}

Ending Failed(Streams& io, const std::string& text) {
    io.err << "praxdl: " << text << '\n';
    return Ending{Outcome::Failed, kExitFailed, 0, {}, text, {}};
}

// A USB printer named on the command line is looked for once, as --all looks for them all, so each
// row, result and record names the printer by its whole identity. Why two names are one printer,
// or nothing.
std::string FindNamedUsbPrinters(platform::Platform& host, std::vector<Target>& targets) {
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
                return Shown("\"" + targets[j].usbName + "\" and \"" + targets[i].usbName + "\" are one printer, " +
                             targets[i].Label());
    return {};
}

// What the command takes before any link opens: the font it names, the lines it sends. How the
// run ended when it can't be had.
std::optional<Ending> Prepare(const Command& command, const Invocation& inv, Streams& io, platform::Platform& host,
                              Prepared& prepared) {
    if (command.needsFont && !inv.fontFile.empty()) {
        prepared.font = FontFromFile(inv.fontFile, inv.fontName);
    } else if (command.needsFont) {
        if (const std::string error = FindFont(host, inv.operand, prepared.font); !error.empty())
            return Failed(io, error);
    }
    if (command.needsLines) {
        prepared.lines = inv.lines;
        const std::string unread = !inv.lines.empty()      ? std::string()
                                   : !io.inProblem.empty() ? io.inProblem
                                                           : ReadLines(io.in, prepared.lines);
        // Interrupted while the lines were read: nothing was opened, nothing is sent.
        if (gInterruptSignal != 0) {
            io.err << "praxdl: interrupted\n";
            return Ending{Outcome::Interrupted, 128 + gInterruptSignal, 0, {}, "interrupted", {}};
        }
        if (!unread.empty()) return Failed(io, unread);
    }
    return std::nullopt;
}

// A recipe with a problem runs on no printer: every problem is told, and the run is a usage error.
int RecipeRefused(const Invocation& inv, Streams& io, const std::vector<std::string>& problems) {
    for (const std::string& problem : problems) io.err << "praxdl: " << problem << '\n';
    const std::string text = problems.size() == 1 ? "the recipe has a problem; nothing was sent"
                                                  : "the recipe has " + std::to_string(problems.size()) +
                                                        " problems; nothing was sent";
    io.err << "praxdl: " << text << '\n';
    if (inv.json) {
        const Ending e{Outcome::Usage, kExitUsage, 0, {}, text, {}};
        io.out << ResultObject(inv.command, e).Add("problems", problems).Line() << std::flush;
    }
    return kExitUsage;
}

// --all: every attached USB printer of an accepted make; none attached: the one USB link says so
// as it always does.
void TakeAllUsbPrinters(platform::Platform& host, std::vector<Target>& targets) {
    const link::UsbLook look = link::LookAtUsbPrinters(host);
    std::vector<Target> printers;
    for (const link::SeenUsbPrinter& p : look.printers)
        if (p.verdict == link::UsbVerdict::Accepted) printers.push_back(UsbTarget(p));
    if (!printers.empty()) targets = std::move(printers);
}

// The command on its printers, once the command line is checked.
int RunCommand(const std::vector<std::string>& args, CommandLine& line, Streams& io, Host& host, bool shared) {
    const Invocation& inv = line.inv;
    std::vector<Target>& targets = line.targets;
    const Command& command = CommandNamed(inv.command);
    // With --json the lists are JSON alone: standard error is left to errors.
    if (command.list) {
        const std::string error = command.list(host, inv.json, io);
        return Finish(inv, io, error.empty() ? Ending{} : Failed(io, error));
    }
    // The record must be there to take every printer's line before the first is sent to.
    std::unique_ptr<RunLog> log;
    if (!inv.log.empty()) {
        std::string error;
        log = RunLog::Open(inv.log, error);
        if (!log) return UsageError(args, io, error, inv.command);
    }
    platform::Platform& platform = host.platform();
    // This thread's socket holder, with sockets started for as long as the run lasts.
    link::NetSocket netSocket(platform);
    if (const std::string twice = FindNamedUsbPrinters(platform, targets); !twice.empty())
        return UsageError(args, io, twice, inv.command);
    Prepared prepared;
    if (const std::optional<Ending> ended = Prepare(command, inv, io, platform, prepared))
        return Finish(inv, io, *ended);
    if (inv.command == "apply") {
        std::vector<std::string> problems;
        std::unique_ptr<Recipe> recipe = LoadRecipe(inv.operand, inv, problems);
        // Checked whole before any link opens, as the USB connection if the station serves USB.
        if (recipe) {
            const auto more =
                CheckRecipe(*recipe, inv.watch ? Target{Target::Kind::Port, "USB", {}} : targets.front(), host);
            problems.insert(problems.end(), more.begin(), more.end());
        }
        SortProblems(inv.operand, problems);
        if (!problems.empty()) return RecipeRefused(inv, io, problems);
        if (inv.dryRun) return PrintPlan(*recipe, host, io, inv.json);
        prepared.recipe = std::move(recipe);
    }
    if (inv.watch) return RunStation(inv, prepared, io, host, shared, log.get());
    if (inv.all) TakeAllUsbPrinters(platform, targets);
    return RunPrinters(inv, targets, prepared, io, host, shared, log.get());
}

}  // namespace

int RunPraxdl(const std::vector<std::string>& args, Streams& io, Host* givenHost) {
    CommandLine line = ParseCommandLine(args, io.manual, io.system);
    if (line.kind == CommandLine::Kind::Print) {
        io.out << line.text;
        return kExitDone;
    }
    if (line.kind == CommandLine::Kind::Usage) return UsageError(args, io, line.text, line.inv.command);
    NativeHost ownHost;
    return RunCommand(args, line, io, givenHost ? *givenHost : ownHost, givenHost != nullptr);
}

}  // namespace prax::cli
