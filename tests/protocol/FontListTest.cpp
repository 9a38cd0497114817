#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "platform/fake/FakePlatform.h"
#include "protocol/FontList.h"

using namespace prax::platform;
using prax::platform::fake::FakePlatform;
using namespace prax::protocol;

namespace {

const char* const kNtKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
const char* const kOldKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Fonts";

// A Windows folder of the test's own, with a Fonts folder in it.
std::string WindowsFolder() {
    const std::string folder = ::testing::TempDir() + "fontlist-windows";
    std::filesystem::create_directories(folder + "/Fonts");
    return folder;
}

void WriteFont(const std::string& bare, std::size_t size) {
    std::ofstream(WindowsFolder() + "/Fonts/" + bare, std::ios::binary | std::ios::trunc)
        << std::string(size, 'f');
}

struct Row {
    std::string name, file;
    std::int64_t size;
};

void ExpectRows(const FontList& list, const std::vector<Row>& expected) {
    ASSERT_EQ(list.rows.size(), expected.size());
    for (std::size_t i = 0; i < list.rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(list.rows[i].name, expected[i].name);
        EXPECT_EQ(list.rows[i].file, expected[i].file);
        EXPECT_EQ(list.rows[i].size, expected[i].size);
    }
}

}  // namespace

// What is listed, in which order, with which size: only TrueType entries whose file lies in the
// fonts folder, sorted with letter case ignored; a file that can't be opened (missing, a folder,
// a pipe that would never end) shows -1.
TEST(FontList, ListsTrueTypeFilesOfTheFontsFolderSortedWithoutCase) {
    FakePlatform host;
    host.hostWindowsFolder = WindowsFolder();
    WriteFont("ARIAL.TTF", 1300);
    WriteFont("batang.ttf", 7);
    std::filesystem::create_directories(WindowsFolder() + "/Fonts/folder.ttf");
#if !defined(_WIN32)  // no pipe there to find: it is then missing, and left out as missing
    const std::string fifo = WindowsFolder() + "/Fonts/pipe.ttf";
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
#endif
    // Set in no order: the registry enumerates as it likes.
    const std::pair<const char*, std::string> entries[] = {
        {"Batang (TrueType)", "batang.ttf"},
        {"Cambria & Cambria Math (TrueType)", "cambria.ttc"},
        {"Calibri (OpenType)", "calibri.ttf"},
        {"Full (TrueType)", "C:\\Other\\full.ttf"},
        {"Drive (TrueType)", "D:drive.ttf"},
        {"Slash (TrueType)", "sub/slash.ttf"},
        {"Lower (truetype)", "lower.ttf"},
        {"Courier 10,12,15", "COURE.FON"},
        {"Zeta TrueType", "zeta.TtF"},
        {"arial (TrueType)", "ARIAL.TTF"},
        {"Folder (TrueType)", "folder.ttf"},
        {"Pipe (TrueType)", "pipe.ttf"},
        {"Terminated (TrueType)", std::string("batang.ttf\0junk", 15)},
        {"Missing (TrueType)", "missing.ttf"},
    };
    for (const auto& [name, file] : entries) host.SetRegString(kNtKey, name, file);

    const FontList list = ReadInstalledFonts(host);
    ASSERT_TRUE(list.opened);
    const std::vector<Row> expected = {
        {"arial (TrueType)", "ARIAL.TTF", 1300},
        {"Batang (TrueType)", "batang.ttf", 7},
        {"Folder (TrueType)", "folder.ttf", -1},
        {"Missing (TrueType)", "missing.ttf", -1},
        {"Pipe (TrueType)", "pipe.ttf", -1},
        {"Terminated (TrueType)", "batang.ttf", 7},
        {"Zeta TrueType", "zeta.TtF", -1},
    };
    ExpectRows(list, expected);
    // One read of the key: all names, then every value once, then the key released.
    std::vector<std::string> calls = {"GetWindowsDirectoryA", "RegOpenKeyExA"};
    calls.insert(calls.end(), std::size(entries) + 1, "RegEnumValueA");
    calls.insert(calls.end(), std::size(entries), "RegQueryValueExA");
    calls.push_back("RegCloseKey");
    calls.push_back("RegOpenKeyExA");  // the user's fonts, which this host has none of
    EXPECT_EQ(host.CallNames(), calls);
    EXPECT_EQ(host.calls[1].text, kNtKey);
    EXPECT_EQ(host.calls[1].args, std::vector<std::uint64_t>{KEY_READ_});
    EXPECT_TRUE(host.OpenKeys().empty());
    EXPECT_EQ(FontFilePath(host, "ARIAL.TTF"), WindowsFolder() + "/Fonts/ARIAL.TTF");
}

// A font installed for one user: after the machine's fonts, in the same order, each sent from
// the full path its value names; a value that is no full path, no TrueType or not text is left
// out without failing the list. Without a machine's key the user's alone don't make a list.
TEST(FontList, UserFontsFollowTheMachinesFromTheirOwnPaths) {
    FakePlatform host;
    host.hostWindowsFolder = WindowsFolder();
    WriteFont("ARIAL.TTF", 1300);
    const std::string mine = WindowsFolder() + "/Mine.ttf";  // outside the fonts folder
    std::ofstream(mine, std::ios::binary | std::ios::trunc) << std::string(21, 'm');
    host.SetRegString(kNtKey, "Zed (TrueType)", "zed.ttf");
    host.SetRegString(kNtKey, "Arial (TrueType)", "ARIAL.TTF");
    const std::string user = std::string(FakePlatform::kCurrentUser) + kNtKey;
    const std::pair<const char*, std::string> entries[] = {
        {"mine (TrueType)", mine},
        {"Bare (TrueType)", "bare.ttf"},
        {"Relative (TrueType)", "fonts\\rel.ttf"},
        {"Drive (TrueType)", "C:\\Users\\op\\AppData\\Local\\Microsoft\\Windows\\Fonts\\drive.TTF"},
        {"Share (TrueType)", "\\\\server\\fonts\\share.ttf"},
        {"Arial (TrueType)", mine},
        {"Open (OpenType)", "C:\\Users\\op\\open.ttf"},
        {"Coll (TrueType)", "C:\\Users\\op\\coll.ttc"},
    };
    for (const auto& [name, file] : entries) host.SetRegString(user, name, file);
    host.SetRegValue(user, "Number (TrueType)", REG_DWORD_, std::string("\x01\0\0\0", 4));

    const FontList list = ReadInstalledFonts(host);
    const std::vector<Row> expected = {
        {"Arial (TrueType)", "ARIAL.TTF", 1300},
        {"Zed (TrueType)", "zed.ttf", -1},
        {"Arial (TrueType)", mine, 21},
        {"Drive (TrueType)", "C:\\Users\\op\\AppData\\Local\\Microsoft\\Windows\\Fonts\\drive.TTF", -1},
        {"mine (TrueType)", mine, 21},
        {"Share (TrueType)", "\\\\server\\fonts\\share.ttf", -1},
    };
    ExpectRows(list, expected);
    EXPECT_EQ(host.calls[host.calls.size() - 1].name, "RegCloseKey");
    EXPECT_TRUE(host.OpenKeys().empty());
    EXPECT_EQ(list.places, (std::vector<std::string>{std::string("HKEY_LOCAL_MACHINE\\") + kNtKey,
                                                     std::string("HKEY_CURRENT_USER\\") + kNtKey}));
    // The download reads a user's font where its value says, a machine's in the fonts folder.
    EXPECT_EQ(FontFilePath(host, mine), mine);
    EXPECT_EQ(FontFilePath(host, "ARIAL.TTF"), WindowsFolder() + "/Fonts/ARIAL.TTF");

    FakePlatform userOnly;
    userOnly.SetRegString(user, "mine (TrueType)", mine);
    const FontList none = ReadInstalledFonts(userOnly);
    EXPECT_FALSE(none.opened);
    EXPECT_TRUE(none.rows.empty());
}

// Byte order would put every capital before every small letter.
TEST(FontList, SortIgnoresLetterCase) {
    FakePlatform host;
    for (const char* name : {"b (TrueType)", "A_ (TrueType)", "Ab (TrueType)", "a (TrueType)",
                             "B2 (TrueType)", "C (TrueType)"})
        host.SetRegString(kNtKey, name, "x.ttf");
    std::vector<std::string> names;
    for (const auto& row : ReadInstalledFonts(host).rows) names.push_back(row.name);
    EXPECT_EQ(names, (std::vector<std::string>{"a (TrueType)", "Ab (TrueType)", "A_ (TrueType)",
                                               "b (TrueType)", "B2 (TrueType)", "C (TrueType)"}));
}

TEST(FontList, FallsBackToTheOlderKeyAndReportsWhenNeitherOpens) {
    FakePlatform none;
    none.AddRegKey("SOFTWARE\\Microsoft");
    const FontList missing = ReadInstalledFonts(none);
    EXPECT_FALSE(missing.opened);
    EXPECT_TRUE(missing.rows.empty());
    EXPECT_EQ(none.Count("RegOpenKeyExA"), 2u);
    EXPECT_EQ(std::string(kCantOpenFont), "Can't open font");

    FakePlatform old;
    old.SetRegString(kOldKey, "Arial (TrueType)", "ARIAL.TTF");
    const FontList list = ReadInstalledFonts(old);
    EXPECT_EQ(list.places.at(0), std::string("HKEY_LOCAL_MACHINE\\") + kOldKey);
    EXPECT_TRUE(old.OpenKeys().empty());
    ASSERT_TRUE(list.opened);
    ASSERT_EQ(list.rows.size(), 1u);
    EXPECT_EQ(list.rows[0].name, "Arial (TrueType)");
}

// A value that is not text ends the read with an error, and the key is released all the same.
TEST(FontList, ValueThatIsNotTextFailsTheReadAndReleasesTheKey) {
    FakePlatform host;
    host.SetRegString(kNtKey, "Arial (TrueType)", "ARIAL.TTF");
    host.SetRegValue(kNtKey, "Expand (TrueType)", REG_EXPAND_SZ_, "expand.ttf");
    EXPECT_EQ(ReadInstalledFonts(host).rows.size(), 2u);  // expandable text is text
    host.SetRegValue(kNtKey, "Number (TrueType)", REG_DWORD_, std::string("\x01\0\0\0", 4));
    try {
        ReadInstalledFonts(host);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("Number (TrueType)"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(host.OpenKeys().empty());
}

TEST(FontList, PreviewAndSizeTexts) {
    const std::string long40(40, 'L');
    const std::string accented = std::string(30, 'a') + "\xC3\xA9";  // é across bytes 30 and 31
    const struct {
        std::string name, caption, face;
    } cases[] = {
        {"Arial (TrueType)", "Arial ", "Arial"},
        {"Zeta TrueType", "", ""},
        {"(TrueType)", "", ""},
        {"X(TrueType)", "X", ""},
        {"AB(TrueType)", "AB", "A"},
        {"A (TrueType) B (TrueType)", "A ", "A"},
        {long40 + " (TrueType)", long40 + " ", std::string(31, 'L')},
        {accented + " (TrueType)", accented + " ", std::string(30, 'a')},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const FontPreview p = PreviewOf(c.name);
        EXPECT_EQ(p.caption, c.caption);
        EXPECT_EQ(p.face, c.face);
    }
    EXPECT_EQ(SizeText(1300), "1300 Bytes");
    EXPECT_EQ(SizeText(-1), "-1 Bytes");
    EXPECT_EQ(SizeText(0), "0 Bytes");
}
