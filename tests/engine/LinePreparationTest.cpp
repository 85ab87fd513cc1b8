#include "engine/MyCrypt.h"
#include "engine/VoskScript.h"
#include "engine/VoskUtility.h"
#include "platform/runtime/CodePage.h"
#include "tests/support/CodePageScope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace mirt {
namespace {

using namespace std::string_literals;

class LinePreparation : public ::testing::Test, protected test::TCodePageScope {};

constexpr const char* kJapanese = "ja_JP.UTF-8";
constexpr const char* kWestern = "en_US.UTF-8";
const std::string kFullWidthSpace = "\x81\x40";

TEST_F(LinePreparation, SplitString)
{
    struct Case {
        const char* locale;
        std::string text, delimiter;
        TStringDynArray parts;
    };
    const std::vector<Case> cases = {
        {kJapanese, "", "//", {""}},
        {kJapanese, "a//b//", "//", {"a", "b", ""}},
        {kJapanese, "a///b", "//", {"a", "/b"}},
        {kJapanese, "a//b\0c"s, "//", {"a"}}, // rest after NUL dropped
        {kJapanese, "a\0b"s, "//", {}},       // no delimiter before NUL
        {kJapanese, "a b  c", " ", {"a", "b", "", "c"}},
        {kJapanese, "A\x82", " ", {}}, // incomplete character swallows the appended delimiter
        {kWestern, "A\x82", " ", {"A\x82"}},
        {kJapanese, "A\x82 b", " ", {"A\x82 b"}}, // the space is a second byte
        {kWestern, "A\x82 b", " ", {"A\x82", "b"}},
        {kJapanese, "\x95\\x\\y", "\\", {"\x95\\x", "y"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.locale << " " << ::testing::PrintToString(c.text) << " by "
                                          << ::testing::PrintToString(c.delimiter));
        Use(c.locale);
        TStringDynArray parts{"stale"};
        SplitString(c.text, c.delimiter, parts);
        EXPECT_EQ(parts, c.parts);
    }
}

TEST_F(LinePreparation, SplitStringWithEmptyDelimiterKeepsParts)
{
    TStringDynArray parts{"kept", "too"};
    SplitString("a b", "", parts);
    EXPECT_EQ(parts, (TStringDynArray{"kept", "too"}));
}

TEST_F(LinePreparation, LeftCopy)
{
    EXPECT_EQ(LeftCopy("abc", 0), "");
    EXPECT_EQ(LeftCopy("abc", -5), "");
    EXPECT_EQ(LeftCopy("abc", 2), "ab");
    EXPECT_EQ(LeftCopy("abc", 99), "abc");
}

TEST_F(LinePreparation, XorTextKeepsControlBytesAndUndoesItself)
{
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::string scrambled = XorText(all);
    ASSERT_EQ(scrambled.size(), all.size());
    for (int b = 0; b < 256; ++b) {
        const unsigned char s = static_cast<unsigned char>(scrambled[static_cast<std::size_t>(b)]);
        if (b < 0x20) EXPECT_EQ(s, b) << b; // tab, CR, LF, 0x1A, ... untouched
        else {
            EXPECT_GE(s, 0x20) << b;
            EXPECT_NE(s, b) << b;
        }
    }
    EXPECT_EQ(XorText(scrambled), all);
    for (std::size_t n = 0; n <= 20; ++n) // every length, whole words and tails
        EXPECT_EQ(XorText(all.substr(0x18, n)), scrambled.substr(0x18, n)) << n;
    EXPECT_EQ(XorText(""), "");
    EXPECT_EQ(XorText("a\tb")[1], '\t');
}

TEST_F(LinePreparation, SplitLine)
{
    struct Case {
        const char* locale;
        std::string line;
        TStringDynArray tokens;
    };
    const std::string fw = kFullWidthSpace;
    const std::vector<Case> cases = {
        {kJapanese, "  #image\t\tpic.jpg  ", {"#image", "pic.jpg"}},
        {kJapanese, "#image" + fw + "pic.jpg", {"#image", "pic.jpg"}},
        {kJapanese, fw + fw + "#image" + fw + " \t" + fw + "pic.jpg" + fw, {"#image", "pic.jpg"}},
        {kWestern, fw + "#image" + fw + "pic.jpg", {"#image", "pic.jpg"}}, // plain byte search
        {kJapanese, "", {""}},
        {kJapanese, " \t " + fw, {""}},
        {kJapanese, "a\vb", {"a\vb"}},    // vertical tab stays inside a token
        {kJapanese, "a b\v", {"a", "b"}}, // and is trimmed at the end
        {kJapanese,
         "\x01"
         "a\x1f",
         {"a"}},
        {kJapanese, "\x82\x81\x40", {"\x82\x81\x40"}}, // 0x81 0x40 here is no full-width space
        {kWestern, "\x82\x81\x40", {"\x82"}},
        {kJapanese, "\x82  a", {"\x82 ", "a"}}, // the first space is a second byte
        {kJapanese, "a\0b"s, {}},               // NUL before the first space
        {kJapanese, "a b\0c d"s, {"a"}},
        {kJapanese, "a\0"s + fw, {}}, // no replacement after NUL
        {kJapanese, "\0x"s, {"x"}},   // a leading NUL is trimmed like a blank
        {kJapanese, "A\x82", {}},     // incomplete character at the end
        {kJapanese, "a \x82", {"a"}},
        {kJapanese, "a  \t b   c", {"a", "b", "c"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.locale << " " << ::testing::PrintToString(c.line));
        Use(c.locale);
        TStringDynArray tokens;
        const std::string line = c.line;
        TVoskScript::SplitLine(line, tokens);
        EXPECT_EQ(tokens, c.tokens);
        EXPECT_EQ(line, c.line);
    }
}

TEST_F(LinePreparation, SplitLineWithATokenLimitGivesTheFirstTokens)
{
    const std::string fw = kFullWidthSpace;
    const std::vector<std::string> lines = {
        "a b c",
        "  a  b  ",
        "a\x01 b",
        "a\x01 ",
        "\x01 a b",
        " \x01 \x01 a",
        "a \x01",
        "a \x01b c",
        "a b\0c d"s,
        "a \0 b"s,
        "a\x82 b c",
        "\x82  a b",
        "A\x82",
        "a \x82",
        fw + "a" + fw + "b" + fw,
        "a\tb\t\tc\v",
        "a b\v",
        "",
        "   ",
        "@label rest",
        "#goto @x @y",
        "a " + fw + "\x82",
        "a\x82\x81\x40"
        "b c",
    };
    for (const char* locale : {kJapanese, kWestern}) {
        Use(locale);
        for (const std::string& line : lines) {
            TStringDynArray full;
            TVoskScript::SplitLine(line, full);
            for (int k = 1; k <= 3; ++k) {
                TStringDynArray limited, expected;
                TVoskScript::SplitLine(line, limited, k);
                for (int i = 0; i < std::min(k, full.Length()); ++i) expected.Append(full[i]);
                EXPECT_EQ(limited, expected) << locale << " [" << line << "] k=" << k;
            }
        }
    }
}

TEST_F(LinePreparation, IsLabel)
{
    struct Case {
        const char* locale;
        std::string text;
        int pos;
        bool label;
    };
    const std::vector<Case> cases = {
        {kJapanese, "@a", 1, true},
        {kJapanese, "a@", 1, false},
        {kJapanese, "a@", 2, true},
        {kJapanese, "", 1, false},
        {kJapanese, "@", 2, false},
        {kJapanese, "@", 0, false},
        {kJapanese, kFullWidthSpace, 2, false},
        {kWestern, kFullWidthSpace, 2, true},
        {kJapanese, "\x82\x82@", 3, true},
        {kJapanese, "\x82\x82\x82@", 4, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.locale << " " << ::testing::PrintToString(c.text) << " at " << c.pos);
        Use(c.locale);
        EXPECT_EQ(TVoskScript::IsLabel(c.text, c.pos), c.label);
    }
}

TEST_F(LinePreparation, MatchCommand)
{
    struct Case {
        std::string line, word;
        bool match;
    };
    const std::vector<Case> cases = {
        {"#END", "#end", true},
        {"  #end  ", "#end", true},
        {"#Goto\t@x", "#goto", true},
        {"#gotox @x", "#goto", false},
        {"\x81\x94\x82\x85\x82\x8E\x82\x84", "#end", false}, // ＃ｅｎｄ
        {"", "#end", false},
    };
    Use(kJapanese);
    for (const Case& c : cases) {
        TStringDynArray tokens;
        EXPECT_EQ(TVoskScript::MatchCommand(c.line, c.word, tokens), c.match) << c.line;
        EXPECT_FALSE(tokens.Empty());
    }
    TStringDynArray tokens;
    TVoskScript::MatchCommand("", "#end", tokens);
    EXPECT_EQ(tokens, TStringDynArray{""});
    EXPECT_THROW(TVoskScript::MatchCommand("a\0x"s, "#end", tokens), ERangeError);
    EXPECT_THROW(TVoskScript::MatchCommand("A\x82", "#end", tokens), ERangeError);
}

} // namespace
} // namespace mirt
