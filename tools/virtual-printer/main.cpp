// prax-virtual-printer: a printer that only listens. It opens a pty pair (or reads a file or
// standard input, or takes TCP connections), decodes what the download tool sends and prints
// one line per item. Windows has no pty: there it listens on the network printer's raw port.
#include "tools/virtual-printer/Decoder.h"
#include "tools/virtual-printer/Listen.h"
#include "tools/virtual-printer/Source.h"
#include "version/Version.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
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

using prax::vprinter::Clock;
using prax::vprinter::kHasPty;
using prax::vprinter::Print;
using prax::vprinter::Woke;
using Ms = std::chrono::milliseconds;

constexpr double kWireRate = 11520.0;  // bytes per second at 115200 baud, 8N1
constexpr double kSlice = 64.0;        // throttled reads take at most this much at a time
constexpr std::int64_t kForeverMs = 100'000'000'000;  // ~3 years: "forever", still no overflow
constexpr std::uint64_t kMaxPtys = 64;
constexpr std::int64_t kMaxRestartMs = 3'600'000;  // an hour: far beyond any printer's restart
constexpr std::uint16_t kRawPort = 9100;  // a network printer's raw port, where praxdl --host goes

const char* const kUsage =
#ifdef _WIN32
    "usage: prax-virtual-printer [--listen [ADDR:]PORT | --file PATH | --stdin] [options]\n"
    "  (default: --listen 127.0.0.1:9100, the network printer's raw port, so that\n"
    "   praxdl.exe --host 127.0.0.1 reaches it; there is no pty on Windows)\n"
#else
    "usage: prax-virtual-printer [--file PATH | --stdin | --listen [ADDR:]PORT | --ptys N] [options]\n"
    "  (default: open a pty pair and print the device path as the first line)\n"
    "  --ptys N                 open N printers at once: their device paths first, one a line;\n"
    "                           each report line starts with the printer's number\n"
#endif
    "  --listen [ADDR:]PORT     take TCP connections, one at a time, on ADDR (default 127.0.0.1,\n"
    "                           IPv6 in brackets; port 0: any) and print \"host:port\" as the first\n"
    "                           line; each connection is decoded from its start\n"
#ifdef _WIN32
    "  --file PATH              read the bytes from PATH\n"
    "  --stdin                  read the bytes from standard input\n"
#endif
    "  --throttle               read at most 11520 bytes/s (115200 baud 8N1)\n"
    "  --stall-after N --stall-ms MS   stop reading for MS ms after N bytes\n"
#ifndef _WIN32
    "  --xoff-after N --xon-ms MS      send XOFF after N bytes, XON MS ms later (pty only)\n"
#endif
    "  --close-after N          stop and close after exactly N bytes\n"
    "  --restart-ms MS          listening: after a firmware or download-mode image whose CRC\n"
    "                           matches, close the connection (dropping what follows the image),\n"
    "                           refuse connections for MS ms (1 to 3600000) and listen again on\n"
    "                           the same address, as a printer that restarts; its report lines\n"
    "                           \"restarting\" and \"ready\"\n"
    "  --save DIR               save each payload as DIR/NNN-KIND.bin\n"
    "  --exit-after-idle MS     end when no byte came for MS ms (after the first byte)\n"
    "  --exit-after-items N     end after N report lines (\"restarting\" and \"ready\" too)\n"
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
    std::int64_t restartMs = 0;  // 0: the printer never restarts
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
        else if (!kHasPty && (a == "--ptys" || a == "--xoff-after" || a == "--xon-ms"))
            Usage(a + " needs a pty, which Windows does not have");
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
        else if (a == "--restart-ms") {
            o.restartMs = ms();
            if (o.restartMs < 1 || o.restartMs > kMaxRestartMs)
                Usage("--restart-ms takes 1 to " + std::to_string(kMaxRestartMs));
        }
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
    if (!kHasPty && o.input == Options::Input::Pty) {
        o.input = Options::Input::Listen;
        o.listen.port = kRawPort;
    }
    // Only a network printer's restart shows to the sender: a serial line stays.
    if (o.restartMs && o.input != Options::Input::Listen) Usage("--restart-ms needs --listen");
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
        return At(reads_.empty() ? first_ : reads_.front().at);
    }
    // The same for what happened at `at` rather than with a byte.
    std::string At(Clock::time_point at) const {
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

// One printer: what it reads, where its payloads go and how its lines are printed (each whole
// line, newline and all, in one call).
struct Printer {
    std::unique_ptr<prax::vprinter::Source> source;
    std::string saveDir;
    std::function<void(const std::string&)> print;
    prax::vprinter::ListenAddress listenedOn{};  // listening: the address taken, with its real port
};

constexpr auto kNever = Clock::time_point::max();

// How the reads are paced: the stall and the XOFF that a byte count starts, the XON that ends
// the XOFF, and the throttle's budget of bytes.
class Pacing {
public:
    Pacing(const Options& opt, prax::vprinter::Source& source, bool pty) : opt_(opt), source_(source), pty_(pty) {}

    // What falls due at `now`, with `total` bytes read: the XON, the stall, the XOFF.
    void Start(Clock::time_point now, std::uint64_t total) {
        if (now >= xonAt_) {
            source_.Send(0x11);  // XON
            xonAt_ = kNever;
        }
        if (opt_.stallAfter && !stallDone_ && total >= *opt_.stallAfter) {
            stallDone_ = true;
            stallUntil_ = now + Ms(opt_.stallMs);
        }
        if (opt_.xoffAfter && !xoffDone_ && total >= *opt_.xoffAfter) {
            xoffDone_ = true;
            if (pty_) {
                source_.Send(0x13);  // XOFF
                xonAt_ = now + Ms(opt_.xonMs);
            }
        }
    }

    // How much the next read may take, at most `room`: never past a byte count that triggers
    // something, nothing while stalled or out of budget. `wake` comes no later than the moment
    // the pacing changes.
    std::uint64_t Allowance(std::uint64_t room, std::uint64_t total, Clock::time_point now, Clock::time_point& wake) {
        std::uint64_t want = room;
        for (const auto& limit : {opt_.stallAfter, opt_.xoffAfter, opt_.closeAfter})
            if (limit && total < *limit) want = std::min(want, *limit - total);
        auto wakeAt = [&](Clock::time_point t) { wake = std::min(wake, t); };
        if (opt_.throttle) {
            tokens_ = std::min(2 * kSlice, tokens_ + std::chrono::duration<double>(now - lastRefill_).count() * kWireRate);
            lastRefill_ = now;
            if (tokens_ < kSlice) {
                wakeAt(now + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>((kSlice - tokens_) / kWireRate)));
                want = 0;
            } else {
                want = std::min<std::uint64_t>(want, static_cast<std::uint64_t>(tokens_));
            }
        }
        if (now < stallUntil_) wakeAt(stallUntil_), want = 0;
        wakeAt(xonAt_);
        return want;
    }

    // Whether we hold the sender back ourselves: that pause is ours, and settles nothing.
    bool HoldingBack(Clock::time_point now) const { return now < stallUntil_ || xonAt_ != kNever; }

    void Took(long bytes) { tokens_ -= static_cast<double>(bytes); }

private:
    const Options& opt_;
    prax::vprinter::Source& source_;
    const bool pty_;
    bool stallDone_ = false, xoffDone_ = false;
    Clock::time_point stallUntil_ = Clock::time_point::min(), xonAt_ = kNever, lastRefill_ = Clock::now();
    double tokens_ = 2 * kSlice;
};

// Reads and decodes until an exit condition, the end of the input or a signal; then reports
// what was left half way and the byte count, and closes what it read from. 1 when a restarted
// printer could not listen again.
int Serve(const Options& opt, Printer p) {
    prax::vprinter::Source& source = *p.source;
    const bool pty = opt.input == Options::Input::Pty;
    const bool listening = opt.input == Options::Input::Listen;
    std::optional<FileSink> sink;
    if (!p.saveDir.empty()) {
        prax::vprinter::MakeFolder(p.saveDir);
        sink.emplace(p.saveDir);
    }
    std::uint64_t items = 0, total = 0;
    bool stop = false, failed = false;
    ArrivalLog arrivals;
    // Each network connection is a stream of its own, decoded from its start; what it left half
    // way is reported when it ends. The other inputs are one stream.
    std::optional<prax::vprinter::Decoder> decoder;
    std::uint64_t streamStart = 0;  // bytes read before the current stream
    const auto report = [&](const std::string& prefix, const std::string& line) {
        p.print(prefix + line + '\n');
        ++items;
        if ((opt.exitAfterItems && items >= opt.exitAfterItems) ||
            (!opt.exitOn.empty() && line.find(opt.exitOn) != std::string::npos))
            stop = true;
    };
    const auto say = [&](const std::string& line, Clock::time_point at) {
        report(opt.times ? arrivals.At(at) : std::string(), line);
    };
    // --restart-ms: an image taken ends the connection there; until readyAt nothing listens.
    bool restartDue = false;
    Clock::time_point readyAt = kNever;
    const auto onLine = [&](const std::string& line) {
        if (stop) return;  // exactly as many lines as asked for, even from one read
        report(opt.times ? arrivals.Prefix(streamStart + decoder->ItemEnd()) : std::string(), line);
        if (opt.restartMs && !stop && decoder->ItemIsTakenImage()) {
            decoder->Halt();
            restartDue = true;
        }
    };
    const auto newStream = [&] {
        decoder.emplace(onLine, sink ? &*sink : nullptr);
        streamStart = total;
    };
    if (!listening) newStream();

    std::vector<std::uint8_t> buf(64 * 1024);
    bool anyByte = false, settled = true;
    Clock::time_point lastByte{}, quietSince{};
    Pacing pacing(opt, source, pty);

    while (!stop) {
        auto now = Clock::now();
        pacing.Start(now, total);
        if (opt.closeAfter && total >= *opt.closeAfter) break;

        Clock::time_point wake = kNever;
        auto wakeAt = [&](Clock::time_point t) { wake = std::min(wake, t); };
        const std::uint64_t want = pacing.Allowance(buf.size(), total, now, wake);
        if (opt.idleMs >= 0 && anyByte) {
            if (now >= lastByte + Ms(opt.idleMs)) break;
            wakeAt(lastByte + Ms(opt.idleMs));
        }
        // A pause of the sender settles a CR run or a line's last CR. Not while we hold the sender
        // back ourselves: that pause is ours, and may fall between a CR and its LF.
        if (pacing.HoldingBack(now)) quietSince = now;
        if (opt.settleMs > 0 && !settled) {
            if (now >= quietSince + Ms(opt.settleMs)) decoder->Idle(), settled = true;
            else wakeAt(quietSince + Ms(opt.settleMs));
        }
        // The pty's quiet-moment chore (Source::Idle) comes at least this often.
        if (pty) wakeAt(now + Ms(200));

        if (readyAt != kNever && now < readyAt) {
            // Restarting: nothing listens, yet a stop request and the idle limit still end it.
            // What the sender still sends on its connection (the closing ramp) is read and
            // dropped, as a printer's network stack takes it, so the sender sees no reset.
            wakeAt(readyAt);
            if (!source.Connected()) {
                if (source.Wait(false, wake) == Woke::Stop) break;
                continue;
            }
        } else if (readyAt != kNever) {
            // Back: a connection of before the restart is gone with it.
            if (source.Connected()) source.CloseStream();
            std::string bound, error;
            const prax::vprinter::Socket listener = prax::vprinter::OpenListener(p.listenedOn, bound, error);
            if (listener == prax::vprinter::kNoSocket) {
                std::fprintf(stderr, "prax-virtual-printer: listening again after the restart: %s\n", error.c_str());
                failed = true;
                break;
            }
            source.Listen(listener);
            readyAt = kNever;
            say("ready", Clock::now());
            continue;
        }

        const bool waitingForPeer = listening && !source.Connected();
        const Woke woke = source.Wait(waitingForPeer || want, wake);
        if (woke == Woke::Stop) break;
        if (waitingForPeer) {
            if (woke == Woke::Ready && source.Accept()) newStream();
            continue;
        }
        if (woke == Woke::Timeout && pty) source.Idle();
        if (want == 0 || woke != Woke::Ready) continue;

        const long r = source.Read(buf.data(), want);
        if (r < 0) continue;
        if (r == 0 && listening) {
            // The peer is done (or gone): its stream ends here, the next connection starts anew.
            if (decoder) decoder->Finish();
            source.CloseStream();
            settled = true;
            continue;
        }
        if (r == 0) break;  // end of file; on the pty (held open) only a real failure
        now = Clock::now();
        total += static_cast<std::uint64_t>(r);
        arrivals.Read(total, now);
        pacing.Took(r);
        lastByte = quietSince = now;
        anyByte = true;
        settled = false;
        if (decoder) decoder->Feed(buf.data(), static_cast<std::size_t>(r));
        if (restartDue) {
            // Closed first, so that a sender who sees the line finds connections refused.
            restartDue = false;
            source.StopListening();
            decoder.reset();
            settled = true;
            readyAt = now + Ms(opt.restartMs);
            say("restarting", now);
        }
    }

    if (decoder && (source.Connected() || !listening)) decoder->Finish();
    p.print("total bytes: " + std::to_string(total) + "\n");
    return failed ? 1 : 0;
}

// Several printers at once, a thread each, so that each reads, stalls and ends on its own as
// printers on separate links do. A stop request ends every wait, so one signal ends them all.
int ServeMany(const Options& opt) {
    std::vector<std::unique_ptr<prax::vprinter::Source>> ptys(opt.ptys);
    std::string names;
    for (auto& pty : ptys) {
        std::string name;
        pty = prax::vprinter::OpenPtySource(name);
        if (!pty) return 1;
        names += name + "\n";
    }
    Print(names);  // all of them before any report line, so a reader knows every path first
    if (!opt.saveDir.empty()) prax::vprinter::MakeFolder(opt.saveDir);
    // A line longer than a pipe takes at once needs more than one write; the lock keeps it whole.
    std::mutex printing;
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < ptys.size(); ++i) {
        const std::string number = std::to_string(i + 1);
        Printer printer{std::move(ptys[i]), opt.saveDir.empty() ? "" : opt.saveDir + "/" + number,
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
    if (!prax::vprinter::CatchStopRequests()) return 1;
    if (opt.ptys) return ServeMany(opt);

    Printer printer;
    printer.print = Print;
    printer.saveDir = opt.saveDir;
    if (opt.input == Options::Input::Pty) {
        std::string name;
        printer.source = prax::vprinter::OpenPtySource(name);
        if (!printer.source) return 1;
        Print(name + "\n");
    } else if (opt.input == Options::Input::Listen) {
        std::string bound, error;
        const prax::vprinter::Socket listener = prax::vprinter::OpenListener(opt.listen, bound, error);
        if (listener == prax::vprinter::kNoSocket)
            return std::fprintf(stderr, "prax-virtual-printer: %s\n", error.c_str()), 1;
        printer.source = prax::vprinter::ListenSource(listener);
        // Where a restart listens again: this very address, not another free port.
        if (!prax::vprinter::ParseListenAddress(bound, printer.listenedOn)) printer.listenedOn = opt.listen;
        Print(bound + "\n");
    } else if (opt.input == Options::Input::File) {
        printer.source = prax::vprinter::OpenFileSource(opt.file);
        if (!printer.source) return 1;
    } else {
        printer.source = prax::vprinter::OpenStdinSource();
    }
    return Serve(opt, std::move(printer));
}
