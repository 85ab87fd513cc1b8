// The main window: one picture; a click on it shows the next story line in a
// message box, a click on the choice button jumps in the story first. The
// keyboard does the same.
#pragma once

#include "framework/VoskForm.h"

namespace mirt {

class TFormMain : public TVoskForm {
public:
    // Builds the design: the window, PageMain, Image1 and Button1.
    TFormMain();
    // Frees the story.
    ~TFormMain() override;

    // The picture's width and height; the client area is the same square.
    static constexpr int PictureSize = 200;

    // A PictureSize square client area, centred; starts the story; shows the page.
    void Create() override;

    // Keys for players without a mouse: Enter and Space press the focused
    // choice button when one is shown, else click the picture; Page Down,
    // Right and Down always click the picture (declining a choice). Alt and
    // F10 stay claimed.
    bool ClaimKey(gui::TControl& Target, const gui::TKeyMessage& Message) override;

    void Image1Click(gui::TControl* Sender);
    void Button1Click(gui::TControl* Sender);
    // Hides the button, shows CurrentMessage and advances the story.
    void NextMessage();

    gui::TPanel* PageMain = nullptr;
    gui::TImage* Image1 = nullptr;
    gui::TButton* Button1 = nullptr;
};

// The main window; set by CreateForm once constructed, before its Create() runs.
extern TFormMain* FormMain;

} // namespace mirt
