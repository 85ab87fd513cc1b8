// A design's face as the FLTK backend registers it: its name converted from
// the font's charset first, then the resolver's family, the one metafile
// text uses.
#include "platform/fonts/FontResolver.h"
#include "platform/gui/fltk/Fonts.h"
#include "platform/runtime/CodePage.h"
#include "tests/support/CodePageScope.h"
#include "tests/support/FontCaches.h"

#include <FL/Fl.H>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <string>

namespace mirt {
namespace {

class FltkFonts : public ::testing::Test, protected test::TCodePageScope {};

TEST_F(FltkFonts, ButtonsGetTheResolversFamilyForTheDesignsFace)
{
    struct Case {
        const char* Locale;
        std::string Face; // as the design stores it
        std::string Utf8;
        int Charset;
    };
    const Case cases[] = {
        {"ja_JP",
         "\x82l\x82r \x82o\x83S\x83V\x83"
         "b\x83N",
         "ＭＳ Ｐゴシック", 128}, // Shift-JIS
        {"ja_JP", "\x82l\x82r \x96\xBE\x92\xA9", "ＭＳ 明朝", 128},
        {"en_US", "DejaVu Sans", "DejaVu Sans", 0},
        // a Japanese design shown under another locale: the charset decides
        {"en_US", "\x82l\x82r \x82o\x96\xBE\x92\xA9", "ＭＳ Ｐ明朝", 128},
        {"en_US", "ＭＳ Ｐゴシック", "ＭＳ Ｐゴシック", 128}, // already UTF-8
    };
    for (const Case& c : cases) {
        Use(c.Locale);
        gui::TFont font;
        font.Face = c.Face;
        font.Charset = c.Charset;
        const Fl_Font number = gui::fltk::FontFor(font);
        const std::string family = fonts::ResolveFont({c.Utf8, c.Charset, 400, false}).Family;
        ASSERT_FALSE(family.empty()) << c.Utf8;
        EXPECT_EQ(std::string(Fl::get_font(number)), " " + family) << c.Utf8;
    }
}

} // namespace
} // namespace mirt
