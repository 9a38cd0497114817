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

namespace {

// The writes and the settings pauses in the order the host saw them, with the port's open and
// close and where the button went off and on again: "W:<bytes>", "S:300", "open", "close".
std::vector<std::string> SettingsTrace(const FakePlatform& h, const std::vector<std::string>& buttonLog) {
    std::vector<std::string> trace;
    std::size_t write = 0;
    std::size_t lastClose = 0;  // the port's; the others close each write's event
    for (std::size_t i = 0; i < h.calls.size(); ++i)
        if (h.calls[i].name == "CloseHandle") lastClose = i;
    for (std::size_t i = 0; i < h.calls.size(); ++i) {
        const auto& call = h.calls[i];
        if (call.name == "CreateFileA") trace.push_back("open");
        if (call.name == "CloseHandle" && i == lastClose) trace.push_back("close");
        if (call.name == "Sleep" && call.args[0] == kSettingsPauseMs) trace.push_back("S:300");
        if (call.name == "WriteFile") {
            const Bytes& w = h.writes[write++];
            trace.push_back("W:" + std::string(w.begin(), w.end()));
        }
        if (call.name == "CreateFileA" && !buttonLog.empty()) trace.push_back(buttonLog[0]);
    }
    if (buttonLog.size() > 1) trace.push_back(buttonLog[1]);
    return trace;
}

}  // namespace

TEST_F(CommandsTest, ChannelButtonsSendEightPacedLinesThatDifferOnlyInTheChannel) {
    for (const auto& [channel, line] : {std::pair{Channel::Ch00, "chan=0\r"}, std::pair{Channel::Ch25, "chan=25\r"},
                                        std::pair{Channel::Ch49, "chan=49\r"}}) {
        FakePlatform h;
        Recorder r;
        std::string st;
        Context cx{h, r, [] { return 1; }, st};
        std::vector<std::string> button;
        const std::int64_t start = h.now;
        ASSERT_TRUE(SendChannelSetup(cx, channel, [&](bool on) { button.push_back(on ? "button on" : "button off"); }).ok());
        std::vector<std::string> expected = {"open", "button off"};
        for (const std::string& l : {std::string("\x10\x04\r"), "pw=" + std::string(AccessCode()) + "\r",
                                    std::string(line), std::string("hop=0\r"), std::string("txp0=350\r"),
                                    std::string("txp1=350\r"), std::string("txp2=350\r"), std::string("txp3=350\r")}) {
            expected.push_back("W:" + l);
            expected.push_back("S:300");
        }
        expected.insert(expected.end(), {"close", "button on"});
        EXPECT_EQ(SettingsTrace(h, button), expected);
        EXPECT_GE(h.now - start, 2400);
        EXPECT_TRUE(r.log.empty());
    }
    EXPECT_EQ(std::string(AccessCode()).size(), 4u);
    EXPECT_EQ(ChannelSequence(Channel::Ch25, "1234")[1], "pw=1234\r");
}

TEST_F(CommandsTest, ReadToggleFollowsItsCaptionAndKeepsItOnlyWhenTheLinkWouldNotOpen) {
    struct Case {
        std::string caption;
        bool openFails;
        bool deviceDead;
        std::vector<std::string> trace;
        std::string after;
    };
    const std::vector<Case> cases = {
        {"continue read", false, false,
         {"open", "button off", "W:\x10\x04\r", "S:300", "W:rl\r", "S:300", "close", "button on"}, "Stop Read"},
        {"Stop Read", false, false, {"open", "button off", "W:\r", "S:300", "close", "button on"}, "continue read"},
        {"stop read", false, false,  // the comparison is exact: any other caption starts reading
         {"open", "button off", "W:\x10\x04\r", "S:300", "W:rl\r", "S:300", "close", "button on"}, "Stop Read"},
        {"Stop Read", true, false, {"open"}, "Stop Read"},
        {"continue read", false, true, {"open", "button off", "W:\x10\x04\r", "close", "button on"}, "Stop Read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption + (c.openFails ? " open fails" : "") + (c.deviceDead ? " device dead" : ""));
        FakePlatform h;
        h.failAllOpens = c.openFails;
        if (c.deviceDead) h.stalls = {{0, kForever}};
        Recorder r;
        std::string st;
        Context cx{h, r, [] { return 1; }, st};
        std::vector<std::string> button;
        const ReadToggle t = ToggleRead(cx, c.caption, [&](bool on) { button.push_back(on ? "button on" : "button off"); });
        EXPECT_EQ(SettingsTrace(h, button), c.trace);
        EXPECT_EQ(t.caption, c.after);
        EXPECT_EQ(r.messages, c.openFails ? std::vector<std::string>{"Open port failed"} : std::vector<std::string>{});
    }
}
