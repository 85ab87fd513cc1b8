// The base of the program's windows: a chosen client size, centred on the
// primary screen, page panels stretched over the client area, and the Alt
// and F10 keys kept away from the window and its controls.
#pragma once

#include "platform/gui/Controls.h"

#include <cstdint>

namespace mirt {

class TVoskForm : public gui::TForm {
public:
    explicit TVoskForm(const gui::TFormDesign& design) : gui::TForm(design) {}

    // Client size to apply when Create() runs; a descendant calls it first
    // thing in its own Create().
    void SetClientSize(std::int32_t Width, std::int32_t Height);

    // Applies the chosen client size and centres the window on the primary
    // screen by its outer size (integer division toward zero, so a window
    // larger than the screen gets a negative position).
    void Create() override;

    // Places Panel at (0, 0) with the current client size and sets its visibility.
    void ShowPage(gui::TControl& Panel, bool Visible);

    // Claims key messages (not characters) for the Alt key and F10.
    bool ClaimKey(gui::TControl& Target, const gui::TKeyMessage& Message) override;

    std::int32_t DesiredClientWidth = 0;
    std::int32_t DesiredClientHeight = 0;
};

} // namespace mirt
