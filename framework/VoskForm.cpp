#include "framework/VoskForm.h"

#include "platform/gui/Application.h"

namespace mirt {

using gui::TKeyMessage;

void TVoskForm::SetClientSize(std::int32_t Width, std::int32_t Height)
{
    DesiredClientWidth = Width;
    DesiredClientHeight = Height;
}

void TVoskForm::Create()
{
    ApplyClientSize(DesiredClientWidth, DesiredClientHeight);
    const gui::TSize screen = gui::Application->Backend().PrimaryScreenSize();
    const gui::TSize outer = OuterSize();
    SetPosition((screen.Width - outer.Width) / 2, (screen.Height - outer.Height) / 2);
}

void TVoskForm::ShowPage(gui::TControl& Panel, bool Visible)
{
    Panel.SetBounds(0, 0, ClientWidth(), ClientHeight());
    Panel.SetVisible(Visible);
}

bool TVoskForm::ClaimKey(gui::TControl&, const TKeyMessage& Message)
{
    // Only key messages: the character "y" shares its code with F10 and
    // stays a character.
    switch (Message.Kind) {
    case TKeyMessage::KeyDown:
    case TKeyMessage::KeyUp:
    case TKeyMessage::SysKeyDown:
    case TKeyMessage::SysKeyUp: return Message.Code == gui::VK_MENU || Message.Code == gui::VK_F10;
    default: return false;
    }
}

} // namespace mirt
