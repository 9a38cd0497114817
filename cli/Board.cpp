#include "cli/Board.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <ostream>

#include "protocol/Fonts.h"

namespace prax::cli {

namespace {

int Percent(std::int64_t sent, std::int64_t total) {
    if (total <= 0) return 0;
    sent = std::clamp<std::int64_t>(sent, 0, total);
    return static_cast<int>(static_cast<long double>(sent) * 100 / total);
}

// At most `room` columns; a cut label ends in "..." so it doesn't pass for another device's name.
std::string Cut(const std::string& text, int room) {
    if (room <= 0) return {};
    const auto size = static_cast<std::size_t>(room);
    if (text.size() <= size) return text;
    return room > 3 ? text.substr(0, size - 3) + "..." : text.substr(0, size);
}

}  // namespace

Board::Board(std::ostream& err, Style style, std::function<int()> width, std::function<Clock::time_point()> clock)
    : err_(err), style_(style), width_(std::move(width)), clock_(std::move(clock)) {
    if (!clock_) clock_ = Clock::now;
}

int Board::AddRow(const std::string& label) {
    std::lock_guard lock(mutex_);
    rows_.push_back({});
    // A USB printer's identity comes from the device: shown, never obeyed, by the terminal.
    rows_.back().label = protocol::PrintableName(label);
    if (style_ == Style::Rows && !closed_) Redraw(clock_());
    return static_cast<int>(rows_.size()) - 1;
}

void Board::Progress(int index, std::int64_t sent, std::int64_t total) {
    std::lock_guard lock(mutex_);
    if (!Valid(index) || closed_ || style_ == Style::None) return;
    Row& row = rows_[static_cast<std::size_t>(index)];
    const auto now = clock_();
    row.sent = sent;
    row.total = total;
    row.started = true;
    row.meter.Add(now, sent);
    const int percent = Percent(sent, total);
    if (style_ == Style::Lines) {
        // A pipe gets a line a tenth, not a line a block: a log of a long transfer stays short.
        if (percent / 10 == row.lineTenth) return;
        row.lineTenth = percent / 10;
        const std::int64_t went =
            total > 0 ? std::clamp<std::int64_t>(sent, 0, total) : std::max<std::int64_t>(sent, 0);
        Write(row.label + ": " + std::to_string(went) + " of " + std::to_string(total) + " bytes (" +
              std::to_string(percent) + "%)\n");
        return;
    }
    if (percent == row.drawnPercent && now - lastDraw_ < kRedrawEvery) return;
    Redraw(now);
}

void Board::Step(int index, const std::string& step) {
    std::lock_guard lock(mutex_);
    if (!Valid(index) || style_ == Style::None) return;
    Row& row = rows_[static_cast<std::size_t>(index)];
    row.step = step;
    row.started = false;
    row.sent = row.total = 0;
    row.meter = RateMeter{};
    row.drawnPercent = row.lineTenth = -1;
    if (style_ == Style::Rows && !closed_) Redraw(clock_());
    else if (!closed_) Write(Plain(row, step));
}

void Board::Message(int index, const std::string& line) {
    std::lock_guard lock(mutex_);
    if (!Valid(index)) return;
    const std::string text = Plain(rows_[static_cast<std::size_t>(index)], line);
    if (style_ != Style::Rows || closed_) {
        Write(text);
        return;
    }
    Redraw(clock_(), text);
}

void Board::Finish(int index, const std::string& outcome) {
    std::lock_guard lock(mutex_);
    if (!Valid(index)) return;
    Row& row = rows_[static_cast<std::size_t>(index)];
    row.finished = true;
    row.outcome = outcome;
    if (style_ == Style::Rows && !closed_)
        Redraw(clock_());
    else
        Write(Plain(row, outcome));
}

void Board::Close() {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    // The last positions may have come too soon after a draw to be shown.
    if (style_ == Style::Rows && drawn_ > 0) Redraw(clock_());
    closed_ = true;
}

std::string Board::Plain(const Row& row, const std::string& text) const {
    // One label a line, so that every line of a log still says which printer it is about.
    std::string out;
    std::size_t begin = 0;
    std::size_t end = text.find_last_not_of("\r\n");
    const std::string body = end == std::string::npos ? std::string() : text.substr(0, end + 1);
    do {
        end = body.find('\n', begin);
        std::string part = body.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
        if (!part.empty() && part.back() == '\r') part.pop_back();
        out += row.label + ": " + part + "\n";
        begin = end + 1;
    } while (end != std::string::npos);
    return out;
}

void Board::Redraw(Clock::time_point now, const std::string& above) {
    // Back to the first row, all in one write so the terminal never shows half a board. Lines
    // above take the rows' place and the rows come again below them, so messages scroll up
    // above the bars like the lines of a log.
    std::string out;
    if (drawn_ > 0) out = "\r\x1b[" + std::to_string(drawn_) + "A" + (above.empty() ? "" : "\x1b[J");
    out += above;
    out += DrawnRows(now);
    Write(out);
}

std::string Board::DrawnRows(Clock::time_point now) {
    int width = width_ ? width_() : TerminalWidth(STDERR_FILENO);
    if (width <= 0) width = 80;
    // A long label (a serial port with its settings, a network address) leaves the bar its room.
    const int labelRoom = width / 3;
    std::size_t widest = 0;
    for (const Row& row : rows_) widest = std::max(widest, Cut(row.label, labelRoom).size());
    const int rest = width - static_cast<int>(widest) - 2;
    std::string out;
    for (Row& row : rows_) {
        std::string line = Cut(row.label, labelRoom);
        line.resize(widest, ' ');
        line += "  ";
        if (!row.step.empty() && !row.finished) line += Cut(row.step, rest / 3) + "  ";
        const int room = rest - static_cast<int>(line.size() - widest - 2);
        if (row.finished)
            line += Cut(row.outcome, rest - 1);
        else if (!row.started)
            line += Cut("waiting", room - 1);
        else
            line += BarLine(room, row.sent, row.total, row.meter.BytesPerSecond());
        // Nothing in the last column: the cursor would wait there to wrap, and the count of rows
        // to go up by would be wrong.
        if (line.size() > static_cast<std::size_t>(width - 1)) line.resize(static_cast<std::size_t>(width - 1));
        out += line + "\x1b[K\n";
        row.drawnPercent = row.started ? Percent(row.sent, row.total) : -1;
    }
    drawn_ = static_cast<int>(rows_.size());
    lastDraw_ = now;
    return out;
}

void Board::Write(const std::string& text) {
    // One write and a flush: another link's thread waits on the mutex, so lines never mix.
    err_ << text << std::flush;
}

std::string Columns(const std::vector<std::vector<std::string>>& cells, const std::vector<bool>& right) {
    std::vector<std::size_t> widths(right.size());
    for (const auto& line : cells)
        for (std::size_t i = 0; i < line.size() && i < widths.size(); ++i) widths[i] = std::max(widths[i], line[i].size());
    std::string out;
    for (const auto& line : cells) {
        std::string text;
        for (std::size_t i = 0; i < line.size() && i < widths.size(); ++i) {
            if (i > 0) text += "  ";
            const std::string pad(i + 1 < line.size() ? widths[i] - line[i].size() : 0, ' ');
            text += right[i] ? pad + line[i] : line[i] + pad;
        }
        text.erase(text.find_last_not_of(' ') + 1);
        out += text + "\n";
    }
    return out;
}

std::string SummaryTable(const std::vector<SummaryRow>& rows) {
    // A recipe's run also tells the step each printer reached.
    const bool steps = std::any_of(rows.begin(), rows.end(), [](const SummaryRow& row) { return !row.step.empty(); });
    std::vector<std::vector<std::string>> cells;
    cells.push_back({"connection", "device", "outcome"});
    if (steps) cells.back().push_back("step");
    cells.back().insert(cells.back().end(), {"bytes", "seconds", "status"});
    std::size_t done = 0;
    for (const SummaryRow& row : rows) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", row.seconds);
        cells.push_back({protocol::PrintableName(row.connection),
                         row.device.empty() ? "-" : protocol::PrintableName(row.device), row.outcome});
        if (steps) cells.back().push_back(row.step);
        cells.back().insert(cells.back().end(), {std::to_string(row.delivered), seconds, row.status});
        if (row.done) ++done;
    }
    // The numbers are right-aligned so their digits line up.
    std::vector<bool> right = {false, false, false, true, true, false};
    if (steps) right.insert(right.begin() + 3, false);
    return Columns(cells, right) + std::to_string(done) + " of " + std::to_string(rows.size()) +
           (rows.size() == 1 ? " printer" : " printers") + " done\n";
}

}  // namespace prax::cli
