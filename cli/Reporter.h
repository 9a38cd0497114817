// What a run tells as its printers go: where each link's words go while it runs, each printer's
// result, and the end of the run. The person's reporter speaks on the terminal (one printer by
// itself, or a board of rows and a table for a line of them); the JSON reporter adds standard
// output's objects over it.
#pragma once

#include <memory>
#include <ostream>
#include <vector>

#include "cli/Arguments.h"
#include "cli/Run.h"

namespace prax::cli {

struct Recipe;

// Where one link's words go while it runs: `out`, and the streams of a row of its own it points
// into, which live as long as the link runs.
struct LinkWords {
    std::unique_ptr<std::ostream> rowErr, rowJson;
    LinkOutput out;
};

class Reporter {
public:
    virtual ~Reporter() = default;
    // A row for `target`, in the order the printers were given (or came); its index.
    virtual int Add(const Target& target) = 0;
    // Where the link of `row` speaks while it runs.
    virtual void Open(int row, const Target& target, LinkWords& words) = 0;
    // The recipe of `row` goes on to `step` (from 1), which speaks through `out`.
    virtual void Step(int /*row*/, const Recipe& /*recipe*/, std::size_t /*step*/, LinkOutput& /*out*/) {}
    // That step ended as `e`, and its record is written.
    virtual void StepEnded(int /*row*/, const Recipe& /*recipe*/, std::size_t /*step*/, const Ending& /*e*/) {}
    // The link of `row` ended as `e`, and its record is written.
    virtual void Finish(int row, const Ending& e) = 0;
    // Every link ended, in the order of their rows; the run ends with `code`.
    virtual void End(const std::vector<Ending>& endings, int code) = 0;
};

// How the run shows its printers.
enum class Shape {
    One,      // one printer by itself: its link speaks on the terminal, and its result is the run's
    Line,     // several printers at once: a row each, and a table at the end
    Station,  // USB printers as they are plugged in: a line each as it ends, then the table
};

// The reporter of a run of that shape: the person's, under the JSON one with --json.
// A recipe's run tells every step with --json, even on one printer.
std::unique_ptr<Reporter> MakeReporter(const Invocation& inv, Streams& io, Shape shape, bool recipe = false);

}  // namespace prax::cli
