#include "platform/gui/fltk/Fonts.h"

#include "platform/fonts/FontResolver.h"
#include "platform/runtime/CodePage.h"
#include "platform/runtime/Encoding.h"

#include <FL/Fl.H>

#include <map>
#include <string>

namespace mirt::gui::fltk {
namespace {

std::string FaceAsUtf8(const TFont& font)
{
    bool ascii = true;
    for (unsigned char c : font.Face) ascii = ascii && c < 0x80;
    if (ascii || IsValidUtf8(font.Face)) return font.Face;
    return TCharsetConverter(CodePageForFontCharset(font.Charset).WindowsCharset).ToUtf8(font.Face);
}

} // namespace

Fl_Font FontFor(const TFont& font)
{
    // FLTK keeps the name pointer; the map's strings live as long as the program.
    static std::map<std::string, std::string> names;
    static std::map<std::string, Fl_Font> fonts;
    const std::string key = font.Face + '\n' + std::to_string(font.Charset);
    if (auto it = fonts.find(key); it != fonts.end()) return it->second;
    const Fl_Font number = static_cast<Fl_Font>(FL_FREE_FONT + fonts.size());
    // The design names its face in the bytes of the font's character set
    // (Shift-JIS for a Japanese face, whatever the locale), as metafiles
    // do; the resolver takes UTF-8. A name already in UTF-8 stays as it is.
    const fonts::TResolvedFont resolved = fonts::ResolveFont({FaceAsUtf8(font), font.Charset, 400, false});
    // A leading space asks FLTK's Xft fonts for the regular style.
    const std::string& name = names[key] = " " + (resolved.Family.empty() ? std::string("sans") : resolved.Family);
    Fl::set_font(number, name.c_str());
    fonts[key] = number;
    return number;
}

} // namespace mirt::gui::fltk
