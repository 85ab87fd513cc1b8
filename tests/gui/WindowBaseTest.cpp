// The window base and the application object on the headless backend.
#include "framework/VoskForm.h"
#include "platform/gui/Application.h"
#include "platform/gui/headless/Headless.h"
#include "platform/runtime/System.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace mirt {
namespace {

using gui::headless::THeadlessBackend;

// A window whose design size and panel bounds differ from what it asks for.
class TTestForm : public TVoskForm {
public:
    static inline int ClientW = 200, ClientH = 200;
    static inline bool FailInCreate = false;
    static inline bool FailInConstructor = false;
    static inline int Destroyed = 0;
    static inline TTestForm* SeenInCreate = nullptr;

    TTestForm() : TVoskForm(gui::TFormDesign{"test", 737, 510, 198, 178, {}, nullptr})
    {
        Page = Add<gui::TPanel>();
        Page->SetBounds(24, 24, 500, 300);
        if (FailInConstructor) throw EInOutError("design unreadable", 5);
    }
    ~TTestForm() override { ++Destroyed; }

    void Create() override;

    gui::TPanel* Page = nullptr;
};

TTestForm* TestForm = nullptr;

void TTestForm::Create()
{
    SetClientSize(ClientW, ClientH);
    TVoskForm::Create();
    SeenInCreate = TestForm;
    if (FailInCreate) throw EScriptError("broken story");
    ShowPage(*Page, true);
}

class WindowBase : public ::testing::Test {
protected:
    void SetUp() override
    {
        TTestForm::ClientW = TTestForm::ClientH = 200;
        TTestForm::FailInCreate = false;
        TTestForm::FailInConstructor = false;
        TTestForm::Destroyed = 0;
        TTestForm::SeenInCreate = nullptr;
        TestForm = nullptr;
    }
    THeadlessBackend backend;
};

struct TCentreCase {
    gui::TSize Screen;
    int ClientW, ClientH;
    int Left, Top;
};

TEST_F(WindowBase, CentresTheChosenClientSizeOnThePrimaryScreen)
{
    const TCentreCase cases[] = {
        {{1024, 768}, 200, 200, 412, 284}, {{1025, 769}, 200, 200, 412, 284},
        {{100, 100}, 200, 200, -50, -50},  {{199, 199}, 200, 200, 0, 0}, // -1 div 2 rounds toward zero
        {{100, 101}, 203, 204, -51, -51},
    };
    for (const TCentreCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.Screen.Width << "x" << c.Screen.Height);
        THeadlessBackend b;
        b.Screen = c.Screen;
        gui::TApplication app(b);
        TTestForm::ClientW = c.ClientW;
        TTestForm::ClientH = c.ClientH;
        app.CreateForm(TestForm);
        EXPECT_EQ(TestForm->ClientWidth(), c.ClientW);
        EXPECT_EQ(TestForm->ClientHeight(), c.ClientH);
        EXPECT_EQ(TestForm->Left(), c.Left);
        EXPECT_EQ(TestForm->Top(), c.Top);
        const gui::TPanel& p = *TestForm->Page;
        EXPECT_EQ((std::vector{p.Left(), p.Top(), p.Width(), p.Height()}), (std::vector{0, 0, c.ClientW, c.ClientH}));
        EXPECT_TRUE(p.Visible());
    }
    EXPECT_EQ(TestForm, nullptr); // the application destroyed its main form
}

TEST_F(WindowBase, FormIsStoredBeforeItsSetUpRunsAndDestroyedWhenItFails)
{
    gui::TApplication app(backend);
    TTestForm::FailInCreate = true;
    EXPECT_THROW(app.CreateForm(TestForm), EScriptError);
    EXPECT_NE(TTestForm::SeenInCreate, nullptr);
    EXPECT_EQ(TestForm, nullptr);
    EXPECT_EQ(TTestForm::Destroyed, 1);
    EXPECT_EQ(app.MainForm(), nullptr);
}

TEST_F(WindowBase, FormWhoseConstructorFailsIsNeverStored)
{
    gui::TApplication app(backend);
    TTestForm::FailInConstructor = true;
    EXPECT_THROW(app.CreateForm(TestForm), EInOutError);
    EXPECT_EQ(TestForm, nullptr);
    EXPECT_EQ(TTestForm::SeenInCreate, nullptr); // Create() never ran
    EXPECT_EQ(TTestForm::Destroyed, 0);          // a half-built object has no destructor to run
    EXPECT_EQ(app.MainForm(), nullptr);
}

TEST_F(WindowBase, QuitRequestedBeforeTheLoopEndsItAtOnce)
{
    backend.Then([] { ADD_FAILURE() << "the loop ran a turn"; });
    const int code = gui::RunProgram(backend, [] {
        gui::Application->CreateForm(TestForm);
        RequestQuit();
        gui::Application->Run();
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(backend.LoopEndedByQuit);
    EXPECT_EQ(backend.FormsShown, 1);
    EXPECT_EQ(TTestForm::Destroyed, 1);
}

TEST_F(WindowBase, QuitRequestLetsTheCurrentHandlerFinish)
{
    bool finished = false;
    backend.Then([&] {
        gui::Application->HandleEvent([&] {
            RequestQuit();
            finished = true;
        });
    });
    backend.Then([] { ADD_FAILURE() << "the loop went on after the quit request"; });
    EXPECT_EQ(gui::RunProgram(backend,
                              [] {
                                  gui::Application->CreateForm(TestForm);
                                  gui::Application->Run();
                              }),
              0);
    EXPECT_TRUE(finished);
    EXPECT_TRUE(backend.LoopEndedByQuit);
}

TEST_F(WindowBase, HandlerErrorsBecomeErrorBoxesAndTheProgramGoesOn)
{
    gui::TApplication app(backend);
    app.Title = "mirt";
    app.HandleEvent([] { throw EPictureError("bad picture"); });
    app.HandleEvent([] { throw std::runtime_error("odd failure"); });
    bool ran = false;
    app.HandleEvent([&] { ran = true; });
    EXPECT_TRUE(ran);
    ASSERT_EQ(backend.Errors.size(), 2u);
    EXPECT_EQ(backend.Errors[0], (gui::headless::TBox{"mirt", "bad picture."}));
    EXPECT_EQ(backend.Errors[1], (gui::headless::TBox{"mirt", "odd failure."}));
}

TEST_F(WindowBase, ErrorTextGainsAFullStopAfterCharactersThatSortAfterIt)
{
    const std::pair<AnsiString, AnsiString> cases[] = {
        {"abc", "abc."}, {"line 3", "line 3."},     {"done.", "done."}, {"(x)", "(x)"}, {"a-", "a-"}, {"a/", "a/."},
        {"", ""},        {"\x82\xA0", "\x82\xA0."}, {"end ", "end "},
    };
    for (const auto& [message, text] : cases) EXPECT_EQ(gui::ErrorBoxText(message), text) << message;
}

} // namespace
} // namespace mirt
