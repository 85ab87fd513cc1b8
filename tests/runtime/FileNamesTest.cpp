#include "platform/runtime/CodePage.h"
#include "platform/runtime/Files.h"
#include "tests/support/CodePageScope.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace mirt {
namespace {

class FileNamesTest : public ::testing::Test, protected test::TCodePageScope {
protected:
    void SetUp() override { Use("ja_JP.UTF-8"); }

    test::TTempDir dir_;
};

TEST_F(FileNamesTest, ResolvesWindowsNames)
{
    test::TTempDir::Write("dat/story.txt", "s");
    test::TTempDir::Write("Pics/Big Picture.JPG", "p");
    test::TTempDir::Write("dat/\xE8\xA1\xA8.txt", "utf8");      // 表.txt stored as UTF-8
    test::TTempDir::Write("dat/\x95\x5C\x8E\xA6.bmp", "sjis");  // 表示.bmp stored as Shift-JIS
    test::TTempDir::Write("dat/\xEF\xBC\xA1.txt", "fullwidth"); // Ａ.txt stored as UTF-8
    std::filesystem::create_directories("dat/Clash.txt");       // a directory ...
    test::TTempDir::Write("dat/clash.txt", "file");             // ... and a file differing in case

    struct Case {
        std::string name, path;
    };
    const std::vector<Case> cases = {
        {"dat\\story.txt", "dat/story.txt"},
        {"dat/story.txt", "dat/story.txt"},
        {"DAT\\Story.TXT", "dat/story.txt"},
        {"dat\\\\story.txt", "dat/story.txt"},
        {"pics\\big picture.jpg", "Pics/Big Picture.JPG"},
        {"dat\\\x95\x5C.txt", "dat/\xE8\xA1\xA8.txt"}, // 0x5C inside 表 is no separator
        {"DAT\\\x95\x5C.TXT", "dat/\xE8\xA1\xA8.txt"},
        {"dat\\\x95\x5C\x8E\xA6.bmp", "dat/\x95\x5C\x8E\xA6.bmp"},
        {"dat\\\x82\x60.txt", "dat/\xEF\xBC\xA1.txt"}, // Ａ in Shift-JIS
        {"dat\\Clash.txt", "dat/clash.txt"},           // the directory counts as missing
        {"dat\\..\\dat\\story.txt", "dat/../dat/story.txt"},
        {"dat\\missing.txt", "dat/missing.txt"},
        {"nodir\\story.txt", "nodir/story.txt"},
    };
    for (const Case& c : cases) EXPECT_EQ(ResolveFileName(c.name), c.path) << c.name;
}

TEST_F(FileNamesTest, FullWidthNeverMatchesHalfWidth)
{
    test::TTempDir::Write("dat/A.txt", "half");
    EXPECT_FALSE(FileExists("dat\\\x82\x60.txt"));
    EXPECT_TRUE(FileExists("dat\\a.txt"));
}

TEST_F(FileNamesTest, OnlyRegularFilesExist)
{
    test::TTempDir::Write("dat/story.txt", "s");
    std::filesystem::create_directories("dat/folder");
    EXPECT_TRUE(FileExists("dat\\story.txt"));
    EXPECT_TRUE(FileExists("DAT\\STORY.TXT"));
    EXPECT_FALSE(FileExists("dat\\folder"));
    EXPECT_FALSE(FileExists("dat"));
    EXPECT_FALSE(FileExists("dat\\none.txt"));
    EXPECT_FALSE(FileExists(""));
}

TEST_F(FileNamesTest, WesternCodePageSplitsAtEveryBackslash)
{
    Use("en_US.UTF-8");
    test::TTempDir::Write("dat/\x95/x.txt", "s");
    EXPECT_EQ(ResolveFileName("dat\\\x95\\x.txt"), "dat/\x95/x.txt");
}

} // namespace
} // namespace mirt
