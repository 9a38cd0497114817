#include "cli/RecipeRun.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <sstream>

#include "cli/Board.h"
#include "cli/Commands.h"
#include "cli/Fonts.h"
#include "cli/Interrupt.h"
#include "cli/Json.h"
#include "cli/Link.h"
#include "cli/PrinterWait.h"
#include "cli/StagedOutput.h"

namespace prax::cli {

namespace {

using Clock = std::chrono::steady_clock;

// 115200 baud, 8N1: ten bits on the wire for every byte.
constexpr double kWireBytesPerSecond = 115200.0 / 10;

std::string StepName(const Recipe& recipe, std::size_t index, int line = 0) {
    const RecipeStep& step = recipe.steps[index];
    return recipe.path + ":" + std::to_string(line > 0 ? line : step.line) + ": step " + std::to_string(index + 1) + " (" + step.kind +
           ")";
}

// What a step's operation said when it refused its input: its own words, else the refusal.
std::string Refusal(const std::string& said, const Ending& e) {
    std::string text;
    std::istringstream lines(said);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("praxdl: ", 0) == 0) line.erase(0, 8);
        if (!line.empty()) text += (text.empty() ? "" : "; ") + line;
    }
    return !text.empty() ? text : !e.error.empty() ? e.error : std::string(OutcomeWord(e.outcome));
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

Ending StepFailed(Outcome outcome, const std::string& why) {
    Ending e{outcome, outcome == Outcome::Interrupted ? 128 + gInterruptSignal : kExitFailed, 0, {}, why, {}};
    return e;
}

}  // namespace

std::vector<std::string> CheckRecipe(Recipe& recipe, const Target& target, Host& here) {
    std::vector<std::string> problems;
    for (std::size_t i = 0; i < recipe.steps.size(); ++i) {
        RecipeStep& step = recipe.steps[i];
        if (!step.Sends() || step.bad) continue;
        Prepared& prepared = *step.prepared;
        if (step.kind == "font") {
            if (const std::string error = FindFont(here.platform(), step.inv.operand, prepared.font); !error.empty()) {
                problems.push_back(StepName(recipe, i) + ": " + error);
                continue;
            }
        }
        if (!CommandNamed(step.inv.command).sendsFile) continue;
        // Read and checked as the step's own run would, and kept: the step sends these bytes.
        std::ostringstream said;
        LinkOutput out{nullptr, &said, nullptr, ProgressStyle::None, false};
        const Ending e = RunLink(step.inv, target, prepared, here, out, true);
        if (e.outcome != Outcome::Checked) {
            problems.push_back(StepName(recipe, i, step.fileLine) + ": " + Refusal(said.str(), e));
            continue;
        }
        if (!step.pin.empty() && prepared.InputDigest() != step.pin)
            problems.push_back(StepName(recipe, i, step.pinLine) + ": \"" + step.file + "\" is not the file pinned: its SHA-256 is " +
                               prepared.InputDigest() + ", the recipe pins " + step.pin);
    }
    return problems;
}

int PrintPlan(Recipe& recipe, Host& here, Streams& io, bool json) {
    // Each step's stream made as --output makes it, into a file of our own that is gone after.
    const std::filesystem::path scratch =
        std::filesystem::temp_directory_path() /
        ("praxdl-plan-" + std::to_string(Clock::now().time_since_epoch().count()) + ".bin");
    Target sink{Target::Kind::Output, scratch.string(), {}};
    sink.stagedOutput = scratch.string();
    std::vector<std::vector<std::string>> cells = {{"step", "what", "file", "bytes", "sha256", "time"}};
    std::uint64_t total = 0;
    double pauses = 0, waits = 0;
    int code = kExitDone;
    for (std::size_t i = 0; i < recipe.steps.size() && code == kExitDone; ++i) {
        RecipeStep& step = recipe.steps[i];
        const std::string index = std::to_string(i + 1);
        JsonObject object("plan-step");
        object.Add("index", static_cast<std::int64_t>(i + 1)).Add("kind", step.kind).Add("what", step.Describe());
        if (!step.Sends()) {
            const double seconds = step.ms / 1000.0;
            (step.kind == "pause" ? pauses : waits) += seconds;
            cells.push_back({index, step.Describe(), "-", "-", "-",
                             (step.kind == "wait" ? "up to " : "") + Seconds(seconds)});
            if (json) io.out << object.Add("seconds", seconds, 3).Line();
            continue;
        }
        std::ostringstream said;
        LinkOutput out{nullptr, &said, nullptr, ProgressStyle::None, false};
        const Ending e = RunLink(step.inv, sink, *step.prepared, here, out);
        if (e.outcome != Outcome::Done) {
            io.err << "praxdl: " << StepName(recipe, i) << ": " << Refusal(said.str(), e) << '\n';
            code = e.exitCode == kExitDone ? kExitFailed : e.exitCode;
            break;
        }
        total += e.delivered;
        const double seconds = e.delivered / kWireBytesPerSecond;
        const std::string digest = step.file.empty() && step.kind != "font" ? std::string() : step.prepared->InputDigest();
        const std::string file = step.kind == "font" && step.prepared->font ? step.prepared->font->file : step.file;
        cells.push_back({index, step.Describe(), file.empty() ? "-" : file, std::to_string(e.delivered),
                         digest.empty() ? "-" : digest, Seconds(seconds)});
        if (!file.empty()) object.Add("file", file);
        object.Add("bytes", static_cast<std::int64_t>(e.delivered));
        if (!digest.empty()) object.Add("sha256", digest);
        if (json) io.out << object.Add("seconds", seconds, 3).Line();
    }
    std::error_code ignored;
    std::filesystem::remove(scratch, ignored);
    if (code != kExitDone) return code;
    const double wire = total / kWireBytesPerSecond;
    if (json) {
        io.out << JsonObject("plan")
                      .Add("recipe", recipe.name)
                      .Add("file", recipe.path)
                      .Add("sha256", recipe.sha256)
                      .Add("steps", static_cast<std::int64_t>(recipe.steps.size()))
                      .Add("bytes", static_cast<std::int64_t>(total))
                      .Add("seconds", wire, 3)
                      .Add("pauses", pauses, 3)
                      .Add("waits", waits, 3)
                      .Line();
        return kExitDone;
    }
    io.out << "recipe \"" << recipe.name << "\", " << recipe.path << ", sha256 " << recipe.sha256 << "\n"
           << Columns(cells, {true, false, false, true, false, false}) << "total: " << recipe.steps.size()
           << (recipe.steps.size() == 1 ? " step, " : " steps, ") << total << " bytes, " << Seconds(wire)
           << " on the wire at 115200 baud";
    if (pauses > 0) io.out << ", " << Seconds(pauses) << " of pauses";
    if (waits > 0) io.out << ", waits of up to " << Seconds(waits);
    io.out << '\n';
    return kExitDone;
}

Ending RunRecipe(Recipe& recipe, Target target, Host& host, const LinkOutput& out, const StepWatch& watch) {
    const Clock::time_point started = Clock::now();
    Ending whole;
    whole.steps = recipe.steps.size();
    // --output: the steps' streams one after another, under FILE's name once the last is through.
    std::optional<StagedOutput> staged;
    if (target.kind == Target::Kind::Output) {
        staged.emplace(target.text);
        target.stagedOutput = staged->OpenPath();
    }
    bool written = false;
    std::string serial = target.usbSerial, opened;
    for (std::size_t i = 0; i < recipe.steps.size(); ++i) {
        RecipeStep& step = recipe.steps[i];
        LinkOutput words = out;
        words.step = i + 1;
        words.stepKind = step.kind;
        if (watch.started) watch.started(i + 1, words);
        const Clock::time_point stepStarted = Clock::now();
        Ending e;
        if (gInterruptSignal != 0) {
            e = StepFailed(Outcome::Interrupted, "interrupted");
        } else if (step.kind == "pause") {
            host.platform().Sleep(step.ms);
            if (gInterruptSignal != 0) e = StepFailed(Outcome::Interrupted, "interrupted");
        } else if (step.kind == "wait") {
            const PrinterBack back = WaitForPrinter(host, target, serial, opened, step.ms);
            if (!back.back) e = StepFailed(back.interrupted ? Outcome::Interrupted : Outcome::Failed, back.why);
            if (!back.back && !back.interrupted && words.err) *words.err << "praxdl: " << back.why << '\n' << std::flush;
        } else {
            target.appendOutput = written;
            e = RunLink(step.inv, target, *step.prepared, host, words);
            written = written || e.outcome == Outcome::Done;
        }
        if (!step.Sends()) e.seconds = std::chrono::duration<double>(Clock::now() - stepStarted).count();
        if (!e.usbSerial.empty()) serial = e.usbSerial;
        if (!e.device.empty()) opened = e.device;
        if (watch.ended) watch.ended(i + 1, e);
        whole.delivered += e.delivered;
        if (!e.status.empty()) whole.status = e.status;
        if (!e.device.empty()) whole.device = e.device;
        if (!e.usbSerial.empty()) whole.usbSerial = e.usbSerial;
        if (e.outcome != Outcome::Done || e.exitCode != kExitDone) {
            whole.outcome = e.outcome == Outcome::Done ? Outcome::Failed : e.outcome;
            whole.exitCode = e.exitCode == kExitDone ? kExitFailed : e.exitCode;
            whole.error = e.error;
            whole.reason = e.reason;
            whole.printerMidImage = e.printerMidImage;
            whole.failedStep = std::to_string(i + 1) + " " + step.Describe();
            break;
        }
        ++whole.stepsDone;
    }
    if (staged && whole.stepsDone == whole.steps) {
        std::string error;
        // A recipe of pauses alone still leaves FILE, empty.
        if (!written) std::ofstream(target.stagedOutput, std::ios::binary | std::ios::trunc);
        if (!staged->Commit(error)) {
            if (out.err) *out.err << "praxdl: " << error << '\n';
            whole.outcome = Outcome::Failed;
            whole.exitCode = kExitFailed;
            whole.error = error;
        }
    }
    whole.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    return whole;
}

}  // namespace prax::cli
