#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <future>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#include "cli/RunLog.h"
#include "cli/Sha256.h"

using namespace prax::cli;
using namespace std::chrono;

namespace {

std::string Scratch(const std::string& name) {
    const std::string path = ::testing::TempDir() + "runlog-" + name;
    std::filesystem::remove_all(path);
    return path;
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

LogRecord Minimal(const std::string& connection, std::uint64_t delivered) {
    LogRecord r;
    r.time = sys_days{1970y / January / 1} + 7ms;
    r.connection = connection;
    r.command = "init";
    r.outcome = "open-failed";
    r.delivered = delivered;
    return r;
}

}  // namespace

TEST(Sha256, StandardVectors) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
    };
    for (const auto& [input, digest] : cases) EXPECT_EQ(Sha256Hex(input), digest) << input.size() << " bytes";
}

TEST(Sha256, MillionAsInUnevenPieces) {
    const std::string as(1000, 'a');
    const std::size_t pieces[] = {1, 7, 63, 64, 65, 200, 999};
    Sha256 hash;
    for (std::size_t fed = 0, i = 0; fed < 1000000; ++i) {
        const std::size_t n = std::min(pieces[i % std::size(pieces)], 1000000 - fed);
        hash.Update(as.data(), n);
        fed += n;
    }
    const std::string digest = hash.HexDigest();
    EXPECT_EQ(digest, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_EQ(hash.HexDigest(), digest);  // asked again, the same
}

TEST(RunLog, Iso8601Utc) {
    EXPECT_EQ(Iso8601Utc(sys_days{2026y / December / 9} + 10h + 46min + 38s + 123ms), "2026-12-09T10:46:38.123Z");
    // Milliseconds are cut, not rounded: rounding would carry into the next day and year.
    EXPECT_EQ(Iso8601Utc(sys_days{2024y / February / 29} + 23h + 59min + 59s + 999999us), "2024-02-29T23:59:59.999Z");
    EXPECT_EQ(Iso8601Utc(sys_days{1970y / January / 1} + 7ms), "1970-01-01T00:00:00.007Z");
}

TEST(RunLog, LineOfFullAndOfBareRecord) {
    const LogRecord full{.time = sys_days{2026y / December / 9} + 10h + 46min + 38s + 123ms,
                         .connection = "COM3 115200", .device = "\\\\.\\COM3", .usbSerial = "A1B2C3",
                         .command = "firmware", .inputName = "x \"new\".bin", .inputSize = 5000000000,
                         .inputSha256 = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
                         .crc = "3FA2", .outcome = "done", .delivered = 5000000000, .seconds = 12.3456};
    EXPECT_EQ(RunLog::Line(full, "station-7"),
              R"({"event":"record","time":"2026-12-09T10:46:38.123Z","host":"station-7","connection":"COM3 115200",)"
              R"("device":"\\\\.\\COM3","usbSerial":"A1B2C3","command":"firmware","input":"x \"new\".bin",)"
              R"("inputSize":5000000000,"sha256":"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",)"
              R"("crc":"3FA2","outcome":"done","delivered":5000000000,"seconds":12.346})"
              "\n");
    EXPECT_EQ(RunLog::Line(Minimal("/dev/pts/4", 0), "station-7"),
              R"({"event":"record","time":"1970-01-01T00:00:00.007Z","host":"station-7","connection":"/dev/pts/4",)"
              R"("device":"","command":"init","outcome":"open-failed","delivered":0,"seconds":0.000})"
              "\n");
}

TEST(RunLog, OpenRefusesMissingFolderAndFolder) {
    const std::string folder = Scratch("folder");
    std::filesystem::create_directory(folder);
    const std::pair<std::string, const char*> cases[] = {
        {Scratch("missing") + "/log.jsonl", "No such file or directory"},
        {folder, "Is a directory"},
    };
    for (const auto& [path, reason] : cases) {
        std::string error;
        EXPECT_EQ(RunLog::Open(path, error), nullptr) << path;
        EXPECT_EQ(error.rfind("cannot open " + path + " for appending: ", 0), 0u) << error;
#if !defined(_WIN32)
        EXPECT_EQ(error, "cannot open " + path + " for appending: " + reason);
#endif
    }
}

TEST(RunLog, AppendsWholeLinesAfterWhatOthersAppend) {
    const std::string path = Scratch("shared.jsonl");
    std::ofstream(path, std::ios::binary) << "{\"earlier\":1}\n";
    std::string error;
    auto ours = RunLog::Open(path, error);
    auto theirs = RunLog::Open(path, error);
    ASSERT_TRUE(ours && theirs) << error;
    // Each has its own offset: a log not appending would write over the other's lines.
    ASSERT_TRUE(ours->Append(Minimal("a", 1), error)) << error;
    ASSERT_TRUE(theirs->Append(Minimal("b", 2), error)) << error;
    ASSERT_TRUE(ours->Append(Minimal("a", 3), error)) << error;
    const std::string host = HostName();
    EXPECT_EQ(Contents(path), "{\"earlier\":1}\n" + RunLog::Line(Minimal("a", 1), host) +
                                  RunLog::Line(Minimal("b", 2), host) + RunLog::Line(Minimal("a", 3), host));
}

TEST(RunLog, ThreadsAppendWholeLinesInOrder) {
    const std::string path = Scratch("threads.jsonl");
    std::string error;
    auto log = RunLog::Open(path, error);
    ASSERT_TRUE(log) << error;
    std::vector<std::thread> links;
    for (int t = 0; t < 4; ++t) {
        links.emplace_back([&log, t] {
            std::string e;
            for (std::uint64_t i = 0; i < 50; ++i) EXPECT_TRUE(log->Append(Minimal("link" + std::to_string(t), i), e)) << e;
        });
    }
    for (auto& link : links) link.join();
    std::istringstream lines(Contents(path));
    std::uint64_t next[4] = {};
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        const std::size_t at = line.find("\"link");
        ASSERT_NE(at, std::string::npos) << line;
        const int t = line[at + 5] - '0';
        ASSERT_TRUE(t >= 0 && t < 4) << line;
        EXPECT_EQ(line + "\n", RunLog::Line(Minimal("link" + std::to_string(t), next[t]++), HostName()));
    }
    EXPECT_EQ(count, 200);
}

#if !defined(_WIN32)
// What is no file on a disk: a pipe or a FIFO that a program reads takes the line, which then
// counts as written, though there is nothing to flush; a FIFO that no one reads is refused at
// once, never waited for; a device that takes nothing is still a failure.
TEST(RunLog, PipesAndFifosTakeTheLineAndAFifoNobodyReadsIsRefusedAtOnce) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const std::string read = Scratch("read.fifo"), unread = Scratch("unread.fifo");
    ASSERT_EQ(::mkfifo(read.c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(unread.c_str(), 0600), 0);
    const int fifoReader = ::open(read.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fifoReader, 0);
    struct Case {
        std::string path;
        int reader;             // where the line arrives; -1: nowhere
        const char* openError;  // why it can't be opened; null: it opens
        const char* appendError;
    } cases[] = {
        {"/dev/fd/" + std::to_string(pipeFds[1]), pipeFds[0], nullptr, nullptr},
        {read, fifoReader, nullptr, nullptr},
        {unread, -1, "a FIFO that no program reads", nullptr},
        {"/dev/full", -1, nullptr, "No space left on device"},
    };
    const LogRecord record = Minimal("fifo", 5);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string error;
        auto opening = std::async(std::launch::async, [&] { return RunLog::Open(c.path, error); });
        if (opening.wait_for(seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "the open waits";
            ::close(::open(c.path.c_str(), O_RDONLY | O_NONBLOCK));  // lets it go on
        }
        const std::unique_ptr<RunLog> log = opening.get();
        if (c.openError) {
            EXPECT_EQ(log, nullptr);
            EXPECT_EQ(error, "cannot open " + c.path + " for appending: " + c.openError);
            continue;
        }
        ASSERT_TRUE(log) << error;
        const bool appended = log->Append(record, error);
        if (c.appendError) {
            EXPECT_FALSE(appended);
            EXPECT_EQ(error, "cannot append to " + c.path + ": " + c.appendError);
            continue;
        }
        EXPECT_TRUE(appended) << error;
        char line[1024];
        const ssize_t n = ::read(c.reader, line, sizeof line);
        EXPECT_EQ(std::string(line, n > 0 ? static_cast<std::size_t>(n) : 0), RunLog::Line(record, HostName()));
    }
    for (int fd : {pipeFds[0], pipeFds[1], fifoReader}) ::close(fd);
}
#endif
