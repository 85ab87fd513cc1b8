#include "engine/MyCrypt.h"
#include "tests/engine/StoryFixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace mirt {
namespace {

using namespace std::string_literals;
using Lines = std::vector<AnsiString>;

class Loader : public test::TStoryTest {
protected:
    Lines Load(const std::string& bytes, bool scrambled = false)
    {
        WriteStory(bytes);
        TVoskScript script(test::kStoryName, scrambled);
        EXPECT_EQ(script.UnitCount(), 1);
        return script.CurrentLines();
    }
};

TEST_F(Loader, StoresLinesByTheFileRules)
{
    struct Case {
        const char* locale;
        std::string bytes;
        Lines store;
    };
    const std::string line300(300, 'q');
    const std::vector<Case> cases = {
        {"ja_JP", "Hello\r\n// note\r\n@end  of part\r\n", {"Hello", "", "@end", "@end"}},
        {"ja_JP", "Hello  // greeting", {"Hello  ", "Hello  "}},
        {"ja_JP", "#image pic.jpg // first picture", {"#image pic.jpg ", "#image pic.jpg "}},
        {"ja_JP", "@a//b", {"@a", "@a"}},
        {"ja_JP", "  @ending  see note\n@ a\n", {"@ending", "@", "@"}},
        {"ja_JP", "   \n", {"   ", "   "}},
        {"ja_JP", "ab\rcd\r\nef", {"abcd", "ef", "ef"}},
        {"ja_JP", "a\r\n\r\n", {"a", "", ""}},
        {"ja_JP",
         "a\r\n\x1a"
         "b\r\n",
         {"a", "a"}},
        {"ja_JP", "", {""}},
        {"ja_JP", "\x81\x40@lab x\r\n\t@tab\r\n", {"@lab", "@tab", "@tab"}},
        {"ja_JP", "  // note\r\n// note\r\n", {"  ", "", ""}},
        {"ja_JP", "A // x\0y"s, {"A ", "A "}},
        {"ja_JP", "x\r\nA\x82//c", {"x", "A\x82//c", "A\x82//c"}}, // "//" after a lone lead byte is not found
        {"en_US", "A\x82//c", {"A\x82", "A\x82"}},
        {"ja_JP", "\x95\x5C//\x95\x5C", {"\x95\x5C", "\x95\x5C"}},
        {"ja_JP", " \tText\t with  spaces ", {" \tText\t with  spaces ", " \tText\t with  spaces "}},
        {"ja_JP", line300 + "\r\n" + line300, {line300, line300, line300}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.locale << " " << ::testing::PrintToString(c.bytes));
        UseLocale(c.locale);
        EXPECT_EQ(Load(c.bytes), c.store);
    }
}

TEST_F(Loader, LinesThatSplitIntoNothingFailWithTheirLine)
{
    struct Case {
        const char* locale;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"ja_JP", "ok\r\na\0b\r\n"s},
        {"en_US", "ok\r\n\0"s},
        {"ja_JP", "ok\r\n\x41\x82\x20\x2F\x2F\x63"},
        {"ja_JP", "ok\r\n\x41\x82\x2F\x2F\x63\x82"},
    };
    for (const Case& c : cases) {
        UseLocale(c.locale);
        WriteStory(c.bytes);
        try {
            TVoskScript script(test::kStoryName, false);
            ADD_FAILURE() << "loaded: " << c.bytes;
        } catch (const ERangeError& e) {
            EXPECT_NE(std::string(e.what()).find("(dat\\story.txt, line 2)"), std::string::npos) << e.what();
        }
    }
}

TEST_F(Loader, HoldsAtMost9999FileLines)
{
    std::string bytes;
    for (int i = 0; i < 9999; ++i) bytes += "line " + std::to_string(i) + "\r\n";
    WriteStory(bytes);
    TVoskScript script(test::kStoryName, false);
    ASSERT_EQ(script.CurrentLines().size(), 10000u);
    EXPECT_EQ(script.CurrentLines()[9998], "line 9998");
    EXPECT_EQ(script.CurrentLines()[9999], "line 9998");

    WriteStory(bytes + "line 9999\r\n");
    try {
        TVoskScript full(test::kStoryName, false);
        ADD_FAILURE() << "10000 lines loaded";
    } catch (const ERangeError& e) {
        EXPECT_NE(std::string(e.what()).find("line 10000)"), std::string::npos) << e.what();
    }
}

TEST_F(Loader, ScrambledFileGivesThePlainStore)
{
    const std::vector<std::string> lines = {
        "Hello // comment",
        "",
        "  @label  x",
        "#image pic.jpg",
        "\x81\x40\x93\xFA\x96\x7B\x8C\xEA",
        "a\tb\x1a"
        "c",
        "\x95\x5C//tail",
        "#goto @label",
        "last",
    };
    std::string plain, scrambled;
    for (const std::string& line : lines) {
        plain += line + "\r\n";
        scrambled += XorText(line) + "\r\n";
    }
    plain += "\x1a"
             "ignored";
    scrambled += "\x1a" + XorText("ignored");
    const Lines expected = Load(plain);
    EXPECT_EQ(expected.size(), lines.size() + 1);
    EXPECT_EQ(Load(scrambled, true), expected);
    EXPECT_NE(Load(scrambled, false), expected);
}

TEST_F(Loader, MissingFileSoundsTheAlertAndLoadsNothing)
{
    std::filesystem::create_directories("dat/story.txt"); // a directory counts as missing
    TVoskScript script(test::kStoryName, false);
    EXPECT_EQ(alerts_, 1);
    EXPECT_EQ(script.UnitCount(), 0);
    EXPECT_TRUE(script.CurrentLines().empty());
    EXPECT_FALSE(script.LoadScript("dat\\other.txt", false));
    EXPECT_EQ(alerts_, 2);
}

TEST_F(Loader, SecondLoadAppendsAUnitThatBecomesCurrent)
{
    WriteStory("first\r\n");
    test::TTempDir::Write("dat/Second.txt", "second\r\nmore\r\n");
    TVoskScript script(test::kStoryName, false);
    EXPECT_TRUE(script.LoadScript("DAT\\second.TXT", false));
    EXPECT_EQ(script.UnitCount(), 2);
    EXPECT_EQ(script.CurrentLines(), (Lines{"second", "more", "more"}));
    EXPECT_FALSE(script.LoadScript("dat\\missing.txt", false));
    EXPECT_EQ(alerts_, 1);
    EXPECT_EQ(script.UnitCount(), 2);
    EXPECT_EQ(script.CurrentLines(), (Lines{"second", "more", "more"}));
    script.ClearUnits();
    EXPECT_EQ(script.UnitCount(), 0);
}

TEST_F(Loader, OversizedFileRaisesInOutErrorWithErrno)
{
    WriteStory("");
    std::filesystem::resize_file("dat/story.txt", std::uintmax_t{257} << 20); // sparse
    try {
        TVoskScript script(test::kStoryName, false);
        ADD_FAILURE() << "read a 257 MiB story";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), EFBIG);
        EXPECT_NE(std::string(e.what()).find(test::kStoryName), std::string::npos) << e.what();
    }
}

TEST_F(Loader, UnreadableFileRaisesInOutErrorWithErrno)
{
    WriteStory("text\r\n");
    ASSERT_EQ(::chmod("dat/story.txt", 0), 0);
    if (::access("dat/story.txt", R_OK) == 0) GTEST_SKIP() << "permissions do not stop reads here (root)";
    try {
        TVoskScript script(test::kStoryName, false);
        ADD_FAILURE() << "read a file without read permission";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), EACCES);
        EXPECT_NE(std::string(e.what()).find(test::kStoryName), std::string::npos) << e.what();
    }
}

} // namespace
} // namespace mirt
