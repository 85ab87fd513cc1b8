#include "tools/walk/Walk.h"
#include "tests/app/StoryFiles.h"
#include "tests/support/CodePageScope.h"
#include "tests/tools/ToolRun.h"

#include <gtest/gtest.h>

namespace mirt {
namespace {

using tools::WalkMain;

struct TWalkCase {
    const char* Name;
    std::vector<std::string> Story;
    std::vector<std::string> Args;
    std::string Report;
    int ExitCode;
};

std::vector<TWalkCase> Cases()
{
    const std::vector<std::string> branches{
        "Start.",      "#button Left @left", "Which way?", "Straight on.", "#end",     "@left",
        "Left it is.", "#goto @out",         "Unseen.",    "@out",         "Outside.", "#end"};
    return {
        {"every path of a story with two endings",
         branches,
         {},
         "states: 6 (all)\ntext lines shown: 5 of 6 (83%)\nnever shown: lines 9\nlabels reached: 2 of 2\n"
         "ending: line 5 (#end) by ppp\nending: line 12 (#end) by pcp\n"
         "longest path to an ending: 3 steps: ppp\n",
         0},
        {"the limit stops the walk",
         branches,
         {"--max-states", "3"},
         "states: 3 (not all: limit or random runs)\ntext lines shown: 2 of 6 (33%)\nnever shown: lines 4 7 9 11\n"
         "labels reached: 0 of 2\nlabel never reached: @left\nlabel never reached: @out\nending: none reached\n",
         0},
        {"a loop the player can only quit",
         {"Start.", "@round", "Round.", "#goto @round", "#end"},
         {},
         "states: 2 (all)\ntext lines shown: 2 of 2 (100%)\nlabels reached: 1 of 1\nending: none reached\n"
         "traps: 2 states from which no ending can be reached\ntrap: line 1 by (at the start)\ntrap: line 3 by p\n",
         1},
        {"an error box on one path",
         {"Start.", "#button Look @look", "Choose.", "Done.", "#end", "@look", "#image gone.bmp", "Seen.", "#end"},
         {},
         // The failed choice leaves its button up and "Choose." as the message.
         "states: 7 (all)\ntext lines shown: 4 of 4 (100%)\nlabels reached: 1 of 1\n"
         "ending: line 5 (#end) by ppp\nending: line 9 (#end) by pcpp\n"
         "error box: Cannot open file dat\\gone.bmp: No such file or directory (dat\\story.txt, line 7) by pc\n"
         "longest path to an ending: 4 steps: pcpp\n",
         1},
        // Skipping a block meets the path that reads it; the longest path
        // reads everything, and the loop back to @top is not taken.
        {"the longest path reads every line",
         {"@top", "B0.", "#button Skip @b0", "L1.", "L2.", "@b0", "B1.", "#button Skip @b1", "L3.", "@b1", "End.",
          "#button Again @top", "Last.", "#end"},
         {},
         "states: 8 (all)\ntext lines shown: 7 of 7 (100%)\nlabels reached: 3 of 3\nending: line 14 (#end) by pccp\n"
         "longest path to an ending: 7 steps: ppppppp\n",
         0},
        {"a story that ends at once",
         {"#end", "Never."},
         {},
         "states: 1 (all)\ntext lines shown: 0 of 0\nlabels reached: 0 of 0\nending: line 1 (#end) by (at the "
         "start)\nlongest path to an ending: 0 steps: (at the start)\n",
         0},
        {"the same report as JSON",
         branches,
         {"--json"},
         "{\"states\":6,\"complete\":true,\"textLines\":6,\"shown\":[1,3,4,7,11],\"neverShown\":[9],"
         "\"labelsReached\":[\"@left\",\"@out\"],\"labelsNotReached\":[],\"endings\":[{\"line\":5,\"kind\":\"#end\","
         "\"path\":\"ppp\"},{\"line\":12,\"kind\":\"#end\",\"path\":\"pcp\"}],\"errorBoxes\":[],\"trapStates\":0,"
         "\"traps\":[],\"longestPath\":\"ppp\"}\n",
         0},
        // The choice jumps before the message it was offered with is shown.
        {"a replay prints the player's transcript",
         branches,
         {"--replay", "pc"},
         "Start.\n[choice: Left]\nLeft it is.\n",
         0},
        {"no story", {}, {}, "error: EScriptError: Story file not found: dat\\story.txt\n", 1},
    };
}

TEST(Walk, ReportsWhatThePathsReach)
{
    test::TCodePageScope codePages;
    test::TCodePageScope::Use("en_US");
    for (const TWalkCase& c : Cases()) {
        SCOPED_TRACE(c.Name);
        test::TStoryFolder folder;
        if (!c.Story.empty()) folder.Story(c.Story);
        const test::TToolRun run = test::RunTool(WalkMain, c.Args);
        EXPECT_EQ(run.Out, c.Report);
        EXPECT_EQ(run.ExitCode, c.ExitCode);
        EXPECT_EQ(run.Err, "");
    }
}

TEST(Walk, RandomRunsRepeatWithTheirSeed)
{
    test::TCodePageScope codePages;
    test::TCodePageScope::Use("en_US");
    test::TStoryFolder folder;
    // Five choices in a row: 32 paths, each ending on its own line.
    std::vector<std::string> story{"Start."};
    for (int i = 0; i < 5; ++i) {
        const std::string label = "@skip" + std::to_string(i);
        story.insert(story.end(), {"#button Skip " + label, "Step " + std::to_string(i) + ".", "Extra.", label});
    }
    story.insert(story.end(), {"Done.", "#end"});
    folder.Story(story);
    const test::TToolRun first = test::RunTool(WalkMain, {"--seed", "7", "--runs", "3"});
    const test::TToolRun again = test::RunTool(WalkMain, {"--seed", "7", "--runs", "3"});
    EXPECT_EQ(first.Out, again.Out);
    EXPECT_EQ(first.ExitCode, 0);
    EXPECT_NE(first.Out.find("(not all: limit or random runs)"), std::string::npos);
    // Different seeds take different paths through the choices.
    std::set<std::string> reports;
    for (const char* seed : {"1", "2", "3", "4", "5"}) reports.insert(test::RunTool(WalkMain, {"--seed", seed}).Out);
    EXPECT_GT(reports.size(), 1u);
}

TEST(Walk, ReplayRejectsAPathOfOtherLetters)
{
    test::TStoryFolder folder;
    folder.Story({"One.", "#end"});
    const test::TToolRun run = test::RunTool(WalkMain, {"--replay", "pxc"});
    EXPECT_EQ(run.ExitCode, 2);
    EXPECT_EQ(run.Out, "");
    EXPECT_EQ(run.Err.rfind("mirt-walk: a path is made of p and c only, not 'pxc'\n", 0), 0u);
}

} // namespace
} // namespace mirt
