// Watches for USB printers coming and going, so a station that waits for them takes a new look
// only when something changed: the kernel's device events (on the real /sys) and the folders' own
// inotify events wake it, and what it compares is a cheap summary of the two folders (the class
// folder's entries, each node's identity, owner and mode), which also catches what no event told.
#pragma once

#include <cstdint>
#include <string>

namespace prax::platform::posix {

class UsbWatch {
public:
    UsbWatch();
    ~UsbWatch();
    UsbWatch(const UsbWatch&) = delete;
    UsbWatch& operator=(const UsbWatch&) = delete;

    // Up to `ms`: true as soon as the folders differ from the last time it answered true.
    bool Wait(std::uint32_t ms);

    // The summary compared: one line per class entry and per node.
    static std::string Summary();

private:
    void Arm();
    bool Changed();

    int inotify_ = -1;
    int uevents_ = -1;
    std::string summary_;
    std::int64_t lastLookMs_ = 0;
};

}  // namespace prax::platform::posix
