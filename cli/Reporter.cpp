#include "cli/Reporter.h"

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <streambuf>

#include "cli/Board.h"
#include "cli/Json.h"
#include "cli/Recipe.h"
#include "cli/Result.h"

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

// Where a recipe's run is: "3/6 font TB".
std::string StepText(const Recipe& recipe, std::size_t step) {
    return std::to_string(step) + "/" + std::to_string(recipe.steps.size()) + " " + recipe.steps[step - 1].Describe();
}

// The step a recipe's run reached: all of them ("6/6"), or the one it ended on ("3/6 font TB").
std::string StepReached(const Ending& e) {
    if (e.steps == 0) return {};
    if (e.stepsDone == e.steps) return std::to_string(e.steps) + "/" + std::to_string(e.steps);
    const std::size_t blank = e.failedStep.find(' ');
    return e.failedStep.substr(0, blank) + "/" + std::to_string(e.steps) +
           (blank == std::string::npos ? "" : e.failedStep.substr(blank));
}

// One printer by itself: its link speaks on the terminal, the status line on standard output (on
// standard error beside --json).
class TerminalReporter final : public Reporter {
public:
    TerminalReporter(const Invocation& inv, Streams& io) : inv_(inv), io_(io) {}

    int Add(const Target&) override { return 0; }
    void Open(int, const Target&, LinkWords& words) override {
        const ProgressStyle style =
            inv_.quiet ? ProgressStyle::None : io_.errIsTerminal ? ProgressStyle::Bar : ProgressStyle::Lines;
        words.out = LinkOutput{inv_.json ? &io_.err : &io_.out, &io_.err, nullptr, style, io_.canAsk};
    }
    void Step(int, const Recipe& recipe, std::size_t step, LinkOutput&) override {
        if (!inv_.quiet) io_.err << "praxdl: " << StepText(recipe, step) << '\n' << std::flush;
    }
    void Finish(int, const Ending& e) override {
        if (e.steps == 0) return;
        if (e.stepsDone == e.steps) io_.err << "praxdl: all " << e.steps << " steps done\n";
        else io_.err << "praxdl: the recipe ended at step " << e.failedStep << "; steps done: " << e.stepsDone << " of " << e.steps << '\n';
    }
    void End(const std::vector<Ending>&, int) override {}

private:
    const Invocation& inv_;
    Streams& io_;
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

// Several printers: a row each on standard error while they run, the table at the end.
class BoardReporter final : public Reporter {
public:
    BoardReporter(const Invocation& inv, Streams& io, Board::Style style)
        : inv_(inv), io_(io), board_(io.err, style) {}

    int Add(const Target& target) override { return board_.AddRow(target.Label()); }
    void Open(int row, const Target&, LinkWords& words) override {
        words.rowErr =
            std::make_unique<LineStream>([this, row](const std::string& line) { board_.Message(row, line); });
        const auto progress = [this, row](std::int64_t sent, std::int64_t total) { board_.Progress(row, sent, total); };
        words.out = LinkOutput{nullptr, words.rowErr.get(), nullptr, ProgressStyle::None, false, {}, progress};
    }
    void Step(int row, const Recipe& recipe, std::size_t step, LinkOutput&) override {
        board_.Step(row, StepText(recipe, step));
    }
    void Finish(int row, const Ending& e) override {
        board_.Finish(row, e.steps ? StepReached(e) + "  " + OutcomeText(e) : OutcomeText(e));
    }
    void End(const std::vector<Ending>& endings, int) override {
        board_.Close();
        std::vector<SummaryRow> rows;
        for (const Ending& e : endings)
            rows.push_back({e.connection, e.device, OutcomeWord(e.outcome), e.delivered, e.status, e.seconds,
                            e.outcome == Outcome::Done && e.exitCode == kExitDone, StepReached(e)});
        std::ostream& human = inv_.json ? io_.err : io_.out;
        // A station that served nobody has no table to show.
        if (!rows.empty() || !inv_.watch) human << SummaryTable(rows) << std::flush;
    }

private:
    const Invocation& inv_;
    Streams& io_;
    Board board_;
};

// --json: standard output's objects over the person's words, which go to standard error.
class JsonReporter final : public Reporter {
public:
    JsonReporter(std::unique_ptr<Reporter> person, const Invocation& inv, Streams& io, bool line)
        : person_(std::move(person)), inv_(inv), io_(io), line_(line) {}

    int Add(const Target& target) override { return person_->Add(target); }
    void Open(int row, const Target& target, LinkWords& words) override {
        person_->Open(row, target, words);
        if (!line_) {
            words.out.json = &io_.out;
            return;
        }
        // Several links write at once: each object goes whole, and names its connection.
        words.rowJson = std::make_unique<LineStream>([this](const std::string& line) { Write(line + "\n"); });
        words.out.json = words.rowJson.get();
        words.out.label = target.Label();
        const std::lock_guard<std::mutex> lock(mutex_);
        labels_[row] = words.out.label;
    }
    void Step(int row, const Recipe& recipe, std::size_t step, LinkOutput& out) override {
        person_->Step(row, recipe, step, out);
    }
    void StepEnded(int row, const Recipe& recipe, std::size_t step, const Ending& e) override {
        person_->StepEnded(row, recipe, step, e);
        const RecipeStep& done = recipe.steps[step - 1];
        std::string label;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            label = labels_[row];
        }
        JsonObject object = ResultObject(done.inv.command, e, "step");
        object.AddAfterEvent("connection", label).AddStepAfterEvent(step, done.kind);
        // When it ended, from the run's start: the time between two steps is there to see.
        const double at = std::chrono::duration<double>(Clock::now() - started_).count();
        Write(object.Add("seconds", e.seconds, 3).Add("at", at, 3).Line());
    }
    void Finish(int row, const Ending& e) override {
        person_->Finish(row, e);
        std::ostringstream result;
        WriteResult(result, inv_.command, e);
        Write(result.str());
    }
    void End(const std::vector<Ending>& endings, int code) override {
        person_->End(endings, code);
        if (!line_) return;
        std::int64_t done = 0;
        for (const Ending& e : endings) done += e.outcome == Outcome::Done && e.exitCode == kExitDone;
        const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
        Write(JsonObject("summary")
                  .Add("operation", inv_.command)
                  .Add("printers", static_cast<std::int64_t>(endings.size()))
                  .Add("done", done)
                  .Add("failed", static_cast<std::int64_t>(endings.size()) - done)
                  .Add("exit", std::int64_t{code})
                  .Add("seconds", seconds, 3)
                  .Line());
    }

private:
    using Clock = std::chrono::steady_clock;

    void Write(const std::string& line) {
        const std::lock_guard<std::mutex> lock(mutex_);
        io_.out << line << std::flush;
    }

    std::unique_ptr<Reporter> person_;
    const Invocation& inv_;
    Streams& io_;
    const bool line_;
    const Clock::time_point started_ = Clock::now();
    std::mutex mutex_;
    std::map<int, std::string> labels_;
};

}  // namespace

std::unique_ptr<Reporter> MakeReporter(const Invocation& inv, Streams& io, Shape shape, bool recipe) {
    std::unique_ptr<Reporter> person;
    if (shape == Shape::One) {
        person = std::make_unique<TerminalReporter>(inv, io);
    } else {
        // One line per printer as it ends in a station; rows of printers that come and go would
        // only scroll.
        const Board::Style style = shape == Shape::Station ? Board::Style::None
                                   : inv.quiet             ? Board::Style::None
                                   : io.errIsTerminal      ? Board::Style::Rows
                                                           : Board::Style::Lines;
        person = std::make_unique<BoardReporter>(inv, io, style);
    }
    if (!inv.json) return person;
    return std::make_unique<JsonReporter>(std::move(person), inv, io, shape != Shape::One || recipe);
}

}  // namespace prax::cli
