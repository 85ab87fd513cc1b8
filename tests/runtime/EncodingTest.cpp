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
