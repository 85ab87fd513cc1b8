// Where metafile text lands: its size from the font height, its direction
// from the escapement under each graphics mode and mapping, its spacing, and
// pictures exported by a real program compared with that program's own
// rendering of the same drawing.
#include "platform/metafile/Metafile.h"
#include "platform/metafile/TextLayout.h"
#include "tests/metafile/MetafileBuilder.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace mirt {
namespace {

using test::TEmfBuilder;
using test::TWmfBuilder;

TBitmap Decode(const std::vector<unsigned char>& bytes, bool emf, TDecodeLimit limit)
{
    TMemorySource source(bytes);
    return emf ? DecodeEmf(source, limit) : DecodeWmf(source, limit);
}

std::string Utf16(const std::u16string& text, std::size_t units = 0)
{
    std::string s;
    for (char16_t c : text) {
        s += static_cast<char>(c & 0xFF);
        s += static_cast<char>(c >> 8);
    }
    if (units) s.resize(2 * units, '\0');
    return s;
}

// The box around the pixels with ink; nullopt when nothing was drawn.
struct TBox {
    int Left, Top, Right, Bottom; // Right and Bottom exclusive
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
};
// The box around the pixels of area (left, top, right, bottom) for which
// inked(x, y) holds.
template <class TInked>
std::optional<TBox> BoxWhere(const std::array<int, 4>& area, TInked inked)
{
    std::optional<TBox> box;
    for (int y = area[1]; y < area[3]; ++y)
        for (int x = area[0]; x < area[2]; ++x) {
            if (!inked(x, y)) continue;
            if (!box) box = TBox{x, y, x + 1, y + 1};
            box->Left = std::min(box->Left, x);
            box->Top = std::min(box->Top, y);
            box->Right = std::max(box->Right, x + 1);
            box->Bottom = std::max(box->Bottom, y + 1);
        }
    return box;
}

// Ink: pixels more than half opaque.
std::optional<TBox> InkBox(const TBitmap& b)
{
    return BoxWhere({0, 0, b.Width, b.Height},
                    [&](int x, int y) { return (b.Pixels[std::size_t(y) * b.Width + x] >> 24) > 128; });
}

// ---- Direction and spacing rules -------------------------------------------

TEST(MetafileTextDirection, EscapementFollowsTheGraphicsModeAndTheMapping)
{
    using metafile::GM_ADVANCED;
    using metafile::GM_COMPATIBLE;
    struct Case {
        const char* Name;
        int Mode, Escapement, Orientation;
        bool XLeft, YUp;
        bool FlipX, FlipY;
        double Baseline, Glyphs;
    };
    const Case cases[] = {
        {"compatible, y down: as given", GM_COMPATIBLE, 900, 0, false, false, false, false, 900, 900},
        {"compatible, y up: the other way", GM_COMPATIBLE, 2700, 0, false, true, false, true, -2700, -2700},
        {"compatible, x left: still left to right", GM_COMPATIBLE, 300, 0, true, false, true, false, 300, 300},
        {"compatible ignores the orientation", GM_COMPATIBLE, 300, 1200, false, false, false, false, 300, 300},
        {"advanced, y down: glyphs by the orientation", GM_ADVANCED, 900, 450, false, false, false, false, 900, 450},
        {"advanced, y up: through the transformation", GM_ADVANCED, 900, 900, true, true, false, false, 900, 900},
        {"an unknown mode reads as compatible", 0, 900, 0, false, true, false, true, -900, -900},
    };
    for (const Case& c : cases) {
        const metafile::TTextDirection d = metafile::TextDirection(c.Mode, c.Escapement, c.Orientation, c.XLeft, c.YUp);
        EXPECT_EQ(d.FlipX, c.FlipX) << c.Name;
        EXPECT_EQ(d.FlipY, c.FlipY) << c.Name;
        EXPECT_EQ(d.Baseline, c.Baseline) << c.Name;
        EXPECT_EQ(d.Glyphs, c.Glyphs) << c.Name;
    }
}

TEST(MetafileTextSpacing, ExtraGoesToEveryCharacterAndJustificationToBreaks)
{
    struct Case {
        const char* Name;
        std::u32string Text;
        metafile::TTextSpacing Spacing;
        std::vector<double> Expected;
    };
    const std::vector<double> natural = {10, 4, 10, 4, 10};
    const Case cases[] = {
        {"no spacing", U"a b c", {}, {10, 4, 10, 4, 10}},
        {"character extra on every character", U"a b c", {2, 0, 0}, {12, 6, 12, 6, 12}},
        {"justification shared by the breaks", U"a b c", {0, 9, 2}, {10, 8.5, 10, 8.5, 10}},
        {"both", U"a b c", {1, 4, 2}, {11, 7, 11, 7, 11}},
        {"justification without breaks counted", U"a b c", {0, 9, 0}, {10, 4, 10, 4, 10}},
        {"negative extra narrows", U"abcde", {-1, 0, 0}, {9, 3, 9, 3, 9}},
    };
    for (const Case& c : cases) EXPECT_EQ(metafile::SpacedAdvances(c.Text, natural, c.Spacing), c.Expected) << c.Name;
}

// ---- Text drawn by the players ---------------------------------------------

// An EMF of 200 x 200 pixels with one font selected, the reference point on
// the baseline (TA_BASELINE) and a transparent background. yUp maps logical
// (0, 200)..(200, 0) onto the picture, so y grows upwards.
struct TTextFile {
    int Height = -40;
    int Escapement = 0, Orientation = 0;
    const char16_t* Face = u"DejaVu Sans";
    bool YUp = false;
    bool XLeft = false; // the same with x growing leftwards
    std::uint32_t GraphicsMode = metafile::GM_COMPATIBLE;
    std::u16string Text = u"Hello";
    int X = 100, Y = 100; // logical
};

std::vector<unsigned char> TextEmf(const TTextFile& f)
{
    TEmfBuilder b;
    if (f.YUp || f.XLeft) {
        const int w = f.XLeft ? -200 : 200, h = f.YUp ? -200 : 200;
        b.Record(17, {8});                                      // SETMAPMODE MM_ANISOTROPIC
        b.Record(9, {std::uint32_t(w), std::uint32_t(h)});      // SETWINDOWEXTEX
        b.Record(10, {f.XLeft ? 200u : 0u, f.YUp ? 200u : 0u}); // SETWINDOWORGEX
        b.Record(11, {200, 200});                               // SETVIEWPORTEXTEX
    }
    b.Record(82, {1, std::uint32_t(f.Height), 0, std::uint32_t(f.Escapement), std::uint32_t(f.Orientation), 400, 0, 0},
             Utf16(f.Face, 32)); // EXTCREATEFONTINDIRECTW
    b.Record(37, {1});           // SELECTOBJECT
    b.Record(18, {1});           // SETBKMODE TRANSPARENT
    b.Record(22, {24});          // SETTEXTALIGN TA_BASELINE
    // EXTTEXTOUTW: bounds, graphics mode, scales, then the EMRTEXT with the
    // string right after it (offset 76 from the record's start), no advances.
    const std::uint32_t count = static_cast<std::uint32_t>(f.Text.size());
    b.Record(84,
             {0, 0, 0, 0, f.GraphicsMode, 0, 0, std::uint32_t(f.X), std::uint32_t(f.Y), count, 76, 0, 0, 0, 0, 0, 0},
             Utf16(f.Text));
    return b.Finish();
}

// Where the ink of a text lies around its reference point on the output:
// the way its baseline runs, and for vertical runs the side the glyphs' tops
// face (left of the baseline when turned counterclockwise upright, right
// when turned clockwise, left again when a flipped mapping mirrors them).
enum class TRun { Right, UpTopsLeft, DownTopsRight, DownTopsLeft, RightGlyphsOnTheirSides };

struct TDirectionCase {
    const char* Name;
    TTextFile File;
    TRun Run;
};

void PrintTo(const TDirectionCase& c, std::ostream* os) { *os << c.Name; }

class MetafileTextRun : public ::testing::TestWithParam<TDirectionCase> {};

TEST_P(MetafileTextRun, InkRunsFromTheReferencePointTheWayWindowsDrawsIt)
{
    const TDirectionCase& c = GetParam();
    const TBitmap bmp = Decode(TextEmf(c.File), true, TDecodeLimit{200, 200});
    const std::optional<TBox> ink = InkBox(bmp);
    ASSERT_TRUE(ink);
    // The reference point is at (100, 100) on the output in both mappings.
    // "Hello" at an em of 40 is about 100 pixels long and 40 high.
    switch (c.Run) {
    case TRun::Right:
        EXPECT_GT(ink->Width(), 80);
        EXPECT_LT(ink->Height(), 45);
        EXPECT_GE(ink->Left, 98);
        EXPECT_LE(ink->Bottom, 112); // the descent at most
        break;
    case TRun::RightGlyphsOnTheirSides: // turned a quarter counterclockwise: the first glyph's top pokes left
        EXPECT_GT(ink->Width(), 80);
        EXPECT_LE(ink->Bottom, 102);
        EXPECT_LE(ink->Left, 80);
        break;
    case TRun::UpTopsLeft:
    case TRun::DownTopsRight:
    case TRun::DownTopsLeft: {
        EXPECT_GT(ink->Height(), 80);
        EXPECT_LT(ink->Width(), 45);
        if (c.Run == TRun::UpTopsLeft) EXPECT_LE(ink->Bottom, 102);
        else EXPECT_GE(ink->Top, 98);
        const int middle = (ink->Left + ink->Right) / 2;
        if (c.Run == TRun::DownTopsRight) EXPECT_GT(middle, 100);
        else EXPECT_LT(middle, 100);
        break;
    }
    }
}

TTextFile Turned(int escapement, bool yUp, std::uint32_t mode = metafile::GM_COMPATIBLE, int orientation = -1)
{
    TTextFile f;
    f.Escapement = escapement;
    f.Orientation = orientation < 0 ? escapement : orientation;
    f.YUp = yUp;
    f.GraphicsMode = mode;
    return f;
}

TTextFile XLeft(TTextFile f)
{
    f.XLeft = true;
    return f;
}

INSTANTIATE_TEST_SUITE_P(
    Escapement, MetafileTextRun,
    ::testing::Values(TDirectionCase{"Level", Turned(0, false), TRun::Right},
                      TDirectionCase{"LevelYUp", Turned(0, true), TRun::Right},
                      TDirectionCase{"LevelXLeft", XLeft(Turned(0, false)), TRun::Right},
                      TDirectionCase{"Esc900YDown", Turned(900, false), TRun::UpTopsLeft},
                      TDirectionCase{"Esc2700YDown", Turned(2700, false), TRun::DownTopsRight},
                      // a chart's axis title under a y axis that points up
                      TDirectionCase{"Esc2700YUp", Turned(2700, true), TRun::UpTopsLeft},
                      TDirectionCase{"Esc900YUp", Turned(900, true), TRun::DownTopsRight},
                      TDirectionCase{"AdvancedEsc900YDown", Turned(900, false, metafile::GM_ADVANCED),
                                     TRun::UpTopsLeft},
                      // advanced mode flips with the mapping, glyphs and all
                      TDirectionCase{"AdvancedEsc900YUp", Turned(900, true, metafile::GM_ADVANCED), TRun::DownTopsLeft},
                      // glyphs turned upright on a level baseline: each stands on its side
                      TDirectionCase{"AdvancedOrientationOnly", Turned(0, false, metafile::GM_ADVANCED, 900),
                                     TRun::RightGlyphsOnTheirSides}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(MetafileTextHeight, PositiveHeightIsACellOfTheFontsWindowsAscentAndDescent)
{
    // A cell height h gives an em of h * unitsPerEm / (usWinAscent +
    // usWinDescent): DejaVu Sans 2048 / (1901 + 483), IPAGothic
    // 2048 / (1802 + 401). So a cell of 100 draws like an em of 85.9 and
    // 93.0; the capital's ink must match that em's within a pixel.
    struct Case {
        const char* Name;
        const char16_t* Face;
        std::u16string Text;
        int Cell, Em;
    };
    const Case cases[] = {
        {"DejaVu Sans", u"DejaVu Sans", u"H", 100, 86},
        {"IPAGothic", u"IPAGothic", u"\u65E5", 100, 93}, // 日
        {"IPAGothic, small", u"IPAGothic", u"\u65E5", 30, 28},
    };
    for (const Case& c : cases) {
        TTextFile cell, em;
        cell.Face = em.Face = c.Face;
        cell.Text = em.Text = c.Text;
        cell.X = em.X = 20;
        cell.Height = c.Cell;
        em.Height = -c.Em;
        const auto a = InkBox(Decode(TextEmf(cell), true, TDecodeLimit{200, 200}));
        const auto b = InkBox(Decode(TextEmf(em), true, TDecodeLimit{200, 200}));
        ASSERT_TRUE(a && b) << c.Name;
        EXPECT_NEAR(a->Height(), b->Height(), 1) << c.Name;
        EXPECT_NEAR(a->Width(), b->Width(), 1) << c.Name;
    }
}

// A WMF of "iiii" or "a b" at (10, 100), after optional spacing records.
std::vector<unsigned char> SpacedWmf(const std::string& text, std::optional<int> charExtra,
                                     std::optional<std::pair<int, int>> justification)
{
    TWmfBuilder b;
    std::string font(50, '\0'); // LOGFONT16: height -40, weight 400, face
    font[0] = static_cast<char>(-40 & 0xFF);
    font[1] = static_cast<char>(0xFF);
    font[8] = static_cast<char>(400 & 0xFF);
    font[9] = static_cast<char>(400 >> 8);
    font.replace(18, 11, "DejaVu Sans");
    b.Record(0x02FB, {}, font).Record(0x012D, {0}).Record(0x0102, {1}).Record(0x012E, {24});
    if (charExtra) b.Record(0x0108, {*charExtra});
    if (justification) b.Record(0x020A, {justification->first, justification->second}); // BreakCount, BreakExtra
    // TEXTOUT: length, the string (padded to words), y, x
    std::string padded = text;
    if (padded.size() % 2) padded += '\0';
    b.Record(0x0521, {int(text.size())}, padded + std::string("\x64\x00\x0A\x00", 4));
    return b.Finish();
}

TEST(MetafileTextSpacing, WmfSpacingRecordsWidenTextWithoutAdvances)
{
    struct Case {
        const char* Name;
        std::string Text;
        std::optional<int> CharExtra;
        std::optional<std::pair<int, int>> Justification;
        int Wider; // pixels the ink's right edge moves
    };
    const Case cases[] = {
        {"char extra after each of three characters", "iiii", 10, std::nullopt, 30},
        {"negative char extra", "iiii", -3, std::nullopt, -9},
        {"justification on the one break", "a b", std::nullopt, std::pair{1, 40}, 40},
        {"justification shared by two breaks", "a b c", std::nullopt, std::pair{2, 40}, 40},
        {"both", "a b", 5, std::pair{1, 20}, 30},
    };
    for (const Case& c : cases) {
        const auto plain = InkBox(Decode(SpacedWmf(c.Text, std::nullopt, std::nullopt), false, {200, 200}));
        const auto spaced = InkBox(Decode(SpacedWmf(c.Text, c.CharExtra, c.Justification), false, {200, 200}));
        ASSERT_TRUE(plain && spaced) << c.Name;
        EXPECT_EQ(spaced->Left, plain->Left) << c.Name;
        EXPECT_NEAR(spaced->Right - plain->Right, c.Wider, 1) << c.Name;
    }
}

TEST(MetafileTextSpacing, UpdatedCurrentPositionFollowsTheBaseline)
{
    // Two texts drawn from the current position (TA_UPDATECP | TA_BASELINE)
    // after MOVETO (100, 180): the second continues where the first ended,
    // up the picture for an escapement of 900, to the right for 0.
    struct Case {
        const char* Name;
        int Escapement;
        bool Tall;
    };
    const Case cases[] = {{"level", 0, false}, {"turned up", 900, true}};
    for (const Case& c : cases) {
        TWmfBuilder b;
        std::string font(50, '\0');
        font[0] = static_cast<char>(-30 & 0xFF);
        font[1] = static_cast<char>(0xFF);
        font[4] = static_cast<char>(c.Escapement & 0xFF);
        font[5] = static_cast<char>(c.Escapement >> 8);
        font[6] = font[4];
        font[7] = font[5];
        font.replace(18, 11, "DejaVu Sans");
        b.Record(0x02FB, {}, font).Record(0x012D, {0}).Record(0x0102, {1}).Record(0x012E, {24 | 1});
        b.Record(0x0214, {180, 10 + (c.Tall ? 90 : 0)}); // MOVETO y, x
        for (int i = 0; i < 2; ++i) b.Record(0x0521, {4}, std::string("HHHH\0\0\0\0", 8));
        const auto ink = InkBox(Decode(b.Finish(), false, TDecodeLimit{200, 200}));
        ASSERT_TRUE(ink) << c.Name;
        // Eight capitals of about 22 pixels advance each, in a line.
        const int along = c.Tall ? ink->Height() : ink->Width();
        const int across = c.Tall ? ink->Width() : ink->Height();
        EXPECT_GT(along, 150) << c.Name;
        EXPECT_LT(across, 30) << c.Name;
    }
}

// ---- Pictures from a real program ------------------------------------------

std::vector<unsigned char> ReadFixture(const std::string& name)
{
    std::ifstream in(std::string(MIRT_METAFILE_FIXTURES) + "/real/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return {std::istreambuf_iterator<char>(in), {}};
}

// LibreOffice Draw exported each drawing as EMF and WMF and rendered it as
// PNG; the metafiles must show that picture. Glyphs are rasterised a little
// differently by every renderer, so text is checked by where its ink lies:
// in each box (output pixels) the dark pixels of ours and of the reference
// must span the same rectangle, within 3 pixels on each side. A word drawn
// the wrong way or at the wrong size moves its edges by tens of pixels.
struct TRealCase {
    const char* File;
    const char* Reference;
    std::vector<std::array<int, 4>> TextBoxes; // left, top, right, bottom
};

void PrintTo(const TRealCase& c, std::ostream* os) { *os << c.File; }

// A picture as grey levels over white, 0 black .. 255 white.
struct TGrey {
    int Width = 0, Height = 0;
    std::vector<int> Level;
    int At(int x, int y) const { return Level[std::size_t(y) * Width + x]; }
};

TGrey GreyOf(const std::uint32_t* pixels, int width, int height, int stridePixels)
{
    TGrey g{width, height, {}};
    g.Level.reserve(std::size_t(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = pixels[std::size_t(y) * stridePixels + x];
            const int white = 255 - static_cast<int>(p >> 24);
            const int r = static_cast<int>(p >> 16 & 0xFF) + white, gr = static_cast<int>(p >> 8 & 0xFF) + white,
                      b = static_cast<int>(p & 0xFF) + white;
            g.Level.push_back((r * 30 + gr * 59 + b * 11) / 100);
        }
    return g;
}

std::optional<TBox> DarkBox(const TGrey& g, const std::array<int, 4>& area)
{
    return BoxWhere(area, [&](int x, int y) { return g.At(x, y) < 128; });
}

class RealProgramFixture : public ::testing::TestWithParam<TRealCase> {};

TEST_P(RealProgramFixture, ShowsWhatTheProgramDrew)
{
    const TRealCase& c = GetParam();
    const std::string file = c.File;
    cairo_surface_t* ref =
        cairo_image_surface_create_from_png((std::string(MIRT_METAFILE_FIXTURES) + "/real/" + c.Reference).c_str());
    ASSERT_EQ(cairo_surface_status(ref), CAIRO_STATUS_SUCCESS);
    const int width = cairo_image_surface_get_width(ref), height = cairo_image_surface_get_height(ref);
    const TGrey theirs = GreyOf(reinterpret_cast<const std::uint32_t*>(cairo_image_surface_get_data(ref)), width,
                                height, cairo_image_surface_get_stride(ref) / 4);
    cairo_surface_destroy(ref);
    const TBitmap bmp = Decode(ReadFixture(file), file.ends_with(".emf"), TDecodeLimit{width, height});
    ASSERT_EQ(bmp.Width, width);
    ASSERT_EQ(bmp.Height, height);
    const TGrey ours = GreyOf(bmp.Pixels.data(), width, height, width);

    double total = 0;
    for (std::size_t i = 0; i < ours.Level.size(); ++i) total += std::abs(ours.Level[i] - theirs.Level[i]);
    const double mean = total / static_cast<double>(ours.Level.size());
    RecordProperty("MeanDifference", std::to_string(mean));
    // A gross check only (glyph edges differ everywhere): a blank or
    // wrongly scaled picture is off by far more.
    EXPECT_LE(mean, 8.0) << file;

    for (const auto& area : c.TextBoxes) {
        const auto want = DarkBox(theirs, area);
        const auto got = DarkBox(ours, area);
        ASSERT_TRUE(want) << file << ": the reference has no text at " << area[0] << "," << area[1];
        ASSERT_TRUE(got) << file << ": no text at " << area[0] << "," << area[1];
        EXPECT_NEAR(got->Left, want->Left, 3) << file << " at " << area[0] << "," << area[1];
        EXPECT_NEAR(got->Top, want->Top, 3) << file << " at " << area[0] << "," << area[1];
        EXPECT_NEAR(got->Right, want->Right, 3) << file << " at " << area[0] << "," << area[1];
        EXPECT_NEAR(got->Bottom, want->Bottom, 3) << file << " at " << area[0] << "," << area[1];
    }
}

INSTANTIATE_TEST_SUITE_P(
    LibreOffice, RealProgramFixture,
    ::testing::Values(
        TRealCase{"text-heights.emf", "text-heights.png", {{15, 15, 250, 90}, {15, 115, 250, 175}}},
        TRealCase{"text-heights.wmf", "text-heights.png", {{15, 15, 250, 90}, {15, 115, 250, 175}}},
        TRealCase{
            "rotated-text.emf", "rotated-text.png", {{30, 130, 80, 260}, {300, 25, 350, 190}, {110, 165, 235, 255}}},
        TRealCase{
            "rotated-text.wmf", "rotated-text.png", {{30, 130, 80, 260}, {300, 25, 350, 190}, {110, 165, 235, 255}}},
        TRealCase{"chart-axis-titles.emf", "chart-axis-titles.png", {{35, 90, 75, 160}, {200, 235, 300, 270}}},
        TRealCase{"chart-axis-titles.wmf", "chart-axis-titles.png", {{35, 90, 75, 160}, {200, 235, 300, 270}}}),
    [](const auto& info) {
        std::string n = info.param.File;
        for (char& ch : n)
            if (ch == '.' || ch == '-') ch = '_';
        return n;
    });

} // namespace
} // namespace mirt
