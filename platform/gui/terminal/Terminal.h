// A backend for a text terminal: the program's windows are not drawn, what
// they show is printed as UTF-8 text, one fact a line, and the user's input is
// read line by line. Meant for players who cannot see a window and for
// scripted play.
//
// Printed: a message box's text; an error box as "error: TEXT"; a picture
// control's new picture as "[picture NAME, W x H]" (optionally drawn in
// coloured half blocks); a push button that appears as "[choice: CAPTION]".
// Read: an empty line clicks the first picture control, "c" or the button's
// caption presses the visible button, "q" quits; anything else prints a hint.
// End of input closes the main window.
#pragma once

#include "platform/gui/Backend.h"

#include <functional>
#include <istream>
#include <ostream>

namespace mirt {
struct TBitmap;
}

namespace mirt::gui::terminal {

class TTerminalBackend final : public TBackend {
public:
    TTerminalBackend(std::istream& in, std::ostream& out) : in_(in), out_(out) {}

    // Names the picture a picture control has just loaded (a Windows name
    // such as "dat\room.bmp"); without it the line says "picture".
    std::function<AnsiString()> PictureName;
    // Draws each new picture in half blocks with 24-bit colour, at most
    // Columns characters wide.
    bool DrawPictures = false;
    int Columns = 80;

    std::unique_ptr<TPeer> CreatePeer(TControl& control) override;
    TSize PrimaryScreenSize() override { return {1024, 768}; }
    void RunMessageLoop() override;
    void MessageBox(const AnsiString& caption, const AnsiString& text) override;
    void ErrorBox(const AnsiString& caption, const AnsiString& text) override;
    void AlertSound() override {}

    // Prints one line of code-page text as UTF-8.
    void PrintLine(const AnsiString& text);
    std::ostream& Out() { return out_; }

private:
    std::istream& in_;
    std::ostream& out_;
};

// The part of bitmap a picture control shows, as lines of "▀" whose upper
// half is one pixel row and lower half the next, in 24-bit colour over white,
// scaled down (never up) to at most columns characters.
std::vector<std::string> HalfBlockLines(const TBitmap& bitmap, int columns);

} // namespace mirt::gui::terminal
