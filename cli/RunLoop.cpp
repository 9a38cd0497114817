#include "cli/RunLoop.h"

#include <algorithm>
#include <chrono>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/Link.h"
#include "cli/RecipeRun.h"
#include "cli/Record.h"
#include "cli/Reporter.h"
#include "link/NetSocket.h"
#include "link/UsbDiscovery.h"
#include "platform/Names.h"

namespace prax::cli {

namespace {

// A run's printers: each one served, recorded and told; the exit status once all have ended.
class Run {
public:
    Run(const Invocation& inv, Prepared& prepared, Streams& io, RunLog* log, Shape shape)
        : inv_(inv), prepared_(prepared), log_(log), one_(shape == Shape::One),
          reporter_(MakeReporter(inv, io, shape, prepared.recipe != nullptr)) {}

    // The row of a printer, in the order the printers were given (or came).
    int Add(const Target& target) { return reporter_->Add(target); }

    // The operation on `target` through `host` (one of its own unless given), told as `row`'s.
    Ending Serve(const Target& target, int row, Host* givenHost) {
        LinkWords words;
        reporter_->Open(row, target, words);
        Ending e;
        if (givenHost) {
            e = RunOn(target, row, *givenHost, words);
        } else {
            NativeHost host;
            link::NetSocket socket(host.platform());
            e = RunOn(target, row, host, words);
        }
        // A result names its printer among several; a single one only when a USB printer was
        // named on the command line.
        if (!one_ || !target.usbName.empty() || prepared_.recipe) e.connection = target.Label();
        // In the record before the result is told anywhere.
        if (log_) Record(*log_, inv_, prepared_, target, e, *words.out.err, prepared_.recipe.get());
        reporter_->Finish(row, e);
        const std::lock_guard<std::mutex> lock(mutex_);
        endings_.emplace_back(row, e);
        return e;
    }

    // Input refused before any link opened: each printer's row says so.
    void Refused(const std::vector<Target>& targets, const std::string& why) {
        for (const Target& target : targets) {
            Ending e{Outcome::Refused, kExitFailed, 0, {}, why, {}};
            e.connection = target.Label();
            const int row = reporter_->Add(target);
            reporter_->Finish(row, e);
            endings_.emplace_back(row, e);
        }
    }

    std::size_t Finished() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return endings_.size();
    }

    // The exit status, once every link has ended, and the run's end told.
    int Summarize() {
        // In the order the printers were given (or came), not as they ended.
        std::sort(endings_.begin(), endings_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<Ending> endings;
        for (const auto& [row, e] : endings_) endings.push_back(e);
        const int code = ExitCode(endings);
        reporter_->End(endings, code);
        return code;
    }

private:
    // The command, or each step of the recipe, each step recorded and told as it ends.
    Ending RunOn(const Target& target, int row, Host& host, LinkWords& words) {
        if (!prepared_.recipe) return RunLink(inv_, target, prepared_, host, words.out);
        Recipe& recipe = *prepared_.recipe;
        StepWatch watch;
        watch.started = [&](std::size_t step, LinkOutput& out) { reporter_->Step(row, recipe, step, out); };
        watch.ended = [&](std::size_t step, Ending& e) {
            const RecipeStep& done = recipe.steps[step - 1];
            if (log_) Record(*log_, done.inv, *done.prepared, target, e, *words.out.err, &recipe, step);
            reporter_->StepEnded(row, recipe, step, e);
        };
        return RunRecipe(recipe, target, host, words.out, watch);
    }

    int ExitCode(const std::vector<Ending>& endings) const {
        // One printer by itself ends the run as its link ended.
        if (one_ && endings.size() == 1) return endings.front().exitCode;
        const std::size_t done = std::count_if(endings.begin(), endings.end(), [](const Ending& e) {
            return e.outcome == Outcome::Done && e.exitCode == kExitDone;
        });
        const bool interrupted = std::any_of(endings.begin(), endings.end(),
                                             [](const Ending& e) { return e.outcome == Outcome::Interrupted; });
        // A station ends on the signal that stops it; only a printer it cut short fails the run.
        return gInterruptSignal != 0 && (interrupted || !inv_.watch) ? 128 + gInterruptSignal
               : done == endings.size()                              ? kExitDone
                                                                     : kExitFailed;
    }

    const Invocation& inv_;
    Prepared& prepared_;
    RunLog* log_;
    const bool one_;
    std::unique_ptr<Reporter> reporter_;
    std::mutex mutex_;
    std::vector<std::pair<int, Ending>> endings_;  // by row
};

// Runs the command's checks once, before any link opens. What refused it, or nothing.
std::optional<std::string> CheckInput(const Invocation& inv, const Target& target, Prepared& prepared, Streams& io,
                                      Host& here) {
    LinkOutput out{nullptr, &io.err, nullptr, ProgressStyle::None, false};
    const Ending e = RunLink(inv, target, prepared, here, out, true);
    if (e.outcome == Outcome::Checked) return std::nullopt;
    return e.error.empty() ? std::string(OutcomeWord(e.outcome)) : e.error;
}

}  // namespace

int RunPrinters(const Invocation& inv, const std::vector<Target>& targets, Prepared& prepared, Streams& io,
                Host& here, bool shared, RunLog* log) {
    // A single printer checks its input as it sends, and runs on this thread through the run's host.
    const bool one = !inv.all && targets.size() == 1;
    Run run(inv, prepared, io, log, one ? Shape::One : Shape::Line);
    if (!one && TakesFileInput(inv.command)) {
        if (const auto refused = CheckInput(inv, targets.front(), prepared, io, here)) {
            run.Refused(targets, *refused);
            return run.Summarize();
        }
    }
    std::vector<int> rows;
    for (const Target& target : targets) rows.push_back(run.Add(target));
    if (shared || one) {
        for (std::size_t i = 0; i < targets.size(); ++i) run.Serve(targets[i], rows[i], &here);
    } else {
        std::vector<std::thread> links;
        links.reserve(targets.size());
        for (std::size_t i = 0; i < targets.size(); ++i)
            links.emplace_back([&run, &targets, &rows, i] { run.Serve(targets[i], rows[i], nullptr); });
        for (std::thread& link : links) link.join();
    }
    return run.Summarize();
}

namespace {

// How long a printer the kernel lists may take to get a node this user can open.
constexpr auto kNodeGrace = std::chrono::seconds(5);

// The printers a station serves, by interface path in upper case: those attached and sent to
// already, and the new ones whose node is not there yet, or not yet this user's to open, since when.
struct StationPrinters {
    std::set<std::string> served;
    std::map<std::string, std::chrono::steady_clock::time_point> waiting;
    std::uint64_t started = 0;
    // The printers being served, by path and by serial number: a recipe's printer restarts after
    // its firmware and comes back, maybe under another node, in the middle of its own run; it is
    // no new printer then, and once its run ended it is one only when plugged in again.
    std::mutex mutex;
    std::set<std::string> running;

    static std::vector<std::string> Keys(const Target& printer) {
        std::vector<std::string> keys = {platform::UpperAscii(printer.usbPrinter)};
        if (!printer.usbSerial.empty()) keys.push_back("serial " + platform::UpperAscii(printer.usbSerial));
        return keys;
    }
    bool Running(const Target& printer) {
        const std::lock_guard<std::mutex> lock(mutex);
        for (const std::string& key : Keys(printer))
            if (running.count(key)) return true;
        return false;
    }
    void SetRunning(const Target& printer, bool on) {
        const std::lock_guard<std::mutex> lock(mutex);
        for (const std::string& key : Keys(printer)) on ? void(running.insert(key)) : void(running.erase(key));
    }
};

// One look at the attached printers: each new one is served (`serve`), and `anyNew` says whether
// any was. The printers attached.
template <typename Serve>
std::set<std::string> ServeNewPrinters(const Invocation& inv, platform::Platform& probe, StationPrinters& seen,
                                       Serve serve, bool& anyNew) {
    const auto now = std::chrono::steady_clock::now();
    std::set<std::string> attached;
    anyNew = false;
    for (const link::SeenUsbPrinter& p : link::LookAtUsbPrinters(probe).printers) {
        if (p.verdict != link::UsbVerdict::Accepted) continue;
        const std::string key = platform::UpperAscii(p.path);
        attached.insert(key);
        if (seen.served.count(key) || (inv.count && seen.started >= inv.count)) continue;
        if (seen.Running(UsbTarget(p))) {
            seen.served.insert(key);
            continue;
        }
        // The kernel lists a printer a moment before its node is made and handed to the lp
        // group: it is tried once it opens, or once it had time enough to and did not.
        if (!p.nodeReady) {
            const auto since = seen.waiting.emplace(key, now).first->second;
            if (now - since < kNodeGrace) continue;
        }
        seen.waiting.erase(key);
        seen.served.insert(key);
        ++seen.started;
        anyNew = true;
        serve(UsbTarget(p));
    }
    return attached;
}

// One that was pulled out is a new printer when it comes back.
void ForgetPulledOut(StationPrinters& seen, const std::set<std::string>& attached) {
    std::erase_if(seen.served, [&](const std::string& key) { return !attached.count(key); });
    std::erase_if(seen.waiting, [&](const auto& entry) { return !attached.count(entry.first); });
}

}  // namespace

int RunStation(const Invocation& inv, Prepared& prepared, Streams& io, Host& here, bool shared, RunLog* log) {
    Run run(inv, prepared, io, log, Shape::Station);
    const Target usb{Target::Kind::Port, "USB", {}};
    if (TakesFileInput(inv.command)) {
        if (const auto why = CheckInput(inv, usb, prepared, io, here)) {
            run.Refused({usb}, *why);
            return run.Summarize();
        }
    }
    io.err << "praxdl: waiting for USB printers of an accepted make"
           << (inv.count ? " (" + std::to_string(inv.count) + " to serve)" : std::string(", Ctrl+C ends")) << '\n'
           << std::flush;
    platform::Platform& probe = here.platform();
    StationPrinters seen;
    std::list<std::thread> links;
    const auto serve = [&](const Target& printer) {
        const int row = run.Add(printer);
        seen.SetRunning(printer, true);
        if (shared) {
            run.Serve(printer, row, &here);
            seen.SetRunning(printer, false);
        } else {
            links.emplace_back([&run, &seen, printer, row] {
                run.Serve(printer, row, nullptr);
                seen.SetRunning(printer, false);
            });
        }
    };
    for (bool look = probe.WaitForUsbChange(0);;) {
        if (gInterruptSignal != 0) break;
        if (inv.count && run.Finished() >= inv.count) break;
        // A printer that is waiting for its node is looked at again soon, event or not.
        if (look || !seen.waiting.empty()) {
            bool anyNew = false;
            const std::set<std::string> attached = ServeNewPrinters(inv, probe, seen, serve, anyNew);
            // Nobody plugs a printer into a caller's host (a test's fake) while we wait: one look
            // that finds nothing new ends the station.
            if (shared && !anyNew && seen.waiting.empty()) break;
            ForgetPulledOut(seen, attached);
        }
        // Short waits, so an interrupt or the last link's end is seen at once.
        look = probe.WaitForUsbChange(seen.waiting.empty() ? 100 : 50);
    }
    for (std::thread& link : links) link.join();
    return run.Summarize();
}

}  // namespace prax::cli
