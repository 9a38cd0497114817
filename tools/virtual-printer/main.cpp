// prax-virtual-printer: a printer that only listens. It opens a pty pair (or reads a file or
// standard input, or takes TCP connections), decodes what the download tool sends and prints
// one line per item.
#include "tools/virtual-printer/Decoder.h"
#include "tools/virtual-printer/Listen.h"
#include "version/Version.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

constexpr double kWireRate = 11520.0;  // bytes per second at 115200 baud, 8N1
constexpr double kSlice = 64.0;        // throttled reads take at most this much at a time
constexpr std::int64_t kForeverMs = 100'000'000'000;  // ~3 years: "forever", still no overflow
constexpr std::uint64_t kMaxPtys = 64;

const char* const kUsage =
    "usage: prax-virtual-printer [--file PATH | --stdin | --listen [ADDR:]PORT | --ptys N] [options]\n"
    "  (default: open a pty pair and print the device path as the first line)\n"
    "  --ptys N                 open N printers at once: their device paths first, one a line;\n"
    "                           each report line starts with the printer's number\n"
    "  --listen [ADDR:]PORT     take TCP connections, one at a time, on ADDR (default 127.0.0.1,\n"
    "                           IPv6 in brackets; port 0: any) and print \"host:port\" as the first\n"
    "                           line; each connection is decoded from its start\n"
    "  --throttle               read at most 11520 bytes/s (115200 baud 8N1)\n"
    "  --stall-after N --stall-ms MS   stop reading for MS ms after N bytes\n"
    "  --xoff-after N --xon-ms MS      send XOFF after N bytes, XON MS ms later (pty only)\n"
    "  --close-after N          stop and close after exactly N bytes\n"
    "  --save DIR               save each payload as DIR/NNN-KIND.bin\n"
    "  --exit-after-idle MS     end when no byte came for MS ms (after the first byte)\n"
    "  --exit-after-items N     end after N report lines\n"
    "  --exit-on TEXT           end after a report line containing TEXT\n"
    "  --settle-ms MS           after MS quiet ms, report what waits for a next byte, and the\n"
    "                           undecodable bytes so far as one item (default 250; 0: never)\n"
    "  --no-times               print the bare report lines, without their arrival times\n"
    "  --version                print the version and end\n"
    "  --help, -h               print this text and end\n"
    "Each report line starts with the time its last byte arrived, in seconds since the first byte.\n";

struct Options {
    enum class Input { Pty, File, Stdin, Listen } input = Input::Pty;
    prax::vprinter::ListenAddress listen;
    std::string file;
    bool throttle = false;
    bool times = true;
    std::optional<std::uint64_t> stallAfter, xoffAfter, closeAfter;
    std::int64_t stallMs = 0, xonMs = 0, idleMs = -1, settleMs = 250;
    std::uint64_t exitAfterItems = 0;
    std::uint64_t ptys = 0;  // 0: the one pty, its lines as they are; else that many, numbered
    std::string exitOn, saveDir;
};

[[noreturn]] void Usage(const std::string& why) {
    std::fprintf(stderr, "prax-virtual-printer: %s\n%s", why.c_str(), kUsage);
    std::exit(2);
}

std::uint64_t Number(const char* text) {
    std::uint64_t v = 0;
    const char* end = text + std::strlen(text);
    const auto [ptr, ec] = std::from_chars(text, end, v);
    if (ec != std::errc() || ptr != end) Usage(std::string("not a number: ") + text);
    return v;
}

// Ends the program after `text` went to standard output; 1 when it could not (a full disk).
[[noreturn]] void PrintAndExit(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::exit(std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1);
}

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) Usage(a + " needs a value");
            return argv[++i];
        };
        auto ms = [&] { return static_cast<std::int64_t>(std::min<std::uint64_t>(Number(value()), kForeverMs)); };
        if (a == "--file") o.input = Options::Input::File, o.file = value();
        else if (a == "--stdin") o.input = Options::Input::Stdin;
        else if (a == "--listen") {
            o.input = Options::Input::Listen;
            const char* text = value();
            if (!prax::vprinter::ParseListenAddress(text, o.listen)) Usage(std::string("not [ADDR:]PORT: ") + text);
        }
        else if (a == "--ptys") {
            o.ptys = Number(value());
            if (o.ptys < 1 || o.ptys > kMaxPtys) Usage("--ptys takes 1 to " + std::to_string(kMaxPtys));
        }
        else if (a == "--throttle") o.throttle = true;
        else if (a == "--stall-after") o.stallAfter = Number(value());
        else if (a == "--stall-ms") o.stallMs = ms();
        else if (a == "--xoff-after") o.xoffAfter = Number(value());
        else if (a == "--xon-ms") o.xonMs = ms();
        else if (a == "--close-after") o.closeAfter = Number(value());
        else if (a == "--save") o.saveDir = value();
        else if (a == "--exit-after-idle") o.idleMs = ms();
        else if (a == "--exit-after-items") o.exitAfterItems = Number(value());
        else if (a == "--exit-on") o.exitOn = value();
        else if (a == "--settle-ms") o.settleMs = ms();
        else if (a == "--no-times") o.times = false;
        else if (a == "--help" || a == "-h") PrintAndExit(kUsage);
        else if (a == "--version") PrintAndExit(std::string("prax-virtual-printer ") + prax::kVersion + "\n");
        else Usage("unknown option " + a);
    }
    // XON/XOFF is a serial line's; a socket's reader holds the sender back by not reading.
    if (o.input == Options::Input::Listen && o.xoffAfter) Usage("--xoff-after needs the pty");
    if (o.ptys && o.input != Options::Input::Pty) Usage("--ptys opens ptys: not with --file, --stdin or --listen");
    return o;
}

// Payloads go to numbered files so that a test can compare them with what it sent.
class FileSink : public prax::vprinter::PayloadSink {
public:
    explicit FileSink(std::string dir) : dir_(std::move(dir)) {}
    ~FileSink() override { End(); }
    void Begin(std::string_view kind) override {
        End();
        char name[32];
        std::snprintf(name, sizeof name, "/%03d-", ++count_);
        const std::string path = dir_ + name + std::string(kind) + ".bin";
        file_ = std::fopen(path.c_str(), "wb");
        if (!file_) std::fprintf(stderr, "prax-virtual-printer: can't create %s: %s\n", path.c_str(), std::strerror(errno));
    }
    void Data(const std::uint8_t* data, std::size_t length) override {
        if (file_) std::fwrite(data, 1, length, file_);
    }
    void End() override {
        if (file_) std::fclose(file_);
        file_ = nullptr;
    }

private:
    std::string dir_;
    int count_ = 0;
    std::FILE* file_ = nullptr;
};

int signalPipe[2] = {-1, -1};
void OnSignal(int) {
    const char c = 's';
    [[maybe_unused]] const ssize_t r = write(signalPipe[1], &c, 1);
}

void SetRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return;
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
}

// When each read happened, by the byte count it brought the total to, so that an item can be
// stamped with the arrival of its own last byte rather than with the moment it was decided.
class ArrivalLog {
public:
    void Read(std::uint64_t total, Clock::time_point at) {
        if (reads_.empty()) first_ = at;
        reads_.push_back({total, at});
    }
    // "   2.403  " for an item whose last byte is at offset end - 1: seconds since the first byte.
    std::string Prefix(std::uint64_t end) {
        // Item ends never go back, so reads wholly before this one are not needed again.
        while (reads_.size() > 1 && reads_.front().total < end) reads_.pop_front();
        const Clock::time_point at = reads_.empty() ? first_ : reads_.front().at;
        const auto ms = std::chrono::duration_cast<Ms>(at - first_).count();
        char text[32];
        std::snprintf(text, sizeof text, "%4lld.%03lld  ", static_cast<long long>(ms / 1000),
                      static_cast<long long>(ms % 1000));
        return text;
    }

private:
    struct Arrival {
        std::uint64_t total;  // all bytes read up to and including this read
        Clock::time_point at;
    };
    std::deque<Arrival> reads_;
    Clock::time_point first_{};
};

int CeilMs(Clock::duration d) {
    const auto ms = std::chrono::ceil<Ms>(d).count();
    return static_cast<int>(std::clamp<std::int64_t>(ms, 0, INT_MAX));
}

// Standard output by write(2) itself: a line goes out in one write the moment it is decided, so
// a reader sees it at once and the lines of two printers never mix.
void Print(const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const ssize_t n = write(STDOUT_FILENO, text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // nobody reads any more: the printer carries on all the same
        at += static_cast<std::size_t>(n);
    }
}

struct Pty {
    int master = -1, slave = -1;
    std::string name;
};

// A pty pair in raw mode with a non-blocking master; false, having said why, when there is none.
bool OpenPty(Pty& pty) {
    pty.master = posix_openpt(O_RDWR | O_NOCTTY);
    if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0) return std::perror("pty"), false;
    const char* name = ptsname(pty.master);
    if (!name) return std::perror("ptsname"), false;
    pty.name = name;
    SetRaw(pty.master);
    fcntl(pty.master, F_SETFL, fcntl(pty.master, F_GETFL) | O_NONBLOCK);
    // Holding the device end ourselves means a writer that closes and reopens it never
    // leaves the master without a peer (which would turn every read into EIO).
    pty.slave = open(name, O_RDWR | O_NOCTTY);
    if (pty.slave < 0) return std::perror(name), false;
    SetRaw(pty.slave);  // no CR/LF translation either way: the bytes are the message
    return true;
}

// One printer: what it reads, where its payloads go and how its lines are printed (each whole
// line, newline and all, in one call).
struct Printer {
    int in = -1, slave = -1, listener = -1;
    std::string saveDir;
    std::function<void(const std::string&)> print;
};

// Reads and decodes until an exit condition, the end of the input or a signal; then reports
// what was left half way and the byte count, and closes what it read from.
void Serve(const Options& opt, Printer p) {
    int in = p.in;
    const int slave = p.slave, listener = p.listener;
    const bool pty = opt.input == Options::Input::Pty;
    const bool listening = opt.input == Options::Input::Listen;
    std::optional<FileSink> sink;
    if (!p.saveDir.empty()) {
        mkdir(p.saveDir.c_str(), 0777);  // an existing folder is fine too
        sink.emplace(p.saveDir);
    }
    std::uint64_t items = 0, total = 0;
    bool stop = false;
    ArrivalLog arrivals;
    // Each network connection is a stream of its own, decoded from its start; what it left half
    // way is reported when it ends. The other inputs are one stream.
    std::optional<prax::vprinter::Decoder> decoder;
    std::uint64_t streamStart = 0;  // bytes read before the current stream
    const auto onLine = [&](const std::string& line) {
        if (stop) return;  // exactly as many lines as asked for, even from one read
        std::string text = opt.times ? arrivals.Prefix(streamStart + decoder->ItemEnd()) : std::string();
        text += line;
        text += '\n';
        p.print(text);
        ++items;
        if ((opt.exitAfterItems && items >= opt.exitAfterItems) ||
            (!opt.exitOn.empty() && line.find(opt.exitOn) != std::string::npos))
            stop = true;
    };
    const auto newStream = [&] {
        decoder.emplace(onLine, sink ? &*sink : nullptr);
        streamStart = total;
    };
    if (!listening) newStream();

    std::vector<std::uint8_t> buf(64 * 1024);
    bool anyByte = false, stallDone = false, xoffDone = false, settled = true;
    Clock::time_point lastByte{}, quietSince{}, lastRefill = Clock::now();
    constexpr auto kNever = Clock::time_point::max();
    Clock::time_point stallUntil = Clock::time_point::min(), xonAt = kNever;
    double tokens = 2 * kSlice;

    while (!stop) {
        auto now = Clock::now();
        if (now >= xonAt) {
            const std::uint8_t xon = 0x11;
            [[maybe_unused]] const ssize_t r = write(in, &xon, 1);
            xonAt = kNever;
        }
        if (opt.stallAfter && !stallDone && total >= *opt.stallAfter) {
            stallDone = true;
            stallUntil = now + Ms(opt.stallMs);
        }
        if (opt.xoffAfter && !xoffDone && total >= *opt.xoffAfter) {
            xoffDone = true;
            if (pty) {
                const std::uint8_t xoff = 0x13;
                [[maybe_unused]] const ssize_t r = write(in, &xoff, 1);
                xonAt = now + Ms(opt.xonMs);
            }
        }
        if (opt.closeAfter && total >= *opt.closeAfter) break;

        // How much the next read may take: never past a byte count that triggers something.
        std::uint64_t want = buf.size();
        for (const auto& limit : {opt.stallAfter, opt.xoffAfter, opt.closeAfter})
            if (limit && total < *limit) want = std::min(want, *limit - total);
        Clock::time_point wake = kNever;
        auto wakeAt = [&](Clock::time_point t) { wake = std::min(wake, t); };
        if (opt.throttle) {
            tokens = std::min(2 * kSlice, tokens + std::chrono::duration<double>(now - lastRefill).count() * kWireRate);
            lastRefill = now;
            if (tokens < kSlice) {
                wakeAt(now + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>((kSlice - tokens) / kWireRate)));
                want = 0;
            } else {
                want = std::min<std::uint64_t>(want, static_cast<std::uint64_t>(tokens));
            }
        }
        if (now < stallUntil) wakeAt(stallUntil), want = 0;
        if (opt.idleMs >= 0 && anyByte) {
            if (now >= lastByte + Ms(opt.idleMs)) break;
            wakeAt(lastByte + Ms(opt.idleMs));
        }
        wakeAt(xonAt);
        // A pause of the sender settles a CR run or a line's last CR. Not while we hold the sender
        // back ourselves: that pause is ours, and may fall between a CR and its LF.
        if (now < stallUntil || xonAt != kNever) quietSince = now;
        if (opt.settleMs > 0 && !settled) {
            if (now >= quietSince + Ms(opt.settleMs)) decoder->Idle(), settled = true;
            else wakeAt(quietSince + Ms(opt.settleMs));
        }
        // A writer sets TIOCEXCL; with our own descriptor keeping the device open that flag
        // would outlive the writer and lock out its next session. Clearing it while idle
        // keeps the device reopenable; the writer's flock still keeps two writers apart.
        if (pty) wakeAt(now + Ms(200));

        const bool waitingForPeer = listening && in < 0;
        pollfd fds[2] = {{signalPipe[0], POLLIN, 0}, {waitingForPeer ? listener : want ? in : -1, POLLIN, 0}};
        const int ready = poll(fds, 2, wake == kNever ? -1 : CeilMs(wake - now));
        if (ready < 0 && errno != EINTR) break;
        if (fds[0].revents) break;
        if (waitingForPeer) {
            if (fds[1].revents & POLLIN) {
                in = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (in >= 0) newStream();
            }
            continue;
        }
        if (ready == 0 && pty) ioctl(slave, TIOCNXCL);
        if (want == 0 || !(fds[1].revents & (POLLIN | POLLHUP | POLLERR))) continue;

        const ssize_t r = read(in, buf.data(), want);
        if (r < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (r <= 0 && listening) {
            // The peer is done (or gone): its stream ends here, the next connection starts anew.
            decoder->Finish();
            close(in);
            in = -1;
            settled = true;
            continue;
        }
        if (r <= 0) break;  // end of file; on the pty (held open) only a real failure
        now = Clock::now();
        total += static_cast<std::uint64_t>(r);
        arrivals.Read(total, now);
        tokens -= static_cast<double>(r);
        lastByte = quietSince = now;
        anyByte = true;
        settled = false;
        decoder->Feed(buf.data(), static_cast<std::size_t>(r));
    }

    if (decoder && (in >= 0 || !listening)) decoder->Finish();
    p.print("total bytes: " + std::to_string(total) + "\n");
    if (slave >= 0) close(slave);
    if (in >= 0 && in != STDIN_FILENO) close(in);
    if (listener >= 0) close(listener);
}

// Several printers at once, a thread each, so that each reads, stalls and ends on its own as
// printers on separate links do. Nobody drains the signal pipe, so one signal ends them all.
int ServeMany(const Options& opt) {
    std::vector<Pty> ptys(opt.ptys);
    std::string names;
    for (Pty& pty : ptys) {
        if (!OpenPty(pty)) return 1;
        names += pty.name + "\n";
    }
    Print(names);  // all of them before any report line, so a reader knows every path first
    if (!opt.saveDir.empty()) mkdir(opt.saveDir.c_str(), 0777);
    // A line longer than a pipe takes at once needs more than one write; the lock keeps it whole.
    std::mutex printing;
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < ptys.size(); ++i) {
        const std::string number = std::to_string(i + 1);
        Printer printer{ptys[i].master, ptys[i].slave, -1, opt.saveDir.empty() ? "" : opt.saveDir + "/" + number,
                        [&printing, prefix = number + ": "](const std::string& line) {
                            const std::lock_guard<std::mutex> hold(printing);
                            Print(prefix + line);
                        }};
        threads.emplace_back(Serve, std::cref(opt), std::move(printer));
    }
    for (std::thread& t : threads) t.join();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Options opt = Parse(argc, argv);
    signal(SIGPIPE, SIG_IGN);
    if (pipe(signalPipe) != 0) return 1;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &sa, nullptr);
    if (opt.ptys) return ServeMany(opt);

    Printer printer;
    printer.print = Print;
    printer.saveDir = opt.saveDir;
    if (opt.input == Options::Input::Pty) {
        Pty pty;
        if (!OpenPty(pty)) return 1;
        printer.in = pty.master;
        printer.slave = pty.slave;
        Print(pty.name + "\n");
    } else if (opt.input == Options::Input::Listen) {
        std::string bound, error;
        printer.listener = prax::vprinter::OpenListener(opt.listen, bound, error);
        if (printer.listener < 0) return std::fprintf(stderr, "prax-virtual-printer: %s\n", error.c_str()), 1;
        Print(bound + "\n");
    } else if (opt.input == Options::Input::File) {
        printer.in = open(opt.file.c_str(), O_RDONLY);
        if (printer.in < 0) return std::perror(opt.file.c_str()), 1;
    } else {
        printer.in = STDIN_FILENO;
    }
    Serve(opt, std::move(printer));
    return 0;
}
