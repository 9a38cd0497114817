#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "cli/Praxdl.h"
#include "cli/TerminalOperator.h"

using namespace prax::cli;
using prax::platform::IDNO_;
using prax::platform::IDYES_;
using prax::platform::MB_YESNO_;

namespace {
const std::string kStall = "Continue ? \r\n[Y] Continue \r\n[N] Stop";
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

TEST(TerminalOperator, PlainProgressLinesComeAtEachTenthAndUseTheClampedPosition) {
    std::ostringstream err;
    TerminalOperator ui(err, ProgressStyle::Lines);
    ui.ShowProgress();
    ui.SetProgressMax(1000);
    ui.SetProgressPosition(0);
    for (int sent = 100; sent <= 1000; sent += 100) ui.SetProgressPosition(sent + 1);
    ui.HideProgress();
    std::istringstream lines(err.str());
    std::string line, last;
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        last = line;
    }
    EXPECT_EQ(count, 11);
    EXPECT_EQ(last, "1000 of 1000 bytes (100%)");
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

TEST(Praxdl, HelpIsNotAnError) {
    std::istringstream in;
    std::ostringstream out, err;
    Streams io{in, out, err};
    EXPECT_EQ(RunPraxdl({"--help"}, io), kExitDone);
    EXPECT_NE(out.str().find("Usage: praxdl [OPTIONS] COMMAND"), std::string::npos);
}
