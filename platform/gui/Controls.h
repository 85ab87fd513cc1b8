// The controls of a window: forms, panels, picture controls and push buttons.
// A control owns its children and keeps its own state; its backend peer only
// mirrors that state on screen. Positions are in pixels relative to the
// parent's client area (a form's Left/Top relative to the screen).
#pragma once

#include "platform/gui/Backend.h"
#include "platform/picture/Picture.h"
#include "platform/runtime/Strings.h"

#include <functional>
#include <memory>
#include <vector>

namespace mirt::gui {

class TForm;

enum class TControlKind { Form, Panel, Image, Button };

constexpr int SHIFTJIS_CHARSET = 128;

// The face names the program's windows use: the proportional gothic of
// windows and boxes, and the proportional mincho of buttons.
inline constexpr char PGothicFace[] = "ＭＳ Ｐゴシック";
inline constexpr char PMinchoFace[] = "ＭＳ Ｐ明朝";

struct TFont {
    AnsiString Face; // face name as the design gives it, code-page bytes
    int Height = 12; // character height in pixels
    int Charset = SHIFTJIS_CHARSET;
};

// Windows virtual-key codes of the keys the program looks at.
enum : int { VK_RETURN = 13, VK_ESCAPE = 27, VK_SPACE = 32, VK_MENU = 18, VK_F10 = 121 };

struct TKeyMessage {
    enum TKind { KeyDown, KeyUp, Char, SysKeyDown, SysKeyUp, SysChar };
    TKind Kind = KeyDown;
    int Code = 0; // virtual-key code for key messages, character code for Char
};

class TControl;
using TNotifyEvent = std::function<void(TControl* Sender)>;

class TControl {
public:
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;
    virtual ~TControl();

    TControlKind Kind() const { return kind_; }
    TControl* Parent() const { return parent_; }
    TForm& Form();
    TPeer* Peer() const { return peer_.get(); }
    const std::vector<std::unique_ptr<TControl>>& Children() const { return children_; }

    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetBounds(int left, int top, int width, int height);
    void SetLeft(int left) { SetBounds(left, top_, width_, height_); }
    void SetTop(int top) { SetBounds(left_, top, width_, height_); }

    bool Visible() const { return visible_; }
    virtual void SetVisible(bool visible);
    // Visible itself and every parent up to a shown form.
    bool Showing() const;

    TNotifyEvent OnClick;
    // Runs OnClick (the control's click event).
    void Click();
    // A click by the user: ignored while a modal box is open or when the
    // control is not showing; otherwise Click() through the application's
    // event dispatch. Returns whether the click was taken.
    bool UserClick();

    // Creates a child of this control, owned by it.
    template <class T, class... Args>
    T* Add(Args&&... args)
    {
        auto child = std::unique_ptr<T>(new T(*this, std::forward<Args>(args)...));
        T* raw = child.get();
        children_.push_back(std::move(child));
        raw->CreatePeer();
        return raw;
    }

protected:
    friend class TForm;
    TControl(TControlKind kind, TControl* parent);
    void CreatePeer();
    void Notify(TChange what);

private:
    TControlKind kind_;
    TControl* parent_;
    std::vector<std::unique_ptr<TControl>> children_;
    std::unique_ptr<TPeer> peer_;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    bool visible_ = false;
};

// A plain white area without bevel that holds other controls.
class TPanel : public TControl {
public:
    explicit TPanel(TControl& parent) : TControl(TControlKind::Panel, &parent) {}
};

// Draws its picture unscaled from its top-left corner, clipped to its bounds,
// over the white of its panel; draws nothing else.
class TImage : public TControl {
public:
    explicit TImage(TControl& parent) : TControl(TControlKind::Image, &parent) {}
    const TPicture& Picture() const { return picture_; }
    // Loads a picture file (a Windows name), decoding only the part this
    // control can show. On failure the old picture stays and the error
    // propagates.
    void LoadPicture(const AnsiString& windowsName);

private:
    TPicture picture_;
};

// A push button. A visible button takes the keyboard focus when the window
// has none; Space or Enter then presses it; hiding it gives the focus back to
// the window. Its caption is shown literally.
class TButton : public TControl {
public:
    explicit TButton(TControl& parent) : TControl(TControlKind::Button, &parent) {}
    const AnsiString& Caption() const { return caption_; }
    void SetCaption(const AnsiString& caption);
    const TFont& Font() const { return font_; }
    void SetFont(const TFont& font) { font_ = font; }
    void SetVisible(bool visible) override;

private:
    AnsiString caption_;
    TFont font_;
};

// What a form's design gives before the form is created.
struct TFormDesign {
    AnsiString Caption;
    int ClientWidth = 0;
    int ClientHeight = 0;
    int Left = 0;
    int Top = 0;
    TFont Font;
    std::shared_ptr<const TBitmap> Icon; // the program's icon, shown by the desktop
};

// A top-level window with a fixed single border: not resizable, no maximise.
// Built in two steps by TApplication::CreateForm: the C++ constructor builds
// the design (the window and its controls), then Create() runs the form's own
// set-up; a failure there destroys the form again.
class TForm : public TControl {
public:
    explicit TForm(const TFormDesign& design);
    ~TForm() override;

    virtual void Create() {}

    const AnsiString& Caption() const { return caption_; }
    const TFont& Font() const { return font_; }
    const TBitmap* Icon() const { return icon_.get(); }
    int ClientWidth() const { return Width(); }
    int ClientHeight() const { return Height(); }
    // Resizes the client area at once (keeping the position).
    void ApplyClientSize(int width, int height) { SetBounds(Left(), Top(), width, height); }
    void SetPosition(int left, int top) { SetBounds(left, top, Width(), Height()); }
    // Outer size, frame and caption included (see TPeer::OuterSize).
    TSize OuterSize() const;

    void Show();

    // The control with the keyboard focus; nullptr when the window itself has it.
    TControl* ActiveControl() const { return active_; }
    void SetActiveControl(TControl* control);

    // A keyboard message for the window or its focused control. Asks
    // ClaimKey first; a claimed message is dropped. Otherwise Enter and Space
    // press a focused button. Returns whether the message was consumed.
    bool KeyMessage(const TKeyMessage& message);

    // May claim a key message before it is processed; true drops it.
    virtual bool ClaimKey(TControl& target, const TKeyMessage& message);

private:
    friend class TControl;
    void ChildHidden(TControl& child);
    std::vector<const TControl*> FocusOrder() const;

    AnsiString caption_;
    TFont font_;
    std::shared_ptr<const TBitmap> icon_;
    TControl* active_ = nullptr;
};

} // namespace mirt::gui
