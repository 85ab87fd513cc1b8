// The one font resolver: the Windows faces a design names map to the same
// installed font wherever they are drawn. Needs the fonts the build machine
// installs (fonts-ipafont-gothic, fonts-ipafont-mincho, DejaVu).
#include "platform/fonts/FontResolver.h"
#include "platform/metafile/FontCache.h"
#include "tests/support/FontCaches.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <string>

namespace mirt {
namespace {

struct TResolveCase {
    const char* Name;
    fonts::TFontRequest Request;
    std::u32string Text;
    const char* Family; // the family the resolved file carries
};

void PrintTo(const TResolveCase& c, std::ostream* os) { *os << c.Name; }

class FontResolver : public ::testing::TestWithParam<TResolveCase> {};

TEST_P(FontResolver, WindowsFacesFindTheirStandIns)
{
    const TResolveCase& c = GetParam();
    const fonts::TResolvedFont font = fonts::ResolveFont(c.Request, c.Text);
    EXPECT_FALSE(font.File.empty());
    EXPECT_EQ(font.Family, c.Family);
}

INSTANTIATE_TEST_SUITE_P(
    Faces, FontResolver,
    ::testing::Values(
        // Proportional Gothic stays proportional, with or without Japanese text.
        TResolveCase{"MsPGothicShiftJis", {"ＭＳ Ｐゴシック", 128, 400, false}, U"", "IPAPGothic"},
        TResolveCase{"MsPGothicAnsiWithJapaneseText", {"ＭＳ Ｐゴシック", 1, 400, false}, U"日本語", "IPAPGothic"},
        TResolveCase{"MsGothic", {"ＭＳ ゴシック", 128, 400, false}, U"", "IPAGothic"},
        TResolveCase{"MsPMincho", {"ＭＳ Ｐ明朝", 128, 400, false}, U"", "IPAPMincho"},
        TResolveCase{"MsMinchoLatinName", {"MS Mincho", 0, 400, false}, U"", "IPAMincho"},
        TResolveCase{"InstalledFaceAsNamed", {"DejaVu Sans", 0, 400, false}, U"abc", "DejaVu Sans"},
        // A Latin face without the glyphs gives way to one that has them.
        TResolveCase{"UncoveredTextFindsACoveringFont", {"DejaVu Sans", 0, 400, false}, U"日本", "IPAGothic"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(FontResolver, AskingTwiceGivesTheSameFile)
{
    const fonts::TFontRequest request{"ＭＳ Ｐゴシック", 128, 700, true};
    EXPECT_EQ(fonts::ResolveFont(request).File, fonts::ResolveFont(request).File);
}

// The family FreeType reads from the file behind a cairo face.
std::string FamilyOfFace(cairo_font_face_t* face)
{
    cairo_matrix_t size, identity;
    cairo_matrix_init_scale(&size, 20, 20);
    cairo_matrix_init_identity(&identity);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_scaled_font_t* scaled = cairo_scaled_font_create(face, &size, &identity, options);
    cairo_font_options_destroy(options);
    std::string family;
    if (FT_Face ft = cairo_ft_scaled_font_lock_face(scaled)) {
        family = ft->family_name ? ft->family_name : "";
        cairo_ft_scaled_font_unlock_face(scaled);
    }
    cairo_scaled_font_destroy(scaled);
    return family;
}

TEST(FontResolver, MetafileTextUsesTheResolversFont)
{
    // What a button shows for the face (the resolver's answer) is what a
    // metafile draws its text with.
    struct Case {
        const char* Face;
        int Charset;
        std::u32string Text;
    };
    const Case cases[] = {
        {"ＭＳ Ｐゴシック", 128, U"日本語"},
        {"ＭＳ 明朝", 128, U"日本語"},
        {"DejaVu Sans", 0, U"Hello"},
    };
    metafile::TFontCache cache;
    for (const Case& c : cases) {
        metafile::TFont font;
        font.Face = c.Face;
        font.Charset = c.Charset;
        const fonts::TResolvedFont resolved = fonts::ResolveFont({c.Face, c.Charset, 400, false}, c.Text);
        EXPECT_EQ(FamilyOfFace(cache.Face(font, c.Text)), resolved.Family) << c.Face;
    }
}

} // namespace
} // namespace mirt
