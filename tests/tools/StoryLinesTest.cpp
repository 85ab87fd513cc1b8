// The engine's jump resolution and saved run state, and the fetch walk the
// tools build on them.
#include "tools/common/StoryLines.h"
#include "app/UnitCommon.h"
#include "tests/app/StoryFiles.h"
#include "tests/support/CodePageScope.h"

#include <gtest/gtest.h>

namespace mirt {
namespace {

class StoryLines : public ::testing::Test {
protected:
    void Load(const std::vector<std::string>& lines)
    {
        test::TCodePageScope::Use("en_US");
        folder_.Story(lines);
        story_ = LoadStory();
    }
    test::TCodePageScope codePages_;
    test::TStoryFolder folder_;
    std::unique_ptr<TVoskScript> story_;
};

TEST_F(StoryLines, FindLabelLooksBelowThenFromTheTop)
{
    // Stored indexes: 0 @a, 1 One., 2 #goto @a, 3 @b, 4 Two., 5 @a, 6 #end (7: its stored copy).
    Load({"@a", "One.", "#goto @a", "@b", "Two.", "@a", "#end"});
    struct TCase {
        int From;
        const char* Label;
        int Target;
        bool Wrapped;
    };
    const TCase cases[] = {
        {0, "@a", 5, false}, {3, "@a", 5, false},  {5, "@a", 0, true},    {6, "@a", 0, true},
        {2, "@b", 3, false}, {3, "@b", -1, false}, // the line at From itself is never taken
        {4, "@b", 3, true},  {1, "b", -1, false},  {1, "@zz", -1, false}, {1, "", -1, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.From) + " " + c.Label);
        bool wrapped = !c.Wrapped;
        EXPECT_EQ(story_->FindLabel(c.From, c.Label, wrapped), c.Target);
        EXPECT_EQ(wrapped, c.Wrapped);
    }
}

TEST_F(StoryLines, ARestoredStateReadsTheSamePagesAgain)
{
    Load({"One.", "#goto @c", "@b", "Three.", "#end", "@c", "Two.", "#goto @b", "Never."});
    story_->Advance();
    EXPECT_EQ(CurrentMessage, "One.");
    const TVoskScript::TRunState saved = story_->SaveState();
    story_->Advance();
    EXPECT_EQ(CurrentMessage, "Two.");
    story_->Advance();
    EXPECT_EQ(CurrentMessage, "Three.");
    story_->Advance();
    EXPECT_TRUE(story_->IsFinished());

    story_->RestoreState(saved);
    EXPECT_FALSE(story_->IsFinished());
    EXPECT_EQ(story_->SaveState(), saved);
    story_->Advance();
    EXPECT_EQ(CurrentMessage, "Two.");
}

TEST_F(StoryLines, FetchFollowsJumpsToTheNextTextLine)
{
    // 0 One., 1 #button Go @c, 2 @a, 3 #image x.bmp, 4 #goto @c, 5 Skipped., 6 @c, 7 Two., 8 #end,
    // 9 @loop, 10 #goto @loop2, 11 @loop2, 12 #goto @loop, 13 Last. (14: its copy)
    Load({"One.", "#button Go @c", "@a", "#image x.bmp", "#goto @c", "Skipped.", "@c", "Two.", "#end", "@loop",
          "#goto @loop2", "@loop2", "#goto @loop", "Last."});
    const tools::TFetch first = tools::FetchFrom(*story_, 0);
    EXPECT_EQ(first.Text, 0);
    EXPECT_FALSE(first.Choice);

    const tools::TFetch second = tools::FetchFrom(*story_, 1);
    EXPECT_EQ(second.Text, 7);
    EXPECT_EQ(second.Choice, "@c");
    EXPECT_EQ(second.Labels, (std::vector<int>{2, 6}));

    const tools::TFetch end = tools::FetchFrom(*story_, 8);
    EXPECT_EQ(end.Text, -1);
    EXPECT_EQ(end.End, 8);

    const tools::TFetch cycle = tools::FetchFrom(*story_, 9);
    EXPECT_EQ(cycle.Text, -1);
    EXPECT_EQ(cycle.CycleAt, 10);

    // The file's last line ends the story when it is fetched.
    const tools::TFetch last = tools::FetchFrom(*story_, 13);
    EXPECT_EQ(last.Text, -1);
    EXPECT_EQ(last.End, 13);
}

TEST_F(StoryLines, KindsFollowTheRegisteredCommands)
{
    Load({"", "@a", "Text", "#END", "#Goto @a", "#image a.bmp", "#button A @a", "#unknown word", "  ", "last"});
    const tools::TLineKind expected[] = {tools::TLineKind::Break,  tools::TLineKind::Label, tools::TLineKind::Text,
                                         tools::TLineKind::End,    tools::TLineKind::Goto,  tools::TLineKind::Image,
                                         tools::TLineKind::Button, tools::TLineKind::Text,  tools::TLineKind::Text};
    for (int i = 0; i < static_cast<int>(std::size(expected)); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(tools::LineKind(*story_, i), expected[i]);
    }
}

} // namespace
} // namespace mirt
