#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "link/TCom.h"
#include "link/UsbDiscovery.h"
#include "platform/fake/FakePlatform.h"
#include "platform/posix/InstalledFonts.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/posix/UsbPrinters.h"
#include "protocol/FontList.h"
#include "tests/support/FakeSysfs.h"

using namespace prax::platform;
using prax::platform::fake::FakePlatform;
using prax::platform::posix::FontFace;
using prax::platform::posix::PosixPlatform;
using prax::platform::posix::ViewOfFaces;

namespace {

constexpr long kOk = 0;
const char* const kFontsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

std::map<std::string, std::string> Values(Platform& host, HKey key) {
    std::map<std::string, std::string> values;
    std::string name;
    for (std::uint32_t i = 0; host.RegEnumValueA(key, i, name) == kOk; ++i) {
        std::uint32_t type = 0;
        std::string data;
        EXPECT_EQ(host.RegQueryValueExA(key, name, type, data), kOk);
        EXPECT_EQ(type, REG_SZ_) << name;
        values[name] = data;
    }
    EXPECT_EQ(host.RegEnumValueA(key, static_cast<std::uint32_t>(values.size()), name),
              ERROR_NO_MORE_ITEMS_);
    return values;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Sets an environment variable for one scope and puts the old value back.
class EnvVar {
public:
    EnvVar(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~EnvVar() {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace

// A backend without a registry has no keys at all.
TEST(Registry, BaseHostHasNoKeys) {
    struct NoRegistry : FakePlatform {
        long RegOpenKeyExA(HKey root, const std::string& sub, std::uint32_t access,
                           HKey& out) override {
            return Platform::RegOpenKeyExA(root, sub, access, out);
        }
        std::string GetWindowsDirectoryA() override { return Platform::GetWindowsDirectoryA(); }
        std::string HostFilePath(const std::string& p) override {
            return Platform::HostFilePath(p);
        }
    } host;
    host.SetRegString(kFontsKey, "A (TrueType)", "a.ttf");
    HKey key = 1;
    EXPECT_NE(host.RegOpenKeyExA(HKEY_LOCAL_MACHINE_, kFontsKey, KEY_READ_, key), kOk);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(host.GetWindowsDirectoryA(), "");
    EXPECT_EQ(host.HostFilePath("C:\\Windows\\Fonts\\a.ttf"), "C:\\Windows\\Fonts\\a.ttf");
    EXPECT_FALSE(prax::protocol::ReadInstalledFonts(host).opened);
}

// The fake registry as USB discovery will walk it: subkeys of a key, keys opened below an open
// key, names without regard to case, values of any type.
TEST(Registry, FakeKeysSubkeysAndValues) {
    FakePlatform host;
    host.SetRegString("SYSTEM\\Enum\\USBPRINT\\Dev1\\Inst", "Driver", "x");
    host.SetRegValue("SYSTEM\\Enum\\USBPRINT\\Dev2", "Count", REG_DWORD_,
                     std::string("\x02\0\0\0", 4));
    host.AddRegKey("\\SYSTEM\\Enum\\USBPRINT\\Dev0\\");
    HKey usb = 0;
    ASSERT_EQ(host.RegOpenKeyExA(HKEY_LOCAL_MACHINE_, "\\system\\enum\\usbprint", KEY_READ_, usb),
              kOk);
    std::uint32_t subKeys = 0, values = 0;
    ASSERT_EQ(host.RegQueryInfoKeyA(usb, subKeys, values), kOk);
    EXPECT_EQ(subKeys, 3u);
    EXPECT_EQ(values, 0u);
    std::vector<std::string> names;
    std::string name;
    for (std::uint32_t i = 0; host.RegEnumKeyExA(usb, i, name) == kOk; ++i) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"Dev0", "Dev1", "Dev2"}));
    HKey dev2 = 0;
    ASSERT_EQ(host.RegOpenKeyExA(usb, "DEV2", KEY_READ_, dev2), kOk);
    std::uint32_t type = 0;
    std::string data;
    ASSERT_EQ(host.RegQueryValueExA(dev2, "count", type, data), kOk);
    EXPECT_EQ(type, REG_DWORD_);
    EXPECT_EQ(data, std::string("\x02\0\0\0", 4));
    EXPECT_NE(host.RegQueryValueExA(dev2, "Other", type, data), kOk);
    HKey none = 0;
    EXPECT_NE(host.RegOpenKeyExA(usb, "Dev3", KEY_READ_, none), kOk);
    EXPECT_EQ(host.OpenKeys().size(), 2u);
    EXPECT_EQ(host.RegCloseKey(dev2), kOk);
    EXPECT_EQ(host.RegCloseKey(usb), kOk);
    EXPECT_NE(host.RegCloseKey(usb), kOk);
    EXPECT_TRUE(host.OpenKeys().empty());
}

// How fontconfig's faces become entries: one per file, named as Windows names them.
TEST(InstalledFonts, FacesBecomeOneEntryPerFileNamedAsWindowsNamesThem) {
    const std::vector<FontFace> faces = {
        {"/b/DejaVuSans.ttf", 0, "DejaVu Sans Copy", "TrueType", true},  // same bare name: dropped
        {"/a/DejaVuSans.ttf", 0, "DejaVu Sans", "TrueType", true},
        {"/a/Source.otf", 0, "Source Pro", "CFF", true},
        {"/a/coll.ttc", 1, "Cambria Math", "TrueType", true},
        {"/a/coll.ttc", 0, "Cambria", "TrueType", true},
        {"/a/var.ttf", 0x10000, "Var Bold", "TrueType", true},  // named instances
        {"/a/var.ttf", 0, "Var", "TrueType", true},
        {"/a/var.ttf", 0x20000, "Var Light", "TrueType", true},
        {"/a/fixed.pcf.gz", 0, "Fixed", "PCF", false},
        {"/a/type1.pfb", 0, "Type One", "Type 1", true},
        {"/a/nameless.ttf", 0, "", "TrueType", true},
        {"/a/same1.ttf", 0, "Same", "TrueType", true},
        {"/a/same2.ttf", 0, "same", "TrueType", true},  // the entry name is taken
    };
    const auto view = ViewOfFaces(faces);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"DejaVu Sans (TrueType)", "DejaVuSans.ttf"},
        {"Source Pro (OpenType)", "Source.otf"},
        {"Cambria & Cambria Math (TrueType)", "coll.ttc"},
        {"Same (TrueType)", "same1.ttf"},
        {"Var (TrueType)", "var.ttf"},
    };
    EXPECT_EQ(view.entries, expected);
    EXPECT_EQ(view.paths, (std::map<std::string, std::string>{
                              {"COLL.TTC", "/a/coll.ttc"},
                              {"DEJAVUSANS.TTF", "/a/DejaVuSans.ttf"},
                              {"SAME1.TTF", "/a/same1.ttf"},
                              {"SOURCE.OTF", "/a/Source.otf"},
                              {"VAR.TTF", "/a/var.ttf"},
                          }));
}

// The font that setup installs, as the dialog and praxdl list it on this host.
TEST(InstalledFonts, HostListsDejaVuSansWithItsFileAndSize) {
    PosixPlatform host;
    HKey key = 0;
    const char* const olderKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Fonts";
    EXPECT_NE(host.RegOpenKeyExA(HKEY_LOCAL_MACHINE_, olderKey, KEY_READ_, key), kOk);
    const std::string leadingBackslash = std::string("\\") + kFontsKey;
    ASSERT_EQ(host.RegOpenKeyExA(HKEY_LOCAL_MACHINE_, leadingBackslash, KEY_READ_, key), kOk);
    const auto values = Values(host, key);
    EXPECT_EQ(host.RegCloseKey(key), kOk);
    ASSERT_EQ(values.count("DejaVu Sans (TrueType)"), 1u);
    EXPECT_EQ(values.at("DejaVu Sans (TrueType)"), "DejaVuSans.ttf");

    EXPECT_EQ(host.GetWindowsDirectoryA(), "C:\\Windows");
    const std::string path = host.HostFilePath("C:\\Windows\\Fonts\\DejaVuSans.ttf");
    ASSERT_TRUE(std::filesystem::is_regular_file(path)) << path;
    EXPECT_EQ(std::filesystem::path(path).filename(), "DejaVuSans.ttf");
    EXPECT_EQ(host.HostFilePath("c:\\windows\\fonts\\DEJAVUSANS.TTF"), path);
    EXPECT_FALSE(std::filesystem::exists(host.HostFilePath("C:\\Windows\\Fonts\\NoSuchFont.ttf")));
    const std::string inFolder = "C:\\Windows\\Fonts\\x\\DejaVuSans.ttf";
    EXPECT_EQ(host.HostFilePath(inFolder), inFolder);
    EXPECT_EQ(host.HostFilePath("fonts/a.ttf"), "fonts/a.ttf");

    const auto list = prax::protocol::ReadInstalledFonts(host);
    ASSERT_TRUE(list.opened);
    bool found = false;
    for (const auto& row : list.rows) {
        if (row.name != "DejaVu Sans (TrueType)") continue;
        found = true;
        EXPECT_EQ(row.file, "DejaVuSans.ttf");
        EXPECT_EQ(row.size, static_cast<std::int64_t>(std::filesystem::file_size(path)));
    }
    EXPECT_TRUE(found);
}

// FONTCONFIG_FILE picks the fonts; of two files with one bare name only the first is listed,
// and the path handed out is that file's.
TEST(InstalledFonts, ConfigFromTheEnvironmentAndOneFilePerBareName) {
    PosixPlatform installed;
    const std::string regular = installed.HostFilePath("C:\\Windows\\Fonts\\DejaVuSans.ttf");
    const std::string bold = installed.HostFilePath("C:\\Windows\\Fonts\\DejaVuSans-Bold.ttf");
    ASSERT_TRUE(std::filesystem::is_regular_file(regular));
    ASSERT_TRUE(std::filesystem::is_regular_file(bold));
    const std::string root = ::testing::TempDir() + "registry-fonts";
    std::filesystem::remove_all(root);
    for (const char* dir : {"/a", "/b", "/cache"}) std::filesystem::create_directories(root + dir);
    std::filesystem::copy_file(regular, root + "/a/Mine.ttf");
    std::filesystem::copy_file(bold, root + "/b/mine.TTF");  // another font, the same bare name
    std::ofstream(root + "/fonts.conf") << "<?xml version=\"1.0\"?>\n<fontconfig><dir>" << root
                                        << "/a</dir><dir>" << root << "/b</dir><cachedir>" << root
                                        << "/cache</cachedir></fontconfig>\n";
    const EnvVar config("FONTCONFIG_FILE", root + "/fonts.conf");
    PosixPlatform host;
    HKey key = 0;
    ASSERT_EQ(host.RegOpenKeyExA(HKEY_LOCAL_MACHINE_, kFontsKey, KEY_READ_, key), kOk);
    EXPECT_EQ(Values(host, key),
              (std::map<std::string, std::string>{{"DejaVu Sans (TrueType)", "Mine.ttf"}}));
    host.RegCloseKey(key);
    EXPECT_EQ(host.HostFilePath("C:\\Windows\\Fonts\\mine.ttf"), root + "/a/Mine.ttf");
}

// The fonts of the user's home folder are the user's own, as Windows keeps a font installed for
// one user: listed under HKEY_CURRENT_USER with their full paths, after the machine's fonts, and
// sent from there. A folder whose name merely begins like the home folder's is not in it.
TEST(InstalledFonts, TheHomeFoldersFontsAreTheUsersOwn) {
    const auto view = ViewOfFaces({{"/home/op/.fonts/DejaVuSans.ttf", 0, "Mine", "TrueType", true},
                                   {"/home/op/.local/share/fonts/b.ttf", 0, "DejaVu Sans", "TrueType", true},
                                   {"/home/op/.local/share/fonts/c.ttf", 0, "Mine", "TrueType", true},
                                   {"/home/opx/DejaVuSans.ttf", 0, "Opx", "TrueType", true},
                                   {"/usr/share/DejaVuSans.ttf", 0, "DejaVu Sans", "TrueType", true}},
                                  "/home/op/");
    EXPECT_EQ(view.entries, (std::vector<std::pair<std::string, std::string>>{{"Opx (TrueType)", "DejaVuSans.ttf"}}));
    EXPECT_EQ(view.userEntries, (std::vector<std::pair<std::string, std::string>>{
                                    {"Mine (TrueType)", "/home/op/.fonts/DejaVuSans.ttf"},
                                    {"DejaVu Sans (TrueType)", "/home/op/.local/share/fonts/b.ttf"}}));

    PosixPlatform installed;
    const std::string regular = installed.HostFilePath("C:\\Windows\\Fonts\\DejaVuSans.ttf");
    const std::string bold = installed.HostFilePath("C:\\Windows\\Fonts\\DejaVuSans-Bold.ttf");
    const std::string root = ::testing::TempDir() + "registry-user-fonts";
    std::filesystem::remove_all(root);
    for (const char* dir : {"/a", "/home/.fonts", "/cache"}) std::filesystem::create_directories(root + dir);
    std::filesystem::copy_file(regular, root + "/a/Machine.ttf");
    std::filesystem::copy_file(bold, root + "/home/.fonts/Mine.ttf");
    std::ofstream(root + "/fonts.conf") << "<?xml version=\"1.0\"?>\n<fontconfig><dir>" << root
                                        << "/a</dir><dir>" << root << "/home/.fonts</dir><cachedir>" << root
                                        << "/cache</cachedir></fontconfig>\n";
    const EnvVar config("FONTCONFIG_FILE", root + "/fonts.conf");
    const EnvVar home("HOME", root + "/home");
    PosixPlatform host;
    const auto list = prax::protocol::ReadInstalledFonts(host);
    ASSERT_EQ(list.rows.size(), 2u);
    EXPECT_EQ(list.rows[0].name, "DejaVu Sans (TrueType)");
    EXPECT_EQ(list.rows[0].file, "Machine.ttf");
    EXPECT_EQ(list.rows[1].name, "DejaVu Sans Bold (TrueType)");
    EXPECT_EQ(list.rows[1].file, root + "/home/.fonts/Mine.ttf");
    EXPECT_EQ(list.rows[1].size, static_cast<std::int64_t>(std::filesystem::file_size(bold)));
    EXPECT_EQ(prax::protocol::FontFilePath(host, list.rows[1].file), root + "/home/.fonts/Mine.ttf");
    ASSERT_EQ(list.places.size(), 2u);
    EXPECT_NE(list.places[0].find("outside your home folder"), std::string::npos) << list.places[0];
    EXPECT_NE(list.places[1].find("in your home folder"), std::string::npos) << list.places[1];
    HKey key = 0;
    EXPECT_NE(host.RegOpenKeyExA(HKEY_CURRENT_USER_, "SOFTWARE\\Other", KEY_READ_, key), kOk);
}

// The printers usblp serves, as the USB search reads them on Windows: one interface subkey each,
// and the driver's count and entries; the path found opens that printer's node.
TEST(Registry, UsbPrintersFromSysfsAsWindowsNamesThem) {
    const std::string root = ::testing::TempDir() + "registry-usb";
    const std::string guid = "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
    const auto tree = prax::testing::BuildFakeSysfs(
        root, {{"lp0", "04b8", "0202", "X1", "EPSON", "TM", root + "/node0"},
               {"lp1", "1958", "0001", "ab#c\\d", "Maker", "Label", root + "/node1"},
               {"lp2", "1958", "0002", "", "Maker", "Label", ""},
               {"lp3", "1958", "0003", "K", "Maker", "Keyboard", root + "/node3", "03"}});
    for (const char* node : {"/node0", "/node1", "/node3"}) std::ofstream(root + node) << "";
    const EnvVar sys("PRAX_SYSFS_ROOT", tree.sys);
    const EnvVar dev("PRAX_DEV_ROOT", tree.dev);
    PosixPlatform host;

    HKey key = 0;
    ASSERT_EQ(host.RegOpenKeyExA(HKEY_LOCAL_MACHINE_, prax::link::kPrinterInterfaceClassKey, KEY_READ_, key), kOk);
    std::vector<std::string> subKeys;
    std::string name;
    for (std::uint32_t i = 0; host.RegEnumKeyExA(key, i, name) == kOk; ++i) subKeys.push_back(name);
    host.RegCloseKey(key);
    EXPECT_EQ(subKeys, (std::vector<std::string>{"##?#USB#VID_04B8&PID_0202#X1" + guid,
                                                 "##?#USB#VID_1958&PID_0001#ab_c_d" + guid,
                                                 "##?#USB#VID_1958&PID_0002#1-3" + guid}));
    ASSERT_EQ(host.RegOpenKeyExA(HKEY_LOCAL_MACHINE_, prax::link::kUsbPrintEnumKey, KEY_READ_, key), kOk);
    std::uint32_t type = 0;
    std::string count;
    EXPECT_EQ(host.RegQueryValueExA(key, "Count", type, count), kOk);
    EXPECT_EQ(type, REG_DWORD_);
    EXPECT_EQ(count, std::string("\x03\0\0\0", 4));
    host.RegCloseKey(key);
    std::string entry;
    EXPECT_TRUE(prax::link::ReadUsbPrintEntry(host, 1, entry));
    EXPECT_EQ(entry, "USB\\VID_1958&PID_0001\\ab_c_d");

    // The first accepted printer in enumeration order is lp1; its node takes the bytes.
    prax::link::TCom com(host);
    ASSERT_TRUE(com.Open(prax::link::kUsbPortCode));
    EXPECT_EQ(com.interfaceCount, 3);
    EXPECT_EQ(com.Write("^XA"), 3);
    com.Close();
    EXPECT_EQ(Slurp(root + "/node1"), "^XA");
    EXPECT_EQ(Slurp(root + "/node0"), "");
    // lp2 has no node: gone, and said so.
    EXPECT_FALSE(com.OpenDevice("\\\\?\\usb#vid_1958&pid_0002#1-3" + guid));
    EXPECT_EQ(host.LastHostReason(), HostReason::Absent);

    // Without the driver and without printers there are no keys.
    const auto none = prax::testing::BuildFakeSysfs(root, {}, false);
    EXPECT_NE(host.RegOpenKeyExA(HKEY_LOCAL_MACHINE_, prax::link::kUsbPrintEnumKey, KEY_READ_, key), kOk);
    EXPECT_FALSE(com.Open(prax::link::kUsbPortCode));
}

// An attribute that is no small regular file is not read: a FIFO would block the scan for ever,
// a link to /dev/zero would never end, a huge file is read a page at most.
TEST(Registry, UsbAttributesThatAreNoSmallFilesCannotHoldTheScan) {
    const std::string root = ::testing::TempDir() + "registry-usb-odd";
    const auto tree = prax::testing::BuildFakeSysfs(root, {{"lp0", "1958", "0001", "S1", "Maker", "Label", ""}});
    const std::string device = tree.sys + "/devices/pci0000:00/usb1/1-1";
    std::filesystem::remove(device + "/serial");
    ASSERT_EQ(::mkfifo((device + "/serial").c_str(), 0600), 0);
    std::filesystem::remove(device + "/manufacturer");
    std::filesystem::create_symlink("/dev/zero", device + "/manufacturer");
    std::ofstream(device + "/product") << std::string(1 << 20, 'x') << '\n';
    const EnvVar sys("PRAX_SYSFS_ROOT", tree.sys);
    const auto printers = prax::platform::posix::ScanUsbPrinters();
    ASSERT_EQ(printers.size(), 1u);
    EXPECT_EQ(printers[0].serial, "");
    EXPECT_EQ(printers[0].instance, "1-1");
    EXPECT_EQ(printers[0].manufacturer, "");
    EXPECT_EQ(printers[0].product.size(), 4096u);
}

// A station's wait: the first call starts the watch, nothing changing keeps it waiting, and a
// node made (as the kernel makes it a moment after the printer shows) or a printer plugged in
// wakes it, each seen within a deadline.
TEST(Registry, UsbWatchWakesForANewNodeAndANewPrinterOnly) {
    namespace fs = std::filesystem;
    const std::string root = ::testing::TempDir() + "registry-usb-watch";
    const auto tree = prax::testing::BuildFakeSysfs(root, {{"lp0", "1958", "0001", "W1", "Maker", "Label", ""}});
    std::ofstream(root + "/node0") << "";
    const EnvVar sys("PRAX_SYSFS_ROOT", tree.sys);
    const EnvVar dev("PRAX_DEV_ROOT", tree.dev);
    PosixPlatform host;
    EXPECT_TRUE(host.WaitForUsbChange(0));
    EXPECT_FALSE(host.WaitForUsbChange(50));
    const auto wokeWithin = [&](int ms) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < deadline)
            if (host.WaitForUsbChange(100)) return true;
        return false;
    };
    std::vector<UsbDeviceFacts> facts;
    ASSERT_TRUE(host.ListUsbDevices(facts));
    ASSERT_EQ(facts.size(), 1u);
    EXPECT_FALSE(facts[0].nodeReady);
    fs::create_symlink(root + "/node0", tree.dev + "/usb/lp0");
    EXPECT_TRUE(wokeWithin(5000));
    ASSERT_TRUE(host.ListUsbDevices(facts));
    EXPECT_TRUE(facts[0].nodeReady);
    EXPECT_EQ(facts[0].serial, "W1");
    fs::create_directories(tree.sys + "/class/usbmisc/lp1");
    EXPECT_TRUE(wokeWithin(5000));
    EXPECT_FALSE(host.WaitForUsbChange(50));
}
