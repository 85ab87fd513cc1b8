#include "platform/gui/headless/Headless.h"

#include "platform/gui/Application.h"
#include "platform/gui/Controls.h"

namespace mirt::gui::headless {
namespace {

class THeadlessPeer final : public TPeer {
public:
    THeadlessPeer(THeadlessBackend& backend, TControl& control) : backend_(backend), control_(control) {}
    void Changed(TChange) override {}
    TSize OuterSize() const override { return {control_.Width(), control_.Height()}; }
    void Show() override { ++backend_.FormsShown; }

private:
    THeadlessBackend& backend_;
    TControl& control_;
};

} // namespace

std::unique_ptr<TPeer> THeadlessBackend::CreatePeer(TControl& control)
{
    return std::make_unique<THeadlessPeer>(*this, control);
}

void THeadlessBackend::RunMessageLoop()
{
    while (!Application->QuitRequested()) {
        if (actions_.empty()) return; // the user closes the main window
        auto action = std::move(actions_.front());
        actions_.pop_front();
        ++LoopTurns;
        action();
    }
    LoopEndedByQuit = true;
}

void THeadlessBackend::MessageBox(const AnsiString& caption, const AnsiString& text)
{
    Messages.push_back({caption, text});
    if (WhileBoxOpen) WhileBoxOpen(Messages.back());
}

void THeadlessBackend::ErrorBox(const AnsiString& caption, const AnsiString& text)
{
    Errors.push_back({caption, text});
}

} // namespace mirt::gui::headless
