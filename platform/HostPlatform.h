// What the two real backends (POSIX, Win32) share beyond the host calls: the names a front end
// points at a path of its choosing, the abort flag a signal handler raises, and the limits of
// the waits that a printer which stops taking data could otherwise hold open.
#pragma once

#include <csignal>
#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "platform/Platform.h"

namespace prax::platform {

class HostPlatform : public Platform {
public:
    // Open `path` whenever the link asks for `name` (e.g. "\\.\COM1"), before anything else the
    // name would mean. With `create` the file is made (or emptied) by that open, and by nothing
    // before it.
    // With `append` every write goes to the file's end.
    void MapDevice(const std::string& name, const std::string& path, bool create = false, bool append = false) {
        overrides_[name] = path;
        if (create) creates_.insert(path);
        else creates_.erase(path);
        if (append) appends_.insert(path);
        else appends_.erase(path);
    }
    // How long a close waits for queued output that makes no progress.
    void SetDrainLimitMs(std::uint32_t ms) { drainLimitMs_ = ms; }
    // A flag a signal handler sets (on Windows from a thread of its own): once it is non-zero,
    // every wait and sleep ends at once, transfers in flight fail as cancelled, a send stops, and
    // a close no longer waits for queued output.
    void SetAbortFlag(const volatile std::sig_atomic_t* flag) { abort_ = flag; }
    // How long a send waits when the peer takes no byte (one write cycle of the link).
    void SetSendStallLimitMs(std::uint32_t ms) { sendStallLimitMs_ = ms; }

    std::uint64_t LastCloseDiscarded() override { return closeDiscarded_; }

protected:
    bool Aborted() const { return abort_ != nullptr && *abort_ != 0; }
    bool AbortFlagSet() const { return abort_ != nullptr; }
    const std::map<std::string, std::string>& overrides() const { return overrides_; }
    bool CreatedByOpen(const std::string& path) const { return creates_.count(path) != 0; }
    bool AppendedTo(const std::string& path) const { return appends_.count(path) != 0; }

    std::uint32_t drainLimitMs_ = 10000;
    std::uint32_t sendStallLimitMs_ = 20000;
    std::uint64_t closeDiscarded_ = 0;  // set by every close of a port or a socket

private:
    std::map<std::string, std::string> overrides_;
    std::set<std::string> creates_;
    std::set<std::string> appends_;
    const volatile std::sig_atomic_t* abort_ = nullptr;
};

}  // namespace prax::platform
