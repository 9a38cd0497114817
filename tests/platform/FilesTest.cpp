// An input file as the host shows what was opened: its kind, its size, its last write, its bytes.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Files.h"

using namespace prax::platform;

namespace {

std::string Scratch(const std::string& name) { return ::testing::TempDir() + "files-" + name; }

}  // namespace

TEST(Files, AnInputFileIsLookedAtAndReadAsItIs) {
    const std::string path = Scratch("input");
    const std::string bytes("a\r\n\0\x1a" "b", 6);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    // Two writes a second apart are that far apart to the look too, whatever clock the host keeps.
    const std::filesystem::file_time_type when =
        std::chrono::floor<std::chrono::seconds>(std::filesystem::last_write_time(path));
    std::filesystem::last_write_time(path, when);
    FileLook first, second;
    {
        InputFile file(path);
        ASSERT_TRUE(file.open());
        ASSERT_TRUE(file.Look(first));
        EXPECT_TRUE(first.regular);
        EXPECT_FALSE(first.folder);
        EXPECT_EQ(first.size, 6);
        std::string got(10, '-');
        EXPECT_EQ(file.Read(got.data(), got.size()), 6);
        EXPECT_EQ(got.substr(0, 6), bytes);  // no line end or ^Z touched
        EXPECT_EQ(file.Read(got.data(), got.size()), 0);
    }
    std::filesystem::last_write_time(path, when + std::chrono::seconds(1));
    InputFile again(path);
    ASSERT_TRUE(again.Look(second));
    EXPECT_EQ(second.writtenNs - first.writtenNs, 1000000000);
}

TEST(Files, AMissingFileDoesNotOpen) {
    std::filesystem::remove(Scratch("missing"));
    InputFile file(Scratch("missing"));
    EXPECT_FALSE(file.open());
}
