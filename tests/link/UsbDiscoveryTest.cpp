// The USB search against registry views as Windows keeps them: interface subkeys named
// ##?#USB#VID_xxxx&PID_xxxx#instance#{class}, and the usbprint driver's numbered entries.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "link/TCom.h"
#include "link/UsbDiscovery.h"
#include "platform/fake/FakePlatform.h"

using namespace prax::platform;
using namespace prax::link;
using prax::platform::fake::FakePlatform;

namespace {

const std::string kGuid = "#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
const std::string kMakeA = "USB#VID_1958&PID_0001#A1";  // accepted on path and entry
const std::string kMakeB = "USB#VID_03F0&PID_0670#B2";  // "_067" on the path, VID_03F0 on the entry
// Subkeys enumerate in alphabetical order, so kMakeB comes before kMakeA.

std::string Subkey(const std::string& device) { return "##?#" + device + kGuid; }
std::string PathOf(const std::string& device) { return "\\\\?\\" + device + kGuid; }
std::string Dword(std::uint32_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
            static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
}

struct View {
    View(std::vector<std::string> i, std::optional<std::vector<std::string>> e,
         std::optional<std::uint32_t> c = std::nullopt)
        : interfaces(std::move(i)), entries(std::move(e)), count(c) {}
    std::vector<std::string> interfaces;               // devices, as on the interface subkeys
    std::optional<std::vector<std::string>> entries;   // none: no driver enumeration key
    std::optional<std::uint32_t> count;                // default: the number of entries
};

void Install(FakePlatform& host, const View& v) {
    for (const auto& d : v.interfaces) host.AddRegKey(std::string(kPrinterInterfaceClassKey) + "\\" + Subkey(d));
    if (!v.entries) return;
    host.SetRegValue(kUsbPrintEnumKey, "Count", REG_DWORD_,
                     Dword(v.count.value_or(static_cast<std::uint32_t>(v.entries->size()))));
    for (std::size_t i = 0; i < v.entries->size(); ++i)
        host.SetRegString(kUsbPrintEnumKey, std::to_string(i), (*v.entries)[i]);
}

}  // namespace

TEST(UsbDiscovery, OpensTheFirstAcceptedPrinterThatIsAttached) {
    const std::string longSerial(128 - 22, 'S');  // entry: 22 characters before the serial
    struct Case {
        const char* what;
        View view;
        std::string opened;  // empty: the USB open fails with nothing opened
    } cases[] = {
        {"no driver enumeration key", {{kMakeA}, std::nullopt}, ""},
        {"two accepted printers: the first in enumeration order",
         {{kMakeB, kMakeA}, std::vector<std::string>{"USB\\VID_03F0&PID_0670\\B2", "USB\\VID_1958&PID_0001\\A1"}},
         PathOf(kMakeB)},
        {"the first one not attached: the next",
         {{kMakeB, kMakeA}, std::vector<std::string>{"USB\\VID_1958&PID_0001\\A1"}}, PathOf(kMakeA)},
        {"_067 on the path, an entry of no accepted make",
         {{"USB#VID_0670&PID_0001#C3"}, std::vector<std::string>{"USB\\VID_0670&PID_0001\\C3"}}, ""},
        {"an interface of a printer no longer attached",
         {{kMakeA}, std::vector<std::string>{"USB\\VID_1958&PID_0002\\A1"}}, ""},
        {"the path in lower case: listed, but not confirmed",
         {{"usb#vid_1958&pid_0001#a1"}, std::vector<std::string>{"USB\\VID_1958&PID_0001\\A1"}}, ""},
        {"an entry past the tenth cannot be read",
         {{kMakeA}, std::vector<std::string>{"x\\1", "x\\2", "x\\3", "x\\4", "x\\5", "x\\6", "x\\7", "x\\8", "x\\9",
                                             "x\\10", "USB\\VID_1958&PID_0001\\A1"}},
         ""},
        {"the tenth entry still can",
         {{kMakeA}, std::vector<std::string>{"x\\1", "x\\2", "x\\3", "x\\4", "x\\5", "x\\6", "x\\7", "x\\8", "x\\9",
                                             "USB\\VID_1958&PID_0001\\A1"}},
         PathOf(kMakeA)},
        {"an entry of 127 characters fits the 128-byte read",
         {{"USB#VID_1958&PID_0001#" + longSerial.substr(1)},
          std::vector<std::string>{"USB\\VID_1958&PID_0001\\" + longSerial.substr(1)}},
         PathOf("USB#VID_1958&PID_0001#" + longSerial.substr(1))},
        {"an entry over 128 bytes is skipped",
         {{"USB#VID_1958&PID_0001#" + longSerial}, std::vector<std::string>{"USB\\VID_1958&PID_0001\\" + longSerial}},
         ""},
        {"a count past 127 is negative: nothing is visited",
         {{kMakeA}, std::vector<std::string>{"USB\\VID_1958&PID_0001\\A1"}, 200u}, ""},
        {"only the count's first byte counts",
         {{kMakeA}, std::vector<std::string>{"USB\\VID_1958&PID_0001\\A1"}, 0x101u}, PathOf(kMakeA)},
        {"an entry without a backslash matches no path",
         {{kMakeA}, std::vector<std::string>{"VID_1958"}}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform host;
        Install(host, c.view);
        TCom com(host);
        EXPECT_EQ(com.Open(kUsbPortCode), !c.opened.empty());
        EXPECT_EQ(com.interfaceCount, static_cast<std::int32_t>(c.view.interfaces.size()));
        EXPECT_EQ(host.Count("CreateFileA"), c.opened.empty() ? 0u : 1u);
        if (!c.opened.empty()) {
            EXPECT_EQ(host.calls.back().text, c.opened);
            EXPECT_EQ(host.calls.back().args.back(), FILE_FLAG_OVERLAPPED_);
        }
        EXPECT_TRUE(host.questions.empty());
        EXPECT_TRUE(host.OpenKeys().empty()) << "every key is closed again";
    }
}

TEST(UsbDiscovery, DriverEntriesBecomeInterfaceNames) {
    FakePlatform host;
    Install(host, {{}, std::vector<std::string>{"a\\b", "USB\\VID_1958&PID_0001\\S1", "NONE", "w\\x\\y\\z", ""}});
    EXPECT_EQ(CollectUsbPrintDevices(host),
              (UsbDeviceList{"a#b", "VID_1958&PID_0001#S1", "y#z"}));
    EXPECT_TRUE(PathMatchesDeviceList("\\\\?\\usb#vid_1958&pid_0001#s1#{x}", {"X#Y", "VID_1958&PID_0001#S1"}));
    EXPECT_FALSE(PathMatchesDeviceList("\\\\?\\usb#vid_1958", {}));
}

// A whole look counts every driver entry, past the tenth and past a count of 127, and judges each
// interface as the "USB" search would, while "USB" itself still reads the first ten alone.
TEST(UsbDiscovery, ALookSeesEveryPrinterAndJudgesEachOnce) {
    std::vector<std::string> interfaces, entries;
    for (int i = 0; i < 200; ++i) {
        interfaces.push_back("USB#VID_1958&PID_0001#S" + std::to_string(1000 + i));
        entries.push_back("USB\\VID_1958&PID_0001\\S" + std::to_string(1000 + i));
    }
    interfaces.push_back("USB#VID_04B8&PID_0202#E1");                                   // another make
    interfaces.push_back("USB#VID_1958&PID_0002#GONE");                                 // not served
    interfaces.push_back("USB#VID_0670&PID_0001#C3");                                   // _067, entry of no make
    entries.push_back("USB\\VID_04B8&PID_0202\\E1");
    entries.push_back("USB\\VID_0670&PID_0001\\C3");
    FakePlatform host;
    Install(host, {interfaces, entries});
    const UsbLook look = LookAtUsbPrinters(host);
    EXPECT_EQ(look.interfaceCount, 203);
    EXPECT_EQ(look.AcceptedPaths().size(), 200u);
    std::map<std::string, UsbVerdict> verdicts;
    for (const SeenUsbPrinter& p : look.printers) verdicts[UsbIdentity(p.path)] = p.verdict;
    EXPECT_EQ(verdicts["USB\\VID_1958&PID_0001\\S1199"], UsbVerdict::Accepted);
    EXPECT_EQ(verdicts["USB\\VID_04B8&PID_0202\\E1"], UsbVerdict::NotAcceptedMake);
    EXPECT_EQ(verdicts["USB\\VID_1958&PID_0002\\GONE"], UsbVerdict::NotServed);
    EXPECT_EQ(verdicts["USB\\VID_0670&PID_0001\\C3"], UsbVerdict::NotConfirmed);
    EXPECT_EQ(look.printers[look.printers.size() - 2].Serial(), "S1199");  // before ..._0002#GONE
    EXPECT_TRUE(host.OpenKeys().empty());
    // One open of each key for the whole look.
    EXPECT_EQ(host.Count("RegOpenKeyExA"), 2u);
    // A count of 203 is negative in its first byte: "USB" reads nothing and opens nothing.
    TCom com(host);
    EXPECT_FALSE(com.Open(kUsbPortCode));
    // A printer the look found opens by its path.
    com.usbPrinter = look.printers[150].path;
    EXPECT_TRUE(com.Open(kUsbPortCode));
    EXPECT_EQ(host.calls.back().text, look.printers[150].path);
}

// A printer of an accepted make is named by its serial, its identity's instance, its identity or
// its path, letter case ignored where no name is exact; nothing else names it.
TEST(UsbDiscovery, ANamePicksThePrintersItNames) {
    const std::string a = "USB#VID_1958&PID_0001#A1", b = "USB#VID_1958&PID_0001#B2";
    FakePlatform host;
    Install(host, {{a, b, "USB#VID_04B8&PID_0202#E1"},
                   std::vector<std::string>{"USB\\VID_1958&PID_0001\\A1", "USB\\VID_1958&PID_0001\\B2",
                                            "USB\\VID_04B8&PID_0202\\E1"}});
    EXPECT_EQ(UsbDeviceOf(PathOf(b)), "VID_1958&PID_0001");
    EXPECT_EQ(UsbInstanceOf(PathOf(b)), "B2");
    struct Case {
        std::string text;
        std::vector<std::string> named;  // interface paths, in enumeration order
    } cases[] = {
        {"A1", {PathOf(a)}},
        {"a1", {PathOf(a)}},
        {"b2", {PathOf(b)}},
        {"usb\\vid_1958&pid_0001\\b2", {PathOf(b)}},
        {PathOf(b), {PathOf(b)}},
        {"E1", {}},  // of no accepted make
        {"VID_1958&PID_0001", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        const UsbNamed found = FindUsbPrintersNamed(host, c.text);
        std::vector<std::string> named;
        for (const SeenUsbPrinter& p : found.named) named.push_back(p.path);
        EXPECT_EQ(named, c.named) << c.text;
        EXPECT_EQ(found.attached, (std::vector<std::string>{PathOf(a), PathOf(b)})) << c.text;
    }
}
