#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <vector>

#include "cli/Interrupt.h"
#include "cli/Praxdl.h"
#include "cli/ProgressBar.h"
#include "cli/TerminalOperator.h"

using namespace prax::cli;
using prax::platform::IDNO_;
using prax::platform::IDYES_;
using prax::platform::MB_YESNO_;

namespace {
const std::string kStall = "Continue ? \r\n[Y] Continue \r\n[N] Stop";

using Clock = TerminalOperator::Clock;
using std::chrono::milliseconds;

// Keeps each write to the stream apart, as the terminal gets them.
struct Writes : std::streambuf {
    std::vector<std::string> chunks;
    std::string all;
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        all += chunks.emplace_back(s, static_cast<std::size_t>(n));
        return n;
    }
    int_type overflow(int_type c) override {
        const char one = traits_type::to_char_type(c);
        return xsputn(&one, 1), c;
    }
};

// A bar operator on a clock and a width the test moves by hand.
struct FakeTerminal {
    Writes writes;
    std::ostream err{&writes};
    TerminalOperator ui{err, ProgressStyle::Bar};
    Clock::time_point now{std::chrono::hours(1)};
    int width = 80;
    FakeTerminal() {
        ui.SetClock([this] { return now; });
        ui.SetWidth([this] { return width; });
    }
    // Moves the clock, then reports the position.
    void At(int ms, std::int32_t position) {
        now += milliseconds(ms);
        ui.SetProgressPosition(position);
    }
};

std::string Draw(int width, std::int64_t sent, std::int64_t total, double rate) {
    return "\r" + BarLine(width, sent, total, rate) + "\x1b[K";
}
}  // namespace

TEST(ProgressBar, UnitsAndDurations) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const auto& [bytes, text] : std::vector<std::pair<std::int64_t, std::string>>{
             {-5, "0 B"}, {0, "0 B"}, {1023, "1023 B"}, {1024, "1.0 KiB"}, {1258291, "1.2 MiB"},
             {1048575, "1.0 MiB"}, {33554432, "32.0 MiB"}, {1610612736, "1.5 GiB"}})
        EXPECT_EQ(FormatBytes(bytes), text) << bytes;
    for (const auto& [rate, text] : std::vector<std::pair<double, std::string>>{
             {0, "0 B/s"}, {512.4, "512 B/s"}, {1023.7, "1.0 KiB/s"}, {11571.2, "11.3 KiB/s"},
             {1153433.6, "1.1 MiB/s"}, {-3, "0 B/s"}, {nan, "0 B/s"}, {inf, "0 B/s"}})
        EXPECT_EQ(FormatRate(rate), text) << rate;
    for (const auto& [seconds, text] : std::vector<std::pair<double, std::string>>{
             {0, "0:00"}, {42, "0:42"}, {59.6, "1:00"}, {725, "12:05"}, {3723, "1:02:03"},
             {99 * 3600 + 3599, "99:59:59"}, {100 * 3600, "--:--"}, {-1, "--:--"}, {nan, "--:--"}, {inf, "--:--"}})
        EXPECT_EQ(FormatDuration(seconds), text) << seconds;
}

TEST(ProgressBar, LineFitsTheWidthAndDropsTimeLeftThenRateThenBytesThenBar) {
    const std::int64_t total = 32 << 20, sent = 12 << 20;
    const double rate = 11571.2;
    EXPECT_EQ(BarLine(80, sent, total, rate),
              "[#########                 ]  37%  12.0 MiB of 32.0 MiB  11.3 KiB/s  30:12 left");
    EXPECT_EQ(BarLine(80, 0, total, 0),
              "[                          ]   0%       0 B of 32.0 MiB      -- B/s  --:-- left");
    EXPECT_EQ(BarLine(20, total, total, rate), "[############] 100%");
    struct Case {
        int width;
        bool bar, bytes, rate, left;
    } cases[] = {
        {200, true, true, true, true}, {80, true, true, true, true},   {66, true, true, true, true},
        {60, true, true, true, false}, {40, true, true, false, false}, {20, true, false, false, false},
        {10, false, false, false, false},
    };
    for (const Case& c : cases) {
        const std::string line = BarLine(c.width, sent, total, rate);
        SCOPED_TRACE(std::to_string(c.width) + ": " + line);
        // The last column stays free: a character there leaves the cursor waiting to wrap.
        EXPECT_LE(line.size(), static_cast<std::size_t>(c.width - 1));
        EXPECT_NE(line.find(" 37%"), std::string::npos);
        EXPECT_EQ(line.find("[#") != std::string::npos, c.bar);
        EXPECT_EQ(line.find("12.0 MiB of 32.0 MiB") != std::string::npos, c.bytes);
        EXPECT_EQ(line.find("11.3 KiB/s") != std::string::npos, c.rate);
        EXPECT_EQ(line.find("30:12 left") != std::string::npos, c.left);
    }
    EXPECT_EQ(BarLine(4, sent, total, rate), "37%");
    EXPECT_EQ(BarLine(1, sent, total, rate), "");
    EXPECT_EQ(BarLine(0, sent, total, rate), "");
}

TEST(RateMeter, ShowsTheRateOfTheLastSecondsNotTheAverageSinceTheStart) {
    RateMeter meter;
    Clock::time_point t{};
    std::int64_t position = 0;
    meter.Start(t, position);
    // Fast: a KiB every millisecond for 5 s, reported at every block.
    for (int i = 0; i < 5000; ++i) {
        t += milliseconds(1);
        meter.Add(t, position += 1024);
        if (i == 300) {
            EXPECT_EQ(meter.BytesPerSecond(), 0.0) << "not yet half a second";
        }
    }
    EXPECT_DOUBLE_EQ(meter.BytesPerSecond(), 1024000.0);
    // Slow: a KiB every 100 ms. A second in, the window still holds some of the fast phase.
    auto slowFor = [&](int ms) {
        for (int i = 0; i < ms / 100; ++i) {
            t += milliseconds(100);
            meter.Add(t, position += 1024);
        }
    };
    slowFor(1000);
    EXPECT_GT(meter.BytesPerSecond(), 100000.0);
    slowFor(2500);
    EXPECT_DOUBLE_EQ(meter.BytesPerSecond(), 10240.0);
    // A count that goes back is a new transfer: nothing measured yet.
    meter.Add(t + milliseconds(100), 0);
    EXPECT_EQ(meter.BytesPerSecond(), 0.0);
}

TEST(TerminalOperator, BarIsRedrawnAtTheNewWidthAfterAResize) {
    FakeTerminal term;
    term.ui.ShowProgress();
    term.ui.SetProgressMax(10000);
    term.At(0, 0);
    // 1000 bytes a second; within a percent and a fifth of a second nothing is drawn again.
    for (int i = 1; i <= 10; ++i) term.At(100, i * 100);
    term.At(50, 1005);
    std::string want = Draw(80, 0, 10000, 0) + Draw(80, 100, 10000, 0);
    for (int i = 2; i <= 10; ++i) want += Draw(80, i * 100, 10000, i < 5 ? 0 : 1000);
    EXPECT_EQ(term.writes.all, want);
    EXPECT_NE(want.find("1000 B/s   0:09 left"), std::string::npos) << want;
    // Each line goes in one write, so the terminal never shows half of one.
    EXPECT_EQ(term.writes.chunks.size(), 11u);
    EXPECT_EQ(term.writes.chunks.back(), Draw(80, 1000, 10000, 1000));

#if !defined(_WIN32)  // a console sends no resize signal
    term.width = 40;
    InstallResizeHandler();
    std::raise(SIGWINCH);
    EXPECT_EQ(gWindowResized, 1);
    term.At(50, 1010);  // would be too soon but for the resize
    want += Draw(40, 1010, 10000, 1010 / 1.1);
    term.ui.HideProgress();  // the line shows the position reached already
    want += "\n";
    EXPECT_EQ(term.writes.all, want);
    EXPECT_EQ(gWindowResized, 0);
#endif
}

TEST(TerminalOperator, MessagesAndQuestionsFollowTheBarUpToDateOnLinesOfTheirOwn) {
    FakeTerminal term;
    term.width = 60;
    term.ui.SetAnswers(std::nullopt, false);
    term.ui.ShowProgress();
    term.ui.SetProgressMax(1000);
    term.At(0, 100);
    term.At(10, 105);  // not drawn: same percent, too soon
    EXPECT_EQ(term.writes.all, Draw(60, 100, 1000, 0));
    EXPECT_EQ(term.ui.Ask("Retry again?", "Time-out", MB_YESNO_), IDNO_);
    term.At(10, 106);  // the bar starts again on the next line at once
    EXPECT_EQ(term.writes.all.substr(term.writes.all.rfind('\n') + 1), Draw(60, 106, 1000, 0));
    term.ui.ShowMessage("Can't open port");
    term.At(10, 107);
    // Interrupted: the last bar shows the position reached; praxdl's message comes after it.
    term.At(10, 108);  // not drawn: too soon
    term.ui.HideProgress();
    EXPECT_EQ(term.writes.chunks.back(), Draw(60, 108, 1000, 0) + "\n");
    term.ui.HideProgress();
    EXPECT_EQ(term.writes.all, Draw(60, 100, 1000, 0) + Draw(60, 105, 1000, 0) +
                                  "\nTime-out: Retry again? -> No (nobody to ask)\n" + Draw(60, 106, 1000, 0) +
                                  "\nCan't open port\n" + Draw(60, 107, 1000, 0) + Draw(60, 108, 1000, 0) + "\n");
}

TEST(TerminalOperator, YesInAdvanceEndsAfterThirtyAsksInARow) {
    std::ostringstream err;
    TerminalOperator ui(err, ProgressStyle::None);
    ui.SetAnswers(true, false);
    for (int i = 0; i < TerminalOperator::kMaxPresetYes; ++i)
        ASSERT_EQ(ui.Ask(kStall, "IO Error (ERROR_IO_PENDING)", MB_YESNO_), IDYES_) << i;
    EXPECT_EQ(ui.Ask(kStall, "IO Error (ERROR_IO_PENDING)", MB_YESNO_), IDNO_);
    EXPECT_NE(err.str().find("-> No (asked too often)"), std::string::npos);
    // After a No the count starts again: a later, separate stall gets its Yes.
    EXPECT_EQ(ui.Ask("Retry again?", "Time-out", MB_YESNO_), IDYES_);
}

TEST(TerminalOperator, NobodyToAskMeansNoAndSaysSo) {
    std::ostringstream err;
    TerminalOperator ui(err, ProgressStyle::None);
    ui.SetAnswers(std::nullopt, false);
    EXPECT_EQ(ui.Ask("Retry again?", "Time-out", MB_YESNO_), IDNO_);
    EXPECT_EQ(err.str(), "Time-out: Retry again? -> No (nobody to ask)\n");
    std::ostringstream err2;
    TerminalOperator no(err2, ProgressStyle::None);
    no.SetAnswers(false, true);
    EXPECT_EQ(no.Ask(kStall, "IO Error (ERROR_IO_PENDING)", MB_YESNO_), IDNO_);
    EXPECT_EQ(err2.str(), "IO Error (ERROR_IO_PENDING): Continue ? [Y] Continue [N] Stop -> No\n");
}

TEST(TerminalOperator, HintGoesOnlyUnderOpenFailures) {
    std::ostringstream err;
    TerminalOperator ui(err, ProgressStyle::None);
    int asked = 0;
    ui.SetOpenHint([&] {
        ++asked;
        return std::string("/dev/ttyS2: Permission denied");
    });
    ui.ShowMessage("Open port failed");
    ui.ShowMessage("Can't open port");
    ui.ShowMessage("'x' is not a valid integer value");
    EXPECT_EQ(err.str(),
              "Open port failed\n  /dev/ttyS2: Permission denied\nCan't open port\n"
              "  /dev/ttyS2: Permission denied\n'x' is not a valid integer value\n");
    EXPECT_EQ(asked, 2);
}

TEST(TerminalOperator, PlainProgressLinesComeAtEachTenthAndCountWhatWent) {
    std::ostringstream err;
    TerminalOperator ui(err, ProgressStyle::Lines);
    ui.ShowProgress();
    ui.SetProgressMax(1000);
    ui.SetProgressPosition(0);
    // As the transfer reports each step: the bytes that went, then the gauge one ahead.
    for (int sent = 100; sent <= 1000; sent += 100) {
        ui.BodySent(sent);
        ui.SetProgressPosition(sent + 1);
    }
    ui.HideProgress();
    std::istringstream lines(err.str());
    std::string line;
    std::vector<std::string> all;
    while (std::getline(lines, line)) all.push_back(line);
    ASSERT_EQ(all.size(), 11u);
    EXPECT_EQ(all[0], "0 of 1000 bytes (0%)");
    EXPECT_EQ(all[5], "500 of 1000 bytes (50%)");
    EXPECT_EQ(all[10], "1000 of 1000 bytes (100%)");
    EXPECT_EQ(ui.ProgressPosition(), 1000);
}

TEST(TerminalOperator, QuietDrawsNothing) {
    std::ostringstream err;
    TerminalOperator ui(err, ProgressStyle::None);
    ui.ShowProgress();
    ui.SetProgressMax(10);
    ui.SetProgressPosition(5);
    ui.HideProgress();
    EXPECT_EQ(err.str(), "");
}

#if !defined(_WIN32)  // Linux device names; the Windows list is tried under Wine
TEST(Praxdl, PortsListsWhatEachConnectionOpensHere) {
    setenv("PRAX_COM2", "/nonexistent/tty-two", 1);
    setenv("PRAX_LPT1", "/dev/null", 1);
    std::istringstream in;
    std::ostringstream out, err;
    Streams io{in, out, err};
    EXPECT_EQ(RunPraxdl({"ports"}, io), kExitDone);
    const std::string text = out.str();
    EXPECT_NE(text.find("COM2 115200  /nonexistent/tty-two  absent"), std::string::npos) << text;
    EXPECT_NE(text.find("LPT1         /dev/null  present"), std::string::npos) << text;
    EXPECT_NE(text.find("COM1 115200  "), std::string::npos);
    // One line per connection; the printers found below the USB line are indented.
    std::istringstream lines(text);
    int connections = 0;
    for (std::string line; std::getline(lines, line);) connections += line.rfind("  ", 0) != 0;
    EXPECT_EQ(connections, 10);
    unsetenv("PRAX_COM2");
    unsetenv("PRAX_LPT1");
}
#endif

TEST(Praxdl, HelpIsNotAnError) {
    std::istringstream in;
    std::ostringstream out, err;
    Streams io{in, out, err};
    EXPECT_EQ(RunPraxdl({"--help"}, io), kExitDone);
    EXPECT_NE(out.str().find("Usage: praxdl [OPTIONS] COMMAND"), std::string::npos);
}
