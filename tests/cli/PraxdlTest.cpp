#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/Interrupt.h"
#include "cli/Praxdl.h"
#include "platform/fake/FakePlatform.h"

using namespace prax::cli;
using prax::platform::IDNO_;
using prax::platform::fake::FakePlatform;
using prax::platform::fake::kForever;
namespace fs = std::filesystem;

namespace {

// The fake's open of the output stands in for the real one: it creates the file it was given.
class FakeHost final : public Host {
public:
    FakePlatform fake;
    prax::platform::Platform& platform() override { return fake; }
    void MapDevice(const std::string&, const std::string&) override {}
    void MapOutputFile(const std::string&, const std::string& path) override {
        std::ofstream(path, std::ios::binary) << "written";
    }
};

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
        std::istringstream in;
        std::ostringstream sout, serr;
        Streams io{in, sout, serr};
        const int code = RunPraxdl({"--output", out.string(), "firmware", image.string()}, io, &host);
        gInterruptSignal = 0;
        EXPECT_EQ(code, c.exitCode) << serr.str();
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
        std::istringstream in;
        std::ostringstream sout, serr;
        Streams io{in, sout, serr};
        const int code = RunPraxdl({"--host", c.text, "init"}, io, &host);
        if (!c.host) {
            EXPECT_EQ(code, kExitUsage);
            EXPECT_EQ(host.fake.Count("ConnectTcp"), 0u);
            continue;
        }
        EXPECT_EQ(code, kExitDone) << serr.str();
        ASSERT_EQ(host.fake.Count("ConnectTcp"), 1u);
        const auto it = std::find_if(host.fake.calls.begin(), host.fake.calls.end(),
                                     [](const auto& call) { return call.name == "ConnectTcp"; });
        EXPECT_EQ(it->text, c.host);
        EXPECT_EQ(it->args[0], c.port);
        EXPECT_EQ(host.fake.DeliveredText(), "^default\r\n");
    }
    FakeHost host;
    std::istringstream in;
    std::ostringstream sout, serr;
    Streams io{in, sout, serr};
    host.fake.connectFails = true;
    EXPECT_EQ(RunPraxdl({"--host", "printer", "init"}, io, &host), kExitFailed);
    EXPECT_NE(serr.str().find("Open port failed\n  printer:9100: connection refused"), std::string::npos) << serr.str();
}
