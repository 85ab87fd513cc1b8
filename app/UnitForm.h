// The main window: one picture; a click on it shows the next story line in a
// message box, a click on the choice button jumps in the story first.
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
