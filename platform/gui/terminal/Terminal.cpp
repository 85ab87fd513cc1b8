#include "platform/gui/terminal/Terminal.h"

#include "platform/gui/Application.h"
#include "platform/gui/Controls.h"
#include "platform/runtime/Encoding.h"

#include <algorithm>
#include <string>

namespace mirt::gui::terminal {
namespace {

class TTerminalPeer final : public TPeer {
public:
    TTerminalPeer(TTerminalBackend& backend, TControl& control) : backend_(backend), control_(control) {}

    void Changed(TChange what) override
    {
        if (control_.Kind() == TControlKind::Image && what == TChange::Picture) PicturePrinted();
        if (control_.Kind() == TControlKind::Button && control_.Visible() &&
            (what == TChange::Visible || what == TChange::Caption))
            backend_.PrintLine("[choice: " + static_cast<TButton&>(control_).Caption() + "]");
    }
    TSize OuterSize() const override { return {control_.Width(), control_.Height()}; }
    void Show() override {}

private:
    void PicturePrinted()
    {
        const TBitmap* bitmap = static_cast<TImage&>(control_).Picture().Bitmap();
        if (!bitmap) return;
        const AnsiString name = backend_.PictureName ? backend_.PictureName() : AnsiString("picture");
        backend_.PrintLine("[picture " + name + ", " + std::to_string(bitmap->NaturalWidth) + " x " +
                           std::to_string(bitmap->NaturalHeight) + "]");
        if (backend_.DrawPictures)
            for (const std::string& line : HalfBlockLines(*bitmap, backend_.Columns)) backend_.Out() << line << "\n";
    }

    TTerminalBackend& backend_;
    TControl& control_;
};

// The first control of a kind in the tree under control, in creation order.
TControl* FindControl(TControl& control, TControlKind kind)
{
    if (control.Kind() == kind) return &control;
    for (const auto& child : control.Children())
        if (TControl* found = FindControl(*child, kind)) return found;
    return nullptr;
}

// One 0xRRGGBB colour of a premultiplied ARGB pixel laid over white.
void OverWhite(std::uint32_t pixel, int& r, int& g, int& b)
{
    const int a = static_cast<int>(pixel >> 24);
    r = std::min(255, static_cast<int>(pixel >> 16 & 0xFF) + 255 - a);
    g = std::min(255, static_cast<int>(pixel >> 8 & 0xFF) + 255 - a);
    b = std::min(255, static_cast<int>(pixel & 0xFF) + 255 - a);
}

} // namespace

std::unique_ptr<TPeer> TTerminalBackend::CreatePeer(TControl& control)
{
    return std::make_unique<TTerminalPeer>(*this, control);
}

void TTerminalBackend::PrintLine(const AnsiString& text) { out_ << AnsiToUtf8(text) << "\n" << std::flush; }

void TTerminalBackend::MessageBox(const AnsiString&, const AnsiString& text) { PrintLine(text); }

void TTerminalBackend::ErrorBox(const AnsiString&, const AnsiString& text) { PrintLine("error: " + text); }

void TTerminalBackend::RunMessageLoop()
{
    std::string line;
    while (!Application->QuitRequested()) {
        TForm* form = Application->MainForm();
        if (!form || !std::getline(in_, line)) return; // end of input closes the window
        if (!line.empty() && line.back() == '\r') line.pop_back();
        TControl* button = FindControl(*form, TControlKind::Button);
        const bool choiceShown = button && button->Showing();
        const AnsiString caption = choiceShown ? static_cast<TButton*>(button)->Caption() : AnsiString();
        if (line.empty()) {
            if (TControl* picture = FindControl(*form, TControlKind::Image)) picture->UserClick();
        } else if (line == "q") {
            return;
        } else if (choiceShown && (line == "c" || line == caption || line == AnsiToUtf8(caption))) {
            button->UserClick();
        } else if (choiceShown) {
            PrintLine("(Enter: next line, c: " + caption + ", q: quit)");
        } else {
            PrintLine("(Enter: next line, q: quit; no choice is offered now)");
        }
    }
}

std::vector<std::string> HalfBlockLines(const TBitmap& bitmap, int columns)
{
    std::vector<std::string> lines;
    if (bitmap.Width <= 0 || bitmap.Height <= 0 || columns <= 0) return lines;
    if (bitmap.Pixels.size() < static_cast<std::size_t>(bitmap.Width) * static_cast<std::size_t>(bitmap.Height))
        return lines;
    const int width = std::min(bitmap.Width, columns);
    // Pixel rows after scaling by width / bitmap.Width, two per character row.
    const int height = std::max(1, bitmap.Height * width / bitmap.Width);
    auto pixel = [&](int x, int y) {
        const int sx = x * bitmap.Width / width;
        const int sy = y * bitmap.Height / height;
        return bitmap.Pixels[static_cast<std::size_t>(sy) * static_cast<std::size_t>(bitmap.Width) +
                             static_cast<std::size_t>(sx)];
    };
    for (int y = 0; y < height; y += 2) {
        std::string line;
        for (int x = 0; x < width; ++x) {
            int r = 0, g = 0, b = 0;
            OverWhite(pixel(x, y), r, g, b);
            line += "\x1b[38;2;" + std::to_string(r) + ";" + std::to_string(g) + ";" + std::to_string(b) + "m";
            if (y + 1 < height) OverWhite(pixel(x, y + 1), r, g, b);
            else r = g = b = 255;
            line += "\x1b[48;2;" + std::to_string(r) + ";" + std::to_string(g) + ";" + std::to_string(b) + "m";
            line += "\u2580";
        }
        line += "\x1b[0m";
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace mirt::gui::terminal
