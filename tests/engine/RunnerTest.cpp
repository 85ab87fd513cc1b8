#include "tests/engine/StoryFixture.h"

#include <cctype>
#include <string>

namespace mirt {
namespace {

// What the handlers saw, in order: "A|B|" for a page, "text:A", "clear",
// "cmd:#x,a,b". Handlers are plain functions, so the record is global.
std::vector<std::string> Events;

std::string Join(const TStringDynArray& items, const char* separator)
{
    std::string s;
    for (int i = 0; i < items.Length(); ++i) s += (i ? separator : "") + items[i];
    return s;
}

void OnPage(const TStringDynArray& page) { Events.push_back("[" + Join(page, "|") + "]"); }
void OnText(const AnsiString& text) { Events.push_back("text:" + text); }
void OnClear() { Events.push_back("clear"); }
void OnCommand(const TStringDynArray& tokens) { Events.push_back("cmd:" + Join(tokens, ",")); }
void OnSecond(const TStringDynArray&) { Events.push_back("second"); }
void OnFail(const TStringDynArray&) { throw EPictureError("Cannot load picture"); }

class Runner : public test::TStoryTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override
    {
        TStoryTest::SetUp();
        UseLocale(GetParam());
        Events.clear();
        ChoiceLabel.clear();
    }

    // A script on the given lines in page mode with #cmd and #fail registered.
    std::unique_ptr<TVoskScript> Pages(const std::vector<std::string>& lines, int pageSize)
    {
        WriteStory(Story(lines));
        auto script = std::make_unique<TVoskScript>(test::kStoryName, false);
        script->SetPageSize(pageSize);
        script->SetPageHandler(OnPage);
        script->AddCommand("#cmd", OnCommand);
        script->AddCommand("#CMD", OnSecond);
        script->AddCommand("#goto", OnSecond);
        script->AddCommand("#end", OnSecond);
        script->AddCommand("#fail", OnFail);
        return script;
    }

    // Advances n times and returns the events.
    static std::vector<std::string> Step(TVoskScript& script, int n)
    {
        for (int i = 0; i < n; ++i) script.Advance();
        return Events;
    }
};

// Names each run after its locale: "ja_JP.UTF-8" runs as ja_JP_UTF_8.
std::string LocaleTestName(const ::testing::TestParamInfo<const char*>& info)
{
    std::string name = info.param;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(CodePages, Runner, ::testing::Values("ja_JP.UTF-8", "en_US.UTF-8"), LocaleTestName);

using Ev = std::vector<std::string>;

TEST_P(Runner, PagesAndEnds)
{
    struct Case {
        std::vector<std::string> lines;
        int pageSize;
        int advances;
        Ev events;
        bool finished;
    };
    const std::vector<Case> cases = {
        {{"Hello", "Bye"}, 1, 3, {"[Hello]", "[]", "[]"}, true}, // the last line is never delivered
        {{"Only"}, 1, 1, {"[]"}, true},
        {{"Hello", "#end", "x"}, 1, 2, {"[Hello]", "[]"}, true},
        {{"A", "", "B", "C", "D", "E", "", "", "F", ""}, 3, 4, {"[A]", "[B|C|D]", "[E]", "[F|]"}, true},
        {{"", "@l", "", "A", "B", "C"}, 2, 1, {"[A|B]"}, false}, // skipped at the start of a page
        {{"A", "#goto @x", "B", "@x", "C", "D", ""}, 3, 2, {"[A]", "[C|D|]"}, true},
        {{"@top", "A", "#goto @top"}, 1, 2, {"[A]", "[]"}, true}, // last line: ends instead of jumping
        {{"@top", "A", "#goto @top", ""}, 1, 3, {"[A]", "[A]", "[A]"}, false},
        {{"#goto @nowhere", "#goto top", "A", "B", "C"}, 1, 2, {"[A]", "[B]"}, false},
        {{"#goto @x @y", "A", "@x", "B", "C"}, 1, 1, {"[B]"}, false},
        {{"#goto @a", "@a", "A", "@a", "B", "C"}, 1, 1, {"[B]"}, false}, // the line after #goto is not searched
        {{"#goto @Start", "A", "@start", "B", "C"}, 1, 2, {"[A]", "[B]"}, false}, // labels are case-sensitive
        {{"#GOTO @start", "A", "@start", "B", "C"}, 1, 1, {"[B]"}, false},
        {{"#Goto\t@start", "A", "@start", "B", "C"}, 1, 1, {"[B]"}, false},
        {{"A", "#cmd x", "B", "C"}, 2, 1, {"cmd:#cmd,x", "[A|B]"}, false},
        {{"  #Cmd\t a\x81\x40\x81\x40"
          "b",
          "A", "B"},
         1,
         1,
         {"cmd:#Cmd,a,b", "[A]"},
         false},
        {{"#wait 3", "A"}, 1, 1, {"[#wait 3]"}, false},
        {{"   ", "A"}, 1, 1, {"[   ]"}, false},
        {{"A", "B", "#end", "C", "D"}, 1, 4, {"[A]", "[B]", "[]", "[]"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << ::testing::PrintToString(c.lines) << ", page size " << c.pageSize);
        Events.clear();
        quits_ = 0;
        auto script = Pages(c.lines, c.pageSize);
        EXPECT_EQ(Step(*script, c.advances), c.events);
        EXPECT_EQ(script->IsFinished(), c.finished);
        EXPECT_EQ(quits_, c.finished ? 1 : 0);
    }
}

TEST_P(Runner, AfterTheEndNothingChanges)
{
    auto script = Pages({"A", "#end", "B", "C"}, 1);
    Step(*script, 2);
    const int cursor = script->CurrentCursor();
    EXPECT_EQ(Step(*script, 2), (Ev{"[A]", "[]", "[]", "[]"}));
    EXPECT_EQ(script->CurrentCursor(), cursor);
    EXPECT_EQ(quits_, 1);
}

TEST_P(Runner, TextMode)
{
    struct Case {
        std::vector<std::string> lines;
        int advances;
        Ev events;
    };
    const std::vector<Case> cases = {
        {{"A", "B", "C", "D", "E", "F", "G", ""},
         9,
         {"text:A", "text:B", "text:C", "clear", "text:D", "text:E", "text:F", "clear", "text:G", "text:", "text:"}},
        {{"A", "B", "C", "#end", ""}, 4, {"text:A", "text:B", "text:C", "clear", "text:"}},
        {{"A", "", "B", "C"}, 2, {"text:A", "clear", "text:B"}},
    };
    for (const Case& c : cases) {
        Events.clear();
        WriteStory(Story(c.lines));
        TVoskScript script(test::kStoryName, false);
        script.SetPageSize(3);
        script.SetTextHandlers(OnText, OnClear);
        EXPECT_EQ(Step(script, c.advances), c.events) << c.lines.size();
    }
}

TEST_P(Runner, UnsetHandlersAreNotCalled)
{
    WriteStory(Story({"A", "B", "C", "D"}));
    TVoskScript text(test::kStoryName, false);
    text.SetPageSize(1);
    text.SetTextHandlers(nullptr, nullptr);
    text.Advance();
    text.Advance();
    EXPECT_EQ(text.CurrentCursor(), 2);

    TVoskScript pages(test::kStoryName, false);
    pages.SetPageSize(1);
    pages.SetPageHandler(nullptr);
    pages.Advance();
    pages.Advance();
    EXPECT_EQ(pages.CurrentCursor(), 2);
}

TEST_P(Runner, FailingCommandDropsThePageAndSteppingGoesOn)
{
    auto script = Pages({"A", "#fail pic.bmp", "B", "C", "D", "E", "F", "G"}, 3);
    try {
        script->Advance();
        ADD_FAILURE() << "no error";
    } catch (const EPictureError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot load picture (dat\\story.txt, line 2)");
    }
    EXPECT_EQ(Step(*script, 2), (Ev{"[B|C]", "[D|E|F]"}));

    Events.clear();
    auto atStart = Pages({"#fail", "A", "B", "C"}, 1);
    EXPECT_THROW(atStart->Advance(), EPictureError);
    EXPECT_EQ(Step(*atStart, 1), (Ev{"[A]"}));
}

TEST_P(Runner, GotoWithoutLabelIsARangeErrorAtItsLine)
{
    auto script = Pages({"A", "", "// comment", "#goto", "B", "C"}, 1);
    script->Advance();
    try {
        script->Advance();
        ADD_FAILURE() << "no error";
    } catch (const ERangeError& e) {
        EXPECT_NE(std::string(e.what()).find("(dat\\story.txt, line 4)"), std::string::npos) << e.what();
    }
    EXPECT_EQ(Step(*script, 1), (Ev{"[A]", "[B]"}));
}

TEST_P(Runner, JumpCycleWithoutTextIsAnError)
{
    auto script = Pages({"A", "@l", "#cmd", "#goto @l", "B"}, 1);
    script->Advance();
    try {
        script->Advance();
        ADD_FAILURE() << "no error";
    } catch (const EScriptError& e) {
        EXPECT_NE(std::string(e.what()).find("(dat\\story.txt, line 4)"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(script->IsFinished());
}

TEST_P(Runner, PageSizeBelowOne)
{
    auto pages = Pages({"A", "B", "C"}, 0);
    EXPECT_EQ(Step(*pages, 2), (Ev{"[]", "[]"}));
    EXPECT_EQ(pages->CurrentCursor(), 0);

    WriteStory(Story({"A", "B", "C"}));
    TVoskScript text(test::kStoryName, false);
    text.SetTextHandlers(OnText, OnClear);
    EXPECT_THROW(text.Advance(), EScriptError);
}

TEST_P(Runner, WithoutAScriptSteppingNamesTheMissingFile)
{
    TVoskScript script(test::kStoryName, false);
    script.SetPageSize(1);
    script.SetPageHandler(OnPage);
    for (auto step : {&TVoskScript::Advance, &TVoskScript::JumpToChoice}) {
        try {
            (script.*step)();
            ADD_FAILURE() << "no error";
        } catch (const EScriptError& e) {
            EXPECT_EQ(std::string(e.what()), "Story file not found: dat\\story.txt");
        }
    }
    EXPECT_TRUE(Events.empty());
}

TEST_P(Runner, JumpToChoiceFollowsTheChoiceLabel)
{
    auto script = Pages({"A", "@a", "X", "@b", "B", "C"}, 1);
    script->Advance();
    ChoiceLabel = "@b";
    script->JumpToChoice();
    ChoiceLabel = "b"; // not a label: no jump
    script->JumpToChoice();
    EXPECT_EQ(Events, (Ev{"[A]", "[B]", "[]"}));
}

} // namespace
} // namespace mirt
