#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/TCom.h"
#include "platform/fake/FakePlatform.h"
#include "protocol/Commands.h"
#include "tests/support/Recorder.h"

using namespace prax::protocol;
using prax::platform::fake::FakePlatform;
using prax::platform::fake::kForever;
using prax::testing::Recorder;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override { prax::link::quietStall() = true; }
    Context ctx() { return Context{host, ui, [this] { return port; }, status}; }
    FakePlatform host;
    Recorder ui;
    std::string status = "earlier";
    int port = 3;
};

}  // namespace

TEST_F(CommandsTest, EachFixedCommandIsOneWriteOfItsExactBytes) {
    struct Case {
        PrinterCommand command;
        std::string bytes;
    };
    for (const Case& c : {Case{PrinterCommand::ChangeMode, "~~INTERNALCOMMANDCA\r\n"},
                          Case{PrinterCommand::InitializePrinter, "^default\r\n"},
                          Case{PrinterCommand::InitializeCutter, "^D1,5\r\n"}}) {
        FakePlatform h;
        Recorder r;
        std::string st;
        Context cx{h, r, [] { return 1; }, st};
        const Result res = SendPrinterCommand(cx, c.command);
        EXPECT_TRUE(res.ok());
        EXPECT_EQ(h.writes, std::vector<Bytes>{B(c.bytes)});
        EXPECT_EQ(h.CallNames().back(), "CloseHandle");
        EXPECT_TRUE(r.log.empty()) << "nothing is shown on success";
        EXPECT_TRUE(h.OpenHandles().empty());
    }
    EXPECT_EQ(CommandLineBytes(PrinterCommand::ChangeMode).size(), 21u);
}

TEST_F(CommandsTest, OpenFailureTexts) {
    host.failAllOpens = true;
    Context c = ctx();
    EXPECT_EQ(SendPrinterCommand(c, PrinterCommand::ChangeMode).outcome, Outcome::OpenFailed);
    SendPrinterCommand(c, PrinterCommand::InitializePrinter);
    SendPrinterCommand(c, PrinterCommand::InitializeCutter);
    SendLines(c, LineSource::Of({"x"}));
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"Can't open port", "Open port failed",
                                                     "Open port failed", "Open port failed"}));
    EXPECT_TRUE(host.writes.empty());
    EXPECT_EQ(status, "earlier");
}

TEST_F(CommandsTest, ThePortIsReadAtEachClick) {
    Context c = ctx();
    SendPrinterCommand(c, PrinterCommand::InitializePrinter);
    port = 0;
    SendPrinterCommand(c, PrinterCommand::InitializePrinter);
    ASSERT_EQ(host.Count("CreateFileA"), 2u);
    EXPECT_EQ(host.calls[0].text, "\\\\.\\COM3");
    EXPECT_EQ(host.writes, (std::vector<Bytes>{B("^default\r\n"), B("^default\r\n")}));
    std::vector<std::string> opened;
    for (const auto& call : host.calls)
        if (call.name == "CreateFileA") opened.push_back(call.text);
    EXPECT_EQ(opened, (std::vector<std::string>{"\\\\.\\COM3", "LPT1"}));
}

TEST_F(CommandsTest, LinesGoOneWriteEachWithCrLfAndEmptyLinesToo) {
    Context c = ctx();
    const std::vector<std::string> lines = {"first", "", "^last"};
    EXPECT_TRUE(SendLines(c, LineSource::Of(lines)).ok());
    EXPECT_EQ(host.writes, (std::vector<Bytes>{B("first\r\n"), B("\r\n"), B("^last\r\n")}));
    EXPECT_TRUE(host.OpenHandles().empty());
}

TEST_F(CommandsTest, NoLinesOpensAndClosesWithNothingWritten) {
    Context c = ctx();
    EXPECT_TRUE(SendLines(c, LineSource::Of({})).ok());
    EXPECT_EQ(host.Count("CreateFileA"), 1u);
    EXPECT_TRUE(host.writes.empty());
    EXPECT_TRUE(host.OpenHandles().empty());
}

TEST_F(CommandsTest, LineCountIsAskedBeforeEveryLine) {
    Context c = ctx();
    std::vector<std::string> lines = {"a", "b"};
    int asked = 0;
    LineSource src{[&] {
                       ++asked;
                       if (asked == 2) lines.push_back("c");  // the memo grew meanwhile
                       return static_cast<int>(lines.size());
                   },
                   [&](int i) { return lines[static_cast<std::size_t>(i)]; }};
    SendLines(c, src);
    EXPECT_EQ(host.writes.size(), 3u);
    EXPECT_EQ(asked, 4);
}

TEST_F(CommandsTest, APrinterThatStopsTakingLinesEndsTheSendingAndSaysHowFar) {
    host.stalls = {{0, kForever}};
    Context c = ctx();
    const std::vector<std::string> lines = {"one", "two", "three"};
    const Result r = SendLines(c, LineSource::Of(lines));
    EXPECT_EQ(r.outcome, Outcome::Stopped);
    EXPECT_EQ(host.writes.size(), 1u);
    EXPECT_EQ(r.delivered, 0u);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(host.OpenHandles().empty());
}
