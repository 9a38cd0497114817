#include "platform/posix/UsbPrinters.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <unordered_map>

#include "platform/Names.h"

namespace prax::platform::posix {

namespace fs = std::filesystem;

namespace {

const std::string kClassGuid = "{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

std::string RootFrom(const char* variable, const char* fallback) {
    const char* v = std::getenv(variable);
    return v && *v ? v : fallback;
}

// The first line of a sysfs attribute, without trailing blanks; empty when there is none. An
// attribute is a small regular file: anything else in its place (a FIFO that would block the
// read for ever, a link to /dev/zero that would never end) is not read, and no more than a page
// is, which is all the kernel ever puts in one.
std::string Attribute(const fs::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return {};
    char buf[4096];
    ssize_t n = -1;
    // Asked again of what was opened: the name may have been swapped since.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        do n = ::read(fd, buf, sizeof buf);
        while (n < 0 && errno == EINTR);
    }
    ::close(fd);
    if (n <= 0) return {};
    std::string line(buf, static_cast<std::size_t>(n));
    line = line.substr(0, line.find('\n'));
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    return line;
}

// A serial number may hold anything; in a device name a backslash or '#' would split it, and
// the driver's entry must stay within what the search reads.
std::string NameSafe(const std::string& text) {
    std::string s;
    for (const char c : text.substr(0, 64)) {
        const auto u = static_cast<unsigned char>(c);
        s += u <= 0x20 || u >= 0x7F || c == '\\' || c == '#' || c == '/' || c == ',' ? '_' : c;
    }
    return s;
}

bool IsHex4(const std::string& s) {
    return s.size() == 4 &&
           std::all_of(s.begin(), s.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

// "lp12" -> 12; -1 for any other name in the class folder.
int LpNumber(const std::string& name) {
    if (name.size() < 3 || name.size() > 6 || name.compare(0, 2, "lp") != 0) return -1;
    int n = 0;
    for (std::size_t i = 2; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return -1;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

}  // namespace

std::string UsbPrinter::DeviceId() const {
    return "USB\\VID_" + vendorId + "&PID_" + productId + "\\" + instance;
}

std::string UsbPrinter::InterfaceKey() const {
    return "##?#USB#VID_" + vendorId + "&PID_" + productId + "#" + instance + "#" + kClassGuid;
}

std::string UsbPrinter::InterfacePath() const { return "\\\\?\\" + InterfaceKey().substr(4); }

std::string SysfsRoot() { return RootFrom("PRAX_SYSFS_ROOT", "/sys"); }
std::string DevRoot() { return RootFrom("PRAX_DEV_ROOT", "/dev"); }

namespace {

// The printer behind one entry of the class folder, or nothing when that entry is none.
std::optional<UsbPrinter> ReadPrinter(const fs::path& classFolder, const std::string& name, const fs::path& devRoot) {
    if (LpNumber(name) < 0) return std::nullopt;
    // lpN/device is the USB interface; the USB device is the folder above it.
    std::error_code e;
    const fs::path interface = fs::canonical(classFolder / name / "device", e);
    if (e) return std::nullopt;
    const std::string cls = Attribute(interface / "bInterfaceClass");
    if (!cls.empty() && cls != "07") return std::nullopt;  // usbmisc also holds devices of other drivers
    const fs::path device = interface.parent_path();
    UsbPrinter p;
    p.lp = name;
    p.node = (devRoot / "usb" / name).string();
    p.vendorId = UpperAscii(Attribute(device / "idVendor"));
    p.productId = UpperAscii(Attribute(device / "idProduct"));
    if (!IsHex4(p.vendorId) || !IsHex4(p.productId)) return std::nullopt;
    p.serial = Attribute(device / "serial");
    p.manufacturer = Attribute(device / "manufacturer");
    p.product = Attribute(device / "product");
    p.instance = NameSafe(p.serial);
    if (p.instance.empty()) p.instance = NameSafe(device.filename().string());
    return p;
}

fs::path ClassFolder() { return fs::path(SysfsRoot()) / "class" / "usbmisc"; }

// The last scan's printers by upper-cased interface path, so opening one of them after a look
// checks that one printer again instead of scanning them all once more.
std::mutex gLastScanMutex;
std::unordered_map<std::string, UsbPrinter> gLastScan;

}  // namespace

std::vector<UsbPrinter> ScanUsbPrinters() {
    std::vector<std::pair<int, UsbPrinter>> found;
    std::error_code ec;
    const fs::path devRoot = DevRoot();
    const fs::path classFolder = ClassFolder();
    for (const auto& entry : fs::directory_iterator(classFolder, ec)) {
        const std::string name = entry.path().filename().string();
        if (auto p = ReadPrinter(classFolder, name, devRoot)) found.emplace_back(LpNumber(name), std::move(*p));
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    // Two printers that report the same serial must still have names of their own.
    std::set<std::string> taken;
    std::vector<UsbPrinter> printers;
    std::unordered_map<std::string, UsbPrinter> byPath;
    for (auto& [number, p] : found) {
        if (!taken.insert(UpperAscii(p.DeviceId())).second) {
            p.instance += "_" + p.lp;
            taken.insert(UpperAscii(p.DeviceId()));
        }
        byPath.emplace(UpperAscii(p.InterfacePath()), p);
        printers.push_back(std::move(p));
    }
    const std::lock_guard<std::mutex> lock(gLastScanMutex);
    gLastScan = std::move(byPath);
    return printers;
}

bool UsbPrintDriverPresent(bool printersFound) {
    std::error_code ec;
    return printersFound || fs::exists(fs::path(SysfsRoot()) / "bus" / "usb" / "drivers" / "usblp", ec) ||
           !ScanUsbPrinters().empty();
}

bool UsbNodeReady(const std::string& node) {
    // Made by the kernel a moment after the printer shows in sysfs, and handed to the lp group by
    // udev a moment after that: until then an open would fail.
    return ::faccessat(AT_FDCWD, node.c_str(), R_OK | W_OK, AT_EACCESS) == 0;
}

std::string UsbNodeForPath(const std::string& path) {
    const std::string wanted = UpperAscii(path);
    std::optional<UsbPrinter> known;
    {
        const std::lock_guard<std::mutex> lock(gLastScanMutex);
        if (const auto it = gLastScan.find(wanted); it != gLastScan.end()) known = it->second;
    }
    // Still the same printer at that place? A printer pulled out and another plugged in may
    // have taken its number since.
    if (known) {
        const auto now = ReadPrinter(ClassFolder(), known->lp, DevRoot());
        if (now && now->vendorId == known->vendorId && now->productId == known->productId &&
            now->serial == known->serial &&
            (now->instance == known->instance || now->instance + "_" + now->lp == known->instance))
            return now->node;
    }
    for (const UsbPrinter& p : ScanUsbPrinters())
        if (UpperAscii(p.InterfacePath()) == wanted) return p.node;
    return {};
}

}  // namespace prax::platform::posix
