#include "platform/Native.h"

#if defined(_WIN32)
#include <algorithm>

#include "platform/Names.h"
#include "platform/win32/WindowsApi.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace prax::platform {

bool DevicePresent(const std::string& hostPath) {
#if defined(_WIN32)
    // "\\.\COM3" and "LPT1" are DOS device names: the system knows them while a driver serves them.
    std::string name = hostPath.rfind("\\\\.\\", 0) == 0 ? hostPath.substr(4) : hostPath;
    char target[1024];
    return QueryDosDeviceA(name.c_str(), target, sizeof target) != 0;
#else
    struct stat st {};
    return ::stat(hostPath.c_str(), &st) == 0;
#endif
}

bool IsSerialDevice(const std::string& path) {
#if defined(_WIN32)
    std::string name = UpperAscii(path.rfind("\\\\.\\", 0) == 0 ? path.substr(4) : path);
    return name.size() > 3 && name.rfind("COM", 0) == 0 &&
           std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; });
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool tty = isatty(fd) == 1;
    ::close(fd);
    return tty;
#endif
}

std::string SerialDevicePath(const std::string& path) {
#if defined(_WIN32)
    if (path.rfind("\\\\.\\", 0) != 0) return "\\\\.\\" + path;
#endif
    return path;
}

}  // namespace prax::platform
