// A backend without a screen, for tests. It runs the program's event loop
// over a queue of user actions, answers every modal box at once and records
// what the program showed: message boxes, error boxes, alert sounds and the
// windows it mapped. Control state (picture, caption, place, visibility,
// focus) is read from the controls themselves.
#pragma once

#include "platform/gui/Backend.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace mirt::gui::headless {

struct TBox {
    AnsiString Caption;
    AnsiString Text;
    bool operator==(const TBox&) const = default;
};

class THeadlessBackend final : public TBackend {
public:
    // Screen size the program sees.
    TSize Screen{1024, 768};

    // A user action, run as one turn of the message loop. The loop runs the
    // queued actions in order until a quit is requested; when the queue runs
    // dry the user closes the main window.
    void Then(std::function<void()> action) { actions_.push_back(std::move(action)); }

    // Called while a message box is open, before it is answered (a test may
    // try to click the window then).
    std::function<void(const TBox&)> WhileBoxOpen;

    std::vector<TBox> Messages; // message boxes in order
    std::vector<TBox> Errors;   // error boxes in order
    int AlertSounds = 0;
    int FormsShown = 0;
    int LoopTurns = 0; // user actions run by the message loop
    bool LoopEndedByQuit = false;

    std::unique_ptr<TPeer> CreatePeer(TControl& control) override;
    TSize PrimaryScreenSize() override { return Screen; }
    void RunMessageLoop() override;
    void MessageBox(const AnsiString& caption, const AnsiString& text) override;
    void ErrorBox(const AnsiString& caption, const AnsiString& text) override;
    void AlertSound() override { ++AlertSounds; }

private:
    std::deque<std::function<void()>> actions_;
};

} // namespace mirt::gui::headless
