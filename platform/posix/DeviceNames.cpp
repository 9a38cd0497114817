#include "platform/posix/DeviceNames.h"

#include <cstdlib>

#include "platform/posix/UsbPrinters.h"

namespace prax::platform::posix {

std::optional<int> ComNumber(const std::string& name) {
    const std::string prefix = "\\\\.\\COM";
    if (name.rfind(prefix, 0) != 0 || name.size() == prefix.size()) return std::nullopt;
    long long n = 0;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        const char c = name[i];
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
        if (n > 2147483647LL) return std::nullopt;
    }
    return static_cast<int>(n);
}

std::string HostPathFor(const std::string& name, const std::map<std::string, std::string>& overrides) {
    if (auto it = overrides.find(name); it != overrides.end()) return it->second;
    if (auto n = ComNumber(name)) {
        const std::string var = "PRAX_COM" + std::to_string(*n);
        if (const char* v = std::getenv(var.c_str()); v && *v) return v;
        return "/dev/ttyS" + std::to_string(*n - 1);
    }
    if (name.rfind("\\\\?\\", 0) == 0) return UsbNodeForPath(name);
    if (name == "LPT1") {
        if (const char* v = std::getenv("PRAX_LPT1"); v && *v) return v;
        return "/dev/lp0";
    }
    return name;
}

}  // namespace prax::platform::posix
