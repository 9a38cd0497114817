#include "platform/Native.h"

#if defined(_WIN32)
#include "platform/win32/WindowsApi.h"
#else
#include <sys/stat.h>
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

}  // namespace prax::platform
