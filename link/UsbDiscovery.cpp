#include "link/UsbDiscovery.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <unordered_map>
#include <unordered_set>

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

// bus\device\instance becomes device#instance, as an interface name spells it; empty for an
// entry without any backslash, which names nothing.
std::string InterfaceNameOf(std::string remainder) {
    std::string working;
    for (int step = 0; step < 3; ++step) {
        const std::size_t cut = remainder.find('\\');
        if (cut == std::string::npos) break;
        working = remainder.substr(0, cut) + "#" + remainder.substr(cut + 1);
        remainder = remainder.substr(cut + 1);
    }
    return working;
}

// \\?\bus#device#instance#{class} -> device\instance, the tail of the driver's entry.
std::string EntryTailOf(const std::string& path) {
    std::string s;
    const std::size_t first = path.find('#');
    if (first != std::string::npos && first + 1 < path.size()) s = path.substr(first + 1);
    if (const std::size_t h = s.find('#'); h != std::string::npos) s[h] = '\\';
    if (const std::size_t h = s.find('#'); h != std::string::npos) s.resize(h);
    return s;
}

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
            std::string entry;
            if (!ReadUsbPrintEntry(host, i, entry)) continue;
            // An entry without any backslash names nothing; it must not add an empty text,
            // which every path would contain.
            if (std::string name = InterfaceNameOf(entry); !name.empty()) list.push_back(std::move(name));
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
        const std::string s = EntryTailOf(path);
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


namespace {

// Both keys, each opened once and read whole, so one search sees one state of the registry and
// costs one open per key however many printers there are.
struct RegistryView {
    std::vector<std::string> subKeys;  // of the interface class key, in enumeration order
    bool driverKey = false;
    std::map<std::string, std::pair<std::uint32_t, std::string>> values;  // upper-cased name -> type, data

    explicit RegistryView(Platform& host) {
        {
            OpenKey key(host, kPrinterInterfaceClassKey);
            std::uint32_t subKeyCount = 0, valueCount = 0;
            if (key.ok() && host.RegQueryInfoKeyA(key.get(), subKeyCount, valueCount) == kOk) {
                // Far beyond any real registry; a count past int would wrap negative and visit nothing.
                subKeyCount = std::min<std::uint32_t>(subKeyCount, 0x7FFFFFFFu);
                for (std::uint32_t i = 0; i < subKeyCount; ++i) {
                    std::string name;
                    // One that can't be read keeps its place, as the search skips it by number.
                    if (host.RegEnumKeyExA(key.get(), i, name) != kOk || name.size() + 1 > kSubKeyNameBuffer)
                        name.clear();
                    subKeys.push_back(std::move(name));
                }
            }
        }
        OpenKey key(host, kUsbPrintEnumKey);
        if (!key.ok()) return;
        driverKey = true;
        std::uint32_t subKeyCount = 0, valueCount = 0;
        if (host.RegQueryInfoKeyA(key.get(), subKeyCount, valueCount) != kOk) return;
        for (std::uint32_t i = 0; i < valueCount; ++i) {
            std::string name, data;
            std::uint32_t type = REG_NONE_;
            if (host.RegEnumValueA(key.get(), i, name) != kOk) continue;
            if (host.RegQueryValueExA(key.get(), name, type, data) != kOk) continue;
            values.emplace(UpperAscii(name), std::make_pair(type, std::move(data)));
        }
    }

    const std::pair<std::uint32_t, std::string>* Value(const std::string& name) const {
        const auto it = values.find(UpperAscii(name));
        return it == values.end() ? nullptr : &it->second;
    }
    // A value as a buffer of `limit` bytes takes it: text with its terminating zero.
    bool Read(const std::string& name, std::size_t limit, std::string& out) const {
        out.clear();
        const auto* v = Value(name);
        if (!v) return false;
        const bool text = v->first == REG_SZ_ || v->first == REG_EXPAND_SZ_ || v->first == REG_MULTI_SZ_;
        if (v->second.size() + (text ? 1 : 0) > limit) return false;
        out = v->second.substr(0, v->second.find('\0'));
        return true;
    }

    // As the "USB" connection's search reads them: the count's first byte, signed, and entries
    // named by one character, of 128 bytes at most.
    int ShortCount() const {
        const auto* v = Value("Count");
        if (!v || v->second.size() > kCountLimit || v->second.empty()) return 0;
        return static_cast<int>(static_cast<signed char>(v->second[0]));
    }
    bool ShortEntry(int index, std::string& out) const {
        return Read(std::string(1, static_cast<char>('0' + index)), kEntryLimit, out);
    }
    // Every entry the driver has: the whole count, entries named by their decimal number.
    std::vector<std::string> AllEntries() const {
        std::vector<std::string> entries;
        const auto* v = Value("Count");
        std::uint64_t count = 0;
        if (v) {
            if (v->first == REG_DWORD_ || v->first == REG_BINARY_)
                for (std::size_t i = 0; i < std::min<std::size_t>(v->second.size(), 4); ++i)
                    count |= std::uint64_t{static_cast<unsigned char>(v->second[i])} << (8 * i);
            else
                count = std::strtoull(v->second.c_str(), nullptr, 10);
        }
        // Never more than the key holds, whatever the count claims.
        count = std::min<std::uint64_t>(count, values.size());
        constexpr std::size_t kLongEntry = 4096;
        for (std::uint64_t i = 0; i < count; ++i) {
            std::string entry;
            if (Read(std::to_string(i), kLongEntry, entry)) entries.push_back(std::move(entry));
        }
        return entries;
    }
};

std::string PathOfSubKey(const std::string& name) {
    // The name's first four characters (##?#) stand for the prefix \\?\ of the path.
    return "\\\\?\\" + (name.size() > 4 ? name.substr(4) : std::string());
}

bool OfAcceptedMakeOnPath(const std::string& path) { return Contains(path, "_195") || Contains(path, "_067"); }
bool OfAcceptedMakeOnEntry(const std::string& entry) { return Contains(entry, "_195") || Contains(entry, "VID_03F0"); }

// The "USB" connection's own search, over one reading of the keys: the first ten entries alone,
// the count's first byte, each path matched and confirmed as the driver's entries say.
std::string FirstAcceptedPrinter(const RegistryView& view) {
    UsbDeviceList list;
    std::vector<std::string> confirming;
    const int count = view.ShortCount();
    for (int i = 0; i < count; ++i) {
        std::string entry;
        if (!view.ShortEntry(i, entry)) continue;
        if (std::string name = InterfaceNameOf(entry); !name.empty()) list.push_back(std::move(name));
        if (OfAcceptedMakeOnEntry(entry)) confirming.push_back(std::move(entry));
    }
    for (const std::string& name : view.subKeys) {
        if (name.empty()) continue;
        const std::string path = PathOfSubKey(name);
        if (!OfAcceptedMakeOnPath(path) || !PathMatchesDeviceList(path, list)) continue;
        const std::string tail = EntryTailOf(path);
        for (const std::string& entry : confirming)
            if (entry.find(tail) != std::string::npos) return path;
    }
    return {};
}

}  // namespace

bool IsUsbPrinterInterfacePath(const std::string& path) {
    static const std::string kClassTail = "#{28D78FAD-5A12-11D1-AE5B-0000F803A8C2}";
    return UpperAscii(path.substr(0, 8)) == "\\\\?\\USB#" && path.size() > kClassTail.size() &&
           UpperAscii(path.substr(path.size() - kClassTail.size())) == kClassTail && OfAcceptedMakeOnPath(path);
}

std::string SeenUsbPrinter::Serial() const { return facts ? serial : UsbSerialOf(path); }

std::vector<std::string> UsbLook::AcceptedPaths() const {
    std::vector<std::string> paths;
    for (const SeenUsbPrinter& p : printers)
        if (p.verdict == UsbVerdict::Accepted) paths.push_back(p.path);
    return paths;
}

UsbLook LookAtUsbPrinters(Platform& host, bool withFacts) {
    UsbLook look;
    try {
        const RegistryView view(host);
        look.interfaceCount = static_cast<int>(view.subKeys.size());
        look.driverKey = view.driverKey;
        // Each entry once, in the two forms a path is held against: as an interface name spells it
        // (letter case ignored) and, of the accepted makes, its device\instance tail (exactly).
        std::unordered_set<std::string> served, confirmed;
        for (const std::string& entry : view.AllEntries()) {
            if (const std::string name = InterfaceNameOf(entry); !name.empty()) served.insert(UpperAscii(name));
            if (!OfAcceptedMakeOnEntry(entry)) continue;
            const std::size_t cut = entry.find('\\');
            const std::size_t last = entry.rfind('\\');
            if (cut != std::string::npos) confirmed.insert(entry.substr(cut + 1));
            // bus\device\instance: device\instance is what a path gives back.
            if (last != cut) confirmed.insert(entry.substr(entry.rfind('\\', last - 1) + 1));
        }
        std::vector<UsbDeviceFacts> facts;
        std::unordered_map<std::string, std::size_t> factsByPath;
        look.hostLists = withFacts && host.ListUsbDevices(facts);
        if (look.hostLists)
            for (std::size_t i = 0; i < facts.size(); ++i) factsByPath.emplace(UpperAscii(facts[i].interfacePath), i);
        for (const std::string& name : view.subKeys) {
            if (name.empty()) continue;
            SeenUsbPrinter p;
            p.path = PathOfSubKey(name);
            // Whole #-separated parts next to each other: device#instance, as an entry becomes.
            const std::string upper = UpperAscii(p.path);
            bool isServed = false;
            for (std::size_t start = upper.find('#'), next; !isServed && start != std::string::npos; start = next) {
                const std::size_t prior = upper.rfind('#', start - 1);
                const std::size_t from = prior == std::string::npos ? 4 : prior + 1;
                next = upper.find('#', start + 1);
                isServed = served.count(upper.substr(from, next == std::string::npos ? std::string::npos : next - from));
            }
            p.verdict = !OfAcceptedMakeOnPath(p.path)       ? UsbVerdict::NotAcceptedMake
                        : !isServed                          ? UsbVerdict::NotServed
                        : !confirmed.count(EntryTailOf(p.path)) ? UsbVerdict::NotConfirmed
                                                             : UsbVerdict::Accepted;
            if (const auto it = factsByPath.find(upper); it != factsByPath.end()) {
                const UsbDeviceFacts& f = facts[it->second];
                p.facts = true;
                p.hostOrder = static_cast<int>(it->second);
                p.port = f.port;
                p.node = f.node;
                p.serial = f.serial;
                p.manufacturer = f.manufacturer;
                p.product = f.product;
                p.nodeReady = f.nodeReady;
            }
            look.printers.push_back(std::move(p));
        }
    } catch (...) {
    }
    return look;
}

std::vector<std::string> FindUsbPrinterPaths(Platform& host, int& interfaceCount) {
    const UsbLook look = LookAtUsbPrinters(host, false);
    interfaceCount = look.interfaceCount;
    return look.AcceptedPaths();
}

std::string FindUsbPrinterPath(Platform& host, int& interfaceCount, const std::string& wanted) {
    interfaceCount = 0;
    try {
        if (wanted.empty()) {
            const RegistryView view(host);
            interfaceCount = static_cast<int>(view.subKeys.size());
            return FirstAcceptedPrinter(view);
        }
        const std::string upperWanted = UpperAscii(wanted);
        for (const std::string& path : FindUsbPrinterPaths(host, interfaceCount))
            if (UpperAscii(path) == upperWanted) return path;
    } catch (...) {
    }
    return {};
}

std::string UsbIdentity(const std::string& interfacePath) {
    std::string rest = interfacePath.rfind("\\\\?\\", 0) == 0 ? interfacePath.substr(4) : interfacePath;
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
        const std::size_t hash = rest.find('#', start);
        parts.push_back(rest.substr(start, hash == std::string::npos ? std::string::npos : hash - start));
        if (hash == std::string::npos) break;
        start = hash + 1;
    }
    if (parts.size() < 3) return interfacePath;
    return parts[0] + "\\" + parts[1] + "\\" + parts[2];
}

// An instance the system made up (Windows' "6&2c1a&0&USB001", Linux's port "1-1.2") is no
// serial number.
std::string UsbSerialOf(const std::string& interfacePath) {
    const std::string identity = UsbIdentity(interfacePath);
    const std::size_t cut = identity.rfind('\\');
    if (cut == std::string::npos || UpperAscii(identity).rfind("USB\\", 0) != 0) return {};
    const std::string instance = identity.substr(cut + 1);
    const bool madeUp = instance.find('&') != std::string::npos ||
                        std::all_of(instance.begin(), instance.end(),
                                    [](char c) { return (c >= '0' && c <= '9') || c == '-' || c == '.'; });
    return madeUp ? std::string() : instance;
}

std::string UsbDeviceOf(const std::string& interfacePath) {
    const std::string identity = UsbIdentity(interfacePath);
    const std::string device = identity.substr(identity.find('\\') + 1);
    return device.substr(0, device.find('\\'));
}

std::string UsbInstanceOf(const std::string& interfacePath) {
    const std::string identity = UsbIdentity(interfacePath);
    return identity.substr(identity.rfind('\\') + 1);
}

bool UsbPrinterNamed(const SeenUsbPrinter& p, const std::string& text, bool ignoreCase) {
    const auto same = [&](const std::string& name) {
        return !name.empty() && (ignoreCase ? UpperAscii(name) == UpperAscii(text) : name == text);
    };
    return !text.empty() &&
           (same(p.Serial()) || same(UsbInstanceOf(p.path)) || same(UsbIdentity(p.path)) || same(p.path));
}

UsbNamed FindUsbPrintersNamed(Platform& host, const std::string& text) {
    UsbNamed found;
    const UsbLook look = LookAtUsbPrinters(host);
    std::vector<const SeenUsbPrinter*> accepted;
    for (const SeenUsbPrinter& p : look.printers)
        if (p.verdict == UsbVerdict::Accepted) accepted.push_back(&p);
    // A name given exactly as one printer has it picks that one, even where another's differs
    // only in letter case; letter case counts for nothing only where no name is exact.
    for (const bool ignoreCase : {false, true}) {
        for (const SeenUsbPrinter* p : accepted)
            if (UsbPrinterNamed(*p, text, ignoreCase)) found.named.push_back(*p);
        if (!found.named.empty()) break;
    }
    for (const SeenUsbPrinter* p : accepted) found.attached.push_back(p->path);
    return found;
}

}  // namespace prax::link
