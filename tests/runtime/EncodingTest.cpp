#include "platform/runtime/Encoding.h"
#include "platform/runtime/CodePage.h"
#include "tests/support/CodePageScope.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mirt {
namespace {

class EncodingTest : public ::testing::Test, protected test::TCodePageScope {};

TEST_F(EncodingTest, ValidUtf8)
{
    struct Case {
        std::string text;
        bool valid;
    };
    const std::vector<Case> cases = {
        {"", true},
        {"abc", true},
        {"\xE8\xA1\xA8", true},
        {"\xF0\x9F\x98\x80", true},
        {"\xE8\xA1", false},         // cut short
        {"\x95\x5C", false},         // Shift-JIS 表
        {"\xC0\xAF", false},         // overlong "/"
        {"\xE0\x80\xAF", false},     // overlong
        {"\xED\xA0\x80", false},     // surrogate
        {"\xF4\x90\x80\x80", false}, // beyond U+10FFFF
        {"\x80", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsValidUtf8(c.text), c.valid) << c.text;
}

TEST_F(EncodingTest, Utf8DecodesEachMalformedByteAsOneReplacement)
{
    struct Case {
        std::string utf8;
        std::u32string text;
    };
    const std::vector<Case> cases = {
        {"", U""},
        {"a\xC3\xA9", U"a\u00E9"},
        {"\xE8\xA1\xA8", U"\u8868"},
        {"\xF0\x9F\x98\x80!", U"\U0001F600!"},
        {"\xEF\xBF\xBD", U"\uFFFD"},               // U+FFFD itself
        {"\xE8\xA1", U"\uFFFD\uFFFD"},             // cut short: each byte alone
        {"\xC0\xAF", U"\uFFFD\uFFFD"},             // overlong "/"
        {"\xED\xA0\x80x", U"\uFFFD\uFFFD\uFFFDx"}, // surrogate
        {"\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"\x80"
         "a",
         U"\uFFFDa"},
    };
    for (const Case& c : cases) EXPECT_EQ(DecodeUtf8(c.utf8), c.text) << c.utf8;
}

TEST_F(EncodingTest, Utf8EncodesEveryLengthAndReplacesNonCharacters)
{
    struct Case {
        std::u32string text;
        std::string utf8;
    };
    const std::vector<Case> cases = {
        {U"A", "A"},
        {U"\u00E9", "\xC3\xA9"},
        {U"\u07FF\u0800", "\xDF\xBF\xE0\xA0\x80"},
        {U"\uFFFF\U00010000", "\xEF\xBF\xBF\xF0\x90\x80\x80"},
        {U"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
        {std::u32string(1, char32_t{0xD800}), "\xEF\xBF\xBD"},
        {std::u32string(1, char32_t{0x110000}), "\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EncodeUtf8(c.text), c.utf8);
        EXPECT_TRUE(IsValidUtf8(EncodeUtf8(c.text)));
    }
}

TEST_F(EncodingTest, ConvertsFromTheCodePage)
{
    struct Case {
        const char* locale;
        std::string text, utf8;
    };
    const std::string bad = "\xEF\xBF\xBD";
    const std::vector<Case> cases = {
        {"ja_JP", "\x95\x5C.txt", "\xE8\xA1\xA8.txt"}, // 表.txt
        {"ja_JP", "a\x82", "a" + bad},                 // incomplete character at the end
        {"ja_JP", "\xE8\xA1\xA8", "\xE8\xA1\xA8"},     // already UTF-8: kept
        {"en_US", "caf\xE9", "caf\xC3\xA9"},
        {"en_US", "\x81x", bad + "x"}, // undefined in the western page
        {"en_US", "plain", "plain"},
    };
    for (const Case& c : cases) {
        Use(c.locale);
        EXPECT_EQ(AnsiToUtf8(c.text), c.utf8) << c.locale << " " << c.text;
    }
    Use("ja_JP");
    EXPECT_NE(CodePageToUtf8("\xE8\xA1\xA8"), "\xE8\xA1\xA8"); // no pass-through
}

} // namespace
} // namespace mirt
