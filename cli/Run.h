// What one praxdl run hands each of its links, and what each link gives back: the same for a run
// to one printer and to a line of them, so both send through the same code.
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
#include "cli/Outcome.h"
#include "cli/Praxdl.h"
#include "cli/TerminalOperator.h"
#include "platform/Native.h"
#include "protocol/Context.h"
#include "protocol/Operator.h"

namespace prax::cli {

// This machine's devices, ended by the interrupt signal: the host of a run and of each of its links,
// used on the thread that made it, whose waits the signal then ends at once.
class NativeHost final : public Host {
public:
    NativeHost() { native_.SetAbortFlag(&gInterruptSignal); }
    platform::Platform& platform() override { return native_; }
    void MapDevice(const std::string& name, const std::string& path) override { native_.MapDevice(name, path); }
    void MapOutputFile(const std::string& name, const std::string& path, bool append) override {
        native_.MapDevice(name, path, !append, append);
    }
    std::string DevicePath(const std::string& deviceName) override { return platform::HostPathFor(deviceName); }
    bool DevicePresent(const std::string& hostPath) override { return platform::DevicePresent(hostPath); }

private:
    InterruptWake wake_;
    platform::NativePlatform native_;
};

struct Recipe;

// The input of a run, read and checked once before any link opens.
struct Prepared {
    // apply RECIPE: the steps, each with its own input.
    std::shared_ptr<Recipe> recipe;
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
    Outcome outcome = Outcome::Done;
    int exitCode = kExitDone;
    std::uint64_t delivered = 0;
    std::string status, error, reason;
    std::string connection{};  // the target's label, where the result names it
    std::string device{};      // what the link opened; empty when it opened nothing
    std::string usbSerial{};   // the serial number of the USB printer it opened, where it has one
    double seconds = 0;
    // A framed image ended between its header and its end: the printer waits for the rest.
    bool printerMidImage = false;
    // A recipe's run: its steps, those done, and the one it ended on when it did not finish
    // ("3 font TB"; empty when every step was done).
    std::size_t steps = 0, stepsDone = 0;
    std::string failedStep{};
};

// Where a link's words go.
struct LinkOutput {
    std::ostream* human = nullptr;  // the status line; null: told elsewhere (a row)
    std::ostream* err = nullptr;    // messages, questions and answers, progress
    std::ostream* json = nullptr;   // JSON events; null without --json
    ProgressStyle style = ProgressStyle::None;
    bool canAsk = false;
    std::string label{};            // set where several printers are served: JSON events carry it
    std::function<void(std::int64_t, std::int64_t)> progress{};  // a row of its own
    std::size_t step = 0;           // a recipe's step, from 1, that JSON events carry; 0: none
    std::string stepKind{};
};

}  // namespace prax::cli
