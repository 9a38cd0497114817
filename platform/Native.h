// The host services of the machine the program runs on: the POSIX backend on Linux, the Win32
// backend on Windows. Front ends name `NativePlatform` and stay the same on both.
#pragma once

#include <string>

#if defined(_WIN32)
#include "platform/win32/Win32Platform.h"
namespace prax::platform {
using NativePlatform = win32::Win32Platform;
}
#else
#include "platform/posix/DeviceNames.h"
#include "platform/posix/PosixPlatform.h"
namespace prax::platform {
using NativePlatform = posix::PosixPlatform;
}
#endif

namespace prax::platform {

// What the link's device name ("\\.\COM3", "LPT1") opens on this host: a Linux device path, or on
// Windows the name itself.
inline std::string HostPathFor(const std::string& deviceName) {
#if defined(_WIN32)
    return deviceName;
#else
    return posix::HostPathFor(deviceName);
#endif
}

// Whether the device a connection opens is there at all (not whether it can be opened now).
bool DevicePresent(const std::string& hostPath);

// Whether a path given on the command line is a serial port by its own name: a terminal device
// here, "COM3" or "\\.\COM3" on Windows.
bool IsSerialDevice(const std::string& path);
// What opens such a port: on Windows its full device name, since COM10 and up open by no other;
// elsewhere the path itself.
std::string SerialDevicePath(const std::string& path);

}  // namespace prax::platform
