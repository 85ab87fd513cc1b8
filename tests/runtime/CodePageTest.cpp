#include "platform/runtime/CodePage.h"
#include "tests/support/CodePageScope.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mirt {
namespace {

class CodePageTest : public ::testing::Test, protected test::TCodePageScope {};

TEST_F(CodePageTest, LanguageOfTheLocaleChoosesTheCodePage)
{
    struct Case {
        const char* locale;
        int number;
        std::string charset;
    };
    const std::vector<Case> cases = {
        {"ja_JP.UTF-8", 932, "CP932"},
        {"ja", 932, "CP932"},
        {"ja_JP.eucJP@euro", 932, "CP932"},
        {"zh_CN.GB18030", 936, "CP936"},
        {"zh_SG", 936, "CP936"},
        {"zh_TW.Big5", 950, "CP950"},
        {"zh_HK.UTF-8", 950, "CP950"},
        {"ko_KR.UTF-8", 949, "CP949"},
        {"en_US.UTF-8", 1252, "CP1252"},
        {"de_DE", 1252, "CP1252"},
        {"C", 1252, "CP1252"},
        {"POSIX", 1252, "CP1252"},
        {"", 1252, "CP1252"},
        {"jam_JM", 1252, "CP1252"},
        {"C.UTF-8", 1252, "CP1252"},
    };
    for (const Case& c : cases) {
        TCodePage cp = CodePageForLocale(c.locale);
        EXPECT_EQ(cp.Number, c.number) << c.locale;
        EXPECT_EQ(std::string(cp.WindowsCharset), c.charset) << c.locale;
    }
}

TEST_F(CodePageTest, LeadByteRanges)
{
    struct Case {
        const char* locale;
        std::vector<int> lead, notLead;
    };
    const std::vector<Case> cases = {
        {"ja_JP", {0x81, 0x9F, 0xE0, 0xFC}, {0x40, 0x80, 0xA0, 0xDF, 0xFD, 0xFF}},
        {"zh_CN", {0x81, 0xA0, 0xFE}, {0x80, 0xFF, 0x5C}},
        {"zh_TW", {0x81, 0xFE}, {0x80, 0xFF}},
        {"ko_KR", {0x81, 0xFE}, {0x80, 0xFF}},
        {"en_US", {}, {0x81, 0x9F, 0xE0, 0xFC, 0xFE}},
    };
    for (const Case& c : cases) {
        Use(c.locale);
        for (int b : c.lead) EXPECT_TRUE(IsLeadByte(static_cast<unsigned char>(b))) << c.locale << " " << b;
        for (int b : c.notLead) EXPECT_FALSE(IsLeadByte(static_cast<unsigned char>(b))) << c.locale << " " << b;
    }
}

TEST_F(CodePageTest, AnsiPosSkipsSecondBytesAndStopsAtNul)
{
    using namespace std::string_literals;
    struct Case {
        const char* locale;
        std::string sub, text;
        int expected;
    };
    const std::vector<Case> cases = {
        {"ja_JP", "//", "a//b", 2},
        {"ja_JP", "b", "a\0b"s, 0},    // nothing after NUL
        {"ja_JP", "a\0"s, "xa\0"s, 0}, // a match may not reach the NUL
        {"ja_JP", "\\", "\x95\\", 0},  // 0x5C as second byte of 表
        {"en_US", "\\", "\x95\\", 2},
        {"ja_JP", "\x81\x40", "\x82\x81\x40", 0}, // 0x81 is a second byte here
        {"en_US", "\x81\x40", "\x82\x81\x40", 2},
        {"ja_JP", "@", "\x82\x82\x82@", 0}, // odd run of lead bytes before it
        {"ja_JP", "@", "\x82\x82@", 3},     // even run
        {"ja_JP", "x", "\x82x", 0},
        {"ja_JP", "", "abc", 0},
        {"ja_JP", "abcd", "abc", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.locale << " " << ::testing::PrintToString(c.sub) << " in "
                                          << ::testing::PrintToString(c.text));
        Use(c.locale);
        EXPECT_EQ(AnsiPos(c.sub, c.text), c.expected);
    }
}

TEST_F(CodePageTest, AnsiFindStartsAfreshAtTheOffset)
{
    Use("ja_JP");
    // From offset 1 the 0x5C is a character of its own.
    EXPECT_EQ(AnsiFind("\x95\\", "\\", 0), std::string::npos);
    EXPECT_EQ(AnsiFind("\x95\\", "\\", 1), 1u);
    EXPECT_EQ(AnsiFind("a//b//", "//", 3), 4u);
    EXPECT_EQ(AnsiFind("ab", "b", 3), std::string::npos);
}

TEST_F(CodePageTest, AnsiSameTextIgnoresLetterCaseOnly)
{
    struct Case {
        const char* locale;
        std::string a, b;
        bool same;
    };
    const std::vector<Case> cases = {
        {"en_US", "#GOTO", "#goto", true},
        {"en_US", "#gotox", "#goto", false},
        {"en_US", "#goto", "#got", false},
        {"en_US", "", "", true},
        {"en_US", "[", "{", false},                              // not letters, 0x20 apart
        {"en_US", "\xC9t\xE9", "\xE9T\xC9", true},               // É/é
        {"en_US", "\xD7", "\xF7", false},                        // × and ÷ are no pair
        {"en_US", "\x8A\x8C\x8E\x9F", "\x9A\x9C\x9E\xFF", true}, // Š Œ Ž Ÿ
        {"en_US", "\xDF", "\xFF", false},
        {"ja_JP", "#END", "#end", true},
        {"ja_JP", "\xC9", "\xE9", false},        // half-width katakana, no case
        {"ja_JP", "\x82\x60", "\x82\x81", true}, // Ａ ａ
        {"ja_JP", "\x82\x79", "\x82\x9A", true}, // Ｚ ｚ
        {"ja_JP", "\x82\x60", "a\x60", false},
        {"ja_JP", "\x82\x60\x82\x61", "A\x82\x81\x82", false}, // full-width never half-width
        {"ja_JP", "\x83\x9F", "\x83\xBF", true},               // Α α
        {"ja_JP", "\x84\x40", "\x84\x70", true},               // А а
        {"ja_JP", "\x84\x46", "\x84\x76", true},               // Ё ё
        {"ja_JP", "\x84\x60", "\x84\x91", true},               // Я я
        {"ja_JP", "\x88\x9F", "\x88\xA0", false},              // two kanji
        {"zh_CN", "\xA3\xC1", "\xA3\xE1", true},               // Ａ ａ
        {"ko_KR", "Ab", "aB", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.locale << " " << ::testing::PrintToString(c.a) << " and " << ::testing::PrintToString(c.b));
        Use(c.locale);
        EXPECT_EQ(AnsiSameText(c.a, c.b), c.same);
        EXPECT_EQ(AnsiSameText(c.b, c.a), c.same) << "swapped";
    }
}

TEST_F(CodePageTest, IsSecondByteCountsTheLeadByteRun)
{
    Use("ja_JP");
    const std::string text = "a\x82\x82\x82@";
    EXPECT_FALSE(IsSecondByte(text, 0));
    EXPECT_FALSE(IsSecondByte(text, 1));
    EXPECT_TRUE(IsSecondByte(text, 2));
    EXPECT_FALSE(IsSecondByte(text, 3));
    EXPECT_TRUE(IsSecondByte(text, 4));
    Use("en_US");
    EXPECT_FALSE(IsSecondByte(text, 4));
}

} // namespace
} // namespace mirt
