#include "link/UsbDiscovery.h"

#include "platform/Names.h"

namespace prax::link {

using namespace prax::platform;

namespace {

constexpr long kOk = static_cast<long>(ERROR_SUCCESS_);
constexpr std::size_t kEntryLimit = 128;      // bytes of a driver entry, its terminator included
constexpr std::size_t kCountLimit = 128;
constexpr std::size_t kSubKeyNameBuffer = 255;  // characters of a subkey name, with its terminator

// The key, closed on every way out.
class OpenKey {
public:
    OpenKey(Platform& host, const char* path) : host_(host) {
        if (host_.RegOpenKeyExA(HKEY_LOCAL_MACHINE_, path, KEY_READ_, key_) != kOk) key_ = 0;
    }
    ~OpenKey() {
        if (key_ != 0) host_.RegCloseKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    bool ok() const { return key_ != 0; }
    HKey get() const { return key_; }

private:
    Platform& host_;
    HKey key_ = 0;
};

// A value read into a buffer of `limit` bytes: one that does not fit is not read at all. Text
// is stored with its terminating zero, which takes a byte of the buffer too.
bool QueryValue(Platform& host, const char* keyPath, const std::string& name, std::size_t limit,
                std::string& data) {
    OpenKey key(host, keyPath);
    if (!key.ok()) return false;
    std::uint32_t type = REG_NONE_;
    if (host.RegQueryValueExA(key.get(), name, type, data) != kOk) return false;
    const bool text = type == REG_SZ_ || type == REG_EXPAND_SZ_ || type == REG_MULTI_SZ_;
    return data.size() + (text ? 1 : 0) <= limit;
}

bool Contains(const std::string& s, const char* part) { return s.find(part) != std::string::npos; }

}  // namespace

int CountPrinterInterfaces(Platform& host) {
    try {
        OpenKey key(host, kPrinterInterfaceClassKey);
        if (!key.ok()) return 0;
        std::uint32_t subKeys = 0, values = 0;
        if (host.RegQueryInfoKeyA(key.get(), subKeys, values) != kOk) return 0;
        // Far beyond any real registry; a count past int would wrap negative and visit nothing.
        return subKeys > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(subKeys);
    } catch (...) {
        return 0;
    }
}

int ReadUsbPrintCount(Platform& host) {
    try {
        std::string data;
        if (!QueryValue(host, kUsbPrintEnumKey, "Count", kCountLimit, data)) return 0;
        // Only the first byte counts, as a signed number: a count past 127 visits nothing.
        return data.empty() ? 0 : static_cast<int>(static_cast<signed char>(data[0]));
    } catch (...) {
        return 0;
    }
}

bool ReadUsbPrintEntry(Platform& host, int index, std::string& out) {
    out.clear();
    try {
        // One character names the value: '0' + index, so past 9 come ':', ';', ... (no entries).
        const std::string name(1, static_cast<char>('0' + index));
        std::string data;
        if (!QueryValue(host, kUsbPrintEnumKey, name, kEntryLimit, data)) return false;
        out = data.substr(0, data.find('\0'));
        return true;
    } catch (...) {
        out.clear();
        return false;
    }
}

UsbDeviceList CollectUsbPrintDevices(Platform& host) {
    UsbDeviceList list;
    try {
        const int count = ReadUsbPrintCount(host);
        for (int i = 0; i < count; ++i) {
            std::string remainder;
            if (!ReadUsbPrintEntry(host, i, remainder)) continue;
            // bus\device\instance becomes device#instance, as an interface name spells it.
            // An entry without any backslash names nothing; it must not add an empty text,
            // which every path would contain.
            std::string working;
            for (int step = 0; step < 3; ++step) {
                const std::size_t cut = remainder.find('\\');
                if (cut == std::string::npos) break;
                working = remainder.substr(0, cut) + "#" + remainder.substr(cut + 1);
                remainder = remainder.substr(cut + 1);
            }
            if (!working.empty()) list.push_back(working);
        }
    } catch (...) {
    }
    return list;
}

bool GetPrinterInterfacePath(Platform& host, int index, std::string& path) {
    try {
        OpenKey key(host, kPrinterInterfaceClassKey);
        if (!key.ok()) return false;
        std::string name;
        if (host.RegEnumKeyExA(key.get(), static_cast<std::uint32_t>(index), name) != kOk ||
            name.size() + 1 > kSubKeyNameBuffer)
            return false;
        // The name's first four characters (##?#) stand for the prefix \\?\ of the path.
        path = "\\\\?\\" + (name.size() > 4 ? name.substr(4) : std::string());
        return true;
    } catch (...) {
        return false;
    }
}

bool PathMatchesDeviceList(const std::string& path, const UsbDeviceList& list) {
    try {
        const std::string upper = UpperAscii(path);
        for (const std::string& entry : list)
            if (upper.find(UpperAscii(entry)) != std::string::npos) return true;
    } catch (...) {
    }
    return false;
}

bool IsListedUsbPrinter(Platform& host, const std::string& path) {
    try {
        // \\?\bus#device#instance#{class} -> device\instance, the tail of the driver's entry.
        std::string s;
        const std::size_t first = path.find('#');
        if (first != std::string::npos && first + 1 < path.size()) s = path.substr(first + 1);
        if (const std::size_t h = s.find('#'); h != std::string::npos) s[h] = '\\';
        if (const std::size_t h = s.find('#'); h != std::string::npos) s.resize(h);
        const int count = ReadUsbPrintCount(host);
        for (int i = 0; i < count; ++i) {
            std::string entry;
            if (!ReadUsbPrintEntry(host, i, entry)) continue;
            if ((Contains(entry, "_195") || Contains(entry, "VID_03F0")) &&
                entry.find(s) != std::string::npos)
                return true;
        }
    } catch (...) {
    }
    return false;
}

UsbVerdict JudgeUsbPrinterPath(Platform& host, const std::string& path, const UsbDeviceList& list) {
    if (!Contains(path, "_195") && !Contains(path, "_067")) return UsbVerdict::NotAcceptedMake;
    if (!PathMatchesDeviceList(path, list)) return UsbVerdict::NotServed;
    return IsListedUsbPrinter(host, path) ? UsbVerdict::Accepted : UsbVerdict::NotConfirmed;
}

namespace {
// Each accepted printer's path in enumeration order until `take` says it has what it wanted.
template <typename Take>
void ForEachAcceptedPrinter(Platform& host, int& interfaceCount, Take take) {
    try {
        interfaceCount = CountPrinterInterfaces(host);
        const UsbDeviceList list = CollectUsbPrintDevices(host);
        for (int i = 0; i < interfaceCount; ++i) {
            std::string path;
            if (!GetPrinterInterfacePath(host, i, path)) continue;
            if (JudgeUsbPrinterPath(host, path, list) == UsbVerdict::Accepted && !take(path)) return;
        }
    } catch (...) {
    }
}
}  // namespace

std::vector<std::string> FindUsbPrinterPaths(Platform& host, int& interfaceCount) {
    std::vector<std::string> paths;
    ForEachAcceptedPrinter(host, interfaceCount, [&](const std::string& path) {
        paths.push_back(path);
        return true;
    });
    return paths;
}

std::string FindUsbPrinterPath(Platform& host, int& interfaceCount, const std::string& wanted) {
    std::string found;
    const std::string upperWanted = UpperAscii(wanted);
    ForEachAcceptedPrinter(host, interfaceCount, [&](const std::string& path) {
        if (!wanted.empty() && UpperAscii(path) != upperWanted) return true;
        found = path;
        return false;
    });
    return found;
}

}  // namespace prax::link
