// A line of printers: one command to several connections at once, each link on a thread of its
// own with its own host, link state and socket, and the station mode that serves USB printers as
// they are plugged in. Every link runs the same RunLink a single run does; this file only starts
// them, routes their words and sums them up.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <mutex>
#include <ostream>
#include <set>
#include <sstream>
#include <streambuf>
#include <thread>

#include "cli/Board.h"
#include "cli/Interrupt.h"
#include "cli/Json.h"
#include "cli/Commands.h"
#include "cli/Link.h"
#include "cli/Record.h"
#include "cli/Result.h"
#include "cli/RunLoop.h"
#include "cli/RunLog.h"
#include "link/NetSocket.h"
#include "link/UsbDiscovery.h"
#include "platform/Names.h"
#include "platform/Native.h"

namespace prax::cli {

namespace {

// Hands each whole line written to it to `line`, without its newline; a last unfinished line
// goes when the stream ends. Lines of two links then never mix, whatever each writes at a time.
class LineBuffer final : public std::streambuf {
public:
    explicit LineBuffer(std::function<void(const std::string&)> line) : line_(std::move(line)) {}
    ~LineBuffer() override {
        if (!pending_.empty()) line_(pending_);
    }

protected:
    int_type overflow(int_type c) override {
        if (c == traits_type::eof()) return traits_type::not_eof(c);
        if (c == '\n') {
            line_(pending_);
            pending_.clear();
        } else {
            pending_ += static_cast<char>(c);
        }
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        for (std::streamsize i = 0; i < n; ++i) overflow(static_cast<unsigned char>(s[i]));
        return n;
    }

private:
    std::function<void(const std::string&)> line_;
    std::string pending_;
};

class LineStream final : public std::ostream {
public:
    explicit LineStream(std::function<void(const std::string&)> line) : std::ostream(nullptr), buffer_(std::move(line)) {
        rdbuf(&buffer_);
    }

private:
    LineBuffer buffer_;
};


// The row's last words: the outcome, the status line, the bytes and the time.
std::string OutcomeText(const Ending& e) {
    std::ostringstream text;
    text << OutcomeWord(e.outcome);
    if (!e.status.empty()) text << "  " << e.status;
    text << "  " << e.delivered << " bytes  ";
    text.setf(std::ios::fixed);
    text.precision(1);
    text << e.seconds << " s";
    return text.str();
}

// What every run to several printers shares: the board, standard output's JSON lines, the record.
class Line {
public:
    Line(const Invocation& inv, Prepared& prepared, Streams& io, RunLog* log, Board::Style style)
        : inv_(inv), prepared_(prepared), io_(io), log_(log), board_(io.err, style), started_(Clock::now()) {}

    // The row of a connection, in the order the connections were given (or the printers came).
    int Add(const Target& target) { return board_.AddRow(target.Label()); }

    // The operation on `target` through `host` (one of its own unless given), told as `row`'s.
    Ending Serve(const Target& target, int row, Host* givenHost) {
        const std::string label = target.Label();
        LineStream err([this, row](const std::string& line) { board_.Message(row, line); });
        LineStream json([this](const std::string& line) { WriteJson(line + "\n"); });
        LinkOutput out{nullptr, err, inv_.json ? &json : nullptr, ProgressStyle::None, false, label,
                       [this, row](std::int64_t sent, std::int64_t total) { board_.Progress(row, sent, total); }};
        Ending e;
        if (givenHost) {
            e = RunLink(inv_, target, prepared_, *givenHost, out);
        } else {
            NativeHost host;
            link::NetSocket socket(host.platform());
            e = RunLink(inv_, target, prepared_, host, out);
        }
        e.connection = label;
        // In the record before the result is told anywhere.
        if (log_) Record(*log_, inv_, prepared_, target, e, err);
        err.flush();
        board_.Finish(row, OutcomeText(e));
        ReportResult(e);
        const std::lock_guard<std::mutex> lock(mutex_);
        endings_.emplace_back(row, e);
        return e;
    }

    // Input refused before any link opened: each connection's row says so.
    void Refused(const std::vector<Target>& targets, const std::string& why) {
        for (const Target& target : targets) {
            Ending e{Outcome::Refused, kExitFailed, 0, {}, why, {}};
            e.connection = target.Label();
            const int row = board_.AddRow(e.connection);
            board_.Finish(row, OutcomeText(e));
            ReportResult(e);
            endings_.emplace_back(row, e);
        }
    }

    std::size_t Finished() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return endings_.size();
    }

    // The table, the JSON summary and the exit status, once every link has ended.
    int Summarize() {
        board_.Close();
        // In the order the connections were given (or the printers came), not as they ended.
        std::sort(endings_.begin(), endings_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<SummaryRow> rows;
        std::size_t done = 0;
        bool interrupted = false;
        for (const auto& [row, e] : endings_) {
            const bool isDone = e.outcome == Outcome::Done;
            rows.push_back({e.connection, e.device, OutcomeWord(e.outcome), e.delivered, e.status, e.seconds, isDone});
            if (isDone && e.exitCode == kExitDone) ++done;
            interrupted = interrupted || e.outcome == Outcome::Interrupted;
        }
        std::ostream& human = inv_.json ? io_.err : io_.out;
        if (!rows.empty() || !inv_.watch) human << SummaryTable(rows) << std::flush;
        const int code = gInterruptSignal != 0 && (interrupted || !inv_.watch) ? 128 + gInterruptSignal
                         : done == endings_.size()                             ? kExitDone
                                                                               : kExitFailed;
        if (inv_.json) {
            const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
            WriteJson(JsonObject("summary")
                          .Add("operation", inv_.command)
                          .Add("printers", static_cast<std::int64_t>(endings_.size()))
                          .Add("done", static_cast<std::int64_t>(done))
                          .Add("failed", static_cast<std::int64_t>(endings_.size() - done))
                          .Add("exit", std::int64_t{code})
                          .Add("seconds", seconds, 3)
                          .Line());
        }
        return code;
    }

private:
    using Clock = std::chrono::steady_clock;

    void ReportResult(const Ending& e) {
        if (!inv_.json) return;
        std::ostringstream line;
        WriteResult(line, inv_.command, e);
        WriteJson(line.str());
    }

    void WriteJson(const std::string& line) {
        const std::lock_guard<std::mutex> lock(outMutex_);
        io_.out << line << std::flush;
    }

    const Invocation& inv_;
    Prepared& prepared_;
    Streams& io_;
    RunLog* log_;
    Board board_;
    Clock::time_point started_;
    std::mutex mutex_, outMutex_;
    std::vector<std::pair<int, Ending>> endings_;  // by row
};

Board::Style StyleFor(const Invocation& inv, const Streams& io) {
    return inv.quiet ? Board::Style::None : io.errIsTerminal ? Board::Style::Rows : Board::Style::Lines;
}

// Runs the command's checks once, before any link opens. What refused it, or nothing.
std::optional<std::string> CheckInput(const Invocation& inv, const Target& target, Prepared& prepared, Streams& io,
                                      Host& here) {
    LinkOutput out{nullptr, io.err, nullptr, ProgressStyle::None, false};
    const Ending e = RunLink(inv, target, prepared, here, out, true);
    if (e.outcome == Outcome::Checked) return std::nullopt;
    return e.error.empty() ? std::string(OutcomeWord(e.outcome)) : e.error;
}

}  // namespace

int RunLine(const Invocation& inv, const std::vector<Target>& targets, Prepared& prepared, Streams& io,
            Host& here, bool shared, RunLog* log) {
    Line line(inv, prepared, io, log, StyleFor(inv, io));
    if (TakesFileInput(inv.command)) {
        if (const auto refused = CheckInput(inv, targets.front(), prepared, io, here)) {
            line.Refused(targets, *refused);
            return line.Summarize();
        }
    }
    std::vector<int> rows;
    for (const Target& target : targets) rows.push_back(line.Add(target));
    if (shared) {
        for (std::size_t i = 0; i < targets.size(); ++i) line.Serve(targets[i], rows[i], &here);
    } else {
        std::vector<std::thread> links;
        links.reserve(targets.size());
        for (std::size_t i = 0; i < targets.size(); ++i)
            links.emplace_back([&line, &targets, &rows, i] { line.Serve(targets[i], rows[i], nullptr); });
        for (std::thread& link : links) link.join();
    }
    return line.Summarize();
}

namespace {
// How long a printer the kernel lists may take to get a node this user can open.
constexpr auto kNodeGrace = std::chrono::seconds(5);
}  // namespace

int RunStation(const Invocation& inv, Prepared& prepared, Streams& io, Host& here, bool shared, RunLog* log) {
    // One line per printer as it ends; rows of printers that come and go would only scroll.
    Line line(inv, prepared, io, log, Board::Style::None);
    const Target usb{Target::Kind::Port, "USB", {}};
    if (TakesFileInput(inv.command)) {
        if (const auto why = CheckInput(inv, usb, prepared, io, here)) {
            line.Refused({usb}, *why);
            return line.Summarize();
        }
    }
    io.err << "praxdl: waiting for USB printers of an accepted make"
           << (inv.count ? " (" + std::to_string(inv.count) + " to serve)" : std::string(", Ctrl+C ends")) << '\n'
           << std::flush;
    platform::Platform& probe = here.platform();
    std::set<std::string> served;  // attached and sent to already, by interface path in upper case
    // New printers whose node is not there yet, or not yet this user's to open, since when.
    std::map<std::string, std::chrono::steady_clock::time_point> waiting;
    std::uint64_t started = 0;
    std::list<std::thread> links;
    for (bool look = probe.WaitForUsbChange(0);;) {
        if (gInterruptSignal != 0) break;
        if (inv.count && line.Finished() >= inv.count) break;
        // A printer that is waiting for its node is looked at again soon, event or not.
        if (look || !waiting.empty()) {
            const auto now = std::chrono::steady_clock::now();
            std::set<std::string> attached;
            bool anyNew = false;
            for (const link::SeenUsbPrinter& p : link::LookAtUsbPrinters(probe).printers) {
                if (p.verdict != link::UsbVerdict::Accepted) continue;
                const std::string key = platform::UpperAscii(p.path);
                attached.insert(key);
                if (served.count(key) || (inv.count && started >= inv.count)) continue;
                // The kernel lists a printer a moment before its node is made and handed to the lp
                // group: it is tried once it opens, or once it had time enough to and did not.
                if (!p.nodeReady) {
                    const auto since = waiting.emplace(key, now).first->second;
                    if (now - since < kNodeGrace) continue;
                }
                waiting.erase(key);
                served.insert(key);
                ++started;
                anyNew = true;
                const Target printer = UsbTarget(p);
                const int row = line.Add(printer);
                if (shared) line.Serve(printer, row, &here);
                else links.emplace_back([&line, printer, row] { line.Serve(printer, row, nullptr); });
            }
            // Nobody plugs a printer into a caller's host (a test's fake) while we wait: one look
            // that finds nothing new ends the station.
            if (shared && !anyNew && waiting.empty()) break;
            // One that was pulled out is a new printer when it comes back.
            std::erase_if(served, [&](const std::string& key) { return !attached.count(key); });
            std::erase_if(waiting, [&](const auto& entry) { return !attached.count(entry.first); });
        }
        // Short waits, so an interrupt or the last link's end is seen at once.
        look = probe.WaitForUsbChange(waiting.empty() ? 100 : 50);
    }
    for (std::thread& link : links) link.join();
    return line.Summarize();
}

}  // namespace prax::cli
