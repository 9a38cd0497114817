// The programs themselves, end to end: what arrives at the far end of a pty or in a file is
// compared with the stream built here from the documented format.
#include <gtest/gtest.h>
#include <sys/file.h>

#include <sys/stat.h>

#include <chrono>
#include <map>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "protocol/Commands.h"
#include "protocol/StreamPieces.h"
#include "tests/support/FakeSysfs.h"
#include "tests/support/Process.h"
#include "tests/support/Pty.h"
#include "tests/support/Streams.h"

using namespace prax::testing;
using prax::protocol::RegisterHex;

namespace {

const std::string kPraxdl = PRAXDL_BIN;
const std::string kPrinter = VPRINTER_BIN;

// Runs praxdl while a reader collects what arrives on the pty.
struct Delivery {
    ProcessResult run;
    std::string arrived;
};
Delivery ViaPty(Pty& pty, std::vector<std::string> args, std::size_t expect,
                const std::map<std::string, std::string>& env = {}, const std::string& input = {}) {
    Delivery d;
    std::thread reader([&] { d.arrived = pty.Read(expect, 3000); });
    args.insert(args.begin(), kPraxdl);
    d.run = RunProgram(args, env, input);
    reader.join();
    return d;
}

}  // namespace

TEST(PraxdlEndToEnd, EachCommandDeliversItsExactLineOverADevice) {
    struct Case {
        std::string command;
        std::string bytes;
    };
    for (const Case& c : {Case{"init", "^default\r\n"}, Case{"cutter", "^D1,5\r\n"},
                          Case{"change-mode", "~~INTERNALCOMMANDCA\r\n"}}) {
        Pty pty;
        ASSERT_TRUE(pty.ok());
        const Delivery d = ViaPty(pty, {"--device", pty.path(), c.command}, c.bytes.size());
        EXPECT_EQ(d.run.exitCode, 0) << d.run.err;
        EXPECT_EQ(d.arrived, c.bytes) << c.command;
        EXPECT_EQ(pty.Drain(100), "") << "nothing after the line";
    }
}

TEST(PraxdlEndToEnd, PortNamesAComPortThroughItsEnvironmentVariable) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    const Delivery d = ViaPty(pty, {"--port", "com4 115200", "init"}, 10, {{"PRAX_COM4", pty.path()}});
    EXPECT_EQ(d.run.exitCode, 0) << d.run.err;
    EXPECT_EQ(d.arrived, "^default\r\n");
}

TEST(PraxdlEndToEnd, Lpt1WritesSynchronouslyToItsDevice) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    const std::string image = ImageOf(3000, 4);
    const Delivery d = ViaPty(pty, {"--port", "LPT1", "--quiet", "firmware", Temp("img-lpt.bin", image)},
                              FirmwareStream(image).size(), {{"PRAX_LPT1", pty.path()}});
    EXPECT_EQ(d.run.exitCode, 0) << d.run.err;
    EXPECT_EQ(d.arrived, FirmwareStream(image));
}

TEST(PraxdlEndToEnd, SendDeliversEveryLineWithCrLfAnEmptyOneToo) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    const std::string want = "^XA\r\n\r\n^XZ\r\n";
    Delivery d = ViaPty(pty, {"--port", "COM2 115200", "send", "^XA", "", "^XZ"}, want.size(),
                        {{"PRAX_COM2", pty.path()}});
    EXPECT_EQ(d.run.exitCode, 0) << d.run.err;
    EXPECT_EQ(d.arrived, want);
    // From standard input: a final line break adds no empty line; CR LF endings are taken as one.
    d = ViaPty(pty, {"--device", pty.path(), "send"}, want.size(), {}, "^XA\r\n\n^XZ\n");
    EXPECT_EQ(d.run.exitCode, 0) << d.run.err;
    EXPECT_EQ(d.arrived, want);
}

// Standard input that is no text of lines ends send with an error and nothing sent: an endless
// stream is cut at the first line no command could be, a folder or a closed input is unreadable.
TEST(PraxdlEndToEnd, SendRefusesStandardInputThatIsNoLines) {
    const std::string out = ::testing::TempDir() + "send-refused.out";
    for (const auto& [redirect, says] : std::vector<std::pair<std::string, std::string>>{
             {"< /dev/zero", "line 1 of standard input is longer than 65536 bytes"},
             {"< /", "cannot read standard input"},
             {"<&-", "cannot read standard input"}}) {
        SCOPED_TRACE(redirect);
        std::filesystem::remove(out);
        const ProcessResult r =
            RunProgram({"/bin/bash", "-c", "exec \"$0\" --output \"$1\" send " + redirect, kPraxdl, out});
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

TEST(PraxdlEndToEnd, AConnectionThatCannotBeOpenedSaysSoAndWritesNothing) {
    ProcessResult r = RunProgram({kPraxdl, "--port", "COM7 115200", "init"}, {{"PRAX_COM7", "/nonexistent/tty7"}});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), "Open port failed");
    EXPECT_NE(r.err.find("no such device"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    r = RunProgram({kPraxdl, "--port", "COM7 115200", "change-mode"}, {{"PRAX_COM7", "/nonexistent/tty7"}});
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), "Can't open port");
    r = RunProgram({kPraxdl, "init"});  // the default connection, USB, finds no printer here
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), "Open port failed");
}

// Output that the host will not take says why in a file's terms: a full disk, a folder this
// user may not write in (even root may not in /sys), a folder that is not there.
TEST(PraxdlEndToEnd, OutputToAFullDiskOrAFolderThatTakesNothingSaysWhy) {
    const std::string image = Temp("img-full.bin", ImageOf(1000, 9));
    struct Case {
        const char* output;
        const char* said;
    } cases[] = {{"/dev/full", "The disk is full: 0 of the image's 1000 bytes were delivered. The transfer was ended."},
                 {"/sys/prax.bin", "(this user may not write files in that folder)"},
                 {"/nonexistent/prax.bin", "(no such folder)"}};
    for (const Case& c : cases) {
        const ProcessResult r = RunProgram({kPraxdl, "--output", c.output, "firmware", image});
        EXPECT_EQ(r.exitCode, 1) << c.output;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("dialout"), std::string::npos) << r.err;
        // The file named is the one given, not the one the stream goes to until it is complete.
        EXPECT_EQ(r.err.find(".part"), std::string::npos) << r.err;
    }
    EXPECT_EQ(RunProgram({kPraxdl, "--output", "/nonexistent/prax.bin", "init"}).err,
              "Open port failed\n  /nonexistent/prax.bin: No such file or directory (no such folder)\n");
}

// --output onto a disk that fills up mid-image says so in a file's terms, and no printer is left
// waiting for the rest of the image, so neither the message nor the result says one is.
TEST(PraxdlEndToEnd, OutputOntoADiskThatFillsMidImageLeavesNoPrinterWaiting) {
    namespace fs = std::filesystem;
    const std::string disk = ::testing::TempDir() + "praxdl-small-disk";
    fs::create_directories(disk);
    const std::string image = Temp("img-small-disk.bin", ImageOf(200000, 12));
    // A disk of 64 KiB, mounted for this run alone (a mount namespace of its own) and gone with it.
    const std::vector<std::string> onSmallDisk = {
        "/usr/bin/unshare", "-rm", "/bin/sh", "-c",
        "mount -t tmpfs -o size=64k prax-small \"$0\" && exec \"$@\"", disk, "/bin/true"};
    if (!fs::exists(onSmallDisk[0]) || RunProgram(onSmallDisk).exitCode != 0)
        GTEST_SKIP() << "this host gives no disk of its own to a test";
    std::vector<std::string> argv = onSmallDisk;
    argv.back() = kPraxdl;
    argv.insert(argv.end(), {"--json", "--output", disk + "/out.bin", "firmware", image});
    const ProcessResult r = RunProgram(argv);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("The disk is full: "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("The disk is full: 0 of"), std::string::npos) << "full before the image began";
    EXPECT_EQ(r.err.find("waiting for the rest"), std::string::npos) << r.err;
    const std::size_t at = r.out.rfind("{\"event\":\"result\"");
    ASSERT_NE(at, std::string::npos) << r.out;
    const std::string result = r.out.substr(at);
    EXPECT_NE(result.find("\"outcome\":\"stopped\""), std::string::npos) << result;
    EXPECT_NE(result.find("\"printerMidImage\":false"), std::string::npos) << result;
    EXPECT_EQ(result.find("waiting for the rest"), std::string::npos) << result;
}

TEST(PraxdlEndToEnd, APortHeldByAnotherProgramIsReportedBusy) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    const int fd = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    const ProcessResult r = RunProgram({kPraxdl, "--device", pty.path(), "init"});
    ::close(fd);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("another program holds the port"), std::string::npos) << r.err;
    EXPECT_EQ(pty.Drain(100), "");
}

TEST(PraxdlEndToEnd, UsageErrorsExitWithTwoAndSendNothing) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--port", "COM9 115200", "init"}, {"frobnicate"}, {},
          {"init", "extra"}, {"--yes", "--no", "init"}, {"firmware"}, {"--port"},
          {"--device", "/dev/null", "--output", "/tmp/x", "init"}, {"init", "--package-size", "8"},
          {"dl-firmware"}, {"raw", "a", "b"}, {"channel", "7"}, {"channel"}, {"read", "Stop"}, {"read"},
          {"code-table"}, {"font"}, {"fonts", "x"}, {"code-table", "a", "--slot", "TAA"}, {"raw", "a", "--slot", "TB"},
          {"--host", "127.0.0.1:0", "init"}, {"--host", "127.0.0.1", "--output", "/dev/null", "init"}}) {
        std::vector<std::string> argv = {kPraxdl};
        argv.insert(argv.end(), args.begin(), args.end());
        const ProcessResult r = RunProgram(argv);
        EXPECT_EQ(r.exitCode, 2) << (args.empty() ? "(none)" : args[0]) << ": " << r.err;
    }
}

TEST(PraxdlEndToEnd, OutputFileHoldsExactlyTheFirmwareStreamForAnySize) {
    for (std::size_t size : {0u, 1u, 511u, 512u, 513u, 5000u}) {
        const std::string image = ImageOf(size, static_cast<unsigned>(size) + 3);
        const std::string in = Temp("img-" + std::to_string(size) + ".bin", image);
        const std::string out = ::testing::TempDir() + "stream-" + std::to_string(size) + ".out";
        const ProcessResult r = RunProgram({kPraxdl, "--output", out, "firmware", in});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(Slurp(out), FirmwareStream(image)) << size;
        // With no earlier transfer an empty image leaves the count part empty.
        const std::string count = size == 0 ? "" : std::to_string(size) + " Bytes";
        EXPECT_EQ(r.out, count + "  CRC=" + RegisterHex(Reg(image)) + "\n");
    }
}

// A reader of praxdl's output that is gone before the first line (`| head -1` once it has its
// line) never cuts the stream: the file is whole and named, and the exit status is the transfer's.
TEST(PraxdlEndToEnd, AReaderOfTheOutputThatWentAwayNeverStopsTheTransfer) {
    const std::string image = ImageOf(200000, 21);
    const std::string in = Temp("img-pipe.bin", image);
    const std::string dir = ::testing::TempDir() + "pipe-gone-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    const std::string out = dir + "/fw.out";
    // Standard output (or standard error) a pipe whose reading end is closed before praxdl starts.
    for (const char* stream : {"STDOUT", "STDERR"}) {
        SCOPED_TRACE(stream);
        std::filesystem::remove(out);
        // SIGPIPE as a shell leaves it (this test program ignores it, and children inherit that).
        const std::string perl = std::string("$SIG{PIPE} = 'DEFAULT'; pipe(R, W) or die; close R; open(") + stream +
                                 ", '>&', \\*W) or die; exec @ARGV or die";
        const ProcessResult r =
            RunProgram({"/usr/bin/perl", "-e", perl, kPraxdl, "--json", "--output", out, "firmware", in});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(Slurp(out) == FirmwareStream(image)) << "the stream was cut";
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1)
            << "a .part file was left";
    }
}

// A code table whose file name would end the header line and run a command is refused with
// nothing opened: --output is not even created.
TEST(PraxdlEndToEnd, ATableNameThatWouldInjectACommandIsRefused) {
    const std::string table = Temp("a\r\n^default\r\n.bin", "table");
    const std::string out = ::testing::TempDir() + "injected.out";
    std::filesystem::remove(out);
    const ProcessResult r = RunProgram({kPraxdl, "--output", out, "code-table", table});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("control character 0x0D at position 2"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(out));
}

// --output onto a symbolic link writes the file it points to and keeps the link; a stream a
// killed run left behind for the same FILE is removed, one of a run still going is not.
TEST(PraxdlEndToEnd, OutputFollowsALinkAndClearsWhatAKilledRunLeft) {
    namespace fs = std::filesystem;
    const fs::path dir = ::testing::TempDir() + "output-link-" + std::to_string(::getpid());
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "real.bin") << "old";
    fs::create_symlink("real.bin", dir / "link.bin");
    const fs::path dead = dir / ".real.bin.praxdl-999999999.part";  // no process has that number
    const fs::path live = dir / (".real.bin.praxdl-" + std::to_string(::getpid()) + ".part");
    std::ofstream(dead) << "half";
    std::ofstream(live) << "half";
    const std::string image = ImageOf(3000, 5);
    const ProcessResult r = RunProgram({kPraxdl, "--output", (dir / "link.bin").string(), "firmware",
                                        Temp("img-link.bin", image)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "link.bin")));
    EXPECT_TRUE(Slurp((dir / "real.bin").string()) == FirmwareStream(image));
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_TRUE(fs::exists(live));
    fs::remove_all(dir);
}

// The other streams praxdl can send, as the format describes them, and the status line after.
TEST(PraxdlEndToEnd, OutputFileHoldsExactlyEachOtherStream) {
    auto dlMode = [](const std::string& image) {
        std::string s = std::string(25, '\r') + "\r\n~~INTERNALCOMMANDU,UPDATADLMODE," + std::to_string(image.size()) + "\r";
        const std::string tail = FirmwareStream(image);
        return s + tail.substr(tail.size() - image.size() - 130);
    };
    const std::string opener = "\x10\x04\r";
    const std::string code = prax::protocol::AccessCode();
    struct Case {
        std::vector<std::string> args;
        std::string stream;
        std::string out;
    };
    std::vector<Case> cases;
    for (std::size_t size : {0u, 1000u, 131072u}) {
        const std::string image = ImageOf(size, 7);
        cases.push_back({{"dl-firmware", Temp("dl-" + std::to_string(size) + ".bin", image)}, dlMode(image),
                         size ? std::to_string(size) + " Bytes\n" : ""});
    }
    for (std::size_t size : {0u, 5u, 1030u, 2048u}) {
        const std::string file = ImageOf(size, 9);
        cases.push_back({{"raw", Temp("raw-" + std::to_string(size) + ".bin", file)}, file,
                         size ? std::to_string(size) + " Bytes\n" : ""});
    }
    for (std::size_t size : {0u, 1027u}) {
        const std::string file = ImageOf(size, 11);
        const std::string path = Temp("v2.0.big5-" + std::to_string(size) + ".bin", file);
        cases.push_back({{"code-table", path, "--slot", "tz"},
                         "\r\n~H,TTF_TABLE,Zv2.0.big5-" + std::to_string(size) + "," + std::to_string(size) + "\r" + file,
                         size ? std::to_string(size) + " Bytes\n" : ""});
    }
    // One channel is enough here: the lines are paced in real time (the others are on the fake).
    cases.push_back({{"channel", "25"},
                     opener + "pw=" + code + "\rchan=25\rhop=0\rtxp0=350\rtxp1=350\rtxp2=350\rtxp3=350\r", ""});
    cases.push_back({{"read", "start"}, opener + "rl\r", ""});
    cases.push_back({{"read", "stop"}, "\r", ""});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        const std::string out = ::testing::TempDir() + "stream-other.out";
        std::vector<std::string> argv = {kPraxdl, "--output", out, "--quiet"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const ProcessResult r = RunProgram(argv);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(Slurp(out), c.stream);
        EXPECT_EQ(r.out, c.out);
    }
    // Larger than download mode takes: the window's message, then the size and the limit; nothing
    // opened.
    const std::string out = ::testing::TempDir() + "stream-dl-big.out";
    std::remove(out.c_str());
    const std::string big = Temp("dl-big.bin", ImageOf(131073));
    const ProcessResult r = RunProgram({kPraxdl, "--output", out, "dl-firmware", big});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "DL MODE SHOW LESS THEN 128KByte\npraxdl: \"" + big +
                         "\" is 131073 bytes; a download-mode image takes at most 131072.\n");
    EXPECT_FALSE(std::ifstream(out).good());
}

TEST(PraxdlEndToEnd, PackageSizeChangesOnlyTheGroupingNotTheStream) {
    const std::string image = ImageOf(1234);
    const std::string in = Temp("img-ps.bin", image);
    const std::string out = ::testing::TempDir() + "stream-ps.out";
    ProcessResult r = RunProgram({kPraxdl, "--output", out, "--quiet", "firmware", in, "--package-size", "4"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Slurp(out), FirmwareStream(image));
    EXPECT_EQ(r.err, "");
    // A refused input leaves the output as it was.
    for (const char* size : {"4096", "0", "abc", ""}) {
        r = RunProgram({kPraxdl, "--output", out, "firmware", in, "--package-size", size});
        EXPECT_EQ(r.exitCode, 2) << size;
    }
    EXPECT_EQ(Slurp(out), FirmwareStream(image));
}

TEST(PraxdlEndToEnd, AnImageThatCannotBeReadIsRefusedWithNothingSent) {
    const std::string out = ::testing::TempDir() + "stream-missing.out";
    const ProcessResult r = RunProgram({kPraxdl, "--output", out, "firmware", "/nonexistent/fw.bin"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("/nonexistent/fw.bin"), std::string::npos);
    EXPECT_EQ(Slurp(out), "");
}

TEST(PraxdlEndToEnd, VirtualPrinterDecodesAFirmwareImageWithAMatchingCrc) {
    Child printer({kPrinter, "--no-times"});
    const std::string device = printer.NextLine();
    ASSERT_EQ(device.rfind("/dev/", 0), 0u) << device;
    const std::string image = ImageOf(40000);
    const std::string in = Temp("img-vp.bin", image);
    const ProcessResult r = RunProgram({kPraxdl, "--port", "COM3 115200", "firmware", in}, {{"PRAX_COM3", device}});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(printer.LineStartingWith("firmware image:"),
              "firmware image: size 40000, received 40000, CRC " + RegisterHex(Reg(image)) + " matches");
    EXPECT_EQ(printer.LineStartingWith("closing ramp:"), "closing ramp: 128 bytes");
    EXPECT_NE(r.err.find("40000 of 40000 bytes (100%)"), std::string::npos) << r.err;
}

// A font as praxdl fonts lists it, picked by name: the printer gets its header and the file, and
// saves exactly the file. A name that is not listed opens nothing.
TEST(PraxdlEndToEnd, AListedFontReachesTheVirtualPrinterWhole) {
    const ProcessResult list = RunProgram({kPraxdl, "fonts"});
    ASSERT_EQ(list.exitCode, 0) << list.err;
    const std::string name = "Liberation Sans (TrueType)";
    // "NAME<tab>FILE<tab>SIZE Bytes"
    std::istringstream lines(list.out);
    std::string line, size;
    while (std::getline(lines, line)) {
        if (line.rfind(name + "\tLiberationSans-Regular.ttf\t", 0) == 0) size = line.substr(line.rfind('\t') + 1);
    }
    ASSERT_NE(size, "") << "setup installs Liberation Sans:\n" << list.out;
    size = size.substr(0, size.find(" Bytes"));

    const std::string saved = ::testing::TempDir() + "vp-font-" + std::to_string(::getpid());
    std::filesystem::create_directories(saved);
    Child printer({kPrinter, "--no-times", "--save", saved});
    const std::string device = printer.NextLine();
    ASSERT_EQ(device.rfind("/dev/", 0), 0u) << device;
    const std::map<std::string, std::string> env = {{"PRAX_COM3", device}};
    ProcessResult r = RunProgram({kPraxdl, "--port", "COM3 115200", "--quiet", "font", name, "--slot", "TB"}, env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, size + " Bytes\n");
    EXPECT_EQ(printer.LineStartingWith("font download:"),
              "font download: slot B, name \"" + name + "\", size " + size + ", received " + size + ", complete");
    EXPECT_EQ(std::to_string(Slurp(saved + "/001-font.bin").size()), size);

    r = RunProgram({kPraxdl, "--port", "COM3 115200", "font", "Liberation Sans"}, env);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "praxdl: no font named \"Liberation Sans\" is listed (see praxdl fonts)\n");
}

// The settings lines reach the printer one by one, paced: the printer's own arrival times show it.
TEST(PraxdlEndToEnd, ChannelAndReadLinesArrivePacedAtTheVirtualPrinter) {
    Child printer({kPrinter});
    const std::string device = printer.NextLine();
    ASSERT_EQ(device.rfind("/dev/", 0), 0u) << device;
    const std::map<std::string, std::string> env = {{"PRAX_COM3", device}};
    ASSERT_EQ(RunProgram({kPraxdl, "--port", "COM3 115200", "channel", "25"}, env).exitCode, 0);
    ASSERT_EQ(RunProgram({kPraxdl, "--port", "COM3 115200", "read", "start"}, env).exitCode, 0);
    const std::vector<std::string> expected = {
        "settings: <DLE><EOT>", "settings: pw=" + std::string(prax::protocol::AccessCode()), "settings: chan=25",
        "settings: hop=0", "settings: txp0=350", "settings: txp1=350", "settings: txp2=350", "settings: txp3=350",
        "settings: <DLE><EOT>", "settings: rl"};
    std::vector<double> times;
    for (const std::string& text : expected) {
        const std::string line = printer.NextLine();
        ASSERT_GT(line.size(), 10u) << "waiting for " << text;
        EXPECT_EQ(line.substr(10), text);
        times.push_back(std::stod(line.substr(0, 8)));
    }
    // 300 ms after each line. On arrival a gap is shorter by however late the reader saw the line
    // before it, which a loaded machine makes tens of milliseconds; a missing pause is still far
    // below. Lateness does not add up over the lines, so the whole run keeps all nine pauses.
    for (std::size_t i = 1; i < times.size(); ++i) EXPECT_GE(times[i] - times[i - 1], 0.2) << expected[i];
    EXPECT_GE(times.back() - times.front(), 0.3 * static_cast<double>(times.size() - 1) - 0.1);
}

TEST(PraxdlEndToEnd, XoffFromThePrinterPausesOutputAndXonResumesIt) {
    Child printer({kPrinter, "--no-times", "--xoff-after", "3000", "--xon-ms", "300"});
    const std::string device = printer.NextLine();
    ASSERT_FALSE(device.empty());
    const std::string image = ImageOf(20000, 9);
    const ProcessResult r =
        RunProgram({kPraxdl, "--device", device, "--quiet", "firmware", Temp("img-xoff.bin", image)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(printer.LineStartingWith("firmware image:"),
              "firmware image: size 20000, received 20000, CRC " + RegisterHex(Reg(image)) + " matches");
}

TEST(PraxdlEndToEnd, APrinterThatStopsReadingEndsTheTransferWithTheCountDelivered) {
    // The reader stops for good after 100000 bytes: once the pty's buffer is full a write makes
    // no progress for a whole cycle, nobody can answer "Continue ?", and the answer is No.
    Child printer({kPrinter, "--no-times", "--stall-after", "100000", "--stall-ms", "600000"});
    const std::string device = printer.NextLine();
    ASSERT_FALSE(device.empty());
    const ProcessResult r = RunProgram({kPraxdl, "--device", device, "--quiet", "firmware",
                                 Temp("img-stall.bin", ImageOf(1 << 20))},
                                {}, {}, 90000);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Continue ?"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("bytes were delivered"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find(" Bytes"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("CRC="), std::string::npos) << "a cut-short transfer shows no checksum";

}

TEST(PraxdlEndToEnd, AFirstWriteThatCannotGoGivesUpWithoutAsking) {
    // The printer holds the line with XOFF after the first command, and keeps holding it: the
    // next run's very first write makes no progress, and a stall before any write of a run has
    // finished gives up silently.
    Child printer({kPrinter, "--no-times", "--xoff-after", "10", "--xon-ms", "600000"});
    const std::string device = printer.NextLine();
    ASSERT_FALSE(device.empty());
    ProcessResult r = RunProgram({kPraxdl, "--device", device, "init"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(printer.LineStartingWith("command:"), "command: ^default");
    r = RunProgram({kPraxdl, "--device", device, "--quiet", "firmware", Temp("img-xoff2.bin", ImageOf(1000))},
                   {}, {}, 90000);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.find("Continue ?"), std::string::npos) << r.err;
    // Said once, counting image bytes as the status line would; none went, so there is no
    // status line to print.
    const std::string said = "The printer stopped taking data: 0 of the image's 1000 bytes were delivered.";
    EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(said), r.err.rfind(said)) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(PraxdlEndToEnd, YesToContinueGoesOnWhenThePrinterReadsAgain) {
    // A pause longer than one write cycle (10 s waiting, 10 s sleeping) brings the question.
    Child printer({kPrinter, "--no-times", "--stall-after", "60000", "--stall-ms", "24000"});
    const std::string device = printer.NextLine();
    ASSERT_FALSE(device.empty());
    const std::string image = ImageOf(300000, 11);
    // With --json, as a factory line would run it: the objects on standard output, read by jq.
    const ProcessResult r = RunProgram(
        {kPraxdl, "--json", "--device", device, "--yes", "--quiet", "firmware", Temp("img-resume.bin", image)}, {},
        {}, 90000);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("IO Error (ERROR_IO_PENDING): Continue ? [Y] Continue [N] Stop -> Yes"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("300000 Bytes  CRC=" + RegisterHex(Reg(image)) + "\n"), std::string::npos) << r.err;
    const ProcessResult jq = RunProgram(
        {"/usr/bin/jq", "-r", "-s",
         "(map(.event) | unique | join(\" \")), (map(select(.event == \"question\"))[0] | .answer + \" \" + .by),"
         "(map(select(.event == \"connection\"))[0].opens), (last | \"\\(.event) \\(.outcome) \\(.exit) \\(.checksum)\")"},
        {}, r.out);
    EXPECT_EQ(jq.out, "connection progress question result\nyes option\n" + device + "\nresult done 0 " +
                          RegisterHex(Reg(image)) + "\n")
        << jq.err << r.out;
    EXPECT_EQ(printer.LineStartingWith("firmware image:", 30000),
              "firmware image: size 300000, received 300000, CRC " + RegisterHex(Reg(image)) + " matches");
}

// The printer stops reading for good part way; then it is killed, or praxdl is interrupted. Each
// ends praxdl within a second or two, with its own message and exit code, on a device and over
// the network alike.
TEST(PraxdlEndToEnd, AVanishedPrinterOrASignalEndsAStalledTransferAtOnce) {
    struct Case {
        const char* what;
        int signalToPraxdl;  // 0: kill the printer instead
        int exitCode;
        const char* said;
    } cases[] = {
        {"printer killed", 0, 1, "The connection to the printer was lost: "},
        {"SIGINT", SIGINT, 130, "praxdl: Interrupted: "},
        {"SIGTERM", SIGTERM, 143, "praxdl: Interrupted: "},
        // A dropped SSH session.
        {"SIGHUP", SIGHUP, 129, "praxdl: Interrupted: "},
    };
    for (const bool network : {false, true})
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + (network ? " (network)" : " (pty)"));
        std::vector<std::string> printerArgs = {kPrinter, "--no-times", "--stall-after", "1000", "--stall-ms", "600000"};
        if (network) printerArgs.insert(printerArgs.end(), {"--listen", "0"});
        auto printer = std::make_unique<Child>(printerArgs);
        const std::string device = printer->NextLine();
        ASSERT_FALSE(device.empty());
        // Socket buffers hold far more than a pty's.
        const std::size_t size = network ? 32 << 20 : 2000000;
        Child praxdl({kPraxdl, network ? "--host" : "--device", device, "--yes", "firmware",
                      Temp("img-gone.bin", ImageOf(size, 3))});
        // The body has started; the pty's buffers fill long before 10% of it, and it stalls.
        ASSERT_NE(praxdl.LineStartingWith("0 of " + std::to_string(size) + " bytes", 20000), "") << praxdl.rest();
        const auto start = std::chrono::steady_clock::now();
        if (c.signalToPraxdl) kill(praxdl.pid(), c.signalToPraxdl);
        else printer.reset();
        const int code = praxdl.Wait(5000);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(code, c.exitCode) << praxdl.rest();
        EXPECT_LT(took, std::chrono::milliseconds(2500));
        EXPECT_NE(praxdl.rest().find(c.said), std::string::npos) << praxdl.rest();
        // Cut inside the image: the printer waits for the rest, and the operator is told.
        EXPECT_NE(praxdl.rest().find(std::string(c.signalToPraxdl ? "praxdl: " : "") +
                                     "The printer is still waiting for the rest of the image"),
                  std::string::npos)
            << praxdl.rest();
        EXPECT_EQ(praxdl.rest().find("Continue ?"), std::string::npos) << praxdl.rest();
        EXPECT_EQ(praxdl.rest().find("(10%)"), std::string::npos) << praxdl.rest();
    }
}

// Over the network: each run is a connection of its own to the virtual printer, which decodes
// the command and the whole firmware stream.
TEST(PraxdlEndToEnd, HostDeliversCommandsAndImagesToTheVirtualPrinter) {
    auto printer = std::make_unique<Child>(std::vector<std::string>{kPrinter, "--no-times", "--listen", "0"});
    const std::string address = printer->NextLine();
    ASSERT_EQ(address.rfind("127.0.0.1:", 0), 0u) << address;
    ProcessResult r = RunProgram({kPraxdl, "--host", address, "init"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(printer->NextLine(), "command: ^default");
    const std::string image = ImageOf(300000, 12);
    r = RunProgram({kPraxdl, "--host", address, "--quiet", "firmware", Temp("img-net.bin", image)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "300000 Bytes  CRC=" + RegisterHex(Reg(image)) + "\n");
    EXPECT_EQ(printer->NextLine(), "wake-up run: 20 CR");
    EXPECT_EQ(printer->NextLine(),
              "firmware image: size 300000, received 300000, CRC " + RegisterHex(Reg(image)) + " matches");
    EXPECT_EQ(printer->NextLine(), "closing ramp: 128 bytes");

    // Nobody listens any more: the window's message, and the host's reason under it.
    printer.reset();
    r = RunProgram({kPraxdl, "--host", address, "init"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Open port failed\n  " + address + ": Connection refused\n");
}

// A printer that takes the connection and then stops reading: once the socket buffers are full
// no byte goes for the stall limit (20 s), and praxdl ends with the count delivered.
// A host that stops reading: an image larger than the socket buffers stalls the send; a smaller
// one is all taken by the buffers, and then the close cannot hand it over. Neither is "done".
TEST(PraxdlEndToEnd, AHostThatStopsReadingEndsTheTransferInBoundedTime) {
    struct Case {
        int size;
        const char* said;
    } cases[] = {{32 << 20, "The printer stopped taking data: "},
                 {300000, "The connection to the printer was lost: "}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        Child printer({kPrinter, "--no-times", "--listen", "0", "--stall-after", "50000", "--stall-ms", "600000"});
        const std::string address = printer.NextLine();
        ASSERT_FALSE(address.empty());
        const ProcessResult r = RunProgram(
            {kPraxdl, "--host", address, "--json", "firmware", Temp("img-net-stall.bin", ImageOf(c.size, 5))}, {},
            {}, 90000);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(" of the image's " + std::to_string(c.size) + " bytes were delivered."), std::string::npos)
            << r.err;
        EXPECT_NE(r.out.find("\"outcome\":\"stopped\""), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("\"printerMidImage\":true"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("CRC="), std::string::npos) << r.out;
    }
}

// USB printers as sysfs shows them: the default connection sends to the first one of an accepted
// make that can be had, ports tells each apart, and without one the open fails with a reason.
TEST(PraxdlEndToEnd, TheUsbConnectionFindsTheAcceptedPrinterAndPortsSaysWhy) {
    Pty accepted, other, held;
    const int fd = ::open(held.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    const std::string root = ::testing::TempDir() + "praxdl-usb";
    const auto tree = BuildFakeSysfs(root, {{"lp0", "04b8", "0202", "E1", "Other", "Printer", other.path()},
                                            {"lp1", "1958", "0001", "A1", "Maker", "Label", accepted.path()},
                                            {"lp2", "1958", "0002", "", "Maker", "Label", ""},
                                            {"lp3", "1958", "0003", "C3", "Maker", "Label", held.path()}});
    const std::map<std::string, std::string> env{{"PRAX_SYSFS_ROOT", tree.sys}, {"PRAX_DEV_ROOT", tree.dev}};
    const Delivery d = ViaPty(accepted, {"--port", "usb", "init"}, 10, env);
    EXPECT_EQ(d.run.exitCode, 0) << d.run.err;
    EXPECT_EQ(d.arrived, "^default\r\n");
    EXPECT_EQ(other.Drain(100), "");

    const ProcessResult ports = RunProgram({kPraxdl, "ports"}, env);
    ::close(fd);
    std::istringstream lines(ports.out);
    std::vector<std::string> usb(5);
    for (auto& line : usb) std::getline(lines, line);
    EXPECT_EQ(usb[0], "USB          " + tree.dev + "/usb/lp1  present");
    EXPECT_EQ(usb[1], "  lp0  VID_04B8&PID_0202  serial E1  Other Printer  " + tree.dev +
                          "/usb/lp0  not of an accepted make");
    EXPECT_EQ(usb[2], "  lp1  VID_1958&PID_0001  serial A1  Maker Label  " + tree.dev +
                          "/usb/lp1  accepted make, \"USB\" opens it");
    EXPECT_EQ(usb[3].substr(0, usb[3].find(", ")), "  lp2  VID_1958&PID_0002  no serial  Maker Label  " +
                                                        tree.dev + "/usb/lp2  accepted make");
    EXPECT_NE(usb[3].find("cannot be opened: " + tree.dev + "/usb/lp2: No such file or directory (the printer is gone)"),
              std::string::npos) << usb[3];
    EXPECT_NE(usb[4].find("cannot be opened: " + tree.dev + "/usb/lp3: Device or resource busy (another program, a "
                          "print spooler for example, holds the printer)"),
              std::string::npos) << usb[4];
    EXPECT_EQ(accepted.Drain(100), "") << "ports sends nothing";

    // By its serial number the printer that USB would not take first; --json ports tells each.
    const Delivery named = ViaPty(held, {"--port", "c3", "init"}, 10, env);
    EXPECT_EQ(named.run.exitCode, 0) << named.run.err;
    EXPECT_EQ(named.arrived, "^default\r\n");
    EXPECT_EQ(accepted.Drain(100), "");
    const ProcessResult json = RunProgram({kPraxdl, "--json", "ports"}, env);
    EXPECT_EQ(json.err, "");
    EXPECT_NE(json.out.find("\n{\"event\":\"usb-printer\",\"identity\":\"USB\\\\VID_1958&PID_0001\\\\A1\",\"serial\":\"A1\","
                            "\"opens\":\"" + tree.dev + "/usb/lp1\",\"verdict\":\"accepted make\",\"accepted\":true,"
                            "\"chosen\":true}\n"),
              std::string::npos)
        << json.out;

    // No printer at all, and no driver either.
    const auto none = BuildFakeSysfs(root, {}, false);
    const ProcessResult r = RunProgram({kPraxdl, "init"}, env);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Open port failed\n  no USB printer of an accepted make is attached (see praxdl ports)\n");
    const std::string listed = RunProgram({kPraxdl, "ports"}, env).out;
    EXPECT_EQ(listed.substr(0, listed.find("LPT1")),
              "USB          no USB printer of an accepted make  absent\n"
              "  no USB printer is attached (the usblp driver is not loaded)\n");
}

// Thirteen printers: every one is seen, past the tenth too; a name picks the printer it names
// exactly, letter case counting only where no name is exact, and one that fits several is refused
// with nothing sent; a serial with '#' is taken as typed; a serial that would drive the terminal
// is shown, never obeyed.
TEST(PraxdlEndToEnd, EveryUsbPrinterIsSeenAndANamePicksOneOrNone) {
    namespace fs = std::filesystem;
    const std::string root = ::testing::TempDir() + "praxdl-usb-many";
    const std::vector<std::string> serials{"abc", "ABC", "DUP", "DUP", "A1#B", "S5", "S6", "S7",
                                           "S8",  "S9",  "S10", "S11", "\x1b]0;T\x07\x1b[2J\xc2\x9b" "2J"};
    std::vector<FakeUsbPrinter> printers;
    for (std::size_t i = 0; i < serials.size(); ++i) {
        printers.push_back({"lp" + std::to_string(i), "1958", "0001", serials[i], "Maker", "Label",
                            root + "/out/lp" + std::to_string(i)});
    }
    const auto tree = BuildFakeSysfs(root, printers);
    fs::create_directories(root + "/out");
    for (const FakeUsbPrinter& p : printers) std::ofstream(p.node) << "";
    const std::map<std::string, std::string> env{{"PRAX_SYSFS_ROOT", tree.sys}, {"PRAX_DEV_ROOT", tree.dev}};
    const auto sent = [&] {
        std::vector<std::string> got;
        for (std::size_t i = 0; i < serials.size(); ++i) {
            const std::string node = root + "/out/lp" + std::to_string(i);
            if (!Slurp(node).empty()) got.push_back("lp" + std::to_string(i));
            std::ofstream(node, std::ios::trunc) << "";
        }
        return got;
    };
    const struct {
        const char* name;
        std::vector<std::string> to;  // empty: refused, naming several
    } cases[] = {{"ABC", {"lp1"}}, {"abc", {"lp0"}}, {"Abc", {}},         {"DUP", {}},
                 {"dup", {}},      {"A1#B", {"lp4"}}, {"S11", {"lp11"}}, {"s11", {"lp11"}}};
    for (const auto& c : cases) {
        const ProcessResult r = RunProgram({kPraxdl, "--port", c.name, "init"}, env);
        EXPECT_EQ(r.exitCode, c.to.empty() ? 1 : 0) << c.name << ": " << r.err;
        EXPECT_EQ(sent(), c.to) << c.name;
        if (c.to.empty()) {
            EXPECT_NE(r.err.find("names 2 attached USB printers"), std::string::npos) << r.err;
        }
    }

    const ProcessResult ports = RunProgram({kPraxdl, "ports"}, env);
    EXPECT_EQ(ports.out.find('\x1b'), std::string::npos);
    EXPECT_EQ(ports.out.find("not of an accepted make"), std::string::npos) << ports.out;
    EXPECT_NE(ports.out.find("  lp12  VID_1958&PID_0001  serial ?]0;T??[2J?2J  Maker Label"), std::string::npos);
    std::istringstream lines(ports.out);
    int accepted = 0;
    for (std::string line; std::getline(lines, line);) accepted += line.find("  accepted make") != std::string::npos;
    EXPECT_EQ(accepted, 13);

    const ProcessResult all = RunProgram({kPraxdl, "--all", "init"}, env);
    EXPECT_EQ(all.exitCode, 0) << all.err;
    EXPECT_NE(all.out.find("13 of 13 printers done"), std::string::npos) << all.out;
    EXPECT_EQ(all.out.find('\x1b'), std::string::npos);
    EXPECT_EQ(sent().size(), 13u);
}

// What isn't a regular file is no image: refused before anything is opened, the output untouched.
TEST(PraxdlEndToEnd, APipeOrADeviceIsRefusedAsAnImage) {
    const std::string fifo = ::testing::TempDir() + "img-fifo.bin";
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string out = Temp("stream-fifo.out", "earlier");
    for (const std::string& image : {fifo, std::string("/dev/zero"), std::string("/dev/urandom")}) {
        const ProcessResult r = RunProgram({kPraxdl, "--output", out, "firmware", image}, {}, {}, 10000);
        EXPECT_FALSE(r.timedOut) << image;
        EXPECT_EQ(r.exitCode, 1) << image;
        EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
        EXPECT_EQ(Slurp(out), "earlier");
    }
}

#ifdef PRAX_DOWNLOAD_BIN
// The window's command-line mode over a COM port and over USB, named or by default (the image
// alone), which finds the accepted printer among the attached ones.
TEST(WindowEndToEnd, OneImageAndAConnectionDownloadAndTheProgramEndsByItself) {
    for (const std::string connection : {"com5 115200", "USB", ""}) {
        SCOPED_TRACE(connection);
        Child printer({kPrinter, "--no-times"});
        const std::string device = printer.NextLine();
        ASSERT_FALSE(device.empty());
        Pty other;
        const auto tree = BuildFakeSysfs(::testing::TempDir() + "window-usb",
                                         {{"lp0", "04b8", "0202", "E1", "Other", "Printer", other.path()},
                                          {"lp1", "1958", "0001", "A1", "Maker", "Label", device}});
        const std::string image = ImageOf(3000, 5);
        std::vector<std::string> args = {PRAX_DOWNLOAD_BIN, Temp("img-window.bin", image)};
        if (!connection.empty()) args.push_back(connection);
        const ProcessResult r =
            RunProgram(args, {{"PRAX_COM5", device}, {"PRAX_SYSFS_ROOT", tree.sys}, {"PRAX_DEV_ROOT", tree.dev},
                              {"QT_QPA_PLATFORM", "offscreen"}});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(printer.LineStartingWith("firmware image:"),
                  "firmware image: size 3000, received 3000, CRC " + RegisterHex(Reg(image)) + " matches");
        EXPECT_EQ(other.Drain(100), "");
    }
}
#endif
