// What a GUI toolkit must provide to the controls and the application object.
// The controls keep all their state (bounds, caption, visibility, picture,
// focus); a backend peer only mirrors it on screen. Every toolkit call lives
// in a backend (platform/gui/fltk, platform/gui/headless).
#pragma once

#include "platform/runtime/Strings.h"

#include <memory>

namespace mirt::gui {

class TControl;

struct TSize {
    int Width = 0;
    int Height = 0;
};

// What changed on a control since its peer last looked.
enum class TChange { Bounds, Visible, Caption, Picture, Focus };

// The on-screen side of one control, created by the backend for it.
class TPeer {
public:
    virtual ~TPeer() = default;
    virtual void Changed(TChange what) = 0;
    // Size of the window with its frame; equals the client size where the
    // frame is not known (not yet mapped, or no window manager).
    virtual TSize OuterSize() const = 0;
    virtual void Show() = 0; // forms only: map the window
};

class TBackend {
public:
    virtual ~TBackend() = default;

    // A peer for control, whose parent (if any) already has one.
    virtual std::unique_ptr<TPeer> CreatePeer(TControl& control) = 0;
    // Full size of the primary display.
    virtual TSize PrimaryScreenSize() = 0;
    // Processes events until QuitRequested() of the application is true or
    // the main window is gone; a quit requested beforehand returns at once.
    virtual void RunMessageLoop() = 0;
    // Modal boxes: return when the user has closed them. Every other window
    // of the program takes no input meanwhile. Texts are code-page bytes.
    virtual void MessageBox(const AnsiString& caption, const AnsiString& text) = 0;
    virtual void ErrorBox(const AnsiString& caption, const AnsiString& text) = 0;
    virtual void AlertSound() = 0;
};

} // namespace mirt::gui
