#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include <unistd.h>

#include "cli/Interrupt.h"
#include "cli/Json.h"
#include "cli/Praxdl.h"
#include "cli/Sha256.h"
#include "cli/UsbPorts.h"
#include "link/UsbDiscovery.h"
#include "platform/fake/FakePlatform.h"
#include "protocol/StreamPieces.h"

using namespace prax::cli;
using prax::platform::IDNO_;
using prax::platform::fake::FakePlatform;
using prax::platform::fake::kForever;
namespace fs = std::filesystem;

namespace {

// The fake's open of the output stands in for the real one: it creates the file it was given. A
// device name opens what `devices` maps it to (else the name itself), there when in `present`.
class FakeHost final : public Host {
public:
    FakePlatform fake;
    std::map<std::string, std::string> devices;
    std::set<std::string> present;
    prax::platform::Platform& platform() override { return fake; }
    void MapDevice(const std::string&, const std::string&) override {}
    void MapOutputFile(const std::string&, const std::string& path, bool) override {
        std::ofstream(path, std::ios::binary) << "written";
    }
    std::string DevicePath(const std::string& name) override {
        const auto it = devices.find(name);
        return it == devices.end() ? name : it->second;
    }
    bool DevicePresent(const std::string& path) override { return present.count(path) != 0; }
};

// praxdl on `host`, with nothing on standard input: its exit status and what it wrote.
struct Ran {
    int code;
    std::string out, err;
};
Ran RunOnFake(const std::vector<std::string>& args, FakeHost& host) {
    std::istringstream in;
    std::ostringstream sout, serr;
    Streams io{in, sout, serr};
    const int code = RunPraxdl(args, io, &host);
    return {code, sout.str(), serr.str()};
}

// USB printers of these identities attached to the fake, as the registry lists them.
void AttachUsbPrinters(FakeHost& host, const std::vector<std::string>& identities) {
    for (std::size_t i = 0; i < identities.size(); ++i) {
        std::string key = identities[i];
        std::replace(key.begin(), key.end(), '\\', '#');
        host.fake.AddRegKey(std::string(prax::link::kPrinterInterfaceClassKey) + "\\##?#" + key +
                            "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}");
        host.fake.SetRegString(prax::link::kUsbPrintEnumKey, std::to_string(i), identities[i]);
    }
    const char count[4] = {static_cast<char>(identities.size()), 0, 0, 0};
    host.fake.SetRegValue(prax::link::kUsbPrintEnumKey, "Count", prax::platform::REG_DWORD_, std::string(count, 4));
}

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

// The stream of --output takes FILE's name only when all of it went: a run that was interrupted
// or stopped leaves FILE as it was, and no file of its own behind.
TEST(Praxdl, OutputTakesItsNameOnlyWhenTheWholeStreamWent) {
    const fs::path dir = fs::path(::testing::TempDir()) / "praxdl-staged";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path image = dir / "fw.bin";
    std::ofstream(image, std::ios::binary) << std::string(3000, 'x');
    const fs::path out = dir / "out.bin";
    struct Case {
        const char* what;
        int signal;        // arrives at the stall question; 0: answered No
        int exitCode;
        const char* left;  // what `out` holds afterwards
    } cases[] = {{"done", -1, 0, "written"}, {"stopped", 0, 1, "earlier"}, {"SIGTERM", SIGTERM, 143, "earlier"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(out, std::ios::binary) << "earlier";
        FakeHost host;
        if (c.signal >= 0) host.fake.stalls = {{1, 0}, {500, kForever}};
        host.fake.onQuestion = [&](const std::string&) {
            if (c.signal > 0) gInterruptSignal = c.signal;
            return IDNO_;
        };
        const Ran r = RunOnFake({"--output", out.string(), "firmware", image.string()}, host);
        gInterruptSignal = 0;
        EXPECT_EQ(r.code, c.exitCode) << r.err;
        EXPECT_EQ(Slurp(out), c.left);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2) << "a file left behind";
    }
}

// --host names what the network link connects to; the port is 9100 unless given. A port no
// connection could use is a usage error, and then nothing is connected.
TEST(Praxdl, HostTakesANameOrAnAddressWithAnOptionalPort) {
    struct Case {
        const char* text;
        const char* host;  // nullptr: usage error
        std::uint64_t port;
    } cases[] = {
        {"printer", "printer", 9100},         {"printer:9101", "printer", 9101},
        {"10.0.0.5:1", "10.0.0.5", 1},        {"[::1]:65535", "::1", 65535},
        {"[fe80::1]", "fe80::1", 9100},       {"::1", "::1", 9100},
        {"printer:0", nullptr, 0},            {"printer:65536", nullptr, 0},
        {"printer:", nullptr, 0},             {"printer:91x", nullptr, 0},
        {"printer:+91", nullptr, 0},          {":9100", nullptr, 0},
        {"[::1", nullptr, 0},                 {"[::1]9100", nullptr, 0},
        {"[]:9100", nullptr, 0},              {"printer:0009100", nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        FakeHost host;
        const Ran r = RunOnFake({"--host", c.text, "init"}, host);
        if (!c.host) {
            EXPECT_EQ(r.code, kExitUsage);
            EXPECT_EQ(host.fake.Count("ConnectTcp"), 0u);
            continue;
        }
        EXPECT_EQ(r.code, kExitDone) << r.err;
        ASSERT_EQ(host.fake.Count("ConnectTcp"), 1u);
        const auto it = std::find_if(host.fake.calls.begin(), host.fake.calls.end(),
                                     [](const auto& call) { return call.name == "ConnectTcp"; });
        EXPECT_EQ(it->text, c.host);
        EXPECT_EQ(it->args[0], c.port);
        EXPECT_EQ(host.fake.DeliveredText(), "^default\r\n");
    }
    FakeHost host;
    host.fake.connectFails = true;
    const Ran r = RunOnFake({"--host", "printer", "init"}, host);
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_NE(r.err.find("Open port failed\n  printer:9100: connection refused"), std::string::npos) << r.err;
}

// Every bad value is found by the parser: exit 2, the reason after "praxdl:", nothing opened.
// Help and the version are no errors; options may follow the command.
TEST(Praxdl, CommandLineIsCheckedBeforeAnythingOpens) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* says;  // in standard error for 2, standard output otherwise
    };
    const std::vector<Case> cases = {
        {{"frob"}, kExitUsage, "praxdl: unknown command 'frob'"},
        {{}, kExitUsage, "praxdl: no command given"},
        {{"init", "x"}, kExitUsage, "praxdl: init does not take x"},
        {{"raw", "a", "--slot", "TB"}, kExitUsage, "praxdl: raw does not take --slot TB"},
        {{"--port", "com9 115200", "init"}, kExitUsage, "unknown connection \"com9 115200\""},
        {{"--port", "COM1", "init"}, kExitUsage, "--port: unknown connection \"COM1\": did you mean \"COM1 115200\"?\n"},
        {{"--port", "com", "init"}, kExitUsage, "did you mean \"COM1 115200\", \"COM2 115200\", \"COM3 115200\""},
        {{"--port", "us", "init"}, kExitUsage, "did you mean \"USB\"?"},
        {{"--bogus", "init"}, kExitUsage, "praxdl: unknown option --bogus\n"},
        {{"init", "--bogus=1", "x"}, kExitUsage, "praxdl: unknown option --bogus\n"},
        {{"-q"}, kExitUsage, "praxdl: unknown option -q\n"},
        {{"--port", "A1", "--port", "a1", "init"}, kExitUsage, "\"a1\" is given twice"},
        {{"--all", "--port", "A1", "init"}, kExitUsage, "--all takes every USB printer"},
        {{"firmware", "a", "--package-size", "0"}, kExitUsage, "Package size 0 is not possible"},
        {{"firmware", "a", "--package-size", "5x"}, kExitUsage, "'5x' is not a valid integer value"},
        {{"code-table", "a", "--slot", "TAA"}, kExitUsage, "--slot: takes one of TA ... TZ, not \"TAA\""},
        {{"channel", "7"}, kExitUsage, "takes one of 00, 25 and 49, not \"7\""},
        {{"read", "Stop"}, kExitUsage, "takes start or stop, not \"Stop\""},
        {{"--yes", "--no", "init"}, kExitUsage, "--yes excludes --no"},
        {{"--output", "x", "--host", "p", "init"}, kExitUsage, "excludes"},
        {{"--all", "--device", "d", "init"}, kExitUsage, "--device excludes --all"},
        {{"--port", "usb", "--device", "d", "--port", "USB", "init"}, kExitUsage, "\"USB\" is given twice"},
        {{"--all", "--port", "LPT1", "init"}, kExitUsage, "--all takes every USB printer"},
        {{"--count", "2", "init"}, kExitUsage, "--count requires --watch"},
        {{"--watch", "--count", "0", "init"}, kExitUsage, "--count: Value 0 not in range"},
        {{"--port", "LPT1", "--port", "USB", "ports"}, kExitUsage, "ports lists this host's own"},
        {{"--log", "/nonexistent/folder/log", "init"}, kExitUsage, "/nonexistent/folder/log"},
        {{"--host", "p:0", "init"}, kExitUsage, "the port must be a number from 1 to 65535"},
        {{"--output", "", "init"}, kExitUsage, "--output: needs a path"},
        {{"font"}, kExitUsage, "font needs NAME, or --file PATH --name NAME"},
        {{"font", "Arial (TrueType)", "--file", "a.ttf", "--name", "A"}, kExitUsage, "font takes NAME or --file, not both"},
        {{"font", "--file", "a.ttf"}, kExitUsage, "--file requires --name"},
        {{"apply"}, kExitUsage, "RECIPE is required"},
        {{"--version"}, kExitDone, "praxdl "},
        {{"firmware", "--help"}, kExitDone, "Usage: praxdl firmware [OPTIONS] IMAGE"},
        {{"init", "--port", "lpt1"}, kExitDone, ""},
        // A path from the root is an operand, on Windows too, where "/x" could pass for an option.
        {{"send", "/tmp", "--port", "LPT1"}, kExitDone, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0] + " ...");
        FakeHost host;
        const Ran r = RunOnFake(c.args, host);
        EXPECT_EQ(r.code, c.exitCode) << r.err;
        EXPECT_NE((c.exitCode == kExitUsage ? r.err : r.out).find(c.says), std::string::npos) << r.err << r.out;
        if (c.exitCode == kExitUsage) {
            EXPECT_EQ(host.fake.Count("CreateFileA"), 0u);
        }
        const std::string sent = c.args.empty() || c.exitCode != kExitDone ? ""
                                 : c.args[0] == "init"                    ? "^default\r\n"
                                 : c.args[0] == "send"                    ? "/tmp\r\n"
                                                                          : "";
        EXPECT_EQ(host.fake.DeliveredText(), sent);
    }
}

// The help speaks the words of the system praxdl runs on: on Windows COM ports by name, the
// console's stops and the installed manual; elsewhere device paths, signals and man.
TEST(Praxdl, HelpSpeaksOfTheSystemItRunsOn) {
    struct Case {
        HostSystem system;
        const char* manual;
        std::vector<std::string> says, never;
    };
    const std::vector<Case> cases = {
        {HostSystem::Posix, "",
         {"a terminal is set up as a serial port", "praxdl --device /dev/ttyUSB0 --device /dev/ttyUSB1 firmware",
          "130/143 after SIGINT/SIGTERM", "man praxdl tells all"},
         {"COM12", "Ctrl+"}},
        {HostSystem::Windows, "C:\\PRAX\\doc\\praxdl.html",
         {"a COM port (COM12, \\\\.\\COM12) is set up as a serial port",
          "praxdl --device COM12 --device \\\\.\\COM13 firmware",
          "130 after Ctrl+C, 143 after Ctrl+Break, 129 when\nits console is closed",
          "C:\\PRAX\\doc\\praxdl.html tells all"},
         {"/dev/", "SIG", "terminal", "man "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.manual);
        const CommandLine line = ParseCommandLine({"--help"}, c.manual, c.system);
        ASSERT_EQ(line.kind, CommandLine::Kind::Print);
        for (const std::string& text : c.says) EXPECT_NE(line.text.find(text), std::string::npos) << text << line.text;
        for (const std::string& text : c.never) EXPECT_EQ(line.text.find(text), std::string::npos) << text << line.text;
    }
}

// --json: standard output holds one object a line, from the link opening to the result, which
// comes last and exactly once, whatever way the run ends.
TEST(Praxdl, JsonLinesTellTheRunFromOpenToResult) {
    const fs::path dir = fs::path(::testing::TempDir()) / "praxdl-json";
    fs::create_directories(dir);
    const fs::path image = dir / "fw.bin";
    std::ofstream(image, std::ios::binary) << std::string(3000, 'x');
    const std::string out = (dir / "out.bin").string();
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::function<void(FakePlatform&)> script;
        const char* events;  // the event names in order, repeats of one shown once
        std::vector<std::string> result;  // members of the result object
    };
    const std::vector<Case> cases = {
        {"done", {"--json", "--output", out, "firmware", image.string()}, [](FakePlatform&) {},
         "connection progress result",
         {"\"operation\":\"firmware\",\"outcome\":\"done\",\"exit\":0,\"delivered\":3188,"
          "\"status\":\"3000 Bytes  CRC=",
          "\"checksum\":\""}},
        {"stalled, answered No", {"--json", "--no", "--output", out, "raw", image.string()},
         [](FakePlatform& f) { f.stalls = {{1024, kForever}}; },
         "connection message progress message result",
         {"\"outcome\":\"stopped\",\"exit\":1,\"delivered\":1024,", "\"error\":\"The printer stopped taking data",
          "\"printerMidImage\":false"}},
        {"open failed", {"--json", "init"}, [](FakePlatform& f) { f.failAllOpens = true; }, "message result",
         {"\"outcome\":\"open-failed\",\"exit\":1,\"delivered\":0,\"error\":\"Open port failed\""}},
        {"usage", {"--json", "firmware"}, [](FakePlatform&) {}, "result",
         {"\"operation\":\"firmware\",\"outcome\":\"usage\",\"exit\":2,\"delivered\":0,\"error\":\"IMAGE is required\""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeHost host;
        c.script(host.fake);
        const Ran r = RunOnFake(c.args, host);
        std::istringstream lines(r.out);
        std::string line, events, last, result;
        while (std::getline(lines, line)) {
            result = line;
            ASSERT_EQ(line.rfind("{\"event\":\"", 0), 0u) << line;
            ASSERT_EQ(line.back(), '}') << line;
            const std::string event = line.substr(10, line.find('"', 10) - 10);
            if (event != last) events += (events.empty() ? "" : " ") + event;
            last = event;
            if (event == "connection") {
                EXPECT_EQ(line, "{\"event\":\"connection\",\"connection\":\"output\",\"opens\":" + JsonString(out) + "}");
            }
        }
        EXPECT_EQ(events, c.events) << r.out;
        for (const std::string& member : c.result) EXPECT_NE(result.find(member), std::string::npos) << result;
    }
}

// The record names the input whenever it could be read, a raw file's whose link never opened (so
// never read it) too; a run whose record could not be written fails, and its result says why.
TEST(Praxdl, TheRecordNamesTheInputAndAResultWithoutItsRecordSaysWhy) {
    const fs::path dir = fs::path(::testing::TempDir()) / "praxdl-record";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string content(3000, 'r');
    const std::string image = (dir / "raw.bin").string();
    std::ofstream(image, std::ios::binary) << content;
    const std::string log = (dir / "log.jsonl").string();
    struct Case {
        const char* what;
        std::vector<std::string> args;
        bool opensFail;
        std::string logged;  // in the log's line; empty: nothing to look at
        std::string result;  // in the result object
    };
    const std::vector<Case> cases = {
        {"open failed", {"--json", "--log", log, "--device", "a", "raw", image}, true,
         ",\"input\":" + JsonString(image) + ",\"inputSize\":3000,\"sha256\":\"" + Sha256Hex(content) +
             "\",\"outcome\":\"open-failed\",",
         "\"outcome\":\"open-failed\",\"exit\":1,"},
#if !defined(_WIN32)
        {"record not written", {"--json", "--log", "/dev/full", "--device", "a", "init"}, false, {},
         "\"outcome\":\"done\",\"exit\":1,\"delivered\":10,"
         "\"error\":\"cannot append to /dev/full: No space left on device\"}"},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(log);
        FakeHost host;
        host.fake.failAllOpens = c.opensFail;
        const Ran r = RunOnFake(c.args, host);
        EXPECT_EQ(r.code, kExitFailed) << r.err;
        EXPECT_NE(r.out.substr(r.out.rfind("{\"event\":\"result\"")).find(c.result), std::string::npos) << r.out;
        if (!c.logged.empty()) {
            EXPECT_NE(Slurp(log).find(c.logged), std::string::npos) << Slurp(log);
        }
    }
}

// The status line shows a short register as it stands ("CRC=84"); the JSON checksum always has
// four hex digits.
TEST(Praxdl, JsonChecksumHasFourDigitsWhereTheStatusLineShowsFewer) {
    const fs::path dir = fs::path(::testing::TempDir()) / "praxdl-json-crc";
    fs::create_directories(dir);
    std::string bytes(700, 'x');
    for (int k = 0;; ++k) {
        ASSERT_LT(k, 1 << 16) << "no image with a short register found";
        bytes[0] = static_cast<char>(k & 0xFF);
        bytes[1] = static_cast<char>(k >> 8);
        const auto reg = prax::protocol::DataCrc(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        if (prax::protocol::RegisterHex(reg).size() < 3) break;
    }
    const fs::path image = dir / "fw.bin";
    std::ofstream(image, std::ios::binary) << bytes;
    FakeHost host;
    const Ran r = RunOnFake({"--json", "--output", (dir / "out.bin").string(), "firmware", image.string()}, host);
    ASSERT_EQ(r.code, kExitDone) << r.err;
    const std::string& out = r.out;
    const std::size_t status = out.find("CRC=");
    ASSERT_NE(status, std::string::npos) << out;
    const std::string shown = out.substr(status + 4, out.find('"', status) - status - 4);
    ASSERT_LT(shown.size(), 3u) << out;
    EXPECT_NE(out.find("\"checksum\":\"" + std::string(4 - shown.size(), '0') + shown + "\""), std::string::npos)
        << out;
}

TEST(Praxdl, JsonStringsEscapeWhatJsonCannotHoldAsItIs) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "\"plain\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"\r\n\t\x01\x7f", "\"\\r\\n\\t\\u0001\\u007f\""},
        {"gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x96\xA8", "\"gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x96\xA8\""},
        {"\xFF\xC3(\xE2\x82", "\"\\ufffd\\ufffd(\\ufffd\\ufffd\""},  // invalid and cut-short sequences
        {"\xC0\xAF\xED\xA0\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\""},  // overlong, surrogate
    };
    for (const auto& [text, json] : cases) EXPECT_EQ(JsonString(text), json);
}

// A font whose name would break its header line is listed, marked with the reason, and its
// control characters never reach the terminal; JSON tells it by a field.
TEST(Praxdl, FontsMarksTheOnesWhoseNameCannotBeSent) {
    FakeHost host;
    const char* key = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
    host.fake.SetRegString(key, "Bad\r\n^default (TrueType)", "bad.ttf");
    host.fake.SetRegString(key, "Good (TrueType)", "good.ttf");
    for (const bool json : {false, true}) {
        std::vector<std::string> args = {"fonts"};
        if (json) args.insert(args.begin(), "--json");
        const Ran r = RunOnFake(args, host);
        ASSERT_EQ(r.code, kExitDone) << r.err;
        const std::string& out = r.out;
        if (!json) {
            EXPECT_EQ(out.substr(0, out.find('\n')),
                      "Bad??^default (TrueType)\tbad.ttf\t-1 Bytes\tnot sendable: The font's name \"Bad??^default "
                      "(TrueType)\" can't be sent: it holds the control character 0x0D at position 4. A name in a "
                      "printer's header line may hold no control character and no comma.");
            EXPECT_NE(out.find("\nGood (TrueType)\tgood.ttf\t-1 Bytes\n"), std::string::npos) << out;
        } else {
            EXPECT_NE(out.find("\"name\":\"Bad\\r\\n^default (TrueType)\",\"file\":\"bad.ttf\",\"size\":-1,"
                               "\"sendable\":false,\"problem\":"),
                      std::string::npos)
                << out;
            EXPECT_NE(out.find("\"name\":\"Good (TrueType)\",\"file\":\"good.ttf\",\"size\":-1,\"sendable\":true}"),
                      std::string::npos)
                << out;
        }
    }
}

// Several connections in one run: each gets the operation in the order given, every JSON object
// names its connection right after the event, one result each and the summary last. An input
// refused before the links open opens none of them.
TEST(Praxdl, SeveralConnectionsEachGetTheOperationOrNoneOpens) {
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int exitCode;
        const char* sent;
        std::vector<std::string> lines;  // the start of each standard output line, in order
    };
    const std::string missing = (fs::path(::testing::TempDir()) / "no-such-image.bin").string();
    const std::vector<Case> cases = {
        {"two ports", {"--json", "--port", "LPT1", "--port", "com3 115200", "init"}, kExitDone,
         "^default\r\n^default\r\n",
         {"{\"event\":\"connection\",\"connection\":\"LPT1\",\"opens\":",
          "{\"event\":\"result\",\"connection\":\"LPT1\",\"operation\":\"init\",\"outcome\":\"done\"",
          "{\"event\":\"connection\",\"connection\":\"COM3 115200\",\"opens\":",
          "{\"event\":\"result\",\"connection\":\"COM3 115200\",\"operation\":\"init\",\"outcome\":\"done\"",
          "{\"event\":\"summary\",\"operation\":\"init\",\"printers\":2,\"done\":2,\"failed\":0,\"exit\":0,"}},
        {"input refused", {"--json", "--device", "a", "--host", "p", "firmware", missing}, kExitFailed, "",
         {"{\"event\":\"result\",\"connection\":\"a\",\"operation\":\"firmware\",\"outcome\":\"refused\",\"exit\":1,"
          "\"delivered\":0,\"error\":\"Cannot open file",
          "{\"event\":\"result\",\"connection\":\"p\",\"operation\":\"firmware\",\"outcome\":\"refused\"",
          "{\"event\":\"summary\",\"operation\":\"firmware\",\"printers\":2,\"done\":0,\"failed\":2,\"exit\":1,"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeHost host;
        const Ran r = RunOnFake(c.args, host);
        EXPECT_EQ(r.code, c.exitCode) << r.err;
        EXPECT_EQ(host.fake.DeliveredText(), c.sent);
        if (std::string(c.sent).empty()) {
            EXPECT_EQ(host.fake.Count("CreateFileA"), 0u);
        }
        std::istringstream lines(r.out);
        std::vector<std::string> got;
        for (std::string line; std::getline(lines, line);) got.push_back(line);
        ASSERT_EQ(got.size(), c.lines.size()) << r.out;
        for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].rfind(c.lines[i], 0), 0u) << got[i];
        // The table is the person's: on standard error beside --json.
        EXPECT_NE(r.err.find(std::string(c.exitCode == kExitDone ? "2 of 2" : "0 of 2") + " printers done"),
                  std::string::npos)
            << r.err;
    }
}

// --port takes a USB printer by its serial number or identity, in any letter case, one printer
// each; a name that fits none or several of the attached printers opens nothing and says which
// are there. Results name each printer by its whole identity.
TEST(Praxdl, PortTakesAUsbPrinterBySerialNumberOrIdentity) {
    const auto path = [](const std::string& device) {
        return "\\\\?\\USB#VID_1958&PID_" + device + "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
    };
    const std::string a1 = path("0001#A1"), b2 = path("0002#B2"), b3 = path("0003#B2");
    struct Case {
        std::vector<std::string> ports;
        int exitCode;
        std::vector<std::string> opened;  // in order
        const char* says;                 // on standard error
    };
    const std::vector<Case> cases = {
        {{"a1"}, kExitDone, {a1}, ""},
        {{"usb\\vid_1958&pid_0003\\b2", "USB\\VID_1958&PID_0001\\A1"}, kExitDone, {b3, a1}, ""},
        {{"Z9"}, kExitFailed, {},
         "Open port failed\n  \"Z9\" names no connection and no attached USB printer of an accepted make (attached: "
         "USB\\VID_1958&PID_0001\\A1, USB\\VID_1958&PID_0002\\B2, USB\\VID_1958&PID_0003\\B2; see praxdl ports)\n"},
        {{"B2"}, kExitFailed, {}, "\"B2\" names 2 attached USB printers: USB\\VID_1958&PID_0002\\B2, "
                                  "USB\\VID_1958&PID_0003\\B2; give the whole identity\n"},
        {{"A1", "usb\\vid_1958&pid_0001\\a1"}, kExitUsage, {}, "are one printer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ports[0]);
        FakeHost host;
        AttachUsbPrinters(host, {"USB\\VID_1958&PID_0001\\A1", "USB\\VID_1958&PID_0002\\B2",
                                 "USB\\VID_1958&PID_0003\\B2"});
        const fs::path log = fs::path(::testing::TempDir()) / ("praxdl-usb-" + std::to_string(::getpid()) + ".jsonl");
        fs::remove(log);
        std::vector<std::string> args = {"--json", "--log", log.string()};
        for (const std::string& port : c.ports) args.insert(args.end(), {"--port", port});
        args.push_back("init");
        const Ran r = RunOnFake(args, host);
        EXPECT_EQ(r.code, c.exitCode) << r.err;
        std::vector<std::string> opened;
        for (const auto& call : host.fake.calls)
            if (call.name == "CreateFileA") opened.push_back(call.text);
        EXPECT_EQ(opened, c.opened);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        // The result and the record name each printer by its identity.
        for (const std::string& printer : c.opened) {
            EXPECT_NE(r.out.find("\"event\":\"result\",\"connection\":" + JsonString(UsbIdentity(printer))),
                      std::string::npos)
                << r.out;
            EXPECT_NE(Slurp(log).find("\"connection\":" + JsonString(UsbIdentity(printer))), std::string::npos);
        }
        fs::remove(log);
    }
}

// --json ports and --json fonts: JSON alone on standard output, nothing on standard error. A font
// list with nothing in it says why on standard error, and is no failure.
TEST(Praxdl, ListsWithJsonAreJsonAloneAndAnEmptyFontListSaysWhy) {
    FakeHost host;
    host.fake.SetRegString("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts", "Cff (OpenType)", "cff.otf");
    for (const bool json : {false, true}) {
        for (const char* command : {"ports", "fonts"}) {
            SCOPED_TRACE(std::string(command) + (json ? " --json" : ""));
            std::vector<std::string> args = {command};
            if (json) args.insert(args.begin(), "--json");
            const Ran r = RunOnFake(args, host);
            ASSERT_EQ(r.code, kExitDone) << r.err;
            const bool fonts = std::string(command) == "fonts";
            EXPECT_EQ(r.err, fonts ? "praxdl: no font is listed: the list takes TrueType fonts (.ttf files), and "
                                          "none is installed\n"
                                        : "");
            if (fonts && !json) {
                EXPECT_EQ(r.out, "");
            }
            std::istringstream lines(r.out);
            for (std::string line; json && std::getline(lines, line);) EXPECT_EQ(line.rfind("{\"event\":", 0), 0u) << line;
        }
    }
}

// praxdl ports lists the connections of the host it runs on: a COM port mapped to a device that is
// there, the others absent, and the USB printer attached below "USB", which "USB" opens.
TEST(Praxdl, PortsListsTheConnectionsOfTheHostItRunsOn) {
    FakeHost host;
    host.devices["\\\\.\\COM3"] = "/dev/fake-com3";
    host.present.insert("/dev/fake-com3");
    AttachUsbPrinters(host, {"USB\\VID_1958&PID_0001\\A1"});
    const std::string usb = "\\\\?\\USB#VID_1958&PID_0001#A1#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

    const Ran r = RunOnFake({"ports"}, host);
    ASSERT_EQ(r.code, kExitDone) << r.err;
    EXPECT_EQ(r.out.rfind("USB          " + usb + "  present\n  " + usb + "  accepted make, \"USB\" opens it\n"
                          "LPT1         LPT1  absent\nCOM1 115200  \\\\.\\COM1  absent\n",
                          0),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("\nCOM3 115200  /dev/fake-com3  present\nCOM4 115200  \\\\.\\COM4  absent\n"),
              std::string::npos)
        << r.out;

    const Ran json = RunOnFake({"--json", "ports"}, host);
    ASSERT_EQ(json.code, kExitDone) << json.err;
    for (const std::string& line :
         {"{\"event\":\"port\",\"connection\":\"USB\",\"opens\":" + JsonString(usb) + ",\"present\":true}\n",
          "{\"event\":\"usb-printer\",\"identity\":\"USB\\\\VID_1958&PID_0001\\\\A1\",\"serial\":\"A1\",\"opens\":" +
              JsonString(usb) + ",\"verdict\":\"accepted make\",\"accepted\":true,\"chosen\":true}\n",
          std::string("{\"event\":\"port\",\"connection\":\"COM3 115200\",\"opens\":\"/dev/fake-com3\","
                      "\"present\":true}\n"),
          std::string("{\"event\":\"port\",\"connection\":\"COM4 115200\",\"opens\":\"\\\\\\\\.\\\\COM4\","
                      "\"present\":false}\n")})
        EXPECT_NE(json.out.find(line), std::string::npos) << line << json.out;
}
