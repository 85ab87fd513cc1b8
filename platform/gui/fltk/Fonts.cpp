#include "platform/gui/fltk/Fonts.h"

#include "platform/fonts/FontResolver.h"
#include "platform/runtime/Encoding.h"

#include <FL/Fl.H>

#include <map>
#include <string>

namespace mirt::gui::fltk {

Fl_Font FontFor(const TFont& font)
{
    // FLTK keeps the name pointer; the map's strings live as long as the program.
    static std::map<std::string, std::string> names;
    static std::map<std::string, Fl_Font> fonts;
    const std::string key = font.Face + '\n' + std::to_string(font.Charset);
    if (auto it = fonts.find(key); it != fonts.end()) return it->second;
    const Fl_Font number = static_cast<Fl_Font>(FL_FREE_FONT + fonts.size());
    // The design names its face in code-page bytes; the resolver, like
    // metafile text, takes UTF-8.
    const fonts::TResolvedFont resolved = fonts::ResolveFont({AnsiToUtf8(font.Face), font.Charset, 400, false});
    // A leading space asks FLTK's Xft fonts for the regular style.
    const std::string& name = names[key] = " " + (resolved.Family.empty() ? std::string("sans") : resolved.Family);
    Fl::set_font(number, name.c_str());
    fonts[key] = number;
    return number;
}

} // namespace mirt::gui::fltk
