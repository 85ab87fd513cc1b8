#include "platform/gui/fltk/Fonts.h"

#include <FL/Fl.H>
#include <fontconfig/fontconfig.h>

#include <map>
#include <string>
#include <string_view>

namespace mirt::gui::fltk {
namespace {

// Families that stand in for the Windows Japanese faces, nearest first; the
// face itself is always asked for first, so an installed original wins.
struct TFaceAliases {
    std::string_view Face;
    std::initializer_list<const char*> Families;
};

const TFaceAliases kAliases[] = {
    {"ＭＳ Ｐゴシック", {"MS PGothic", "IPAPGothic", "VL PGothic", "Noto Sans CJK JP", "sans-serif"}},
    {"ＭＳ ゴシック", {"MS Gothic", "IPAGothic", "VL Gothic", "Noto Sans Mono CJK JP", "monospace"}},
    {"ＭＳ Ｐ明朝", {"MS PMincho", "IPAPMincho", "Noto Serif CJK JP", "serif"}},
    {"ＭＳ 明朝", {"MS Mincho", "IPAMincho", "Noto Serif CJK JP", "serif"}},
};

// The language whose glyphs a Windows character set needs.
const char* LanguageOf(int charset)
{
    switch (charset) {
    case SHIFTJIS_CHARSET: return "ja";
    case 129: return "ko";    // Hangul
    case 134: return "zh-cn"; // GB2312
    case 136: return "zh-tw"; // Big5
    default: return nullptr;
    }
}

// The family fontconfig picks for the face, or "sans" when it picks none.
std::string MatchFamily(const TFont& font)
{
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(font.Face.c_str()));
    for (const TFaceAliases& alias : kAliases)
        if (alias.Face == font.Face)
            for (const char* family : alias.Families)
                FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    if (const char* lang = LanguageOf(font.Charset))
        FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(lang));
    FcPatternAddDouble(pattern, FC_PIXEL_SIZE, font.Height);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    std::string family = "sans";
    FcChar8* name = nullptr;
    if (match && FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch && name)
        family = reinterpret_cast<const char*>(name);
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return family;
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
    // A leading space asks FLTK's Xft fonts for the regular style.
    const std::string& name = names[key] = " " + MatchFamily(font);
    Fl::set_font(number, name.c_str());
    fonts[key] = number;
    return number;
}

} // namespace mirt::gui::fltk
