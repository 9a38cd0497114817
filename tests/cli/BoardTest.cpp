#include <gtest/gtest.h>

#include <sstream>
#include <thread>
#include <vector>

#include "cli/Board.h"
#include "cli/ProgressBar.h"

using namespace prax::cli;
using std::chrono::milliseconds;

namespace {
// A board on a clock and a width the test moves by hand; `Take` hands over what was written since.
struct Fake {
    std::ostringstream err;
    Board::Clock::time_point now{std::chrono::hours(1)};
    int width = 60;
    Board board;
    explicit Fake(Board::Style style) : board(err, style, [this] { return width; }, [this] { return now; }) {}
    std::string Take() {
        std::string text = err.str();
        err.str({});
        return text;
    }
};

std::string Row(const std::string& paddedLabel, const std::string& body) {
    return paddedLabel + "  " + body + "\x1b[K\n";
}
}  // namespace

TEST(Board, LinesPrintEveryTenthOnceWithTheLabel) {
    Fake fake(Board::Style::Lines);
    fake.board.AddRow("pts3");
    fake.board.AddRow("COM3 115200");
    struct Step {
        int row;
        std::int64_t sent, total;
        std::string out;
    };
    for (const Step& step : std::vector<Step>{
             {0, 0, 1000, "pts3: 0 of 1000 bytes (0%)\n"},
             {0, 99, 1000, ""},
             {1, 5, 50, "COM3 115200: 5 of 50 bytes (10%)\n"},
             {0, 100, 1000, "pts3: 100 of 1000 bytes (10%)\n"},
             {0, 199, 1000, ""},
             {0, 950, 1000, "pts3: 950 of 1000 bytes (95%)\n"},
             {0, 1200, 1000, "pts3: 1000 of 1000 bytes (100%)\n"},
             {0, 1000, 1000, ""},
             {1, 9, 50, ""},
             {1, 0, 0, "COM3 115200: 0 of 0 bytes (0%)\n"},
         }) {
        fake.board.Progress(step.row, step.sent, step.total);
        EXPECT_EQ(fake.Take(), step.out) << step.row << " " << step.sent;
    }
    fake.board.Message(1, "Continue ?\r\n[Y] Continue\r\n");
    fake.board.Finish(0, "done  1000 Bytes  CRC=374B");
    fake.board.Close();
    EXPECT_EQ(fake.Take(), "COM3 115200: Continue ?\nCOM3 115200: [Y] Continue\npts3: done  1000 Bytes  CRC=374B\n");
}

TEST(Board, NoneShowsMessagesAndOutcomesButNoProgress) {
    Fake fake(Board::Style::None);
    const int row = fake.board.AddRow("pts3");
    for (std::int64_t sent : {0, 500, 1000}) fake.board.Progress(row, sent, 1000);
    fake.board.Message(row, "Printer not ready");
    fake.board.Finish(row, "stopped");
    EXPECT_EQ(fake.Take(), "pts3: Printer not ready\npts3: stopped\n");
}

TEST(Board, RowsRedrawInPlaceAtMostFiveTimesASecondUnlessThePercentageMoved) {
    Fake fake(Board::Style::Rows);
    fake.board.AddRow("pts3");
    EXPECT_EQ(fake.Take(), Row("pts3", "waiting"));  // first draw: nothing above to go back to
    fake.board.AddRow("COM3 115200");
    const std::string waiting1 = Row("COM3 115200", "waiting");
    EXPECT_EQ(fake.Take(), "\r\x1b[1A" + Row("pts3       ", "waiting") + waiting1);
    const auto bar = [](std::int64_t sent) { return Row("pts3       ", BarLine(60 - 13, sent, 1000, 0)); };

    fake.board.Progress(0, 500, 1000);
    EXPECT_EQ(fake.Take(), "\r\x1b[2A" + bar(500) + waiting1);
    fake.now += milliseconds(50);
    fake.board.Progress(0, 505, 1000);
    EXPECT_EQ(fake.Take(), "");  // same percentage, too soon
    fake.board.Progress(0, 510, 1000);
    EXPECT_EQ(fake.Take(), "\r\x1b[2A" + bar(510) + waiting1);
    fake.now += milliseconds(200);
    fake.board.Progress(0, 515, 1000);
    EXPECT_EQ(fake.Take(), "\r\x1b[2A" + bar(515) + waiting1);

    fake.board.Message(1, "cannot open COM3");
    EXPECT_EQ(fake.Take(), "\r\x1b[2A\x1b[J" "COM3 115200: cannot open COM3\n" + bar(515) + waiting1);
    fake.board.Finish(1, "open-failed");
    EXPECT_EQ(fake.Take(), "\r\x1b[2A" + bar(515) + Row("COM3 115200", "open-failed"));

    fake.now += milliseconds(10);
    fake.board.Progress(0, 519, 1000);  // held back, then shown by Close
    EXPECT_EQ(fake.Take(), "");
    fake.board.Close();
    fake.board.Close();
    EXPECT_EQ(fake.Take(), "\r\x1b[2A" + bar(519) + Row("COM3 115200", "open-failed"));
    fake.board.Progress(0, 1000, 1000);
    fake.board.Message(0, "late");
    EXPECT_EQ(fake.Take(), "pts3: late\n");
}

TEST(Board, RowsNeverReachTheLastColumnAndCutLongLabels) {
    for (int width : {0, 8, 20, 33, 80, 200}) {
        Fake fake(Board::Style::Rows);
        fake.width = width;
        fake.board.AddRow("10.0.0.7:9100 on the second line");
        fake.board.AddRow("pts3");
        fake.board.Progress(1, 400, 1000);
        fake.board.Finish(0, "done  1048576 Bytes  CRC=374B and a status text that goes on and on");
        std::istringstream lines(fake.Take());
        const int columns = width > 0 ? width : 80;
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("\r\x1b[", 0) == 0) line.erase(0, line.find('A') + 1);
            ASSERT_GE(line.size(), 3u);
            EXPECT_EQ(line.substr(line.size() - 3), "\x1b[K");
            EXPECT_LE(static_cast<int>(line.size()) - 3, columns - 1) << width << ": " << line;
        }
    }
    Fake fake(Board::Style::Rows);
    fake.width = 30;
    fake.board.AddRow("COM3 115200");
    EXPECT_EQ(fake.Take(), Row("COM3 11...", "waiting"));
}

TEST(Board, SummaryTableAlignsColumnsAndCountsThePrintersDone) {
    EXPECT_EQ(SummaryTable({{"/dev/pts/3", "/dev/pts/3", "done", 1000, "1000 Bytes  CRC=374B", 1.5, true},
                            {"COM3 115200 the long one", "", "open-failed", 0, "", 0, false}}),
              "connection                device      outcome      bytes  seconds  status\n"
              "/dev/pts/3                /dev/pts/3  done          1000      1.5  1000 Bytes  CRC=374B\n"
              "COM3 115200 the long one  -           open-failed      0      0.0\n"
              "1 of 2 printers done\n");
    EXPECT_EQ(SummaryTable({{"USB", "/dev/usb/lp0", "done", 12, "", 0.34, true}}),
              "connection  device        outcome  bytes  seconds  status\n"
              "USB         /dev/usb/lp0  done        12      0.3\n"
              "1 of 1 printer done\n");
    // A recipe's rows tell the step reached.
    EXPECT_EQ(SummaryTable({{"A", "a", "done", 9, "", 1, true, "6/6"}, {"B", "b", "stopped", 5, "", 1, false, "3/6 font TB"}}),
              "connection  device  outcome  step         bytes  seconds  status\n"
              "A           a       done     6/6              9      1.0\n"
              "B           b       stopped  3/6 font TB      5      1.0\n"
              "1 of 2 printers done\n");
}

// A recipe's row shows its step before the step's own bar, which starts again at each step; a
// pipe gets the step as a line.
TEST(Board, AStepShowsBeforeItsBar) {
    Fake rows(Board::Style::Rows);
    rows.board.AddRow("pts3");
    rows.board.Progress(0, 50, 100);
    rows.Take();
    rows.board.Step(0, "2/3 font TB");
    EXPECT_EQ(rows.Take(), "\r\x1b[1A" + Row("pts3", "2/3 font TB  waiting"));
    Fake lines(Board::Style::Lines);
    lines.board.AddRow("pts3");
    lines.board.Step(0, "2/3 font TB");
    EXPECT_EQ(lines.Take(), "pts3: 2/3 font TB\n");
}

TEST(Board, LinesFromManyThreadsStayWhole) {
    Fake fake(Board::Style::Lines);
    std::vector<std::thread> links;
    for (int i = 0; i < 4; ++i) {
        const int row = fake.board.AddRow("link" + std::to_string(i));
        links.emplace_back([&board = fake.board, row] {
            for (int n = 0; n < 1000; ++n)
                n % 2 ? board.Message(row, "message " + std::to_string(n)) : board.Progress(row, n, 1000);
        });
    }
    for (auto& link : links) link.join();
    const std::string all = fake.Take();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back(), '\n');
    std::istringstream lines(all);
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        ASSERT_EQ(line.rfind("link", 0), 0u) << line;
        ASSERT_EQ(line.substr(5, 2), ": ") << line;
    }
    EXPECT_EQ(count, 4 * (500 + 10));  // every message, and each tenth once
}
