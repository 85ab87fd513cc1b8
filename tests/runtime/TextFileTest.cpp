#include "platform/runtime/Files.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

namespace mirt {
namespace {

using namespace std::string_literals;
using Lines = std::vector<AnsiString>;

Lines Split(const std::string& bytes)
{
    return SplitTextLines({reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()});
}

TEST(TextLines, LineRules)
{
    struct Case {
        std::string bytes;
        Lines lines;
    };
    const std::string longLine(300, 'x');
    const std::vector<Case> cases = {
        {"", {}},
        {"a", {"a"}},
        {"a\nb", {"a", "b"}},
        {"a\n", {"a"}}, // no empty line after the final line end
        {"a\r\n\r\n", {"a", ""}},
        {"a\n\n", {"a", ""}},
        {"ab\rcd\r\nef", {"abcd", "ef"}}, // a lone CR is removed
        {"a\r\r\nb", {"a", "b"}},
        {"a\r", {"a"}},
        {"a\n\r", {"a", ""}},
        {"a\r\n\x1a"
         "b\r\n",
         {"a"}}, // 0x1A at a line start ends the file
        {"\x1a"
         "abc",
         {}},
        {"a\x1a"
         "b\nc",
         {"a\x1a"
          "b",
          "c"}},                      // elsewhere it is an ordinary byte
        {"a\0b\nc"s, {"a\0b"s, "c"}}, // NUL bytes are kept
        {longLine + "\r\n" + longLine, {longLine, longLine}},
    };
    for (const Case& c : cases) EXPECT_EQ(Split(c.bytes), c.lines) << "bytes " << ::testing::PrintToString(c.bytes);
}

TEST(TextLines, ReadsAWholeFile)
{
    test::TTempDir dir;
    test::TTempDir::Write("story.txt", "one\r\ntwo\nthree");
    EXPECT_EQ(ReadTextLines("story.txt", "story.txt"), (Lines{"one", "two", "three"}));
}

TEST(TextLines, FailuresCarryErrnoAndName)
{
    test::TTempDir dir;
    test::TTempDir::Write("plain", "x");
    std::filesystem::create_directory("folder");
    struct Case {
        std::string path;
        int error;
    };
    const std::vector<Case> cases = {
        {"missing.txt", ENOENT},
        {"plain/story.txt", ENOTDIR}, // fails for root as well
        {"folder", EISDIR},
    };
    for (const Case& c : cases) {
        try {
            ReadTextLines(c.path, "dat\\" + c.path);
            ADD_FAILURE() << c.path << " was read";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.ErrorCode(), c.error) << c.path;
            EXPECT_NE(std::string(e.what()).find("dat\\" + c.path), std::string::npos) << e.what();
        }
    }
}

} // namespace
} // namespace mirt
