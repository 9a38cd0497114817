#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "link/TCom.h"
#include "platform/fake/FakePlatform.h"
#include "protocol/Fonts.h"
#include "tests/support/Recorder.h"

using namespace prax::protocol;
using prax::platform::fake::FakePlatform;
using prax::testing::Recorder;
using Bytes = std::vector<std::uint8_t>;
using Writes = std::vector<Bytes>;

namespace {

Bytes Payload(std::size_t size) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(i * 13 + (i >> 9));
    return b;
}

// A Windows folder of this test's own, with its fonts folder.
std::string WindowsFolder() {
    const std::string dir = ::testing::TempDir() + "windows-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir + "/Fonts");
    return dir;
}

std::string WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
}

// The writes of a font or code table: header byte by byte, whole blocks, tail byte by byte.
Writes Expected(const std::string& header, const Bytes& payload, std::size_t block) {
    Writes w;
    for (char c : header) w.push_back({static_cast<std::uint8_t>(c)});
    const std::size_t full = payload.size() - payload.size() % block;
    for (std::size_t at = 0; at < full; at += block)
        w.emplace_back(payload.begin() + static_cast<long>(at), payload.begin() + static_cast<long>(at + block));
    for (std::size_t at = full; at < payload.size(); ++at) w.push_back({payload[at]});
    return w;
}

class FontsTest : public ::testing::Test {
protected:
    void SetUp() override {
        prax::link::quietStall() = true;
        windows = WindowsFolder();
        fonts = windows + "/Fonts/";
        host.hostWindowsFolder = windows;
    }
    Context ctx() { return Context{host, ui, [] { return 2; }, status}; }
    // A font file in the fonts folder; its bare name, as the font list gives it.
    std::string Font(const std::string& file, const Bytes& bytes) {
        WriteFile(fonts + file, bytes);
        return file;
    }
    std::string windows;
    FakePlatform host;
    Recorder ui;
    std::string status = "earlier";
    std::string fonts;
};

}  // namespace

TEST_F(FontsTest, HeaderNamesAndSlotLetters) {
    EXPECT_EQ(TrueTypeHeader(SlotLetter(1), "Arial (TrueType)", 1300), "\r\n~H,TTF,BArial (TrueType),1300\r");
    EXPECT_EQ(CodeTableHeader(SlotLetter(25), "big5", 0), "\r\n~H,TTF_TABLE,Zbig5,0\r");
    EXPECT_EQ(SlotLetter(0), 'A');
    EXPECT_EQ(SlotLetter(-1), '@') << "typed text that names no slot";

    struct Case {
        const char* path;
        char separator;
        const char* name;
    };
    for (const Case& c : {Case{"/home/op/tables/big5.table.bin", '/', "big5.table"},
                          Case{"/home/op/v1.2/gb2312", '/', "gb2312"},
                          Case{"C:\\Tables.old\\gb2312", '\\', "gb2312"},
                          Case{"C:\\Tables\\ksc.bin", '\\', "ksc"},
                          Case{"C:\\Tables/sub.d/ksc.bin", '\\', "ksc"},
                          Case{"/home/op\\back.bin", '/', "op\\back"},
                          Case{"relative.bin", '/', "relative"},
                          Case{"/home/op/.hidden", '/', ""},
                          Case{"/home/op/trailing.", '/', "trailing"}}) {
        EXPECT_EQ(TableNameFromPath(c.path, c.separator), c.name) << c.path;
    }
}

// Outside ASCII a name goes one byte per character, never as UTF-8 (the tests run in the C
// locale, so the byte is Windows-1252's, '?' where it has none); what is no UTF-8 stays as it is.
TEST_F(FontsTest, HeaderNamesGoOneBytePerCharacter) {
#if !defined(_WIN32)
    EXPECT_EQ(HeaderNameBytes("G\xC3\xBCr \xE2\x82\xAC \xE4\xB8\xAD"), "G\xFCr \x80 ?");
#endif
    EXPECT_EQ(HeaderNameBytes("Caf\xE9"), "Caf\xE9");
    EXPECT_EQ(HeaderNameBytes("Arial (TrueType)"), "Arial (TrueType)");
}

TEST_F(FontsTest, WriteGroupingProgressAndFrameOfBothDownloads) {
    struct Case {
        bool table;
        std::size_t size;
        int slot;
        std::vector<std::string> statuses;
    };
    std::vector<std::string> s1300 = {"513 Bytes", "1025 Bytes"};
    for (int i = 1026; i <= 1300; ++i) s1300.push_back(std::to_string(i) + " Bytes");
    s1300.push_back("1300 Bytes");  // the gauge holds the last step at the size
    std::vector<std::string> s1027 = {"1025 Bytes", "1026 Bytes", "1027 Bytes", "1027 Bytes"};
    for (const Case& c : {Case{false, 1300, 1, s1300}, Case{true, 1024, 25, {"1024 Bytes"}},
                          Case{true, 1027, -1, s1027}, Case{false, 0, 0, {}}, Case{true, 0, 3, {}}}) {
        SCOPED_TRACE(std::to_string(c.size) + (c.table ? " table" : " font"));
        FakePlatform h;
        h.hostWindowsFolder = windows;
        Recorder r;
        r.gauge.SetMaxValue(77);
        std::string st = "earlier";
        Context cx{h, r, [] { return 2; }, st};
        const Bytes payload = Payload(c.size);
        std::string header;
        Result res;
        if (c.table) {
            r.files = {WriteFile(fonts + "v1.0-big5.bin", payload)};
            header = CodeTableHeader(SlotLetter(c.slot), "v1.0-big5", static_cast<std::int32_t>(c.size));
            res = DownloadCodeTable(cx, {std::nullopt, "/opt/prax"}, c.slot);
            EXPECT_EQ(r.dialogs.at(0).filter, "*.bin (Font Code Table)|*.bin|*.* |*.*");
            EXPECT_EQ(r.dialogs.at(0).initialDirectory, "/opt/prax");
        } else {
            r.fonts = {{"Arial (TrueType)", Font("ARIAL.TTF", payload)}};
            header = TrueTypeHeader(SlotLetter(c.slot), "Arial (TrueType)", static_cast<std::int32_t>(c.size));
            res = DownloadTrueTypeFont(cx, std::nullopt, c.slot);
        }
        ASSERT_TRUE(res.ok()) << res.message;
        EXPECT_EQ(h.writes, Expected(header, payload, c.table ? 1024 : 512));
        EXPECT_EQ(h.sleeps, std::vector<std::uint32_t>{50}) << "one pause, before the header";
        EXPECT_EQ(r.statuses, c.statuses);
        EXPECT_EQ(st, c.size == 0 ? "earlier" : std::to_string(c.size) + " Bytes");
        std::vector<std::string> frame = {c.table ? "choose file" : "choose font", "close: off", "progress: show",
                                          "progress: max " + std::to_string(c.size)};
        if (!c.table) frame.push_back("progress: max 128");
        frame.insert(frame.end(), {"close: on", "progress: hide"});
        EXPECT_EQ(r.Frame(), frame);
        // The progress step lets events run once; the font also after every write, the table
        // only after its whole blocks.
        const int writes = static_cast<int>(h.writes.size() - header.size());
        const int blocks = static_cast<int>(c.size / (c.table ? 1024 : 512));
        EXPECT_EQ(r.eventsProcessed, writes + (c.table ? blocks : writes));
        if (c.size == 0) {
            EXPECT_EQ(r.gauge.MaxValue(), c.table ? 77 : 128) << "a maximum of 0 is ignored";
        }
        EXPECT_TRUE(h.OpenHandles().empty());
    }
}

// A font installed for one user goes from the full path the list gave, never from a file of the
// same name in the fonts folder; its bytes are framed as any font's.
TEST_F(FontsTest, AUserFontGoesFromItsOwnPath) {
    const Bytes payload = Payload(515);
    Font("Mine.ttf", Payload(9));
    std::filesystem::create_directories(windows + "/user");
    const std::string path = WriteFile(windows + "/user/Mine.ttf", payload);
    Context c = ctx();
    ASSERT_TRUE(DownloadTrueTypeFont(c, FontChoice{"Mine (TrueType)", path}, 2).ok());
    EXPECT_EQ(host.writes, Expected(TrueTypeHeader('C', "Mine (TrueType)", 515), payload, 512));
}

TEST_F(FontsTest, WhatCannotBeSentIsRefusedBeforeTheLinkOpens) {
    struct Case {
        const char* what;
        bool table;
        std::string path;  // font file or table path
        std::string name;  // font entry name
        std::string message;
    };
    const std::string longFolder = fonts + std::string(120 - fonts.size(), 'd') + "/";
    std::filesystem::create_directories(longFolder);
    const std::string name56(45, 'N');
    const std::string tooLongPath = WriteFile(longFolder + "tbl.bin", Payload(3));  // 128 characters
    const std::string longName(72, 'x');
    for (const Case& c : {
             Case{"no choice", false, "", "", ""},
             Case{"header of 72", false, Font("long.ttf", Payload(1000)), name56 + " (TrueType)",
                  "The font \"" + name56 + " (TrueType)\" can't be sent: its name and size make a header line of 72 "
                  "characters, and the printer takes at most 71."},
             Case{"missing font", false, "gone.ttf", "Gone (TrueType)",
                  "Cannot open file \"" + fonts + "gone.ttf\". No such file or directory."},
             Case{"path of 128", true, tooLongPath, "",
                  "The code table's path is 128 characters long; at most 127 can be taken. Move the file to a "
                  "shorter path."},
             Case{"name of 72", true, fonts + longName + ".bin", "",
                  "The code table's name \"" + longName +
                      "\" is 72 characters long; the printer takes at most 71."},
             Case{"missing table", true, fonts + "gone.bin", "",
                  "Cannot open file \"" + fonts + "gone.bin\". No such file or directory."},
             // A name must not end the header line early (the rest would run as a command) nor
             // forge its size field; refused before the file is even read.
             Case{"table named with CR LF", true, fonts + "a\r\n^default\r\n.bin", "",
                  "The code table's name \"a??^default??\" can't be sent: it holds the control character 0x0D "
                  "at position 2. A name in a printer's header line may hold no control character and no comma."},
             Case{"table named with a comma", true, fonts + "x,99999.bin", "",
                  "The code table's name \"x,99999\" can't be sent: it holds a comma at position 2. A name in a "
                  "printer's header line may hold no control character and no comma."},
             Case{"font named with DEL after a non-ASCII letter", false, Font("del.ttf", Payload(10)),
                  "G\xC3\xBCr\x7F (TrueType)",
                  "The font's name \"G\xC3\xBCr? (TrueType)\" can't be sent: it holds the control character 0x7F at "
                  "position 4. A name in a printer's header line may hold no control character and no comma."},
             Case{"font named with a comma", false, "gone.ttf", "Sans, Bold (TrueType)",
                  "The font's name \"Sans, Bold (TrueType)\" can't be sent: it holds a comma at position 5. A name "
                  "in a printer's header line may hold no control character and no comma."},
         }) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(tooLongPath.size(), 128u);
        FakePlatform h;
        h.hostWindowsFolder = windows;
        Recorder r;
        std::string st;
        Context cx{h, r, [] { return 2; }, st};
        const Result res = c.table ? DownloadCodeTable(cx, {c.path, {}}, 0)
                                   : DownloadTrueTypeFont(cx, FontChoice{c.name, c.path}, 0);
        EXPECT_EQ(res.outcome, c.message.empty() ? Outcome::Cancelled : Outcome::Refused);
        EXPECT_EQ(r.messages, c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message});
        EXPECT_EQ(h.Count("CreateFileA"), 0) << "nothing opened";
        EXPECT_TRUE(r.closeEnabled);
    }
    // One character less fits: 45 + " (TrueType)" + 3 digits make a header of 71.
    ui.fonts = {{name56 + " (TrueType)", Font("fits.ttf", Payload(999))}};
    Context c = ctx();
    EXPECT_TRUE(DownloadTrueTypeFont(c, std::nullopt, 0).ok());
}

TEST_F(FontsTest, OpenFailureAndAVanishedPrinterEndWithTheirMessages) {
    host.failAllOpens = true;
    Context c = ctx();
    EXPECT_EQ(DownloadTrueTypeFont(c, FontChoice{"A (TrueType)", Font("a.ttf", Payload(10))}, 0).outcome,
              Outcome::OpenFailed);
    EXPECT_EQ(ui.log, std::vector<std::string>{"message: Open port failed"});

    FakePlatform h;
    h.goneFromMs = h.now;
    Recorder r;
    std::string st;
    Context cx{h, r, [] { return 2; }, st};
    const Result res = DownloadCodeTable(cx, {WriteFile(fonts + "t.bin", Payload(3000)), {}}, 0);
    EXPECT_EQ(res.outcome, Outcome::Stopped);
    EXPECT_EQ(h.writes.size(), 1u) << "the first header byte fails; nothing more is tried";
    EXPECT_EQ(res.message, "The connection to the printer was lost: 0 of the code table's 3000 bytes were "
                           "delivered. The transfer was ended.");
    EXPECT_TRUE(r.closeEnabled);
    EXPECT_FALSE(r.progressVisible);
    EXPECT_TRUE(h.OpenHandles().empty());
}
