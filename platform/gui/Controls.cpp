#include "platform/gui/Controls.h"

#include "platform/gui/Application.h"

namespace mirt::gui {

TControl::TControl(TControlKind kind, TControl* parent) : kind_(kind), parent_(parent) {}

TControl::~TControl()
{
    // Children go before this control's peer, so their peers never outlive it.
    children_.clear();
    peer_.reset();
}

void TControl::CreatePeer() { peer_ = Application->Backend().CreatePeer(*this); }

void TControl::Notify(TChange what)
{
    if (peer_) peer_->Changed(what);
}

TForm& TControl::Form()
{
    TControl* c = this;
    while (c->parent_) c = c->parent_;
    return static_cast<TForm&>(*c);
}

void TControl::SetBounds(int left, int top, int width, int height)
{
    if (left == left_ && top == top_ && width == width_ && height == height_) return;
    left_ = left;
    top_ = top;
    width_ = width;
    height_ = height;
    Notify(TChange::Bounds);
}

void TControl::SetVisible(bool visible)
{
    if (visible == visible_) return;
    visible_ = visible;
    Notify(TChange::Visible);
    if (!visible && parent_) Form().ChildHidden(*this);
}

bool TControl::Showing() const
{
    for (const TControl* c = this; c; c = c->parent_)
        if (!c->visible_) return false;
    return true;
}

void TControl::Click()
{
    if (OnClick) OnClick(this);
}

bool TControl::UserClick()
{
    if (!Application->InputAllowed() || !Showing()) return false;
    Application->HandleEvent([this] { Click(); });
    return true;
}

void TImage::LoadPicture(const AnsiString& windowsName)
{
    picture_.LoadFromFile(windowsName, TDecodeLimit{Width(), Height()});
    Notify(TChange::Picture);
}

void TButton::SetCaption(const AnsiString& caption)
{
    if (caption == caption_) return;
    caption_ = caption;
    Notify(TChange::Caption);
}

void TButton::SetVisible(bool visible)
{
    TControl::SetVisible(visible);
    if (visible && !Form().ActiveControl() && Showing()) Form().SetActiveControl(this);
}

TForm::TForm(const TFormDesign& design)
    : TControl(TControlKind::Form, nullptr), caption_(design.Caption), font_(design.Font), icon_(design.Icon)
{
    SetBounds(design.Left, design.Top, design.ClientWidth, design.ClientHeight);
    CreatePeer();
}

TForm::~TForm() { active_ = nullptr; }

TSize TForm::OuterSize() const { return Peer() ? Peer()->OuterSize() : TSize{Width(), Height()}; }

void TForm::Show()
{
    if (Visible()) return;
    SetVisible(true);
    if (Peer()) Peer()->Show();
    // The window takes the focus; the first visible control that takes it gets it.
    if (!active_) {
        for (const TControl* c : FocusOrder())
            if (c->Kind() == TControlKind::Button && c->Showing()) {
                SetActiveControl(const_cast<TControl*>(c));
                break;
            }
    }
}

std::vector<const TControl*> TForm::FocusOrder() const
{
    std::vector<const TControl*> order;
    std::vector<const TControl*> pending{this};
    while (!pending.empty()) {
        const TControl* c = pending.back();
        pending.pop_back();
        if (c != this) order.push_back(c);
        for (auto it = c->Children().rbegin(); it != c->Children().rend(); ++it) pending.push_back(it->get());
    }
    return order;
}

void TForm::SetActiveControl(TControl* control)
{
    if (control == active_) return;
    TControl* old = active_;
    active_ = control;
    if (old) old->Notify(TChange::Focus);
    Notify(TChange::Focus);
    if (control) control->Notify(TChange::Focus);
}

void TForm::ChildHidden(TControl& child)
{
    for (TControl* c = active_; c; c = c->Parent())
        if (c == &child) {
            SetActiveControl(nullptr);
            return;
        }
}

bool TForm::KeyMessage(const TKeyMessage& message)
{
    if (!Application->InputAllowed()) return false;
    TControl* target = active_ ? active_ : this;
    if (ClaimKey(*target, message)) return true;
    if (message.Kind == TKeyMessage::KeyDown && active_ && active_->Kind() == TControlKind::Button &&
        (message.Code == VK_RETURN || message.Code == VK_SPACE)) {
        active_->UserClick();
        return true;
    }
    return false;
}

bool TForm::ClaimKey(TControl&, const TKeyMessage&) { return false; }

} // namespace mirt::gui
