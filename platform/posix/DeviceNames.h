// The Windows device names the link opens, and what they are on a Linux host.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace prax::platform::posix {

// What a device name opens here:
//   \\.\COMn  -> $PRAX_COMn, else /dev/ttyS<n-1>
//   LPT1      -> $PRAX_LPT1, else /dev/lp0
//   \\?\USB#... -> the /dev/usb/lpN node of the attached printer with that interface path;
//                empty when none has it
//   any other -> that path, relative to the working folder
// `overrides` (name as the link gives it, e.g. "\\.\COM1") take precedence over both.
std::string HostPathFor(const std::string& name,
                        const std::map<std::string, std::string>& overrides = {});

// The COM number in a "\\.\COMn" name, if it is one.
std::optional<int> ComNumber(const std::string& name);

}  // namespace prax::platform::posix
