// What one praxdl run hands each of its links, and what each link gives back: shared by the run to
// one printer and the run to several at once, so both send through the same code.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/Interrupt.h"
#include "cli/Praxdl.h"
#include "cli/TerminalOperator.h"
#include "link/TCom.h"
#include "link/UsbDiscovery.h"
#include "platform/Native.h"
#include "protocol/Context.h"
#include "protocol/Operator.h"

namespace prax::cli {

class RunLog;

// This machine's devices, ended by the interrupt signal: the host of a run and of each of its links,
// used on the thread that made it, whose waits the signal then ends at once.
class NativeHost final : public Host {
public:
    NativeHost() { native_.SetAbortFlag(&gInterruptSignal); }
    platform::Platform& platform() override { return native_; }
    void MapDevice(const std::string& name, const std::string& path) override { native_.MapDevice(name, path); }
    void MapOutputFile(const std::string& name, const std::string& path) override {
        native_.MapDevice(name, path, true);
    }

private:
    InterruptWake wake_;
    platform::NativePlatform native_;
};

// Everything the command line asks for, checked by the parser before anything is opened.
struct Invocation {
    std::string command;
    std::string output;
    bool yes = false, no = false, quiet = false, json = false;
    bool all = false, watch = false;
    std::uint64_t count = 0;  // --watch: printers to serve; 0: until interrupted
    std::string log;
    std::vector<std::string> lines;  // send
    std::string operand;             // the IMAGE, FILE or NAME of a command that takes one
    std::string packageSize = "512";
    std::string slot = "TA";
    std::string which;               // channel 00|25|49, read start|stop
};

// One connection of a run.
struct Target {
    enum class Kind { Port, Device, Output, Host };
    Kind kind = Kind::Port;
    std::string text;        // as given: a connection's list name, a path, HOST[:PORT]
    // A USB printer of --all or --watch, or the attached one that usbName names: its interface path.
    std::string usbPrinter{};
    // --port by a USB printer's serial number or identity: the text given ("USB" is then `text`).
    std::string usbName{};
    // That printer's serial number, as the device reports it, where it has one.
    std::string usbSerial{};
    // How rows, JSON objects and the log name it.
    std::string Label() const;
};

// The input of a run, read and checked once before any link opens.
struct Prepared {
    std::optional<protocol::FontChoice> font;
    std::vector<std::string> lines;
    protocol::SharedInputs inputs;
    // The SHA-256 of the first file read, in hex; worked out once, for the record.
    const std::string& InputDigest();

private:
    std::mutex digestMutex_;
    std::string digest_;
    bool digested_ = false;
};

// How a link's run ended.
struct Ending {
    std::string outcome;
    int exitCode = kExitDone;
    std::uint64_t delivered = 0;
    std::string status, error, reason;
    std::string connection{};  // the target's label, in a run to several printers
    std::string device{};      // what the link opened; empty when it opened nothing
    std::string usbSerial{};   // the serial number of the USB printer it opened, where it has one
    double seconds = 0;
    // A framed image ended between its header and its end: the printer waits for the rest.
    bool printerMidImage = false;
};

// Where a link's words go.
struct LinkOutput {
    std::ostream* human = nullptr;  // the status line; null: told elsewhere (a row)
    std::ostream& err;              // messages, questions and answers, progress
    std::ostream* json = nullptr;   // JSON events; null without --json
    ProgressStyle style = ProgressStyle::None;
    bool canAsk = false;
    std::string label{};            // set where several printers are served: JSON events carry it
    std::function<void(std::int64_t, std::int64_t)> progress{};  // a row of its own
};

// The target of a USB printer a look found.
Target UsbTarget(const link::SeenUsbPrinter& printer);

// The operation of the command line on one target through `host`. With `checkOnly` only the input
// is read and checked: Outcome Checked, or the refusal.
Ending RunLink(const Invocation& inv, const Target& target, Prepared& prepared, Host& host, LinkOutput& out,
               bool checkOnly = false);

// Whether the command sends a file (a firmware image, a font, a table, a raw file): its input is
// read and checked before any link of a run to several printers opens.
bool TakesFileInput(const std::string& command);

// The result object of one link.
void WriteResult(std::ostream& out, const std::string& operation, const Ending& e);

// The run to several targets at once, and the station mode that serves USB printers as they come.
// `here` is the run's own host: the input is checked and the printers looked for through it. Each
// link gets a host of its own on its thread, unless `shared` says they all go through `here` one
// after another (a test's fake host).
int RunLine(const Invocation& inv, const std::vector<Target>& targets, Prepared& prepared, Streams& io,
            Host& here, bool shared, RunLog* log);
int RunStation(const Invocation& inv, Prepared& prepared, Streams& io, Host& here, bool shared, RunLog* log);

// The record of one link's run, appended to the log; false with a message on `err` when it fails,
// and a run that was done then fails with that message as its error.
bool Record(RunLog& log, const Invocation& inv, Prepared& prepared, const Target& target, Ending& e,
            std::ostream& err);

}  // namespace prax::cli
