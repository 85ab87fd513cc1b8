#include "platform/gui/fltk/Fltk.h"

#include "platform/gui/Application.h"
#include "platform/gui/Controls.h"
#include "platform/gui/fltk/Fonts.h"
#include "platform/runtime/Encoding.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Widget.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace mirt::gui::fltk {
namespace {

// ---------------------------------------------------------------------------
// Opt-in timing trace: with MIRT_TRACE set, the program writes to stderr the
// CLOCK_MONOTONIC time (ns) at which the X server has received the first
// complete paint of the main window, each click on a picture, and each
// message or error box's first paint. The environment is read once.

bool TraceEnabled()
{
    static const bool enabled = std::getenv("MIRT_TRACE") != nullptr;
    return enabled;
}

void Trace(const char* what)
{
    if (!TraceEnabled()) return;
    if (fl_display) XSync(fl_display, False);
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::fprintf(stderr, "mirt-trace %s %lld\n", what, static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    std::fflush(stderr);
}

// ---------------------------------------------------------------------------
// Keys as Windows virtual-key codes.

int VirtualKey(int key)
{
    if (key >= 'a' && key <= 'z') return key - 'a' + 'A';
    if ((key >= '0' && key <= '9') || key == ' ') return key;
    if (key > FL_F && key <= FL_F_Last) return 111 + (key - FL_F); // F1 = 112
    switch (key) {
    case FL_Enter:
    case FL_KP_Enter: return VK_RETURN;
    case FL_Escape: return VK_ESCAPE;
    case FL_Alt_L:
    case FL_Alt_R: return VK_MENU;
    case FL_Tab: return 9;
    case FL_BackSpace: return 8;
    case FL_Shift_L:
    case FL_Shift_R: return 16;
    case FL_Control_L:
    case FL_Control_R: return 17;
    case FL_Left: return 37;
    case FL_Up: return 38;
    case FL_Right: return 39;
    case FL_Down: return 40;
    default: return 0;
    }
}

// Text shown on screen: code-page bytes as UTF-8.
std::string ScreenText(const AnsiString& text) { return AnsiToUtf8(text); }

// ---------------------------------------------------------------------------
// Widgets.

class TFormWindow;

// The window of a form: fixed size, its close box ends the program.
class TFormWindow final : public Fl_Double_Window {
public:
    TFormWindow(TForm& form)
        : Fl_Double_Window(form.Left(), form.Top(), std::max(form.Width(), 1), std::max(form.Height(), 1)), form_(form),
          title_(ScreenText(form.Caption()))
    {
        end();
        label(title_.c_str());
        color(FL_BACKGROUND_COLOR);
        callback(Closed);
        FixSize();
    }

    ~TFormWindow() override { Fl::remove_timeout(SetIconLater, this); }

    TForm& Form() { return form_; }

    // The window keeps its own copy of the icon's pixels.
    void SetIcon(const TBitmap& bitmap)
    {
        std::vector<uchar> rgba;
        rgba.reserve(bitmap.Pixels.size() * 4);
        for (std::uint32_t argb : bitmap.Pixels) {
            // Premultiplied to straight alpha.
            const unsigned a = argb >> 24;
            for (int shift : {16, 8, 0}) {
                const unsigned c = (argb >> shift) & 0xFF;
                rgba.push_back(static_cast<uchar>(a ? std::min(255u, (c * 255 + a / 2) / a) : 0));
            }
            rgba.push_back(static_cast<uchar>(a));
        }
        const Fl_RGB_Image image(rgba.data(), bitmap.Width, bitmap.Height, 4);
        icon(&image);
    }

    // Maps the window where the form put it, not where the window manager would.
    void ShowAtPosition()
    {
        force_position(1);
        show();
    }

    void FixSize()
    {
        // Equal minimum and maximum: the window manager offers no resizing
        // and no maximise.
        size_range(w(), h(), w(), h());
    }

    void flush() override
    {
        Fl_Double_Window::flush();
        if (painted_) return;
        painted_ = true;
        Trace("window-paint");
        // The icon only serves the desktop's task bar, and setting it builds
        // pixmaps (about 2 ms): it waits for the next turn of the loop, after
        // the first paint has gone out.
        if (form_.Icon()) Fl::add_timeout(0.0, SetIconLater, this);
    }

private:
    static void SetIconLater(void* window)
    {
        auto* self = static_cast<TFormWindow*>(window);
        self->SetIcon(*self->form_.Icon());
    }

    static void Closed(Fl_Widget* widget, void*)
    {
        // Escape reaches a window as a close request; a main window ignores it.
        if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
        if (Application) Application->Terminate();
        widget->hide();
    }

    TForm& form_;
    std::string title_;
    bool painted_ = false;
};

// A white panel without bevel.
class TPanelWidget final : public Fl_Group {
public:
    TPanelWidget(int x, int y, int w, int h) : Fl_Group(x, y, w, h)
    {
        end();
        box(FL_FLAT_BOX);
        color(FL_WHITE);
    }
};

// Draws only its picture: unscaled from the top-left corner, clipped,
// composited over white. No label, so drawing it loads no font.
class TPictureWidget final : public Fl_Widget {
public:
    TPictureWidget(TImage& image, int x, int y, int w, int h) : Fl_Widget(x, y, w, h), image_(image)
    {
        box(FL_NO_BOX);
        clear_visible_focus();
    }

    void PictureChanged()
    {
        rgb_.clear();
        const TBitmap* bitmap = image_.Picture().Bitmap();
        if (!bitmap) return;
        rgbWidth_ = bitmap->Width;
        rgbHeight_ = bitmap->Height;
        rgb_.resize(static_cast<std::size_t>(rgbWidth_) * rgbHeight_ * 3);
        std::size_t o = 0;
        for (std::uint32_t argb : bitmap->Pixels) {
            // Premultiplied source over opaque white: c + (255 - a).
            const unsigned a = argb >> 24;
            rgb_[o++] = static_cast<uchar>(std::min(255u, ((argb >> 16) & 0xFF) + 255 - a));
            rgb_[o++] = static_cast<uchar>(std::min(255u, ((argb >> 8) & 0xFF) + 255 - a));
            rgb_[o++] = static_cast<uchar>(std::min(255u, (argb & 0xFF) + 255 - a));
        }
        redraw();
    }

    // Where the picture does not reach, the panel's colour shows; it is
    // painted here because a new, smaller picture redraws only this widget.
    void draw() override
    {
        fl_push_clip(x(), y(), w(), h());
        const int pw = rgb_.empty() ? 0 : rgbWidth_;
        const int ph = rgb_.empty() ? 0 : rgbHeight_;
        if (pw > 0 && ph > 0) fl_draw_image(rgb_.data(), x(), y(), pw, ph, 3);
        fl_color(parent() ? parent()->color() : FL_WHITE);
        if (pw < w()) fl_rectf(x() + pw, y(), w() - pw, h());
        if (ph < h()) fl_rectf(x(), y() + ph, std::min(pw, w()), h() - ph);
        fl_pop_clip();
    }

    int handle(int event) override
    {
        switch (event) {
        case FL_PUSH: return 1;
        case FL_RELEASE:
            if (Fl::event_inside(this)) {
                Trace("click");
                image_.UserClick();
            }
            return 1;
        default: return Fl_Widget::handle(event);
        }
    }

private:
    TImage& image_;
    std::vector<uchar> rgb_;
    int rgbWidth_ = 0;
    int rgbHeight_ = 0;
};

// A push button whose caption is drawn literally (no "@" symbols, no "&"
// shortcuts) in its own font. Built on Fl_Widget rather than Fl_Button:
// Fl_Button asks FLTK's global options, and reading them makes FLTK write a
// preferences file into the home directory.
class TLiteralButton : public Fl_Widget {
public:
    TLiteralButton(int x, int y, int w, int h, TFont font) : Fl_Widget(x, y, w, h), font_(std::move(font))
    {
        box(FL_UP_BOX);
        color(FL_BACKGROUND_COLOR);
    }

    void SetText(const std::string& text)
    {
        text_ = text;
        redraw();
    }

    int handle(int event) override
    {
        switch (event) {
        case FL_PUSH:
            if (Fl::event_button() != FL_LEFT_MOUSE) return 0;
            pressed_ = true;
            redraw();
            return 1;
        case FL_DRAG: {
            const bool inside = Fl::event_inside(this);
            if (inside != pressed_) {
                pressed_ = inside;
                redraw();
            }
            return 1;
        }
        case FL_RELEASE: {
            const bool take = pressed_ && Fl::event_inside(this);
            pressed_ = false;
            redraw();
            if (take) do_callback();
            return 1;
        }
        case FL_FOCUS:
        case FL_UNFOCUS: redraw(); return 1;
        default: return 0;
        }
    }

    void draw() override
    {
        draw_box(pressed_ ? FL_DOWN_BOX : FL_UP_BOX, color());
        fl_font(FontFor(font_), font_.Height);
        fl_color(FL_FOREGROUND_COLOR);
        fl_draw(text_.c_str(), x() + 2, y() + 2, w() - 4, h() - 4, FL_ALIGN_CENTER | FL_ALIGN_CLIP, nullptr, 0);
        if (Fl::focus() == this) {
            fl_color(FL_FOREGROUND_COLOR);
            fl_line_style(FL_DOT);
            fl_rect(x() + 4, y() + 4, w() - 8, h() - 8);
            fl_line_style(0);
        }
    }

private:
    TFont font_;
    std::string text_;
    bool pressed_ = false;
};

// ---------------------------------------------------------------------------
// Peers.

class TFltkPeer final : public TPeer {
public:
    TFltkPeer(TControl& control, Fl_Widget* widget) : control_(control), widget_(widget) {}

    ~TFltkPeer() override { delete widget_; }

    Fl_Widget* Widget() const { return widget_; }

    void Changed(TChange what) override
    {
        switch (what) {
        case TChange::Bounds: Place(); break;
        case TChange::Visible:
            if (control_.Kind() == TControlKind::Form) {
                if (!control_.Visible()) widget_->hide();
            } else if (control_.Visible()) {
                widget_->show();
            } else {
                widget_->hide();
            }
            break;
        case TChange::Caption:
            if (control_.Kind() == TControlKind::Button)
                static_cast<TLiteralButton*>(widget_)->SetText(ScreenText(static_cast<TButton&>(control_).Caption()));
            break;
        case TChange::Picture:
            if (control_.Kind() == TControlKind::Image) static_cast<TPictureWidget*>(widget_)->PictureChanged();
            break;
        case TChange::Focus: {
            TForm& form = control_.Form();
            if (&control_ == &form) {
                if (!form.ActiveControl() && widget_->visible()) Fl::focus(widget_);
            } else if (form.ActiveControl() == &control_) {
                Fl::focus(widget_);
            }
            break;
        }
        }
    }

    TSize OuterSize() const override { return {widget_->w(), widget_->h()}; }

    void Show() override { static_cast<TFormWindow*>(widget_)->ShowAtPosition(); }

private:
    // Places the widget; FLTK positions children in window coordinates.
    void Place()
    {
        if (control_.Kind() == TControlKind::Form) {
            auto* window = static_cast<TFormWindow*>(widget_);
            window->size_range(1, 1);
            window->resize(control_.Left(), control_.Top(), std::max(control_.Width(), 1),
                           std::max(control_.Height(), 1));
            window->FixSize();
            return;
        }
        int x = control_.Left(), y = control_.Top();
        for (TControl* p = control_.Parent(); p && p->Kind() != TControlKind::Form; p = p->Parent()) {
            x += p->Left();
            y += p->Top();
        }
        // Resizing a group would stretch its children; move them with it instead.
        if (auto* group = widget_->as_group()) {
            const int dx = x - group->x(), dy = y - group->y();
            for (int i = 0; i < group->children(); ++i) {
                Fl_Widget* c = group->child(i);
                c->position(c->x() + dx, c->y() + dy);
            }
            group->init_sizes();
            group->Fl_Widget::resize(x, y, control_.Width(), control_.Height());
        } else {
            widget_->resize(x, y, control_.Width(), control_.Height());
        }
        if (widget_->window()) widget_->window()->redraw();
    }

    TControl& control_;
    Fl_Widget* widget_;
};

// ---------------------------------------------------------------------------
// Message and error boxes: our own modal window, centred on the screen.

// The stop icon of error boxes: a red disc with a white cross.
class TStopIcon final : public Fl_Widget {
public:
    TStopIcon(int x, int y) : Fl_Widget(x, y, 32, 32) { box(FL_NO_BOX); }
    void draw() override
    {
        fl_color(fl_rgb_color(0xD0, 0x20, 0x20));
        fl_pie(x(), y(), 32, 32, 0, 360);
        fl_color(FL_WHITE);
        fl_line_style(FL_SOLID | FL_CAP_ROUND, 4);
        fl_line(x() + 10, y() + 10, x() + 21, y() + 21);
        fl_line(x() + 21, y() + 10, x() + 10, y() + 21);
        fl_line_style(0);
    }
};

// Text drawn literally, line by line.
class TBoxText final : public Fl_Widget {
public:
    TBoxText(int x, int y, int w, int h, const std::string& text, Fl_Font font, int size)
        : Fl_Widget(x, y, w, h), text_(text), font_(font), size_(size)
    {
        box(FL_NO_BOX);
    }
    void draw() override
    {
        fl_font(font_, size_);
        fl_color(FL_FOREGROUND_COLOR);
        fl_draw(text_.c_str(), x(), y(), w(), h(), FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP, nullptr, 0);
    }

private:
    std::string text_;
    Fl_Font font_;
    int size_;
};

class TBoxWindow final : public Fl_Double_Window {
public:
    TBoxWindow(int w, int h, const std::string& caption) : Fl_Double_Window(w, h), caption_(caption)
    {
        label(caption_.c_str());
        set_modal();
        callback([](Fl_Widget* widget, void*) { widget->hide(); });
    }

    int handle(int event) override
    {
        if (event == FL_KEYBOARD || event == FL_SHORTCUT) {
            switch (Fl::event_key()) {
            case FL_Enter:
            case FL_KP_Enter:
            case ' ':
            case FL_Escape: hide(); return 1;
            default: break;
            }
        }
        return Fl_Double_Window::handle(event);
    }

    void flush() override
    {
        Fl_Double_Window::flush();
        if (!painted_ && TraceEnabled()) {
            painted_ = true;
            Trace("box-paint");
        }
    }

private:
    std::string caption_;
    bool painted_ = false;
};

// The font of boxes: the window font of the main form (12 px gothic).
TFont BoxFont()
{
    if (Application && Application->MainForm()) return Application->MainForm()->Font();
    return TFont{PGothicFace, 12, SHIFTJIS_CHARSET};
}

void ShowBox(const AnsiString& caption, const AnsiString& message, bool stopIcon)
{
    const std::string text = ScreenText(message);
    const TFont font = BoxFont();
    const Fl_Font flFont = FontFor(font);
    constexpr int margin = 16, gap = 12, iconSize = 32, buttonW = 75, buttonH = 23, maxTextW = 400;

    fl_font(flFont, font.Height);
    int textW = 0, textH = 0;
    fl_measure(text.c_str(), textW, textH, 0);
    if (textW > maxTextW) {
        textW = maxTextW;
        fl_measure(text.c_str(), textW, textH, 0);
    }
    textH = std::max(textH, font.Height);
    const int iconW = stopIcon ? iconSize + gap : 0;
    const int contentH = std::max(textH, stopIcon ? iconSize : 0);
    const int w = std::max(margin * 2 + iconW + textW, buttonW + margin * 2);
    const int h = margin + contentH + gap + buttonH + margin;

    Fl_Group::current(nullptr);
    TBoxWindow window(w, h, ScreenText(caption));
    window.begin();
    if (stopIcon) new TStopIcon(margin, margin);
    const int textY = margin + (contentH - textH) / 2;
    new TBoxText(margin + iconW, textY, textW + 1, textH, text, flFont, font.Height);
    auto* ok = new TLiteralButton((w - buttonW) / 2, margin + contentH + gap, buttonW, buttonH, font);
    ok->SetText("OK");
    ok->callback([](Fl_Widget* button, void*) { button->window()->hide(); });
    window.end();

    int sx = 0, sy = 0, sw = 0, sh = 0;
    Fl::screen_xywh(sx, sy, sw, sh, 0);
    window.position(sx + (sw - w) / 2, sy + (sh - h) / 2);
    window.show();
    Fl::focus(ok);
    while (window.shown()) Fl::wait();
}

// ---------------------------------------------------------------------------
// Keyboard: before FLTK delivers a key event to a form's window or any of
// its widgets, the form may claim it.

int DispatchEvent(int event, Fl_Window* window)
{
    if ((event == FL_KEYDOWN || event == FL_KEYUP || event == FL_SHORTCUT) && window) {
        if (auto* formWindow = dynamic_cast<TFormWindow*>(window)) {
            const int key = VirtualKey(Fl::event_key());
            const bool system = key == VK_MENU || key == VK_F10 || (Fl::event_state() & FL_ALT);
            TKeyMessage message;
            message.Code = key;
            if (event == FL_KEYUP) message.Kind = system ? TKeyMessage::SysKeyUp : TKeyMessage::KeyUp;
            else message.Kind = system ? TKeyMessage::SysKeyDown : TKeyMessage::KeyDown;
            // FLTK sends a key that no widget took once more as a shortcut;
            // the form has seen it already.
            if (event != FL_SHORTCUT && key != 0 && formWindow->Form().KeyMessage(message)) return 1;
            if (event == FL_KEYDOWN && Fl::event_length() == 1 && !(Fl::event_state() & (FL_CTRL | FL_META))) {
                TKeyMessage character;
                character.Kind = system ? TKeyMessage::SysChar : TKeyMessage::Char;
                character.Code = static_cast<unsigned char>(Fl::event_text()[0]);
                if (formWindow->Form().KeyMessage(character)) return 1;
            }
        }
    }
    return Fl::handle_(event, window);
}

} // namespace

TFltkBackend::TFltkBackend() { Fl::event_dispatch(DispatchEvent); }

TFltkBackend::~TFltkBackend() { Fl::event_dispatch(nullptr); }

std::unique_ptr<TPeer> TFltkBackend::CreatePeer(TControl& control)
{
    Fl_Group::current(nullptr);
    Fl_Widget* widget = nullptr;
    switch (control.Kind()) {
    case TControlKind::Form: widget = new TFormWindow(static_cast<TForm&>(control)); break;
    case TControlKind::Panel: widget = new TPanelWidget(0, 0, 1, 1); break;
    case TControlKind::Image: widget = new TPictureWidget(static_cast<TImage&>(control), 0, 0, 1, 1); break;
    case TControlKind::Button: {
        auto& button = static_cast<TButton&>(control);
        auto* b = new TLiteralButton(0, 0, 1, 1, button.Font());
        b->callback([](Fl_Widget*, void* data) { static_cast<TButton*>(data)->UserClick(); }, &button);
        widget = b;
        break;
    }
    }
    widget->hide();
    if (TControl* parent = control.Parent())
        if (auto* parentPeer = static_cast<TFltkPeer*>(parent->Peer()))
            if (auto* group = parentPeer->Widget()->as_group()) group->add(widget);
    auto peer = std::make_unique<TFltkPeer>(control, widget);
    peer->Changed(TChange::Bounds);
    return peer;
}

TSize TFltkBackend::PrimaryScreenSize()
{
    int x = 0, y = 0, w = 0, h = 0;
    Fl::screen_xywh(x, y, w, h, 0);
    return {w, h};
}

void TFltkBackend::RunMessageLoop()
{
    while (!Application->QuitRequested() && Fl::first_window()) Fl::wait();
}

void TFltkBackend::MessageBox(const AnsiString& caption, const AnsiString& text) { ShowBox(caption, text, false); }

void TFltkBackend::ErrorBox(const AnsiString& caption, const AnsiString& text) { ShowBox(caption, text, true); }

void TFltkBackend::AlertSound() { fl_beep(FL_BEEP_DEFAULT); }

} // namespace mirt::gui::fltk
