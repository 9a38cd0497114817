#include "platform/posix/UsbWatch.h"

#include <dirent.h>
#include <linux/netlink.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "platform/posix/PosixPlatform.h"
#include "platform/posix/UsbPrinters.h"

namespace prax::platform::posix {

namespace {

// Without any event, the folders are still looked at this often: a tree swapped under a link,
// or a host whose events don't reach us.
constexpr std::int64_t kLookEveryMs = 1000;

std::string ClassFolder() { return SysfsRoot() + "/class/usbmisc"; }
std::string NodeFolder() { return DevRoot() + "/usb"; }

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(dir))
            if (e->d_name[0] != '.') names.emplace_back(e->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void Drain(int fd) {
    char buf[8192];
    while (::read(fd, buf, sizeof buf) > 0) {
    }
}

}  // namespace

std::string UsbWatch::Summary() {
    std::string summary = "class:";
    for (const std::string& name : Names(ClassFolder())) summary += name + "\n";
    summary += "nodes:";
    for (const std::string& name : Names(NodeFolder())) {
        struct stat st {};
        summary += name;
        if (::stat((NodeFolder() + "/" + name).c_str(), &st) == 0)
            summary += ' ' + std::to_string(st.st_ino) + ' ' + std::to_string(st.st_rdev) + ' ' +
                       std::to_string(st.st_mode) + ' ' + std::to_string(st.st_uid) + ' ' + std::to_string(st.st_gid);
        summary += '\n';
    }
    return summary;
}

UsbWatch::UsbWatch() {
    inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    // The kernel's device events tell of a printer plugged in before sysfs lists it fully; they
    // are only there for the real tree, not a test's.
    if (SysfsRoot() == "/sys") {
        uevents_ = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
        sockaddr_nl address{};
        address.nl_family = AF_NETLINK;
        address.nl_groups = 1;
        if (uevents_ >= 0 && ::bind(uevents_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(uevents_);
            uevents_ = -1;
        }
    }
    Arm();
    summary_ = Summary();
    lastLookMs_ = MonotonicMs();
}

UsbWatch::~UsbWatch() {
    if (inotify_ >= 0) ::close(inotify_);
    if (uevents_ >= 0) ::close(uevents_);
}

// Folders that are not there yet (no printer was ever attached) are watched once they are.
void UsbWatch::Arm() {
    if (inotify_ < 0) return;
    constexpr std::uint32_t kEvents = IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO |
                                      IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    ::inotify_add_watch(inotify_, ClassFolder().c_str(), kEvents);
    ::inotify_add_watch(inotify_, NodeFolder().c_str(), kEvents);
}

bool UsbWatch::Changed() {
    lastLookMs_ = MonotonicMs();
    std::string now = Summary();
    if (now == summary_) return false;
    summary_ = std::move(now);
    Arm();
    return true;
}

bool UsbWatch::Wait(std::uint32_t ms) {
    const std::int64_t deadline = MonotonicMs() + ms;
    for (;;) {
        pollfd fds[2] = {{inotify_, POLLIN, 0}, {uevents_, POLLIN, 0}};
        const std::int64_t untilLook = lastLookMs_ + kLookEveryMs - MonotonicMs();
        const std::int64_t left = std::min(deadline - MonotonicMs(), untilLook);
        const int ready = ::poll(fds, 2, static_cast<int>(std::max<std::int64_t>(left, 0)));
        // A signal: the caller decides whether to go on waiting.
        if (ready < 0) return false;
        if (ready > 0) {
            for (const pollfd& p : fds)
                if (p.fd >= 0 && (p.revents & POLLIN)) Drain(p.fd);
            if (Changed()) return true;
        } else if (MonotonicMs() >= lastLookMs_ + kLookEveryMs && Changed()) {
            return true;
        }
        if (MonotonicMs() >= deadline) return false;
    }
}

}  // namespace prax::platform::posix
