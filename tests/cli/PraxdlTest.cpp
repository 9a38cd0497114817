#include <gtest/gtest.h>

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
