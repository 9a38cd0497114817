// praxdl: the window's operations for scripts and factory lines, with exit codes.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/Arguments.h"

namespace prax::platform {
class Platform;
}

namespace prax::cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct Streams {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal = false;  // draw a one-line bar instead of plain progress lines
    bool canAsk = false;         // a person can answer questions on the terminal
    // Why `in` can't be read (closed, a folder), found before anything opened a file that could
    // take its descriptor; empty when it can.
    std::string inProblem{};
    // Where the whole manual is, as this system shows it: empty for "man praxdl"; on Windows the
    // HTML page installed beside the program.
    std::string manual{};
    // Whose words the help uses for serial ports and for what stops praxdl.
    HostSystem system = HostSystem::Posix;
};

// The host praxdl drives: this machine's devices, or a fake in tests and fuzzers.
class Host {
public:
    virtual ~Host() = default;
    virtual platform::Platform& platform() = 0;
    // Open `path` whenever the link asks for `name` (e.g. "\\.\COM1", or the plain name "a").
    virtual void MapDevice(const std::string& name, const std::string& path) = 0;
    // As MapDevice, but the file is created (or emptied) only when the link opens it; with
    // `append` it is opened as it is, to add to its end.
    virtual void MapOutputFile(const std::string& name, const std::string& path, bool append = false) = 0;
    // What the link's device name ("\\.\COM3", "LPT1") opens on this host, and whether the device
    // it opens is there at all (not whether it can be opened now).
    virtual std::string DevicePath(const std::string& deviceName) = 0;
    virtual bool DevicePresent(const std::string& hostPath) = 0;
};

// Runs one command line (without the program name) and returns the exit status. Without a
// `host` the operations go to this machine's devices.
int RunPraxdl(const std::vector<std::string>& args, Streams& io, Host* host = nullptr);

}  // namespace prax::cli
