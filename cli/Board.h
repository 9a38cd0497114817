// What a person sees while praxdl serves several printers at once: a row per connection with its
// bar (or plain lines when standard error is not a terminal), the messages each link's operator
// shows, and the table at the end. Every link's thread reports here; it only draws.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <mutex>
#include <string>
#include <vector>

#include "cli/ProgressBar.h"

namespace prax::cli {

class Board {
public:
    using Clock = std::chrono::steady_clock;
    // None: --quiet (messages and outcomes only); Rows: a terminal, redrawn in place; Lines: a
    // pipe or a file, so no escape sequences, and progress only every tenth.
    enum class Style { None, Rows, Lines };

    // `width` is asked at every draw (the terminal may be resized while printers run); unset, it
    // is standard error's terminal.
    Board(std::ostream& err, Style style, std::function<int()> width = {},
          std::function<Clock::time_point()> clock = Clock::now);
    ~Board() { Close(); }
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    // A row for a connection; its index. Rows come while others run (a printer plugged in).
    int AddRow(const std::string& label);
    // The body's position: bytes sent of total.
    void Progress(int row, std::int64_t sent, std::int64_t total);
    // A recipe's row goes on to its next step ("3/6 font TB"): shown before the step's bar, which
    // starts again from "waiting".
    void Step(int row, const std::string& step);
    // A line the link's operator printed, shown as "label: line" above the rows.
    void Message(int row, const std::string& line);
    // The outcome ("done  1000 Bytes  CRC=374B", "open-failed") replaces the row's bar; the row stays.
    void Finish(int row, const std::string& outcome);
    // Ends the drawing with the cursor on a fresh line below the rows. Messages and outcomes after
    // it are printed as plain lines; progress is no longer shown.
    void Close();

    // Progress redraws no more often than this, unless a row's percentage moved.
    static constexpr std::chrono::milliseconds kRedrawEvery{200};

private:
    struct Row {
        std::string label;
        std::int64_t sent = 0, total = 0;
        bool started = false;   // a position came: the bar replaces "waiting"
        bool finished = false;  // `outcome` replaces the bar
        std::string outcome;
        std::string step;
        RateMeter meter;
        int drawnPercent = -1;
        int lineTenth = -1;  // Lines style: the tenth last printed
    };

    bool Valid(int row) const { return row >= 0 && static_cast<std::size_t>(row) < rows_.size(); }
    // "label: text\n" for every line of `text`.
    std::string Plain(const Row& row, const std::string& text) const;
    // Rows style: every row again in place, with `above` (whole lines) printed above them.
    void Redraw(Clock::time_point now, const std::string& above = {});
    // Rows style: every row, each cleared to its end and followed by a newline.
    std::string DrawnRows(Clock::time_point now);
    void Write(const std::string& text);

    std::mutex mutex_;
    std::ostream& err_;
    Style style_;
    std::function<int()> width_;
    std::function<Clock::time_point()> clock_;
    std::vector<Row> rows_;
    int drawn_ = 0;  // rows on the screen below the cursor's first row
    bool closed_ = false;
    Clock::time_point lastDraw_{};
};

struct SummaryRow {
    std::string connection, device, outcome;  // device: what the link opened ("" when nothing)
    std::uint64_t delivered = 0;
    std::string status;  // the status text with the CRC, e.g. "1000 Bytes  CRC=374B"; may be empty
    double seconds = 0;
    bool done = false;
    std::string step{};  // a recipe's: the steps done of all ("6/6"), or the one it ended on
};

// `cells` in aligned columns, two blanks apart, each right-aligned where `right` says; the last
// column is free text and not padded.
std::string Columns(const std::vector<std::vector<std::string>>& cells, const std::vector<bool>& right);

// A header and a row per connection in aligned columns (connection, device, outcome, bytes,
// seconds, status; the status last as it is free text), then "3 of 4 printers done".
std::string SummaryTable(const std::vector<SummaryRow>& rows);

}  // namespace prax::cli
