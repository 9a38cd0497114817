// A line of printers, end to end: one praxdl run to several ptys and fake USB trees at once, and
// what each printer received, the lines, the table, the JSON and the record that run leaves.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/FakeSysfs.h"
#include "tests/support/Process.h"
#include "tests/support/Pty.h"
#include "tests/support/Streams.h"

using namespace prax::testing;
using prax::protocol::RegisterHex;

namespace {

const std::string kPraxdl = PRAXDL_BIN;
const std::string kPrinter = VPRINTER_BIN;

struct Row {
    std::string connection, device, outcome;
    std::uint64_t bytes = 0;
};

// The table at the end of `text`: its rows in order, and the count under them.
struct Summary {
    std::vector<Row> rows;
    std::string count;
    std::vector<std::string> Connections() const {
        std::vector<std::string> names;
        for (const Row& row : rows) names.push_back(row.connection);
        return names;
    }
    std::map<std::string, Row> ByConnection() const {
        std::map<std::string, Row> by;
        for (const Row& row : rows) by[row.connection] = row;
        return by;
    }
};

Summary SummaryIn(const std::string& text) {
    Summary s;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line) && !(line.rfind("connection ", 0) == 0 && line.ends_with(" status"))) {
    }
    while (std::getline(lines, line)) {
        // A row has its bytes and seconds after the outcome, so only the count ends in "done".
        if (line.find(" of ") != std::string::npos && line.ends_with(" done")) {
            s.count = line;
            break;
        }
        Row row;
        std::istringstream(line) >> row.connection >> row.device >> row.outcome >> row.bytes;
        s.rows.push_back(row);
    }
    return s;
}

// All a child printed: the lines already taken and the rest.
std::string Everything(const Child& child) {
    std::string text;
    for (const std::string& line : child.seen()) text += line + "\n";
    return text + child.rest();
}

// Takes the child's lines until each of `prefixes` has begun one; false at the deadline.
bool AwaitLines(Child& child, std::set<std::string> prefixes, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!prefixes.empty()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        const std::string line = child.NextLine(static_cast<int>(left));
        std::erase_if(prefixes, [&](const std::string& prefix) { return line.rfind(prefix, 0) == 0; });
    }
    return true;
}

// The device paths a virtual printer with --ptys prints before anything else.
std::vector<std::string> PathsOf(Child& printers, std::size_t count) {
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < count; ++i) paths.push_back(printers.NextLine());
    return paths;
}

// What jq's `program` makes of each line of `text`, every line parsed on its own, so a torn or
// doubled object fails it; jq's complaint when a line is no JSON object.
std::string JqLines(const std::string& text, const std::string& program) {
    const ProcessResult jq = RunProgram(
        {"/usr/bin/jq", "-R", "-r",
         "fromjson | if type == \"object\" then . else error(\"no object\") end | " + program},
        {}, text);
    return jq.exitCode == 0 ? jq.out : "jq: " + jq.err;
}

}  // namespace

// Two healthy printers, one that stops reading for good after 20000 bytes and one that closes
// after 30000: the healthy get the very stream a run to one printer sends, the others end by
// themselves (the stall after its write time-outs, no one asked), and the run says which is which.
TEST(LineEndToEnd, HealthyPrintersGetTheWholeStreamWhileAStalledAndAVanishedOneStop) {
    Pty first, second;
    ASSERT_TRUE(first.ok() && second.ok());
    first.StartReading();
    second.StartReading();
    Child stalls({kPrinter, "--no-times", "--stall-after", "20000", "--stall-ms", "600000"});
    Child vanishes({kPrinter, "--no-times", "--close-after", "30000"});
    const std::string stalled = stalls.NextLine(), gone = vanishes.NextLine();
    ASSERT_FALSE(stalled.empty() || gone.empty());
    const std::string image = ImageOf(100000, 31);
    const std::string stream = FirmwareStream(image);
    const ProcessResult r = RunProgram({kPraxdl, "--device", first.path(), "--device", stalled, "--device", gone,
                                        "--device", second.path(), "firmware", Temp("line-four.bin", image)},
                                       {}, {}, 60000);
    ASSERT_FALSE(r.timedOut) << r.err;
    EXPECT_EQ(r.exitCode, 1);
    for (Pty* pty : {&first, &second}) EXPECT_TRUE(pty->WaitFor(stream.size(), 5000) == stream) << pty->path();

    const Summary summary = SummaryIn(r.out);
    EXPECT_EQ(summary.count, "2 of 4 printers done") << r.out;
    auto rows = summary.ByConnection();
    ASSERT_EQ(rows.size(), 4u) << r.out;
    for (const std::string& healthy : {first.path(), second.path()}) {
        EXPECT_EQ(rows[healthy].outcome, "done");
        EXPECT_EQ(rows[healthy].bytes, stream.size());
        EXPECT_NE(r.err.find(healthy + ": done  100000 Bytes  CRC=" + RegisterHex(Reg(image)) + "  " +
                             std::to_string(stream.size()) + " bytes  "),
                  std::string::npos)
            << r.err;
    }
    for (const std::string& cut : {stalled, gone}) {
        EXPECT_EQ(rows[cut].outcome, "stopped") << cut;
        EXPECT_GT(rows[cut].bytes, 0u);
        EXPECT_LT(rows[cut].bytes, stream.size());
    }
    EXPECT_NE(r.err.find(stalled + ": IO Error (ERROR_IO_PENDING): Continue ? [Y] Continue [N] Stop -> No "
                                   "(nobody to ask)\n" + stalled + ": The printer stopped taking data: "),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(gone + ": The connection to the printer was lost: "), std::string::npos) << r.err;
}

// Ctrl+C or SIGTERM while five printers take the image at the wire's pace: every link ends at
// once (each waits on a thread of its own, which the signal itself never reaches), says how far
// it got, and what was still queued is thrown away rather than sent after the interrupt.
TEST(LineEndToEnd, AnInterruptEndsEveryLinkAndEachTellsHowFarItGot) {
    const std::string image = ImageOf(200000, 32);
    const std::string input = Temp("line-interrupt.bin", image);
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        Child printers({kPrinter, "--no-times", "--ptys", "5", "--throttle", "--exit-after-idle", "1000"});
        const std::vector<std::string> paths = PathsOf(printers, 5);
        std::vector<std::string> argv = {kPraxdl};
        std::set<std::string> started;
        for (const std::string& path : paths) {
            argv.insert(argv.end(), {"--device", path});
            // A tenth sent is more than a pty holds: the printer has read some of it.
            started.insert(path + ": 20480 of 200000 bytes (10%)");
        }
        argv.insert(argv.end(), {"firmware", input});
        Child praxdl(argv);
        ASSERT_TRUE(AwaitLines(praxdl, started, 20000)) << Everything(praxdl);
        kill(praxdl.pid(), signal);
        // Far more than it takes; a link that sat out its wait would still end in time, so what
        // it takes is measured by hand, not here.
        ASSERT_EQ(praxdl.Wait(5000), 128 + signal) << Everything(praxdl);
        const std::string out = Everything(praxdl);
        // The printers end once no byte came for a second; each tells what it read.
        ASSERT_EQ(printers.Wait(30000), 0);
        const std::string report = Everything(printers);
        const Summary summary = SummaryIn(out);
        EXPECT_EQ(summary.count, "0 of 5 printers done") << out;
        auto rows = summary.ByConnection();
        for (std::size_t i = 0; i < paths.size(); ++i) {
            SCOPED_TRACE(paths[i]);
            EXPECT_EQ(rows[paths[i]].outcome, "interrupted") << out;
            EXPECT_GT(rows[paths[i]].bytes, 0u);
            EXPECT_LT(rows[paths[i]].bytes, FirmwareStream(image).size());
            EXPECT_NE(out.find(paths[i] + ": praxdl: Interrupted: "), std::string::npos) << out;
            const std::string total = std::to_string(i + 1) + ": total bytes: ";
            const std::size_t at = report.find(total);
            ASSERT_NE(at, std::string::npos) << report;
            EXPECT_LE(std::stoull(report.substr(at + total.size())), rows[paths[i]].bytes) << report;
        }
    }
}

// --json to two printers and a device that isn't there: standard output is JSON alone, one
// object a line, each naming its connection second; a result for each; the summary last.
TEST(LineEndToEnd, JsonLinesGiveEachConnectionOneResultAndTheSummaryLast) {
    Child printers({kPrinter, "--no-times", "--ptys", "2"});
    const std::vector<std::string> paths = PathsOf(printers, 2);
    const std::string missing = "/nonexistent/tty-line";
    const std::string image = ImageOf(3000, 33);
    const ProcessResult r = RunProgram({kPraxdl, "--json", "--device", paths[0], "--device", missing, "--device",
                                        paths[1], "firmware", Temp("line-json.bin", image)});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    // The first two keys of every object, and what a result and the summary say.
    const std::string seen =
        JqLines(r.out, "(keys_unsorted[0:2] | join(\",\")) + (if .event == \"result\" then "
                       "\" \\(.connection) \\(.outcome) \\(.checksum)\" elif .event == \"summary\" then "
                       "\" \\(.printers) \\(.done) \\(.failed) \\(.exit)\" else \"\" end)");
    std::istringstream lines(seen);
    std::vector<std::string> all;
    std::multiset<std::string> results;
    for (std::string line; std::getline(lines, line);) {
        all.push_back(line);
        if (line.rfind("event,connection ", 0) == 0) results.insert(line.substr(17));
    }
    ASSERT_GE(all.size(), 4u) << seen << r.out;
    EXPECT_EQ(all.size(), static_cast<std::size_t>(std::count(r.out.begin(), r.out.end(), '\n')));
    // The summary is about them all: its operation follows the event.
    EXPECT_EQ(all.back(), "event,operation 3 2 1 1");
    for (std::size_t i = 0; i + 1 < all.size(); ++i) EXPECT_EQ(all[i].rfind("event,connection", 0), 0u) << all[i];
    const std::string crc = RegisterHex(Reg(image));
    EXPECT_EQ(results, (std::multiset<std::string>{paths[0] + " done " + crc, missing + " open-failed null",
                                                   paths[1] + " done " + crc}));
    EXPECT_EQ(SummaryIn(r.err).count, "2 of 3 printers done") << r.err;
}

// The record survives praxdl killed outright while two printers still take the image: the line
// that was there and the finished printer's line, whole, and no part of another.
TEST(LineEndToEnd, ALogKeepsOnlyWholeLinesWhenPraxdlIsKilledMidRun) {
    Pty fast;
    ASSERT_TRUE(fast.ok());
    fast.StartReading();
    Child slow({kPrinter, "--no-times", "--ptys", "2", "--throttle"});
    const std::vector<std::string> paths = PathsOf(slow, 2);
    const std::string earlier = "{\"event\":\"record\",\"connection\":\"COM3 115200\",\"outcome\":\"done\"}\n";
    const std::string log = Temp("line-kill.log", earlier);
    const std::string input = Temp("line-kill.bin", ImageOf(60000, 34));
    Child praxdl({kPraxdl, "--log", log, "--device", paths[0], "--device", fast.path(), "--device", paths[1],
                  "firmware", input});
    ASSERT_TRUE(AwaitLines(praxdl, {fast.path() + ": done "}, 20000)) << Everything(praxdl);
    kill(praxdl.pid(), SIGKILL);
    EXPECT_EQ(praxdl.Wait(5000), 128 + SIGKILL);

    const std::string text = Slurp(log);
    EXPECT_EQ(text.rfind(earlier, 0), 0u) << text;
    for (std::size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', end + 1))
        EXPECT_EQ(text[end - 1], '}') << text;
    EXPECT_EQ(text.back(), '\n');
    const std::string sha = RunProgram({"/usr/bin/sha256sum", input}).out.substr(0, 64);
    EXPECT_EQ(JqLines(text, "\"\\(.connection) \\(.outcome) \\(.inputSize) \\(.sha256)\""),
              "COM3 115200 done null null\n" + fast.path() + " done 60000 " + sha + "\n");
}

// Station mode: a printer plugged in while praxdl waits is served, one that stays is not served
// again, and praxdl ends after the count.
TEST(LineEndToEnd, WatchServesEachPrinterOnceAsItIsPluggedIn) {
    namespace fs = std::filesystem;
    Pty one, two;
    ASSERT_TRUE(one.ok() && two.ok());
    one.StartReading();
    two.StartReading();
    const std::string root = ::testing::TempDir() + "line-watch";
    fs::remove_all(root);
    const FakeUsbPrinter first{"lp0", "1958", "0001", "W1", "Maker", "Label", one.path()};
    BuildFakeSysfs(root + "/before", {first});
    BuildFakeSysfs(root + "/after", {first, {"lp1", "1958", "0001", "W2", "Maker", "Label", two.path()}});
    // praxdl looks through a link that one rename turns: the first printer is there all along.
    fs::create_directory_symlink("before", root + "/now");
    Child praxdl({kPraxdl, "--watch", "--count", "2", "init"},
                 {{"PRAX_SYSFS_ROOT", root + "/now/sys"}, {"PRAX_DEV_ROOT", root + "/now/dev"}});
    ASSERT_EQ(one.WaitFor(10, 10000), "^default\r\n") << Everything(praxdl);
    fs::create_directory_symlink("after", root + "/next");
    fs::rename(root + "/next", root + "/now");
    ASSERT_EQ(praxdl.Wait(20000), 0) << Everything(praxdl);
    for (Pty* pty : {&one, &two}) EXPECT_EQ(pty->WaitFor(11, 200), "^default\r\n") << pty->path();
    const Summary summary = SummaryIn(Everything(praxdl));
    EXPECT_EQ(summary.count, "2 of 2 printers done") << Everything(praxdl);
    EXPECT_EQ(summary.Connections(),
              (std::vector<std::string>{"USB\\VID_1958&PID_0001\\W1", "USB\\VID_1958&PID_0001\\W2"}));
}

// The kernel lists a printer before its node is there: the station waits for the node, serves the
// printer once it comes, and reports one whose node never comes once, after a bound.
TEST(LineEndToEnd, WatchWaitsForANodeThatComesLateAndReportsOneThatNeverDoesOnce) {
    namespace fs = std::filesystem;
    const std::string root = ::testing::TempDir() + "line-watch-late";
    const auto tree = BuildFakeSysfs(root, {{"lp0", "1958", "0001", "L0", "Maker", "Label", ""},
                                            {"lp1", "1958", "0001", "L1", "Maker", "Label", ""}});
    std::ofstream(root + "/node0") << "";
    const std::string log = root + "/station.jsonl";
    Child praxdl({kPraxdl, "--watch", "--count", "2", "--log", log, "init"},
                 {{"PRAX_SYSFS_ROOT", tree.sys}, {"PRAX_DEV_ROOT", tree.dev}});
    ASSERT_TRUE(AwaitLines(praxdl, {"praxdl: waiting for USB printers"}, 10000)) << Everything(praxdl);
    fs::create_symlink(root + "/node0", tree.dev + "/usb/lp0");
    EXPECT_EQ(praxdl.Wait(30000), 1) << Everything(praxdl);
    EXPECT_EQ(Slurp(root + "/node0"), "^default\r\n");
    const Summary summary = SummaryIn(Everything(praxdl));
    EXPECT_EQ(summary.count, "1 of 2 printers done") << Everything(praxdl);
    ASSERT_EQ(summary.rows.size(), 2u);
    EXPECT_EQ(summary.ByConnection()["USB\\VID_1958&PID_0001\\L0"].outcome, "done");
    EXPECT_EQ(summary.ByConnection()["USB\\VID_1958&PID_0001\\L1"].outcome, "open-failed");
    // The record names the printer that never opened by its serial too.
    EXPECT_EQ(JqLines(Slurp(log), "[.usbSerial, .outcome] | join(\" \")"), "L0 done\nL1 open-failed\n");
}

// --all: every attached printer of an accepted make, and none of another.
TEST(LineEndToEnd, AllSendsToEveryAcceptedUsbPrinterAndNoOther) {
    Pty a, b, other;
    const auto tree = BuildFakeSysfs(::testing::TempDir() + "line-all",
                                     {{"lp3", "1958", "0001", "B3", "Maker", "Label", b.path()},
                                      {"lp0", "04b8", "0202", "E1", "Other", "Printer", other.path()},
                                      {"lp1", "03f0", "067b", "A1", "Maker", "Label", a.path()}});
    const ProcessResult r = RunProgram({kPraxdl, "--port", "USB", "--all", "init"},
                                       {{"PRAX_SYSFS_ROOT", tree.sys}, {"PRAX_DEV_ROOT", tree.dev}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(a.Read(10, 3000), "^default\r\n");
    EXPECT_EQ(b.Read(10, 3000), "^default\r\n");
    EXPECT_EQ(other.Drain(100), "");
    const Summary summary = SummaryIn(r.out);
    EXPECT_EQ(summary.count, "2 of 2 printers done") << r.out;
    const std::vector<std::string> names = summary.Connections();
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
              (std::set<std::string>{"USB\\VID_03F0&PID_067B\\A1", "USB\\VID_1958&PID_0001\\B3"}));
}

// The table lists the connections as given, USB printers as they were found (lp1 before lp3),
// however the links' threads happen to start.
TEST(LineEndToEnd, TheTableListsTheConnectionsInTheOrderGiven) {
    Child printers({kPrinter, "--no-times", "--ptys", "4"});
    const std::vector<std::string> paths = PathsOf(printers, 4);
    Pty a, b, c;
    const auto tree = BuildFakeSysfs(::testing::TempDir() + "line-order",
                                     {{"lp3", "1958", "0001", "C3", "Maker", "Label", c.path()},
                                      {"lp1", "1958", "0001", "A1", "Maker", "Label", a.path()},
                                      {"lp2", "1958", "0001", "B2", "Maker", "Label", b.path()}});
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> rows;
    } cases[] = {{{kPraxdl, "--device", paths[0], "--device", paths[1], "--device", paths[2], "--device", paths[3],
                   "init"},
                  paths},
                 {{kPraxdl, "--port", "USB", "--all", "init"},
                  {"USB\\VID_1958&PID_0001\\A1", "USB\\VID_1958&PID_0001\\B2", "USB\\VID_1958&PID_0001\\C3"}}};
    for (const Case& k : cases)
        for (int run = 0; run < 20; ++run) {
            const ProcessResult r = RunProgram(k.args, {{"PRAX_SYSFS_ROOT", tree.sys}, {"PRAX_DEV_ROOT", tree.dev}});
            ASSERT_EQ(SummaryIn(r.out).Connections(), k.rows) << r.out;
        }
}

// What praxdl refuses opens nothing: a record it can't keep, connections that don't mix, and an
// input that can't be read, which every connection's row then names.
TEST(LineEndToEnd, ARefusedCommandLineOrInputSendsNothing) {
    Pty one, two;
    struct Case {
        std::vector<std::string> args;
        int exitCode;
    } cases[] = {{{"--log", "/nonexistent/x", "--device", one.path(), "--device", two.path(), "init"}, 2},
                 {{"--all", "--device", one.path(), "--device", two.path(), "init"}, 2},
                 {{"--watch", "--device", one.path(), "init"}, 2},
                 {{"--device", one.path(), "--device", two.path(), "firmware", "/nonexistent/fw.bin"}, 1}};
    for (const Case& c : cases) {
        std::vector<std::string> argv = {kPraxdl};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const ProcessResult r = RunProgram(argv);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args[0] << ": " << r.err;
        if (c.exitCode == 1) {
            for (const Row& row : SummaryIn(r.out).rows) EXPECT_EQ(row.outcome, "refused") << r.out;
            EXPECT_EQ(SummaryIn(r.out).count, "0 of 2 printers done") << r.out;
        }
    }
    EXPECT_EQ(one.Drain(100), "");
    EXPECT_EQ(two.Drain(100), "");
}
