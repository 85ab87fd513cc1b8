// The story written to have every fault the tools find, against the reports
// kept beside it (and shown in the README).
#include "tests/support/CodePageScope.h"
#include "tests/tools/ToolRun.h"
#include "tools/check/Check.h"
#include "tools/walk/Walk.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace mirt {
namespace {

std::string ReadFile(const std::string& name)
{
    std::ifstream in(std::string(MIRT_STORIES_DIR) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(FaultyStory, ToolsGiveTheKeptReports)
{
    test::TCodePageScope codePages;
    const std::string folder = std::string(MIRT_STORIES_DIR) + "/faulty";
    struct TCase {
        const char* Report;
        test::TToolRun Run;
    };
    const TCase cases[] = {
        {"faulty-check.txt", test::RunTool(tools::CheckMain, {"--code-page", "932", folder})},
        {"faulty-walk.txt", test::RunTool(tools::WalkMain, {"--code-page", "932", folder})},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Report);
        const std::string expected = ReadFile(c.Report);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(c.Run.Out, expected);
        EXPECT_EQ(c.Run.ExitCode, 1);
    }
}

} // namespace
} // namespace mirt
