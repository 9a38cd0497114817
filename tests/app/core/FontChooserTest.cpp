// The font selection's rules, once for both views: what a listing writes over, OK and Cancel,
// the choice taken once, and the preview of a row. What each view draws of them, and how its
// keys and clicks reach them, is tested with the view.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "app/core/FontChooser.h"
#include "platform/fake/FakePlatform.h"
#include "tests/support/SampleFonts.h"
#include "protocol/FontList.h"

namespace prax::app {
namespace {

using prax::testing::kFontsKey;

struct FontChooserTest : ::testing::Test {
    FontChooserTest() {
        // ctest runs each case in a process of its own, side by side: the name carries the process.
        host.hostWindowsFolder = ::testing::TempDir() + "font-chooser-" + std::to_string(::getpid());
        std::filesystem::create_directories(host.hostWindowsFolder + "/Fonts");
        std::ofstream(host.hostWindowsFolder + "/Fonts/ARIAL.TTF", std::ios::binary) << std::string(1300, 'f');
        std::ofstream(host.hostWindowsFolder + "/Fonts/FACE.TTF", std::ios::binary) << "seven!!";
    }
    ~FontChooserTest() override { std::filesystem::remove_all(host.hostWindowsFolder); }

    void InstallFonts() { prax::testing::InstallSampleFonts(host); }
    void Fill() { chooser.Fill(protocol::ReadInstalledFonts(host)); }
    std::vector<std::string> Row(int row) const {
        return {chooser.Cell(row, 0), chooser.Cell(row, 1), chooser.Cell(row, 2)};
    }

    platform::fake::FakePlatform host;
    FontChooser chooser;
};

TEST_F(FontChooserTest, ListsTheTrueTypeFilesOfTheFontsFolderWithTheirSizes) {
    EXPECT_EQ(chooser.RowCount(), 1);
    InstallFonts();
    Fill();
    const std::vector<std::vector<std::string>> expected = {
        {"Arial (TrueType)", "ARIAL.TTF", "1300 Bytes"},
        {"Face (TrueType)", "FACE.TTF", "7 Bytes"},
        {"Zeta TrueType", "zeta.ttf", "-1 Bytes"},
        {"Zeta, Bold (TrueType)", "ZETA.TTF", "-1 Bytes"},
    };
    ASSERT_EQ(chooser.RowCount(), static_cast<int>(expected.size()));
    for (int r = 0; r < chooser.RowCount(); ++r) EXPECT_EQ(Row(r), expected[static_cast<std::size_t>(r)]);
    EXPECT_EQ(chooser.Cell(4, 0), "");
    EXPECT_EQ(chooser.Cell(0, 3), "");
}

// A font whose name can't be sent is listed, saying why; the others as they are.
TEST_F(FontChooserTest, AFontThatCannotBeSentIsListedWithItsReason) {
    InstallFonts();
    Fill();
    for (int row = 0; row < chooser.RowCount(); ++row) {
        const bool refused = chooser.Cell(row, 0) == "Zeta, Bold (TrueType)";
        EXPECT_EQ(chooser.Problem(row).find("can't be sent") != std::string::npos, refused) << row;
        EXPECT_EQ(chooser.Problem(row).find("a comma at position") != std::string::npos, refused) << row;
    }
    EXPECT_EQ(chooser.Problem(-1), "");
}

// OK hands over the current row's name and file, Cancel nothing; the choice is taken once.
TEST_F(FontChooserTest, OkAndCancelHandOverTheChoiceTakenOnce) {
    InstallFonts();
    Fill();
    EXPECT_FALSE(chooser.Chosen());
    chooser.Choose(0);
    EXPECT_TRUE(chooser.Chosen());
    EXPECT_EQ(chooser.Take().name, "Arial (TrueType)");
    EXPECT_FALSE(chooser.Chosen());
    EXPECT_TRUE(chooser.Take().empty());

    chooser.Choose(1);
    const protocol::FontChoice face = chooser.Take();
    EXPECT_EQ(face.name, "Face (TrueType)");
    EXPECT_EQ(face.file, "FACE.TTF");

    chooser.Choose(1);
    chooser.Cancel();
    EXPECT_FALSE(chooser.Chosen());
    EXPECT_TRUE(chooser.Take().empty());
    chooser.Choose(1);
    chooser.ClearChoice();
    EXPECT_FALSE(chooser.Chosen());
}

// Nothing listed at the first fill: one empty row, and OK hands over an empty choice. A later
// fill with nothing listed keeps what its first row held. Either way the notice says why the
// list is empty and where it was read; a fill that lists a font takes the notice away.
TEST_F(FontChooserTest, NothingListedLeavesOneRowHoldingWhatTheFirstHeld) {
    EXPECT_EQ(chooser.EmptyListNotice(), "") << "before any fill";
    host.SetRegString(kFontsKey, "Cambria (TrueType)", "cambria.ttc");
    Fill();
    const std::string key = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
    EXPECT_EQ(chooser.EmptyListNotice(),
              "No TrueType font is registered. The list reads HKEY_LOCAL_MACHINE\\" + key + " and HKEY_CURRENT_USER\\" +
                  key + ", and takes an entry whose name holds \"TrueType\" and whose file is a .ttf file.");
    EXPECT_EQ(chooser.RowCount(), 1);
    EXPECT_EQ(Row(0), (std::vector<std::string>{"", "", ""}));
    chooser.Choose(0);
    EXPECT_FALSE(chooser.Chosen());
    EXPECT_EQ(chooser.Take().name + chooser.Take().file, "");

    InstallFonts();
    Fill();
    ASSERT_EQ(chooser.RowCount(), 4);
    EXPECT_EQ(chooser.EmptyListNotice(), "");
    for (const char* name : {"Arial (TrueType)", "Face (TrueType)", "Zeta TrueType", "Zeta, Bold (TrueType)"})
        host.SetRegString(kFontsKey, name, "C:\\Elsewhere\\font.ttf");
    Fill();
    EXPECT_EQ(chooser.RowCount(), 1);
    EXPECT_EQ(Row(0), (std::vector<std::string>{"Arial (TrueType)", "ARIAL.TTF", "1300 Bytes"}));
    EXPECT_EQ(chooser.EmptyListNotice().rfind("No TrueType font is registered.", 0), 0u);

    // Keys that can't be opened make no fill at all ("Can't open font"); a list with no place
    // to name still says that it is empty.
    chooser.Fill(protocol::FontList{true, {}, {}});
    EXPECT_EQ(chooser.EmptyListNotice(), "No TrueType font is registered.");
}

// The preview of a row: its face, captioned; an entry without "(TrueType)" has an empty caption
// and no face to draw it in (the view keeps the one it has).
TEST_F(FontChooserTest, ThePreviewOfARow) {
    InstallFonts();
    Fill();
    const struct {
        int row;
        const char* caption;
        const char* face;
    } cases[] = {{0, "Arial ", "Arial"}, {1, "Face ", "Face"}, {2, "", ""}, {3, "Zeta, Bold ", "Zeta, Bold"}};
    for (const auto& c : cases) {
        EXPECT_EQ(chooser.Preview(c.row).caption, c.caption) << c.row;
        EXPECT_EQ(chooser.Preview(c.row).face, c.face) << c.row;
    }
}

}  // namespace
}  // namespace prax::app
