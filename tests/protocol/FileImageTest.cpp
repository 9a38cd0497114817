#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include <fstream>
#include <string>
#include <vector>

#include "protocol/FileImage.h"

using prax::protocol::LoadFileImage;

namespace {

std::string Scratch(const std::string& name) { return ::testing::TempDir() + "fileimage-" + name; }

std::string WriteFile(const std::string& name, const std::string& bytes) {
    const std::string path = Scratch(name);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
}

}  // namespace

// Only a regular file is an image; anything else is refused at once, a pipe with no writer too.
TEST(FileImage, OnlyRegularFilesAreRead) {
    struct Case {
        std::string path;
        std::string bytes;   // when read
        std::string error;   // a part of the refusal
    };
    std::vector<Case> cases = {
        {WriteFile("empty", ""), "", ""},
        {WriteFile("three", std::string("a\0b", 3)), std::string("a\0b", 3), ""},
        // Line ends and ^Z stay as they are: an image is no text.
        {WriteFile("crlf", "\r\n\n\x1a\r"), "\r\n\n\x1a\r", ""},
        {Scratch("missing"), "", "Cannot open file"},
    };
#if defined(_WIN32)
    cases.push_back({"NUL", "", "not a regular file"});
#else
    const std::string fifo = Scratch("fifo");
    ::unlink(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string link = Scratch("link");
    ::unlink(link.c_str());
    ASSERT_EQ(::symlink(WriteFile("target", "abc").c_str(), link.c_str()), 0);
    cases.insert(cases.end(), {{link, "abc", ""},
                               {fifo, "", "not a regular file"},
                               {"/dev/zero", "", "not a regular file"},
                               {"/dev/null", "", "not a regular file"},
                               {::testing::TempDir(), "", "It is a folder"}});
#endif
    for (const Case& c : cases) {
        const auto image = LoadFileImage(c.path);
        if (c.error.empty()) {
            EXPECT_TRUE(image.ok()) << c.path << ": " << image.error;
            EXPECT_EQ(image.bytes, c.bytes) << c.path;
        } else {
            EXPECT_NE(image.error.find(c.error), std::string::npos) << c.path << ": " << image.error;
            EXPECT_TRUE(image.bytes.empty());
        }
    }
}

// A file written to while it is read could go out torn, with a checksum that matches it.
TEST(FileImage, AFileThatChangesWhileItIsReadIsRefused) {
    const std::string path = WriteFile("changing", std::string(5000, 'x'));
    struct Change {
        const char* what;
        std::string bytes;  // written over the file while it is read
        bool append;
    } changes[] = {{"grown", "more", true}, {"shrunk", "short", false}, {"same size", std::string(5000, 'y'), false}};
    for (const Change& c : changes) {
        WriteFile("changing", std::string(5000, 'x'));
        // A time the rewrite must move.
        std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) - std::chrono::hours(24));
        const auto image = LoadFileImage(path, [&] {
            std::ofstream(path, std::ios::binary | (c.append ? std::ios::app : std::ios::trunc)) << c.bytes;
        });
        EXPECT_FALSE(image.ok()) << c.what;
        EXPECT_NE(image.error.find("changed while it was read"), std::string::npos) << c.what;
    }
    EXPECT_TRUE(LoadFileImage(path, [] {}).ok());
}
