// The story player driven through the real TFormMain on the headless backend:
// stories are written to a temporary folder, the program's main block runs
// on them, and the user's clicks and keys are queued as loop turns.
#include "app/MainBlock.h"
#include "app/UnitCommon.h"
#include "app/UnitForm.h"
#include "engine/VoskScript.h"
#include "platform/gui/Application.h"
#include "platform/gui/headless/Headless.h"
#include "platform/runtime/CodePage.h"
#include "tests/app/StoryFiles.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

namespace mirt {
namespace {

using gui::headless::TBox;
using gui::headless::THeadlessBackend;
using test::TStoryFolder;

class StoryPlayer : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetSysCodePage(CodePageForLocale("en_US"));
        CurrentMessage.clear();
        ChoiceLabel.clear();
        FormMain = nullptr;
    }

    int Play() { return gui::RunProgram(backend, MainBlock); }

    // Queues clicks: 'I' on the picture, 'B' on the choice button; each must be taken.
    void Clicks(const std::string& clicks)
    {
        for (char c : clicks)
            backend.Then([c] {
                gui::TControl& target = c == 'B' ? static_cast<gui::TControl&>(*FormMain->Button1) : *FormMain->Image1;
                EXPECT_TRUE(target.UserClick()) << "click " << c << " not taken";
            });
    }

    std::vector<AnsiString> Shown() const
    {
        std::vector<AnsiString> texts;
        for (const TBox& box : backend.Messages) {
            EXPECT_EQ(box.Caption, "mirt");
            texts.push_back(box.Text);
        }
        return texts;
    }

    TStoryFolder folder;
    THeadlessBackend backend;
};

TEST_F(StoryPlayer, StartShowsTheFirstPictureCentredAndNoBoxUntilAClick)
{
    folder.Bmp("a.bmp", 30, 20, 0x336699);
    folder.Story({"#image a.bmp", "Hello", "Bye", ""});
    backend.Screen = {1001, 701};
    backend.Then([&] {
        EXPECT_TRUE(backend.Messages.empty());
        EXPECT_EQ(backend.FormsShown, 1);
        const gui::TForm& form = *FormMain;
        EXPECT_EQ(form.Caption(), "mirt");
        EXPECT_EQ(form.ClientWidth(), 200);
        EXPECT_EQ(form.ClientHeight(), 200);
        EXPECT_EQ(form.Left(), 400);
        EXPECT_EQ(form.Top(), 250);
        const gui::TPanel& page = *FormMain->PageMain;
        EXPECT_EQ((std::vector{page.Left(), page.Top(), page.Width(), page.Height()}), (std::vector{0, 0, 200, 200}));
        EXPECT_TRUE(page.Visible());
        EXPECT_FALSE(FormMain->Button1->Visible());
        const TBitmap* bitmap = FormMain->Image1->Picture().Bitmap();
        ASSERT_NE(bitmap, nullptr);
        EXPECT_EQ(bitmap->Width, 30);
        EXPECT_EQ(bitmap->Height, 20);
        EXPECT_EQ(bitmap->Pixels.at(0), 0xFF336699u);
        EXPECT_EQ(CurrentMessage, "Hello");
    });
    Clicks("I");
    EXPECT_EQ(Play(), 0);
    EXPECT_EQ(Shown(), std::vector<AnsiString>{"Hello"});
    EXPECT_EQ(FormMain, nullptr);
    EXPECT_EQ(Story, nullptr);
}

struct TPlayCase {
    const char* Name;
    std::vector<std::string> Script;
    std::string Clicks;            // 'I' picture, 'B' button
    std::vector<AnsiString> Shown; // texts of the message boxes, in order
    int Errors;                    // error boxes
    bool StoryEnds;                // the story asked to quit (else the user closed the window)
};

const std::vector<std::string> kChoice = {"Where now?", "#button Run @flee", "You stay.", "#end",
                                          "@flee",      "You run.",          "#end"};

const TPlayCase kPlayCases[] = {
    {"choice taken", kChoice, "IB", {"Where now?", "You run."}, 0, true},
    {"picture click ignores the choice", kChoice, "II", {"Where now?", "You stay."}, 0, true},
    {"last shown line ends the story", {"One", "Two", "Three", "#end", "x"}, "III", {"One", "Two", "Three"}, 0, true},
    {"story goes on until its end", {"One", "Two", "Three", "#end", "x"}, "II", {"One", "Two"}, 0, false},
    {"two text lines show only the first", {"A", "B"}, "I", {"A"}, 0, true},
    {"one text line shows nothing", {"A"}, "", {}, 0, true},
    {"end before the first text line", {"#end", "A", "B"}, "", {}, 0, true},
    {"image and button without arguments change nothing",
     {"#image", "#button Go", "A", "B", "C", ""},
     "II",
     {"A", "B"},
     0,
     false},
    {"choice to a missing label skips the waiting line",
     {"Q", "#button Go @nowhere", "W", "X", "Y"},
     "IB",
     {"Q", "X"},
     0,
     true},
    {"choice to a label without @ skips the waiting line",
     {"Q", "#button Go nowhere", "W", "X", "Y"},
     "IB",
     {"Q", "X"},
     0,
     true},
    {"choice straight to the end shows an empty box",
     {"Q", "#button Go @e", "W", "#end", "@e", "#end", "z"},
     "IB",
     {"Q", ""},
     0,
     true},
    {"bad picture during a click shows the same text once more",
     {"A", "#image missing.bmp", "B", "C", "D", ""},
     "III",
     {"A", "A", "B"},
     1,
     false},
    {"goto without label during a click", {"A", "#goto", "B", "C", "D", ""}, "III", {"A", "A", "B"}, 1, false},
    {"error after the choice label keeps the button and the waiting line",
     {"Q", "#button Go @x", "W", "#end", "@x", "#image missing.bmp", "X", "Y", "Z", ""},
     "IBBII",
     {"Q", "W", "X"},
     2,
     false},
};

TEST_F(StoryPlayer, PlaysStories)
{
    for (const TPlayCase& c : kPlayCases) {
        SCOPED_TRACE(c.Name);
        TStoryFolder caseFolder;
        THeadlessBackend caseBackend;
        std::swap(backend, caseBackend);
        CurrentMessage.clear();
        ChoiceLabel.clear();
        caseFolder.Story(c.Script);
        Clicks(c.Clicks);
        EXPECT_EQ(Play(), 0);
        EXPECT_EQ(Shown(), c.Shown);
        EXPECT_EQ(static_cast<int>(backend.Errors.size()), c.Errors);
        EXPECT_EQ(backend.LoopEndedByQuit, c.StoryEnds);
        EXPECT_EQ(backend.LoopTurns, static_cast<int>(c.Clicks.size()));
        EXPECT_EQ(FormMain, nullptr);
        EXPECT_EQ(Story, nullptr);
    }
}

TEST_F(StoryPlayer, ErrorDuringAClickIsShownCaptionedWithTheTitle)
{
    folder.Story({"A", "#image missing.bmp", "B", ""});
    Clicks("I");
    backend.Then([] { EXPECT_EQ(CurrentMessage, "A"); });
    EXPECT_EQ(Play(), 0);
    ASSERT_EQ(backend.Errors.size(), 1u);
    EXPECT_EQ(backend.Errors[0].Caption, "mirt");
    EXPECT_NE(backend.Errors[0].Text.find("missing.bmp"), std::string::npos) << backend.Errors[0].Text;
    EXPECT_EQ(backend.Errors[0].Text, gui::ErrorBoxText(backend.Errors[0].Text));
}

TEST_F(StoryPlayer, FailedPictureKeepsTheOldOne)
{
    folder.Bmp("a.bmp", 4, 4, 0xFF0000);
    folder.Write("bad.bmp", "BM not a bitmap");
    folder.Story({"#image a.bmp", "A", "#image bad.bmp", "B", ""});
    Clicks("I");
    backend.Then([] {
        const TBitmap* bitmap = FormMain->Image1->Picture().Bitmap();
        ASSERT_NE(bitmap, nullptr);
        EXPECT_EQ(bitmap->Pixels.at(0), 0xFFFF0000u);
    });
    EXPECT_EQ(Play(), 0);
    EXPECT_EQ(backend.Errors.size(), 1u);
}

TEST_F(StoryPlayer, ButtonLandsAtRandomPlacesInsideThePicture)
{
    folder.Story({"@top", "#button Go @top", "Pick", "#goto @top", ""});
    std::set<std::pair<int, int>> places;
    for (int i = 0; i < 60; ++i)
        backend.Then([&] {
            const gui::TButton& b = *FormMain->Button1;
            ASSERT_TRUE(b.Visible());
            EXPECT_EQ(b.Caption(), "Go");
            EXPECT_EQ(b.Width(), 57);
            EXPECT_EQ(b.Height(), 33);
            EXPECT_GE(b.Left(), 0);
            EXPECT_LE(b.Left(), 200 - 57 - 1);
            EXPECT_GE(b.Top(), 0);
            EXPECT_LE(b.Top(), 200 - 33 - 1);
            places.insert({b.Left(), b.Top()});
            EXPECT_TRUE(FormMain->Image1->UserClick());
        });
    EXPECT_EQ(Play(), 0);
    EXPECT_GT(places.size(), 30u);
}

TEST_F(StoryPlayer, LastButtonWinsAndAPictureClickHidesIt)
{
    folder.Story({"#button One @a", "#button Two @b", "Text", "More", "@a", "A", "@b", "B", ""});
    backend.Then([] {
        EXPECT_TRUE(FormMain->Button1->Visible());
        EXPECT_EQ(FormMain->Button1->Caption(), "Two");
        EXPECT_EQ(ChoiceLabel, "@b");
        EXPECT_EQ(FormMain->PageMain->Children().size(), 2u);
    });
    backend.WhileBoxOpen = [](const TBox&) { EXPECT_FALSE(FormMain->Button1->Visible()); };
    Clicks("I");
    backend.Then([] {
        EXPECT_FALSE(FormMain->Button1->Visible());
        EXPECT_FALSE(FormMain->Button1->UserClick());
        EXPECT_EQ(ChoiceLabel, "@b");
    });
    EXPECT_EQ(Play(), 0);
    EXPECT_EQ(Shown(), std::vector<AnsiString>{"Text"});
}

TEST_F(StoryPlayer, NothingTakesInputWhileABoxIsOpen)
{
    folder.Story({"#button Go @g", "A", "B", "@g", "G", ""});
    int boxes = 0;
    backend.WhileBoxOpen = [&](const TBox&) {
        ++boxes;
        EXPECT_FALSE(FormMain->Image1->UserClick());
        EXPECT_FALSE(FormMain->KeyMessage({gui::TKeyMessage::KeyDown, gui::VK_RETURN}));
    };
    Clicks("I");
    EXPECT_EQ(Play(), 0);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(Shown(), std::vector<AnsiString>{"A"});
}

TEST_F(StoryPlayer, KeyboardPressesTheFocusedButtonAndAltAndF10AreClaimed)
{
    using gui::TKeyMessage;
    folder.Story({"Q", "#button Go @g", "W", "X", "@g", "G", "H", ""});
    Clicks("I");
    backend.Then([] {
        gui::TForm& form = *FormMain;
        EXPECT_EQ(form.ActiveControl(), FormMain->Button1);
        // Claimed: nothing happens, not even on the focused button.
        for (auto kind : {TKeyMessage::KeyDown, TKeyMessage::KeyUp, TKeyMessage::SysKeyDown, TKeyMessage::SysKeyUp})
            for (int code : {gui::VK_MENU, gui::VK_F10}) EXPECT_TRUE(form.KeyMessage({kind, code}));
        // The character "y" shares F10's code and stays a character.
        EXPECT_FALSE(form.KeyMessage({TKeyMessage::Char, 'y'}));
        EXPECT_FALSE(form.KeyMessage({TKeyMessage::KeyDown, 'A'}));
        EXPECT_TRUE(FormMain->Button1->Visible());
        EXPECT_TRUE(form.KeyMessage({TKeyMessage::KeyDown, gui::VK_RETURN}));
        // Hiding the button gave the focus back to the window; Space now
        // clicks the picture.
        EXPECT_EQ(form.ActiveControl(), nullptr);
        EXPECT_TRUE(form.KeyMessage({TKeyMessage::KeyDown, gui::VK_SPACE}));
    });
    EXPECT_EQ(Play(), 0);
    EXPECT_EQ(Shown(), (std::vector<AnsiString>{"Q", "G", "H"}));
}

struct TKeyCase {
    const char* Name;
    gui::TKeyMessage Message;
    bool ButtonShown;                 // a choice is on screen when the key goes
    std::vector<AnsiString> Expected; // boxes after the key (and the click that showed the button)
};

const TKeyCase kKeyCases[] = {
    // With no choice on screen every key of the set clicks the picture.
    {"Enter", {gui::TKeyMessage::KeyDown, gui::VK_RETURN}, false, {"A"}},
    {"Space", {gui::TKeyMessage::KeyDown, gui::VK_SPACE}, false, {"A"}},
    {"Page Down", {gui::TKeyMessage::KeyDown, gui::VK_NEXT}, false, {"A"}},
    {"Right", {gui::TKeyMessage::KeyDown, gui::VK_RIGHT}, false, {"A"}},
    {"Down", {gui::TKeyMessage::KeyDown, gui::VK_DOWN}, false, {"A"}},
    // With a choice, Enter and Space take it; the others decline it.
    {"Enter on a choice", {gui::TKeyMessage::KeyDown, gui::VK_RETURN}, true, {"Q", "G"}},
    {"Space on a choice", {gui::TKeyMessage::KeyDown, gui::VK_SPACE}, true, {"Q", "G"}},
    {"Page Down on a choice", {gui::TKeyMessage::KeyDown, gui::VK_NEXT}, true, {"Q", "W"}},
    {"Right on a choice", {gui::TKeyMessage::KeyDown, gui::VK_RIGHT}, true, {"Q", "W"}},
    {"Down on a choice", {gui::TKeyMessage::KeyDown, gui::VK_DOWN}, true, {"Q", "W"}},
    // Releases, other keys and characters do nothing.
    {"Enter released", {gui::TKeyMessage::KeyUp, gui::VK_RETURN}, false, {}},
    {"Right released", {gui::TKeyMessage::KeyUp, gui::VK_RIGHT}, false, {}},
    {"Left", {gui::TKeyMessage::KeyDown, 37}, false, {}},
    {"Up", {gui::TKeyMessage::KeyDown, 38}, false, {}},
    {"Page Up", {gui::TKeyMessage::KeyDown, 33}, false, {}},
    {"Space as a character", {gui::TKeyMessage::Char, ' '}, false, {}},
    {"Alt+Enter", {gui::TKeyMessage::SysKeyDown, gui::VK_RETURN}, false, {}},
    {"Right on a choice released", {gui::TKeyMessage::KeyUp, gui::VK_RIGHT}, true, {"Q"}},
};

TEST_F(StoryPlayer, KeysAdvanceTheStoryOrTakeTheChoice)
{
    for (const TKeyCase& c : kKeyCases) {
        SCOPED_TRACE(c.Name);
        TStoryFolder caseFolder;
        THeadlessBackend caseBackend;
        if (c.ButtonShown) {
            caseFolder.Story({"Q", "#button Go @g", "W", "X", "@g", "G", "H", ""});
            caseBackend.Then([] { EXPECT_TRUE(FormMain->Image1->UserClick()); });
            caseBackend.Then([] { EXPECT_TRUE(FormMain->Button1->Visible()); });
        } else {
            caseFolder.Story({"A", "B", ""});
        }
        caseBackend.Then([&c] { FormMain->KeyMessage(c.Message); });
        EXPECT_EQ(gui::RunProgram(caseBackend, MainBlock), 0);
        std::vector<AnsiString> shown;
        for (const TBox& box : caseBackend.Messages) shown.push_back(box.Text);
        EXPECT_EQ(shown, c.Expected);
        EXPECT_TRUE(caseBackend.Errors.empty());
    }
}

TEST_F(StoryPlayer, SpacePressesTheButtonToo)
{
    folder.Story({"#button Go @g", "A", "@g", "G", "H", ""});
    backend.Then([] { EXPECT_TRUE(FormMain->KeyMessage({gui::TKeyMessage::KeyDown, gui::VK_SPACE})); });
    EXPECT_EQ(Play(), 0);
    EXPECT_EQ(Shown(), std::vector<AnsiString>{"G"});
}

TEST_F(StoryPlayer, ShiftJisStoryPlaysWithItsBytes)
{
    SetSysCodePage(CodePageForLocale("ja_JP.UTF-8"));
    // "はい" and a button captioned "逃げる" in Shift-JIS.
    const std::string hai = "\x82\xCD\x82\xA2", nigeru = "\x93\xA6\x82\xB0\x82\xE9";
    folder.Story({hai, "#button " + nigeru + " @n", "x", "@n", "y", "z", ""});
    Clicks("I");
    backend.Then([&] { EXPECT_EQ(FormMain->Button1->Caption(), nigeru); });
    Clicks("B");
    EXPECT_EQ(Play(), 0);
    EXPECT_EQ(Shown(), (std::vector<AnsiString>{hai, "y"}));
}

struct TStartupCase {
    const char* Name;
    std::vector<std::string> Script; // empty: no dat/story.txt at all
    const char* Kind;
    const char* MessagePart;
};

const TStartupCase kStartupCases[] = {
    {"missing story", {}, "EScriptError", "story.txt"},
    {"unknown picture extension", {"#image notes.txt", "A", "B"}, "EPictureError", "txt"},
    {"missing picture", {"#image none.jpg", "A", "B"}, "", "none.jpg"},
    {"goto without label", {"#goto", "A", "B"}, "ERangeError", ""},
    {"story too long", std::vector<std::string>(10000, "A"), "ERangeError", ""},
};

TEST_F(StoryPlayer, StartupErrorShowsOneBoxAndExitsWithOne)
{
    for (const TStartupCase& c : kStartupCases) {
        SCOPED_TRACE(c.Name);
        TStoryFolder caseFolder;
        THeadlessBackend caseBackend;
        if (!c.Script.empty()) caseFolder.Story(c.Script);
        EXPECT_EQ(gui::RunProgram(caseBackend, MainBlock), 1);
        ASSERT_EQ(caseBackend.Errors.size(), 1u);
        const TBox& box = caseBackend.Errors[0];
        EXPECT_EQ(box.Caption, "Error");
        EXPECT_EQ(box.Text.rfind(c.Kind, 0), 0u) << box.Text;
        EXPECT_NE(box.Text.find(": "), std::string::npos) << box.Text;
        EXPECT_NE(box.Text.find(c.MessagePart), std::string::npos) << box.Text;
        EXPECT_TRUE(caseBackend.Messages.empty());
        EXPECT_EQ(caseBackend.FormsShown, 0);
        EXPECT_EQ(caseBackend.AlertSounds, c.Script.empty() ? 1 : 0);
        EXPECT_EQ(FormMain, nullptr);
        EXPECT_EQ(Story, nullptr);
    }
}

} // namespace
} // namespace mirt
