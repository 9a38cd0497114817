// --version and --help of the three programs: answered on standard output with no display at all
// (the window's must come before Qt looks for one).
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/Process.h"
#include "version/Version.h"

using namespace prax::testing;

namespace {

struct Case {
    std::string program;
    std::vector<std::string> args;
    std::string out;  // exact, or a prefix when `prefix`
    bool prefix;
    std::string mentions;  // a further part of the output
};

TEST(VersionAndHelp, AnsweredOnStandardOutputWithoutADisplay) {
    const std::string version = prax::kVersion;
    std::vector<Case> cases = {
        {VPRINTER_BIN, {"--version"}, "prax-virtual-printer " + version + "\n", false, ""},
        {VPRINTER_BIN, {"--help"}, "usage: prax-virtual-printer [", true, "  --version "},
        {VPRINTER_BIN, {"-h"}, "usage: prax-virtual-printer [", true, "--exit-after-idle MS"},
        {PRAXDL_BIN, {"--version"}, "praxdl " + version + "\n", false, ""},
        {PRAXDL_BIN, {"--help"}, "Sends label printers", true, "Usage: praxdl [OPTIONS] COMMAND"},
    };
#ifdef PRAX_DOWNLOAD_BIN
    cases.push_back({PRAX_DOWNLOAD_BIN, {"--version"}, "prax-download " + version + "\n", false, ""});
    cases.push_back({PRAX_DOWNLOAD_BIN, {"--help"}, "usage: prax-download [IMAGE [CONNECTION]]\n", true,
                     "PRAX_COM1 ... PRAX_COM8"});
    cases.push_back({PRAX_DOWNLOAD_BIN, {"-h"}, "usage: prax-download [IMAGE [CONNECTION]]\n", true,
                     "\"COM3 115200\""});
#endif
    const std::map<std::string, std::string> noDisplay = {
        {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}};
    for (const Case& c : cases) {
        std::vector<std::string> argv = {c.program};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(c.program + " " + c.args.front());
        const ProcessResult r = RunProgram(argv, noDisplay, {}, 10000);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, "");
        if (c.prefix) EXPECT_TRUE(r.out.starts_with(c.out)) << r.out;
        else EXPECT_EQ(r.out, c.out);
        EXPECT_NE(r.out.find(c.mentions), std::string::npos) << r.out;

        // Output that could not be written is no success.
        const ProcessResult full =
            RunProgram({"/bin/sh", "-c", "exec \"$0\" \"$1\" > /dev/full", c.program, c.args.front()}, noDisplay,
                       {}, 10000);
        EXPECT_EQ(full.exitCode, 1) << full.err;
    }
}

}  // namespace
