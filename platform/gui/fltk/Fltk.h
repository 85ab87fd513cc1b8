// The FLTK backend: the real program's windows, drawn on X11 through FLTK 1.3.
// Every FLTK call of the program lives in this folder.
#pragma once

#include "platform/gui/Backend.h"

namespace mirt::gui::fltk {

class TFltkBackend final : public TBackend {
public:
    // Installs the keyboard filter that lets forms claim key messages.
    TFltkBackend();
    ~TFltkBackend() override;

    std::unique_ptr<TPeer> CreatePeer(TControl& control) override;
    TSize PrimaryScreenSize() override;
    void RunMessageLoop() override;
    void MessageBox(const AnsiString& caption, const AnsiString& text) override;
    void ErrorBox(const AnsiString& caption, const AnsiString& text) override;
    void AlertSound() override;
};

} // namespace mirt::gui::fltk
