// Recipes end to end: praxdl apply on files, ptys and a fake USB tree, and what each printer got,
// what the table, the JSON and the record say.
#include <gtest/gtest.h>
#include <signal.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "cli/Sha256.h"
#include "tests/support/FakeSysfs.h"
#include "tests/support/Process.h"
#include "tests/support/Pty.h"
#include "tests/support/Streams.h"

using namespace prax::testing;
namespace fs = std::filesystem;

namespace {

const std::string kPraxdl = PRAXDL_BIN;
const std::string kPrinter = VPRINTER_BIN;

// A folder of its own with a recipe's files in it: an image, a font, a table, a raw file.
struct Kit {
    std::string root;
    explicit Kit(const std::string& name) : root(::testing::TempDir() + "recipe-" + name) {
        fs::remove_all(root);
        fs::create_directories(root + "/images");
        fs::create_directories(root + "/fonts");
        Put("images/fw.bin", ImageOf(70000, 3));
        Put("images/dl.bin", ImageOf(1500, 4));
        Put("fonts/corp.ttf", ImageOf(5000, 5));
        // Larger than any pty's queue: a printer gone in its middle can't have taken it.
        Put("big5.table.bin", ImageOf(200000, 6));
        Put("raw.prn", "^XA^FO50,50^FDhi^FS^XZ\r\n");
    }
    std::string Put(const std::string& name, const std::string& bytes) const {
        std::ofstream(root + "/" + name, std::ios::binary) << bytes;
        return root + "/" + name;
    }
    std::string Sha(const std::string& name) const { return prax::cli::Sha256Hex(Slurp(root + "/" + name)); }
    std::string Path(const std::string& name) const { return root + "/" + name; }
};

ProcessResult Praxdl(std::vector<std::string> args, const std::map<std::string, std::string>& env = {}) {
    args.insert(args.begin(), kPraxdl);
    return RunProgram(args, env, {}, 60000);
}

std::string Jq(const std::string& text, const std::string& program) {
    const ProcessResult jq = RunProgram({"/usr/bin/jq", "-R", "-r", "fromjson | " + program}, {}, text);
    return jq.exitCode == 0 ? jq.out : "jq: " + jq.err;
}

// Four steps whose streams are known: two command lines, a table, the channel's settings.
std::string FourSteps(const Kit& kit) {
    return kit.Put("four.toml", "name = \"four\"\n"
                                "[[step]]\ninit = true\n"
                                "[[step]]\nsend = [\"^S1\", \"^D30\"]\n"
                                "[[step]]\ncode-table = \"big5.table.bin\"\nslot = \"TC\"\n"
                                "[[step]]\nchannel = \"49\"\n");
}

}  // namespace

// The recipe's stream is each step's single run one after another, byte for byte, whatever the
// folder praxdl runs in; the plan counts every step's bytes as its stream has them.
TEST(RecipeEndToEnd, TheStreamIsTheSingleRunsOneAfterAnotherAndThePlanCountsIt) {
    const Kit kit("stream");
    const std::string recipe = kit.Put("line.toml",
                                       "name = \"line 3\"\n"
                                       "[[step]]\nfirmware = \"images/fw.bin\"\nsha256 = \"" + kit.Sha("images/fw.bin") +
                                           "\"\npackage-size = 1000\n"
                                           "[[step]]\npause = \"20ms\"\n"
                                           "[[step]]\nfont-file = \"fonts/corp.ttf\"\nname = \"Corporate (TrueType)\"\n"
                                           "slot = \"TB\"\n"
                                           "[[step]]\ncode-table = \"big5.table.bin\"\nslot = \"tc\"\n"
                                           "[[step]]\nraw = \"raw.prn\"\n"
                                           "[[step]]\ndl-firmware = \"images/dl.bin\"\n"
                                           "[[step]]\nsend = [\"^default\", \"^S1\"]\n"
                                           "[[step]]\ncutter = true\n"
                                           "[[step]]\nchannel = 25\n"
                                           "[[step]]\nread = \"start\"\n");
    const std::vector<std::vector<std::string>> singles = {
        {"firmware", kit.Path("images/fw.bin"), "--package-size", "1000"},
        {"font", "--file", kit.Path("fonts/corp.ttf"), "--name", "Corporate (TrueType)", "--slot", "TB"},
        {"code-table", kit.Path("big5.table.bin"), "--slot", "TC"},
        {"raw", kit.Path("raw.prn")},
        {"dl-firmware", kit.Path("images/dl.bin")},
        {"send", "^default", "^S1"},
        {"cutter"},
        {"channel", "25"},
        {"read", "start"},
    };
    std::string expected;
    std::vector<std::uint64_t> sizes;
    for (std::size_t i = 0; i < singles.size(); ++i) {
        std::vector<std::string> args = {"--quiet", "--output", kit.Path("single" + std::to_string(i))};
        args.insert(args.end(), singles[i].begin(), singles[i].end());
        ASSERT_EQ(Praxdl(args).exitCode, 0) << singles[i][0];
        expected += Slurp(kit.Path("single" + std::to_string(i)));
        sizes.push_back(Slurp(kit.Path("single" + std::to_string(i))).size());
    }
    const ProcessResult run = Praxdl({"--quiet", "--output", kit.Path("all.bin"), "apply", recipe});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Slurp(kit.Path("all.bin")) == expected) << Slurp(kit.Path("all.bin")).size() << " vs " << expected.size();

    const ProcessResult plan = Praxdl({"--json", "apply", "--dry-run", recipe});
    ASSERT_EQ(plan.exitCode, 0) << plan.err;
    std::string bytes;
    for (std::size_t i = 0; i < sizes.size(); ++i) bytes += std::to_string(sizes[i]) + "\n";
    EXPECT_EQ(Jq(plan.out, "select(.event == \"plan-step\" and .kind != \"pause\") | .bytes"), bytes);
    // 115200 baud of 8N1 is 11520 bytes a second.
    EXPECT_EQ(Jq(plan.out, "select(.event == \"plan\") | [.bytes, (.seconds * 1000 | round), (.pauses * 1000)] | @tsv"),
              std::to_string(expected.size()) + "\t" + std::to_string(std::lround(expected.size() / 11.52)) + "\t20\n");
    EXPECT_EQ(Jq(plan.out, "select(.index == 1) | .sha256"), kit.Sha("images/fw.bin") + "\n");
    // Nothing was opened for the plan: no FILE, no leftovers.
    EXPECT_FALSE(fs::exists(kit.Path("plan.bin")));
}

// Four printers, one of which goes away in the third step: no later step goes to it, the others
// get every step, and the run fails naming the step it ended on.
TEST(RecipeEndToEnd, APrinterThatFailsAtStepThreeGetsNoLaterStepWhileTheOthersFinish) {
    const Kit kit("four");
    const std::string recipe = FourSteps(kit);
    ASSERT_EQ(Praxdl({"--quiet", "--output", kit.Path("expected.bin"), "apply", recipe}).exitCode, 0);
    const std::string stream = Slurp(kit.Path("expected.bin"));
    const std::size_t firstTwo = std::string("^default\r\n^S1\r\n^D30\r\n").size();
    Pty a, b, d;
    ASSERT_TRUE(a.ok() && b.ok() && d.ok());
    for (Pty* pty : {&a, &b, &d}) pty->StartReading();
    // It goes away 50 bytes into the table: steps 1 and 2 went to it whole, step 3 can't.
    Child fails({kPrinter, "--no-times", "--close-after", std::to_string(firstTwo + 50)});
    const std::string failing = fails.NextLine();
    const std::string log = kit.Path("line.jsonl");
    const ProcessResult run = Praxdl({"--device", a.path(), "--device", b.path(), "--device", failing, "--device",
                                      d.path(), "--log", log, "apply", recipe});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    for (Pty* pty : {&a, &b, &d}) EXPECT_TRUE(pty->WaitFor(stream.size(), 5000) == stream) << pty->path();
    EXPECT_EQ(Jq(Slurp(log), "select(.connection == \"" + failing + "\") | \"\\(.step // \"all\") \\(.outcome)\""),
              "1 done\n2 done\n3 stopped\nall stopped\n");
    const std::string whole = "select(.command == \"apply\" and (.connection == \"" + failing + "\") == ";
    EXPECT_EQ(Jq(Slurp(log), whole + "true) | \"\\(.stepsDone)/\\(.steps) \\(.failedStep)\""), "2/4 3 code-table TC big5.table.bin\n");
    EXPECT_EQ(Jq(Slurp(log), whole + "false) | \"\\(.stepsDone)/\\(.steps) \\(.recipe)\""), "4/4 four\n4/4 four\n4/4 four\n");
    // The table tells the step each printer reached.
    EXPECT_NE(run.out.find("3/4 code-table TC big5.table.bin"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("3 of 4 printers done"), std::string::npos) << run.out;
}

// A station serves a printer that restarts after its firmware and comes back under another node:
// its recipe goes on there, from the step after the wait, and it is not served again as a new
// printer; another plugged in after it is.
TEST(RecipeEndToEnd, AStationGoesOnWithAPrinterThatCameBackUnderAnotherNode) {
    const Kit kit("station");
    const std::string image = ImageOf(5000, 9);
    kit.Put("small.bin", image);
    const std::string recipe = kit.Put("station.toml", "[[step]]\nfirmware = \"small.bin\"\n"
                                                       "[[step]]\nwait = \"printer\"\ntimeout = \"20s\"\n"
                                                       "[[step]]\ninit = true\n");
    Pty before1, after1, before2, after2;
    for (Pty* pty : {&before1, &after1, &before2, &after2}) {
        ASSERT_TRUE(pty->ok());
        pty->StartReading();
    }
    const std::string root = kit.root + "/usb";
    const FakeUsbPrinter s1{"lp0", "1958", "0001", "S1", "Maker", "Label", before1.path()};
    const FakeUsbPrinter s1back{"lp3", "1958", "0001", "S1", "Maker", "Label", after1.path()};
    const FakeUsbPrinter s2{"lp4", "1958", "0001", "S2", "Maker", "Label", before2.path()};
    const FakeUsbPrinter s2back{"lp5", "1958", "0001", "S2", "Maker", "Label", after2.path()};
    BuildFakeSysfs(root + "/t0", {s1});
    BuildFakeSysfs(root + "/t1", {s1back});
    BuildFakeSysfs(root + "/t2", {s1back, s2});
    BuildFakeSysfs(root + "/t3", {s1back, s2back});
    fs::create_directory_symlink("t0", root + "/now");
    const auto turn = [&](const std::string& tree) {
        fs::create_directory_symlink(tree, root + "/next");
        fs::rename(root + "/next", root + "/now");
    };
    Child praxdl({kPraxdl, "--watch", "--count", "2", "--json", "apply", recipe},
                 {{"PRAX_SYSFS_ROOT", root + "/now/sys"}, {"PRAX_DEV_ROOT", root + "/now/dev"}});
    const std::string firmware = FirmwareStream(image);
    ASSERT_TRUE(before1.WaitFor(firmware.size(), 10000) == firmware) << praxdl.rest();
    turn("t1");
    ASSERT_EQ(after1.WaitFor(10, 10000), "^default\r\n") << praxdl.rest();
    turn("t2");
    ASSERT_TRUE(before2.WaitFor(firmware.size(), 10000) == firmware) << praxdl.rest();
    turn("t3");
    ASSERT_EQ(praxdl.Wait(20000), 0) << praxdl.rest();
    EXPECT_EQ(after2.WaitFor(10, 200), "^default\r\n");
    // Nothing more went to either: not the firmware again to the printer that came back.
    EXPECT_EQ(after1.Received(), "^default\r\n");
    EXPECT_TRUE(before1.Received() == firmware);
    std::string out;
    for (const std::string& line : praxdl.seen()) out += line + "\n";
    out += praxdl.rest();
    EXPECT_EQ(Jq(out, "select(.event == \"result\") | \"\\(.connection) \\(.stepsDone)/\\(.steps)\""),
              "USB\\VID_1958&PID_0001\\S1 3/3\nUSB\\VID_1958&PID_0001\\S2 3/3\n");
    // Every event of a printer names it and its step.
    EXPECT_EQ(Jq(out, "select(.event == \"progress\" or .event == \"connection\") | "
                      "select(.connection == null or .step.index == null) | .event"),
              "");
}

// A recipe with a wrong hash, a download-mode image too large, a TOML slip or an unknown font sends
// nothing to anyone, and says every problem it has.
TEST(RecipeEndToEnd, ARecipeThatFailsItsCheckSendsNothingToAnyPrinter) {
    const Kit kit("refused");
    kit.Put("big.bin", ImageOf(131073, 2));
    const struct {
        std::string recipe;
        std::vector<std::string> said;
    } cases[] = {
        {"[[step]]\nfirmware = \"images/fw.bin\"\nsha256 = \"" + std::string(64, 'a') + "\"\n[[step]]\ninit = true\n",
         {"bad.toml:3: step 1 (firmware): \"" + kit.Path("images/fw.bin") + "\" is not the file pinned"}},
        {"[[step]]\ninit = true\n[[step]]\ndl-firmware = \"big.bin\"\n",
         {"step 2 (dl-firmware):", "is 131073 bytes; a download-mode image takes at most 131072"}},
        {"[[step]]\ninit = true\nslot = \"TB\"\n[[step\n", {"bad.toml:4:"}},
        {"[[step]]\nfont = \"No Such Face (TrueType)\"\n[[step]]\ncode-table = \"none.bin\"\n[[step]]\nsend = []\n",
         {"step 1 (font): no font named \"No Such Face (TrueType)\"", "step 2 (code-table): ", "step 3 (send):",
          "the recipe has 3 problems; nothing was sent"}},
    };
    Pty a, b;
    ASSERT_TRUE(a.ok() && b.ok());
    for (const auto& c : cases) {
        const std::string recipe = kit.Put("bad.toml", c.recipe);
        const ProcessResult run = Praxdl({"--device", a.path(), "--device", b.path(), "apply", recipe});
        EXPECT_EQ(run.exitCode, 2) << run.err;
        for (const std::string& text : c.said) EXPECT_NE(run.err.find(text), std::string::npos) << text << "\n" << run.err;
    }
    EXPECT_EQ(a.Drain(100) + b.Drain(100), "");
}

// Ctrl+C in the middle of a recipe ends it there: the step is cut short, no later step goes, and
// the record says how far each got.
TEST(RecipeEndToEnd, AnInterruptEndsTheRecipeInItsStep) {
    const Kit kit("interrupt");
    kit.Put("large.bin", ImageOf(200000, 7));
    const std::string recipe =
        kit.Put("slow.toml", "[[step]]\ninit = true\n[[step]]\nfirmware = \"large.bin\"\n[[step]]\ncutter = true\n");
    Child printer({kPrinter, "--no-times", "--throttle"});
    const std::string device = printer.NextLine();
    const std::string log = kit.Path("slow.jsonl");
    Child praxdl({kPraxdl, "--device", device, "--json", "--log", log, "apply", recipe});
    ASSERT_FALSE(praxdl.LineStartingWith("{\"event\":\"progress\"", 20000).empty()) << praxdl.rest();
    kill(praxdl.pid(), SIGINT);
    EXPECT_EQ(praxdl.Wait(20000), 130);
    EXPECT_EQ(Jq(Slurp(log), "\"\\(.step // .command) \\(.outcome)\""), "1 done\n2 interrupted\napply interrupted\n");
}

// A network printer restarts after its firmware: the wait holds the next step back until it
// refused connections and accepts one again, and that step goes to the printer that is back.
TEST(RecipeEndToEnd, AWaitHoldsTheNextStepUntilTheNetworkPrinterIsBack) {
    const Kit kit("network");
    kit.Put("small.bin", ImageOf(5000, 8));
    const std::string recipe = kit.Put("net.toml", "[[step]]\nfirmware = \"small.bin\"\n"
                                                   "[[step]]\nwait = \"printer\"\ntimeout = \"20s\"\n"
                                                   "[[step]]\ninit = true\n");
    Child printer({kPrinter, "--no-times", "--listen", "127.0.0.1:0", "--restart-ms", "700"});
    const std::string address = printer.NextLine();
    ASSERT_FALSE(address.empty());
    const std::string log = kit.Path("net.jsonl");
    const ProcessResult run = Praxdl({"--host", address, "--log", log, "apply", recipe});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> lines;
    for (int i = 0; i < 5; ++i) lines.push_back(printer.NextLine(5000));
    EXPECT_EQ(lines[2], "restarting");
    EXPECT_EQ(lines[3], "ready");
    EXPECT_EQ(lines[4], "command: ^default");
    // The wait lasted the restart, and no step failed on the way.
    EXPECT_EQ(Jq(Slurp(log), "select(.step == 2) | \"\\(.outcome) \\(.seconds >= 0.6)\""), "done true\n");
}
