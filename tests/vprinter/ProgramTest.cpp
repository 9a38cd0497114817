// The built prax-virtual-printer program, driven over a real pty and from a file.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tools/virtual-printer/Decoder.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(20);

// The program as a child process whose standard output (and, if asked, standard error) we read
// line by line.
class Printer {
public:
    explicit Printer(std::vector<std::string> args, bool withErrors = false) {
        int out[2];
        if (pipe(out) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        if (withErrors) posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        args.insert(args.begin(), PRAX_VPRINTER_BIN);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        out_ = out[0];
    }
    ~Printer() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(out_);
    }
    bool Started() const { return pid_ > 0; }

    // The next line of output, or false at end of output or when the deadline passes.
    bool ReadLine(std::string& line, Clock::time_point deadline) {
        for (;;) {
            if (const auto nl = pending_.find('\n'); nl != std::string::npos) {
                line = pending_.substr(0, nl);
                pending_.erase(0, nl + 1);
                return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            pollfd p{out_, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) return false;
            char buf[4096];
            const ssize_t n = read(out_, buf, sizeof buf);
            if (n <= 0) return false;
            pending_.append(buf, static_cast<std::size_t>(n));
        }
    }
    // Lines up to and including the first that starts with `prefix`.
    std::vector<std::string> ReadUntil(const std::string& prefix) {
        std::vector<std::string> lines;
        const auto deadline = Clock::now() + kDeadline;
        std::string line;
        while (ReadLine(line, deadline)) {
            lines.push_back(line);
            if (line.starts_with(prefix)) break;
        }
        return lines;
    }
    // The last of those lines; empty when none came. (Never back() of nothing: a test that
    // crashed would leave the printer running, holding ctest's output open.)
    std::string LastUntil(const std::string& prefix) {
        const auto lines = ReadUntil(prefix);
        return lines.empty() ? std::string() : lines.back();
    }
    // Every line until the program's output ends; false when the deadline came first.
    bool ReadToEnd(std::vector<std::string>& lines) {
        const auto deadline = Clock::now() + kDeadline;
        std::string line;
        while (ReadLine(line, deadline)) lines.push_back(line);
        return Clock::now() < deadline;
    }
    int Stop() {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string pending_;
};

std::string FirmwareStream(const std::string& body) {
    const auto crc = prax::vprinter::Crc16ModbusBitwise(reinterpret_cast<const std::uint8_t*>(body.data()), body.size());
    std::string s = std::string(20, '\r') + "~O\r\nZENTA_FW_MARK_STRING,\r\nD0," + std::to_string(body.size()) +
                    "\r\n\r\r" + body + static_cast<char>(crc & 0xFF) + static_cast<char>(crc >> 8);
    for (int i = 0; i < 128; ++i) s += static_cast<char>(i);
    return s;
}

std::string Body(std::size_t n) {
    std::mt19937 rng(42);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

std::string RegisterHex(const std::string& body) {
    const auto crc = prax::vprinter::Crc16Modbus(reinterpret_cast<const std::uint8_t*>(body.data()), body.size());
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X%02X", crc & 0xFF, crc >> 8);
    return buf;
}

// Writes to a device opened non-blocking, so a printer that stops reading fails the test
// at the deadline instead of hanging it.
bool WriteAll(int fd, const std::string& s) {
    const auto deadline = Clock::now() + kDeadline;
    for (std::size_t at = 0; at < s.size();) {
        const ssize_t n = write(fd, s.data() + at, s.size() - at);
        if (n > 0) {
            at += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd, POLLOUT, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) < 0) return false;
    }
    return true;
}

// The port of the "host:port" line a listening printer prints first; 0 when there is none.
int PortOf(const std::string& bound) {
    const auto colon = bound.rfind(':');
    return colon == std::string::npos ? 0 : std::atoi(bound.c_str() + colon + 1);
}

sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    return a;
}

// A connection to 127.0.0.1:port: its descriptor, or -1 with `error` set (ECONNREFUSED when
// nothing listens; ETIMEDOUT when the deadline passed).
int Connect(int port, int& error) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const sockaddr_in a = Loopback(port);
    error = connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 ? 0 : errno;
    if (error == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        socklen_t size = sizeof error;
        if (poll(&p, 1, static_cast<int>(std::chrono::milliseconds(kDeadline).count())) != 1) error = ETIMEDOUT;
        else getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
    }
    if (error == 0) return fd;
    close(fd);
    return -1;
}

// Bytes to a connection that the printer may close while they go: no SIGPIPE, and a reset or a
// full buffer ends it. Whether they all went in the end does not matter to its callers.
void SendSome(int fd, const std::string& s) {
    for (std::size_t at = 0; at < s.size();) {
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, static_cast<int>(std::chrono::milliseconds(kDeadline).count())) != 1) return;
        const ssize_t n = send(fd, s.data() + at, s.size() - at, MSG_NOSIGNAL);
        if (n <= 0) return;
        at += static_cast<std::size_t>(n);
    }
}

int OpenDevice(const std::string& path) { return open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK); }

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(Program, DecodesAFirmwareStreamOverThePty) {
    Printer printer({"--no-times"});
    ASSERT_TRUE(printer.Started());
    std::string path;
    ASSERT_TRUE(printer.ReadLine(path, Clock::now() + kDeadline));
    ASSERT_TRUE(path.starts_with("/dev/")) << path;

    const std::string body = Body(70000);  // more than a pty buffer holds; every byte value
    const std::string stream = FirmwareStream(body);
    int fd = OpenDevice(path);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(WriteAll(fd, stream));
    close(fd);
    auto lines = printer.ReadUntil("closing ramp");
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(Contains(lines, "wake-up run: 20 CR"));
    EXPECT_TRUE(Contains(lines, "firmware image: size 70000, received 70000, CRC " + RegisterHex(body) + " matches"));
    EXPECT_EQ(lines.back(), "closing ramp: 128 bytes");

    // A second session on the same device, as the next button press would open it.
    fd = OpenDevice(path);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(WriteAll(fd, "^default\r\n"));
    close(fd);
    EXPECT_EQ(printer.LastUntil("command"), "command: ^default");

    // The read toggle's lines end in a lone CR: they show once the sender goes quiet.
    fd = OpenDevice(path);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(WriteAll(fd, "\x10\x04\rrl\r"));
    close(fd);
    EXPECT_EQ(printer.LastUntil("settings: rl"), "settings: rl");

    printer.Stop();
    EXPECT_EQ(printer.LastUntil("total bytes"), "total bytes: " + std::to_string(stream.size() + 10 + 6));
}

TEST(Program, ReadsAFileAndSavesThePayload) {
    const auto dir = std::filesystem::temp_directory_path() / ("vprinter-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string body = Body(5000);
    const std::string stream = FirmwareStream(body);
    std::ofstream(dir / "in.bin", std::ios::binary) << stream;

    // Times shown (the default): a file comes in one read, at the time of the first byte.
    Printer printer({"--file", (dir / "in.bin").string(), "--save", dir.string()});
    ASSERT_TRUE(printer.Started());
    const auto lines = printer.ReadUntil("total bytes");
    EXPECT_EQ(lines, (std::vector<std::string>{"   0.000  wake-up run: 20 CR",
                                               "   0.000  firmware image: size 5000, received 5000, CRC " + RegisterHex(body) + " matches",
                                               "   0.000  closing ramp: 128 bytes", "total bytes: " + std::to_string(stream.size())}));
    std::ifstream saved(dir / "001-firmware.bin", std::ios::binary);
    std::stringstream content;
    content << saved.rdbuf();
    EXPECT_EQ(content.str(), body);
    std::filesystem::remove_all(dir);
}

TEST(Program, ClosesAfterNBytes) {
    const auto file = std::filesystem::temp_directory_path() / ("vprinter-cut-" + std::to_string(getpid()));
    std::ofstream(file, std::ios::binary) << FirmwareStream(Body(5000));
    Printer printer({"--file", file.string(), "--close-after", "1000", "--no-times"});
    const auto lines = printer.ReadUntil("total bytes");
    EXPECT_EQ(lines, (std::vector<std::string>{"wake-up run: 20 CR", "firmware image: size 5000, received 942, incomplete",
                                               "total bytes: 1000"}));
    std::filesystem::remove(file);
}

// Throttling and stalling change when bytes are read, never what they decode to.
TEST(Program, ThrottledAndStalledReadsDecodeTheSame) {
    const auto file = std::filesystem::temp_directory_path() / ("vprinter-slow-" + std::to_string(getpid()));
    const std::string body = Body(1000);
    std::ofstream(file, std::ios::binary) << FirmwareStream(body) << "^default\r\n";
    const std::vector<std::string> expected = {
        "wake-up run: 20 CR", "firmware image: size 1000, received 1000, CRC " + RegisterHex(body) + " matches",
        "closing ramp: 128 bytes", "command: ^default",
        "total bytes: " + std::to_string(FirmwareStream(body).size() + 10)};
    for (const auto& extra : std::vector<std::vector<std::string>>{
             {"--throttle"}, {"--stall-after", "500", "--stall-ms", "20"}, {"--exit-after-items", "9"}}) {
        std::vector<std::string> args = {"--file", file.string(), "--no-times"};
        args.insert(args.end(), extra.begin(), extra.end());
        Printer printer(args);
        EXPECT_EQ(printer.ReadUntil("total bytes"), expected) << extra[0];
    }
    Printer firstTwo({"--file", file.string(), "--exit-after-items", "2", "--no-times"});
    const auto lines = firstTwo.ReadUntil("total bytes");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], expected[1]);
    std::filesystem::remove(file);
}

// Settings lines are decided only by the next byte or by a pause, yet each shows the time its own
// CR arrived: the first at 0, the rest as far apart as they were written. The pause that would
// settle a line is longer than the pacing here, so each is decided by the next line's bytes.
TEST(Program, TimesAreWhenEachItemArrived) {
    Printer printer({"--settle-ms", "600"});
    ASSERT_TRUE(printer.Started());
    std::string path;
    ASSERT_TRUE(printer.ReadLine(path, Clock::now() + kDeadline));
    const int fd = OpenDevice(path);
    ASSERT_GE(fd, 0);
    const std::vector<std::pair<std::string, std::string>> sent = {
        {"\x10\x04\r", "settings: <DLE><EOT>"}, {"pw=1234\r", "settings: pw=1234"},
        {"chan=25\r", "settings: chan=25"},     {"\x10\x04\r", "settings: <DLE><EOT>"},
        {"rl\r", "settings: rl"},               {"\r", "settings: (empty line)"}};
    for (std::size_t i = 0; i < sent.size(); ++i) {
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the sender's own pacing
        ASSERT_TRUE(WriteAll(fd, sent[i].first));
    }
    close(fd);

    std::vector<double> times;
    const auto deadline = Clock::now() + kDeadline;
    for (const auto& [bytes, text] : sent) {
        std::string line;
        ASSERT_TRUE(printer.ReadLine(line, deadline));
        // "%4d.%03d" seconds, two spaces, the bare line.
        ASSERT_GT(line.size(), 10u) << line;
        EXPECT_EQ(line.substr(4, 1) + line.substr(8, 2), ".  ") << line;
        EXPECT_EQ(line.substr(10), text);
        times.push_back(std::stod(line.substr(0, 8)));
    }
    EXPECT_LT(times[0], 0.15);  // printed only when "pw" came, 300 ms later
    for (std::size_t i = 1; i < times.size(); ++i) EXPECT_GE(times[i] - times[i - 1], 0.27) << i;
    printer.Stop();
    EXPECT_EQ(printer.LastUntil("total bytes"), "total bytes: 26");
}

// Raw files show one by one with their sizes as soon as the sender goes quiet, with nothing sent
// after them to decide them.
TEST(Program, EachRawFileShowsOnItsOwnOnceTheSenderIsQuiet) {
    Printer printer({"--no-times"});
    ASSERT_TRUE(printer.Started());
    std::string path;
    ASSERT_TRUE(printer.ReadLine(path, Clock::now() + kDeadline));
    const int fd = OpenDevice(path);
    ASSERT_GE(fd, 0);
    for (const std::size_t size : {4099u, 1000u}) {
        std::string raw = Body(size);
        std::replace(raw.begin(), raw.end(), '~', 'x');  // no header inside
        ASSERT_TRUE(WriteAll(fd, raw));
        // Polled until the deadline at most.
        EXPECT_EQ(printer.LastUntil("unknown bytes"), "unknown bytes: " + std::to_string(size));
    }
    close(fd);
    printer.Stop();
    EXPECT_EQ(printer.LastUntil("total bytes"), "total bytes: 5099");
}

// Three printers at once: each decodes its own stream and ends on its own condition, and each
// line says whose it is.
TEST(Program, SeveralPtysDecodeTheirOwnStreams) {
    Printer printer({"--ptys", "3", "--no-times", "--exit-on", "closing ramp"});
    ASSERT_TRUE(printer.Started());
    std::vector<std::string> paths(3);
    for (auto& path : paths) ASSERT_TRUE(printer.ReadLine(path, Clock::now() + kDeadline));
    EXPECT_NE(paths[0], paths[1]);
    EXPECT_NE(paths[1], paths[2]);
    EXPECT_NE(paths[0], paths[2]);

    std::string ramp;
    for (int i = 0; i < 128; ++i) ramp += static_cast<char>(i);
    const std::string body = Body(70000);
    const std::vector<std::string> streams = {"^default\r\n" + ramp, FirmwareStream(body), "~R\r\n" + ramp};
    std::vector<int> fds;
    for (const auto& path : paths) {
        fds.push_back(OpenDevice(path));
        ASSERT_GE(fds.back(), 0) << path;
    }
    for (std::size_t i : {1u, 2u, 0u}) ASSERT_TRUE(WriteAll(fds[i], streams[i])) << i;
    for (const int fd : fds) close(fd);

    std::vector<std::string> lines;
    ASSERT_TRUE(printer.ReadToEnd(lines)) << "still running";  // it ends by itself
    const auto of = [&](const std::string& prefix) {
        std::vector<std::string> own;
        for (const auto& l : lines)
            if (l.starts_with(prefix)) own.push_back(l.substr(prefix.size()));
        return own;
    };
    EXPECT_EQ(of("1: "), (std::vector<std::string>{"command: ^default", "closing ramp: 128 bytes",
                                                   "total bytes: " + std::to_string(streams[0].size())}));
    EXPECT_EQ(of("2: "), (std::vector<std::string>{
                             "wake-up run: 20 CR",
                             "firmware image: size 70000, received 70000, CRC " + RegisterHex(body) + " matches",
                             "closing ramp: 128 bytes", "total bytes: " + std::to_string(streams[1].size())}));
    EXPECT_EQ(of("3: "), (std::vector<std::string>{"command: ~R", "closing ramp: 128 bytes",
                                                   "total bytes: " + std::to_string(streams[2].size())}));
    EXPECT_EQ(of("1: ").size() + of("2: ").size() + of("3: ").size(), lines.size());
    EXPECT_EQ(printer.Stop(), 0);
}

TEST(Program, BadOptionValuesAreUsageErrors) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--ptys", "0"}, "--ptys takes 1 to 64"},
        {{"--ptys", "65"}, "--ptys takes 1 to 64"},
        {{"--ptys", "x"}, "not a number: x"},
        {{"--no-times", "--ptys"}, "--ptys needs a value"},
        {{"--restart-ms", "100"}, "--restart-ms needs --listen"},
        {{"--file", "x", "--restart-ms", "100"}, "--restart-ms needs --listen"},
        {{"--listen", "0", "--restart-ms", "0"}, "--restart-ms takes 1 to 3600000"},
        {{"--listen", "0", "--restart-ms", "3600001"}, "--restart-ms takes 1 to 3600000"},
        {{"--listen", "0", "--restart-ms", "99999999999999999999"}, "not a number: 99999999999999999999"}};
    for (const auto& [args, why] : cases) {
        Printer printer(args, true);
        std::vector<std::string> lines;
        ASSERT_TRUE(printer.ReadToEnd(lines)) << why;
        ASSERT_GE(lines.size(), 3u) << why;
        EXPECT_EQ(lines[0], "prax-virtual-printer: " + why);
        EXPECT_TRUE(lines[1].starts_with("usage: prax-virtual-printer [")) << lines[1];
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const auto& l) { return l.starts_with("  --ptys N "); }));
        const int status = printer.Stop();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << why;
    }
}

// An address that another program listens on (here: this test, as a second printer would, with
// SO_REUSEADDR): the printer says so in words and ends with status 1.
TEST(Program, AListenAddressInUseIsSaidInWords) {
    const int held = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(held, 0);
    const int on = 1;
    setsockopt(held, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a = Loopback(0);
    socklen_t size = sizeof a;
    ASSERT_TRUE(bind(held, reinterpret_cast<sockaddr*>(&a), size) == 0 && listen(held, 1) == 0 &&
                getsockname(held, reinterpret_cast<sockaddr*>(&a), &size) == 0);
    const std::string address = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));

    Printer printer({"--listen", address, "--no-times"}, true);
    std::vector<std::string> lines;
    const bool ended = printer.ReadToEnd(lines);
    const int status = printer.Stop();
    close(held);
    ASSERT_TRUE(ended) << "still running";
    EXPECT_EQ(lines, std::vector<std::string>{"prax-virtual-printer: " + address +
                                              ": address already in use (another program listens there; "
                                              "--listen 0 takes a free port)"});
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
}

// A network printer that restarts after an image: the connection ends with the image (what came
// after it is not decoded), connections are refused for the restart's time, and then the next one
// is decoded from its start.
TEST(Program, RestartsAfterAFirmwareImage) {
    constexpr auto kRestart = std::chrono::milliseconds(1000);
    Printer printer({"--listen", "127.0.0.1:0", "--restart-ms", std::to_string(kRestart.count()), "--no-times",
                     "--exit-on", "command"});
    ASSERT_TRUE(printer.Started());
    std::string bound;
    ASSERT_TRUE(printer.ReadLine(bound, Clock::now() + kDeadline));
    const int port = PortOf(bound);
    ASSERT_GT(port, 0) << bound;

    const std::string body = Body(1000);
    int error = 0;
    int fd = Connect(port, error);
    ASSERT_GE(fd, 0) << std::strerror(error);
    const auto sent = Clock::now();  // the restart begins no earlier
    SendSome(fd, FirmwareStream(body) + "^dropped\r\n");
    EXPECT_EQ(printer.ReadUntil("restarting"),
              (std::vector<std::string>{"wake-up run: 20 CR",
                                        "firmware image: size 1000, received 1000, CRC " + RegisterHex(body) + " matches",
                                        "restarting"}));
    char end = 0;
    pollfd p{fd, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, static_cast<int>(std::chrono::milliseconds(kDeadline).count())), 1);
    EXPECT_LE(recv(fd, &end, 1, 0), 0) << "the connection is still open";
    close(fd);

    // Refused, not taken and closed; unless this test was held up past the restart's end.
    fd = Connect(port, error);
    if (Clock::now() < sent + kRestart) {
        EXPECT_EQ(error, ECONNREFUSED) << std::strerror(error);
    }
    if (fd >= 0) close(fd);

    EXPECT_EQ(printer.ReadUntil("ready"), std::vector<std::string>{"ready"});
    EXPECT_GE(Clock::now(), sent + kRestart);
    fd = Connect(port, error);
    ASSERT_GE(fd, 0) << std::strerror(error);
    SendSome(fd, "^default\r\n");
    // Neither the closing ramp nor ^dropped: they came after the image, in the closed connection.
    EXPECT_EQ(printer.ReadUntil("command"), std::vector<std::string>{"command: ^default"});
    close(fd);
    std::vector<std::string> after;
    EXPECT_TRUE(printer.ReadToEnd(after)) << "--exit-on did not end it";
    ASSERT_EQ(after.size(), 1u);
    EXPECT_TRUE(after[0].starts_with("total bytes: ")) << after[0];
}

// A restart whose address another program took meanwhile: the printer says so and ends with 1.
TEST(Program, ARestartThatCantListenAgainEnds) {
    Printer printer({"--listen", "127.0.0.1:0", "--restart-ms", "1000", "--no-times"}, true);
    ASSERT_TRUE(printer.Started());
    std::string bound;
    ASSERT_TRUE(printer.ReadLine(bound, Clock::now() + kDeadline));
    int error = 0;
    const int fd = Connect(PortOf(bound), error);
    ASSERT_GE(fd, 0) << std::strerror(error);
    SendSome(fd, FirmwareStream(Body(100)));
    ASSERT_EQ(printer.LastUntil("restarting"), "restarting");
    const int taker = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(taker, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in a = Loopback(PortOf(bound));
    if (bind(taker, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || listen(taker, 1) != 0) {
        const int why = errno;
        close(taker);
        close(fd);
        GTEST_SKIP() << "held up past the restart: " << std::strerror(why);
    }
    std::vector<std::string> lines;
    const bool ended = printer.ReadToEnd(lines);
    const int status = printer.Stop();
    close(taker);
    close(fd);
    ASSERT_TRUE(ended) << "still running";
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "prax-virtual-printer: listening again after the restart: " + bound +
                            ": address already in use (another program listens there; --listen 0 takes a free port)");
    EXPECT_TRUE(lines[1].starts_with("total bytes: ")) << lines[1];
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
}

}  // namespace
