#include "platform/fonts/FontResolver.h"
#include "platform/metafile/Metafile.h"
#include "platform/metafile/MetafileText.h"
#include "platform/runtime/CodePage.h"
#include "platform/runtime/Errors.h"
#include "tests/metafile/MetafileBuilder.h"
#include "tests/support/FontCaches.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>

namespace mirt {
namespace {

using test::TEmfBuilder;
using test::TWmfBuilder;

std::vector<unsigned char> ReadFixture(const std::string& name)
{
    std::ifstream in(std::string(MIRT_METAFILE_FIXTURES) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return {std::istreambuf_iterator<char>(in), {}};
}

TBitmap Decode(const std::vector<unsigned char>& bytes, bool emf, TDecodeLimit limit = TDecodeLimit{200, 200})
{
    TMemorySource source(bytes);
    return emf ? DecodeEmf(source, limit) : DecodeWmf(source, limit);
}

// Straight RGB of a premultiplied pixel laid over the white panel.
struct TRgb {
    int R, G, B;
};
TRgb OverWhite(std::uint32_t argb)
{
    int a = argb >> 24;
    auto ch = [&](int shift) { return static_cast<int>((argb >> shift) & 0xFF) + (255 - a); };
    return {ch(16), ch(8), ch(0)};
}

// ---- Fixtures against another program's rendering of the same drawing ----

struct TFixtureCase {
    const char* File;
    const char* Reference;
    double MaxMeanDifference; // mean absolute difference per channel, 0..255
    double MaxShareOff;       // share of pixels with a channel off by more than 64
};

void PrintTo(const TFixtureCase& c, std::ostream* os) { *os << c.File << " against " << c.Reference; }

class FixtureRendering : public ::testing::TestWithParam<TFixtureCase> {};

TEST_P(FixtureRendering, MatchesTheReferenceWithinTolerance)
{
    const TFixtureCase& c = GetParam();
    std::string file = c.File;
    TBitmap bmp = Decode(ReadFixture(file), file.ends_with(".emf"));
    ASSERT_EQ(bmp.NaturalWidth, 200);
    ASSERT_EQ(bmp.NaturalHeight, 200);
    ASSERT_EQ(bmp.Width, 200);
    ASSERT_EQ(bmp.Height, 200);

    cairo_surface_t* ref =
        cairo_image_surface_create_from_png((std::string(MIRT_METAFILE_FIXTURES) + "/" + c.Reference).c_str());
    ASSERT_EQ(cairo_surface_status(ref), CAIRO_STATUS_SUCCESS);
    ASSERT_EQ(cairo_image_surface_get_width(ref), 200);
    ASSERT_EQ(cairo_image_surface_get_height(ref), 200);
    const unsigned char* data = cairo_image_surface_get_data(ref);
    int stride = cairo_image_surface_get_stride(ref);

    double total = 0;
    int off = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x) {
            TRgb ours = OverWhite(bmp.Pixels[y * 200 + x]);
            TRgb theirs = OverWhite(*reinterpret_cast<const std::uint32_t*>(data + y * stride + 4 * x));
            int dr = std::abs(ours.R - theirs.R), dg = std::abs(ours.G - theirs.G), db = std::abs(ours.B - theirs.B);
            total += dr + dg + db;
            if (std::max({dr, dg, db}) > 64) ++off;
        }
    cairo_surface_destroy(ref);
    double mean = total / (200.0 * 200 * 3);
    double share = off / (200.0 * 200);
    RecordProperty("MeanDifference", std::to_string(mean));
    RecordProperty("ShareOff", std::to_string(share));
    EXPECT_LE(mean, c.MaxMeanDifference) << file;
    EXPECT_LE(share, c.MaxShareOff) << file;
}

INSTANTIATE_TEST_SUITE_P(Inkscape, FixtureRendering,
                         ::testing::Values(TFixtureCase{"shapes.emf", "shapes.png", 1, 0.005},
                                           TFixtureCase{"shapes.wmf", "shapes.png", 1, 0.005},
                                           TFixtureCase{"words.emf", "words.png", 2.5, 0.025},
                                           TFixtureCase{"words.wmf", "words.png", 2.5, 0.025},
                                           TFixtureCase{"text.emf", "text.png", 2.5, 0.025},
                                           // rsvg smooths the 16 x 16 bitmap where we keep its pixels sharp
                                           TFixtureCase{"bitmap.emf", "bitmap.png", 8, 0.12},
                                           TFixtureCase{"bitmap.wmf", "bitmap.png", 8, 0.12}),
                         [](const auto& info) {
                             std::string n = info.param.File;
                             for (char& ch : n)
                                 if (ch == '.') ch = '_';
                             return n;
                         });

TEST(MetafileSize, OnlyTheTopLeftPartWithinTheLimitIsDrawn)
{
    for (const char* file : {"shapes.emf", "shapes.wmf"}) {
        bool emf = std::string(file).ends_with(".emf");
        std::vector<unsigned char> bytes = ReadFixture(file);
        TBitmap full = Decode(bytes, emf);
        TBitmap part = Decode(bytes, emf, {60, 45});
        EXPECT_EQ(part.NaturalWidth, 200) << file;
        EXPECT_EQ(part.NaturalHeight, 200) << file;
        ASSERT_EQ(part.Width, 60) << file;
        ASSERT_EQ(part.Height, 45) << file;
        ASSERT_EQ(part.Pixels.size(), 60u * 45u);
        int same = 0;
        for (int y = 0; y < 45; ++y)
            for (int x = 0; x < 60; ++x) same += part.Pixels[y * 60 + x] == full.Pixels[y * 200 + x];
        EXPECT_EQ(same, 60 * 45) << file;
    }
}

TEST(MetafileSize, UnpaintedBackgroundStaysTransparent)
{
    // The control lays pictures over the white panel: what the metafile does
    // not paint keeps alpha 0; the red rectangle is opaque red.
    auto bytes = TWmfBuilder()
                     .Record(0x02FC, {0, 0x00FF, 0x0000, 0}) // red solid brush
                     .Record(0x012D, {0})
                     .Record(0x041B, {60, 60, 20, 20}) // rectangle 20..60
                     .Finish();
    TBitmap bmp = Decode(bytes, false);
    EXPECT_EQ(bmp.Pixels[10 * 200 + 10], 0u);
    EXPECT_EQ(bmp.Pixels[40 * 200 + 40], 0xFFFF0000u);
    EXPECT_EQ(bmp.Pixels[100 * 200 + 100], 0u);
}

TEST(MetafileSize, NaturalSizeFromHeaders)
{
    struct {
        const char* Name;
        std::vector<unsigned char> Bytes;
        bool Emf;
        int Width, Height;
    } cases[] = {
        {"placeable at 1200 units per inch", TWmfBuilder(2400, 1200).Finish(), false, 192, 192},
        {"placeable at 96 units per inch", TWmfBuilder(150, 96).Finish(), false, 150, 150},
        // Without a placeable header the window extent is in twips, 15 to a pixel.
        {"no placeable header: window extent",
         TWmfBuilder(0, 0, 4, false).Record(0x0103, {8}).Record(0x020C, {900, 3000}).Finish(), false, 200, 60},
        {"window extent far beyond the limit", TWmfBuilder(0, 0, 4, false).Record(0x020C, {30000, 30000}).Finish(),
         false, 2000, 2000},
        {"no window extent: the box around what is drawn",
         TWmfBuilder(0, 0, 4, false)
             .Record(0x041B, {600, 1500, 150, 300})      // rectangle (300, 150)..(1500, 600)
             .Record(0x0325, {2, 3300, 450, 3000, 1200}) // polyline out to x 3300, y 1200
             .Finish(),
         false, 200, 70},
        {"EMF frame of 50 mm", TEmfBuilder(200, 16, 5000).Finish(), true, 189, 189},
    };
    for (const auto& c : cases) {
        TBitmap bmp = Decode(c.Bytes, c.Emf);
        EXPECT_EQ(bmp.NaturalWidth, c.Width) << c.Name;
        EXPECT_EQ(bmp.NaturalHeight, c.Height) << c.Name;
        EXPECT_EQ(bmp.Width, std::min(c.Width, 200)) << c.Name;
        EXPECT_EQ(bmp.Pixels.size(), std::size_t(bmp.Width) * std::size_t(bmp.Height)) << c.Name;
    }
}

// Without a placeable header or a window extent, each drawing record adds
// the points it draws at to the box that sizes the picture; in every case
// that box is (300, 150)..(1500, 600), 80 x 30 pixels at 15 twips to one.
TEST(MetafileSize, DrawnExtentTakesEachDrawingRecordsOwnPoints)
{
    auto wmf = [] { return TWmfBuilder(0, 0, 4, false); };
    auto rect = [&] { return wmf().Record(0x041B, {600, 1500, 150, 300}); };
    struct {
        const char* Name;
        std::vector<unsigned char> Bytes;
    } cases[] = {
        {"MOVETO, then LINETO", wmf().Record(0x0214, {150, 300}).Record(0x0213, {600, 1500}).Finish()},
        {"two SETPIXEL", wmf().Record(0x041F, {0, 0, 150, 300}).Record(0x041F, {0, 0, 600, 1500}).Finish()},
        {"ELLIPSE", wmf().Record(0x0418, {600, 1500, 150, 300}).Finish()},
        {"ROUNDRECT: the box, not the corner size", wmf().Record(0x061C, {3000, 3000, 600, 1500, 150, 300}).Finish()},
        {"ARC: the box, not its ends", wmf().Record(0x0817, {3000, 3000, 0, 0, 600, 1500, 150, 300}).Finish()},
        {"PIE: the box, not its ends", wmf().Record(0x081A, {3000, 3000, 0, 0, 600, 1500, 150, 300}).Finish()},
        {"CHORD: the box, not its ends", wmf().Record(0x0830, {3000, 3000, 0, 0, 600, 1500, 150, 300}).Finish()},
        {"POLYGON", wmf().Record(0x0324, {3, 300, 150, 1500, 300, 900, 600}).Finish()},
        {"POLYPOLYGON: the points of every polygon",
         wmf().Record(0x0538, {2, 2, 1, 300, 150, 900, 300, 1500, 600}).Finish()},
        {"PATBLT: corner and size", wmf().Record(0x061D, {0x0021, 0x00F0, 450, 1200, 150, 300}).Finish()},
        {"STRETCHDIB: the destination, not the source",
         wmf().Record(0x0F43, {0x0020, 0x00CC, 0, 3000, 3000, 3000, 3000, 450, 1200, 150, 300}).Finish()},
        {"DIBSTRETCHBLT: the destination, not the source",
         wmf().Record(0x0B41, {0x0021, 0x00F0, 3000, 3000, 3000, 3000, 450, 1200, 150, 300}).Finish()},
        {"TEXTOUT, STRETCHBLT and BITBLT are not counted",
         rect()
             .Record(0x0521, {1, 0x41, 3000, 3000})
             .Record(0x0B23, {0x0021, 0x00F0, 3000, 3000, 3000, 3000, 3000, 3000, 3000, 3000})
             .Record(0x0922, {0x0021, 0x00F0, 3000, 3000, 0, 3000, 3000, 3000, 3000})
             .Finish()},
        {"a RECTANGLE short of its fields adds nothing", rect().Record(0x041B, {3000, 3000, 0}).Finish()},
        {"a POLYLINE short of its points adds none of them", rect().Record(0x0325, {2, 0, 0}).Finish()},
        {"a POLYPOLYGON short of its points adds none of them",
         rect().Record(0x0538, {2, 1, 2, 3000, 3000, 0, 0}).Finish()},
        {"a POLYPOLYGON short of its counts adds nothing", rect().Record(0x0538, {3, 1, 1}).Finish()},
    };
    for (const auto& c : cases) {
        try {
            TBitmap bmp = Decode(c.Bytes, false);
            EXPECT_EQ(bmp.NaturalWidth, 80) << c.Name;
            EXPECT_EQ(bmp.NaturalHeight, 30) << c.Name;
        } catch (const EPictureError& e) {
            ADD_FAILURE() << c.Name << ": " << e.what();
        }
    }
}

// ---- Text in the font's character set ------------------------------------

TEST(MetafileText, BytesAreDecodedByTheFontCharset)
{
    SetSysCodePage(CodePageForLocale("ja_JP.UTF-8"));
    struct {
        const char* Name;
        std::string Bytes;
        int Charset;
        std::u32string Expected;
    } cases[] = {
        {"Shift-JIS", "\x93\xFA\x96\x7B\x8C\xEA", 128, U"日本語"},
        {"Shift-JIS with ASCII and half-width kana", "A\xB1\x82\xA0", 128, U"Aｱあ"},
        {"DEFAULT follows the system code page", "\x93\xFA\x96\x7B", 1, U"日本"},
        {"GB2312", "\xC4\xE3\xBA\xC3", 134, U"你好"},
        {"Cyrillic", "\xCF\xF0\xE8", 204, U"При"},
        {"invalid Shift-JIS pair", "\x81\x20", 128, U"\uFFFD"},
        {"lead byte cut at the end", "a\x82", 128, U"a\uFFFD"},
    };
    for (const auto& c : cases) {
        auto bytes = std::span(reinterpret_cast<const unsigned char*>(c.Bytes.data()), c.Bytes.size());
        EXPECT_EQ(metafile::DecodeCharsetText(bytes, c.Charset, {}).Text, c.Expected) << c.Name;
    }
    SetSysCodePage(CodePageForLocale("C"));
}

TEST(MetafileText, AdvancesAreSummedPerCharacter)
{
    std::string sjis = "A\x93\xFA"
                       "B";
    auto bytes = std::span(reinterpret_cast<const unsigned char*>(sjis.data()), sjis.size());
    auto decoded = metafile::DecodeCharsetText(bytes, 128, {10, 20, 5, 7});
    EXPECT_EQ(decoded.Text, U"A日B");
    EXPECT_EQ(decoded.Advances, (std::vector<double>{10, 25, 7}));

    // UTF-16: a surrogate pair is one code point with both advances; a lone
    // surrogate becomes U+FFFD.
    const unsigned char utf16[] = {0x41, 0, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xD8, 0x42, 0};
    auto wide = metafile::DecodeUtf16Text(utf16, {1, 2, 3, 4, 5});
    EXPECT_EQ(wide.Text, U"A\U0001F600\uFFFDB");
    EXPECT_EQ(wide.Advances, (std::vector<double>{1, 5, 4, 5}));
}

std::string Font(int height, int charset, const std::string& face, int weight = 400)
{
    // LOGFONT16 after height: width, escapement, orientation, weight, flags, face[32]
    std::string s;
    auto w16 = [&](int v) {
        s += char(v & 0xFF);
        s += char(v >> 8 & 0xFF);
    };
    w16(height);
    w16(0);
    w16(0);
    w16(0);
    w16(weight);
    s += char(0);
    s += char(0);
    s += char(0);
    s += char(charset);
    s += std::string(4, '\0');
    s += face;
    s.resize(18 + 32, '\0');
    return s;
}

TBitmap WmfText(int charset, const std::string& text)
{
    TWmfBuilder b;
    std::string font = Font(-40, charset, "IPAGothic");
    b.Record(0x02FB, {}, font).Record(0x012D, {0}).Record(0x0102, {1});
    // EXTTEXTOUT: y, x, length, options, text
    std::string rec = text;
    b.Record(0x0A32, {100, 10, int(text.size()), 0}, rec);
    return Decode(b.Finish(), false);
}

int Ink(const TBitmap& b)
{
    int n = 0;
    for (std::uint32_t p : b.Pixels) n += (p >> 24) > 128;
    return n;
}

TEST(MetafileText, ShiftJisTextIsDrawnAsJapanese)
{
    SetSysCodePage(CodePageForLocale("ja_JP.UTF-8"));
    const std::string nihongo = "\x93\xFA\x96\x7B\x8C\xEA";
    TBitmap sjis = WmfText(128, nihongo);
    TBitmap system = WmfText(1, nihongo);
    SetSysCodePage(CodePageForLocale("en_US.UTF-8"));
    TBitmap latin = WmfText(1, nihongo); // the same bytes as CP1252 characters
    SetSysCodePage(CodePageForLocale("C"));

    EXPECT_GT(Ink(sjis), 300);
    EXPECT_EQ(sjis.Pixels, system.Pixels);
    EXPECT_NE(sjis.Pixels, latin.Pixels);
}

// ---- Gradients, more text records, PolyDraw --------------------------------

// Little-endian 32-bit values as record bytes.
std::string U32s(std::initializer_list<std::uint32_t> values)
{
    test::TBytes b;
    for (std::uint32_t v : values) b.U32(v);
    return {b.Bytes.begin(), b.Bytes.end()};
}

// A TriVertex: position and 16-bit red, green, blue (alpha 0).
std::string Vertex(int x, int y, unsigned r, unsigned g, unsigned b)
{
    return U32s({std::uint32_t(x), std::uint32_t(y), r | g << 16, b});
}

TRgb At(const TBitmap& b, int x, int y) { return OverWhite(b.Pixels[std::size_t(y) * b.Width + x]); }

void ExpectNear(TRgb got, TRgb want, int tolerance, const std::string& what)
{
    EXPECT_NEAR(got.R, want.R, tolerance) << what;
    EXPECT_NEAR(got.G, want.G, tolerance) << what;
    EXPECT_NEAR(got.B, want.B, tolerance) << what;
}

// UTF-16LE bytes of an ASCII string.
std::string Utf16(const std::string& ascii)
{
    std::string out;
    for (char c : ascii) out += {c, '\0'};
    return out;
}

TEST(MetafileHeader, LaterFieldsAreReadOnlyWhereTheHeaderHasThem)
{
    // A red rectangle 20..60 in device units on a 96-dpi reference device
    // (960 pixels over 254 mm) covers output pixels 20..60. The header's
    // size in micrometres, where it really has one, says how large a device
    // pixel is: 960 pixels over 127 mm halves the rectangle to 10..30.
    enum { DescChars = 60, DescOffset = 64, PixelFormatSize = 88, PixelFormatOffset = 92 };
    const std::string extension1 = U32s({0, 0, 0});           // no pixel format, no OpenGL
    const std::string half = U32s({127000, 127000});          // micrometres: twice the pixel size
    const std::string title = Utf16("Microsoft Chart Title"); // micrometres if misread: 'of' = 6.7 m
    struct {
        const char* Name;
        TEmfBuilder Builder;
        bool Halved;
    } cases[] = {
        {"base header only", TEmfBuilder(), false},
        {"header with the micrometre size", TEmfBuilder().HeaderTail(extension1 + half, {}), true},
        {"older header: description right after the base",
         TEmfBuilder().HeaderTail(title, {{DescChars, 21}, {DescOffset, 88}}), false},
        {"pixel format fields, then the description where the micrometres would be",
         TEmfBuilder().HeaderTail(extension1 + title, {{DescChars, 21}, {DescOffset, 100}}), false},
        {"pixel format descriptor where the micrometres would be",
         TEmfBuilder().HeaderTail(extension1 + title, {{PixelFormatSize, 40}, {PixelFormatOffset, 100}}), false},
        {"description after the micrometres",
         TEmfBuilder().HeaderTail(extension1 + half + title, {{DescChars, 21}, {DescOffset, 108}}), true},
    };
    for (auto& c : cases) {
        auto bytes = c.Builder.Record(39, {1, 0, 0x0000FF, 0}).Record(37, {1}).Record(43, {20, 20, 60, 60}).Finish();
        TBitmap bmp = Decode(bytes, true);
        ASSERT_EQ(bmp.Width, 200) << c.Name;
        ExpectNear(At(bmp, 25, 25), {255, 0, 0}, 0, c.Name);
        ExpectNear(At(bmp, 45, 45), c.Halved ? TRgb{255, 255, 255} : TRgb{255, 0, 0}, 0, c.Name);
        ExpectNear(At(bmp, 15, 15), c.Halved ? TRgb{255, 0, 0} : TRgb{255, 255, 255}, 0, c.Name);
    }
}

TEST(MetafileSize, WmfWithoutPlaceableHeaderIsDrawnAtItsNaturalSize)
{
    // A red brush fills the window; a blue one its lower right quarter, so
    // the picture's frame shows at one of its pixels per twip / 15.
    auto fill = [](TWmfBuilder b, int size) {
        return b.Record(0x02FC, {0, 0x00FF, 0x0000, 0})
            .Record(0x012D, {0})
            .Record(0x041B, {size, size, 0, 0})
            .Record(0x02FC, {0, 0x0000, 0x00FF, 0})
            .Record(0x012D, {1})
            .Record(0x041B, {size, size, size / 2, size / 2})
            .Finish();
    };
    struct {
        const char* Name;
        std::vector<unsigned char> Bytes;
        int Size; // natural size in pixels, either way
    } cases[] = {
        {"window extent in twips",
         fill(TWmfBuilder(0, 0, 4, false).Record(0x0103, {8}).Record(0x020C, {1500, 1500}), 1500), 100},
        {"no window extent: the drawing's own extent", fill(TWmfBuilder(0, 0, 4, false), 1800), 120},
    };
    for (const auto& c : cases) {
        TBitmap bmp = Decode(c.Bytes, false);
        ASSERT_EQ(bmp.NaturalWidth, c.Size) << c.Name;
        ASSERT_EQ(bmp.NaturalHeight, c.Size) << c.Name;
        ExpectNear(At(bmp, c.Size / 4, c.Size / 4), {255, 0, 0}, 0, c.Name);
        ExpectNear(At(bmp, c.Size * 3 / 4, c.Size * 3 / 4), {0, 0, 255}, 0, c.Name);
        ExpectNear(At(bmp, c.Size / 4, c.Size * 3 / 4), {255, 0, 0}, 0, c.Name);
    }
}

TEST(MetafileGradient, RectanglesAndTrianglesAreShadedBetweenTheirCorners)
{
    struct TProbe {
        int X, Y;
        TRgb Want;
    };
    struct {
        const char* Name;
        std::uint32_t Mode;
        std::string Vertexes;
        std::string Indexes;
        std::uint32_t VertexCount, ShapeCount;
        std::vector<TProbe> Probes;
    } cases[] = {
        {"horizontal rectangle",
         0,
         Vertex(20, 20, 0xFF00, 0, 0) + Vertex(180, 60, 0, 0, 0xFF00),
         U32s({0, 1}),
         2,
         1,
         {{21, 40, {255, 0, 0}}, {100, 40, {128, 0, 127}}, {178, 40, {0, 0, 255}}, {100, 70, {255, 255, 255}}}},
        {"vertical rectangle",
         1,
         Vertex(20, 20, 0, 0xFF00, 0) + Vertex(60, 180, 0xFF00, 0xFF00, 0xFF00),
         U32s({0, 1}),
         2,
         1,
         {{40, 21, {0, 255, 0}}, {40, 100, {128, 255, 128}}, {40, 178, {255, 255, 255}}, {70, 100, {255, 255, 255}}}},
        {"triangle",
         2,
         Vertex(0, 0, 0xFF00, 0, 0) + Vertex(200, 0, 0, 0xFF00, 0) + Vertex(0, 200, 0, 0, 0xFF00),
         U32s({0, 1, 2}),
         3,
         1,
         {{1, 1, {254, 0, 0}}, {100, 1, {127, 127, 0}}, {1, 100, {127, 0, 127}}, {150, 150, {255, 255, 255}}}},
        {"two rectangles sharing vertexes",
         0,
         Vertex(0, 0, 0, 0, 0) + Vertex(100, 100, 0xFF00, 0xFF00, 0xFF00) + Vertex(200, 200, 0, 0, 0),
         U32s({0, 1, 1, 2}),
         3,
         2,
         {{50, 50, {128, 128, 128}}, {150, 150, {128, 128, 128}}, {150, 50, {255, 255, 255}}}},
    };
    for (const auto& c : cases) {
        auto bytes = TEmfBuilder()
                         .Record(118, {0, 0, 200, 200, c.VertexCount, c.ShapeCount, c.Mode}, c.Vertexes + c.Indexes)
                         .Finish();
        TBitmap bmp = Decode(bytes, true);
        for (const TProbe& p : c.Probes)
            ExpectNear(At(bmp, p.X, p.Y), p.Want, 6,
                       std::string(c.Name) + " at " + std::to_string(p.X) + "," + std::to_string(p.Y));
    }
}

std::string Utf16(const std::u16string& text, std::size_t units = 0)
{
    std::string s;
    for (char16_t c : text) {
        s += char(c & 0xFF);
        s += char(c >> 8);
    }
    s.resize(std::max(s.size(), units * 2), '\0');
    return s;
}

// EMF with a 40-pixel font in slot 1, transparent text background.
TEmfBuilder EmfWithFont()
{
    TEmfBuilder b;
    b.Record(82, {1, std::uint32_t(-40), 0, 0, 0, 400, 0, 0}, Utf16(u"DejaVu Sans", 32)).Record(37, {1});
    b.Record(18, {1});
    return b;
}

// Pixels with ink inside and outside the box [x0, x1) x [y0, y1).
std::pair<int, int> InkInBox(const TBitmap& b, int x0, int y0, int x1, int y1)
{
    int in = 0, out = 0;
    for (int y = 0; y < b.Height; ++y)
        for (int x = 0; x < b.Width; ++x)
            if ((b.Pixels[std::size_t(y) * b.Width + x] >> 24) > 128)
                ++(x >= x0 && x < x1 && y >= y0 && y < y1 ? in : out);
    return {in, out};
}

TEST(MetafileText, SmallAndPolyTextRecordsDrawLikeExtTextOut)
{
    struct {
        const char* Name;
        std::vector<unsigned char> Bytes;
        std::vector<std::array<int, 4>> Boxes; // each string's expected box
    } cases[] = {
        {"SMALLTEXTOUT, 8-bit, no rectangle",
         EmfWithFont().Record(108, {20, 30, 5, 0x300, 1, 0, 0}, "Hello").Finish(),
         {{20, 25, 200, 80}}},
        {"SMALLTEXTOUT, UTF-16, with a rectangle",
         EmfWithFont().Record(108, {20, 120, 5, 0, 1, 0, 0, 0, 0, 0, 0}, Utf16(u"Hello")).Finish(),
         {{20, 115, 200, 170}}},
        {"POLYTEXTOUTW, two strings",
         EmfWithFont()
             .Record(97, {0, 0, 0, 0, 1, 0, 0, 2},
                     U32s({10, 10, 3, 120, 0, 0, 0, 0, 0, 0}) + U32s({10, 130, 3, 128, 0, 0, 0, 0, 0, 0}) +
                         Utf16(u"Abc") + std::string(2, '\0') + Utf16(u"Xyz"))
             .Finish(),
         {{10, 5, 120, 60}, {10, 125, 120, 180}}},
        {"POLYTEXTOUTA, one string",
         EmfWithFont().Record(96, {0, 0, 0, 0, 1, 0, 0, 1}, U32s({50, 60, 3, 80, 0, 0, 0, 0, 0, 0}) + "Abc").Finish(),
         {{50, 55, 160, 110}}},
    };
    for (const auto& c : cases) {
        TBitmap bmp = Decode(c.Bytes, true);
        int outside = 0;
        std::vector<bool> inBox(std::size_t(bmp.Width) * bmp.Height, false);
        for (const auto& box : c.Boxes) {
            auto [in, out] = InkInBox(bmp, box[0], box[1], box[2], box[3]);
            EXPECT_GT(in, 100) << c.Name << ": box at " << box[0] << "," << box[1];
            for (int y = box[1]; y < box[3]; ++y)
                for (int x = box[0]; x < box[2]; ++x) inBox[std::size_t(y) * bmp.Width + x] = true;
        }
        for (std::size_t i = 0; i < inBox.size(); ++i) outside += !inBox[i] && (bmp.Pixels[i] >> 24) > 128;
        EXPECT_EQ(outside, 0) << c.Name;
    }
}

TEST(MetafilePolyDraw, PointTypesDrawLinesBeziersAndClosedFigures)
{
    // A 5-pixel black pen; from (20, 180) a Bézier through (100, 60) to
    // (180, 180), then a line to (100, 190) that closes back to (20, 180).
    auto emf = [](std::uint32_t type, bool small, const std::string& types) {
        std::vector<std::pair<int, int>> pts = {{20, 180}, {20, 20}, {180, 20}, {180, 180}, {100, 190}};
        std::string data;
        for (auto [x, y] : pts)
            data +=
                small ? U32s({std::uint32_t(x) | std::uint32_t(y) << 16}) : U32s({std::uint32_t(x), std::uint32_t(y)});
        TEmfBuilder b;
        b.Record(38, {1, 0, 5, 0, 0}).Record(37, {1});
        return b.Record(type, {0, 0, 200, 200, std::uint32_t(pts.size())}, data + types).Finish();
    };
    const std::string good = {6, 4, 4, 4, 2 | 1};
    struct {
        const char* Name;
        std::vector<unsigned char> Bytes;
        bool Drawn;
    } cases[] = {
        {"POLYDRAW", emf(56, false, good), true},
        {"POLYDRAW16", emf(92, true, good), true},
        {"a Bezier of two points draws nothing", emf(56, false, {6, 4, 4, 2, 2}), false},
        {"a closed move draws nothing", emf(56, false, {6 | 1, 4, 4, 4, 2}), false},
    };
    for (const auto& c : cases) {
        TBitmap bmp = Decode(c.Bytes, true);
        auto dark = [&](int x, int y) { return At(bmp, x, y).R < 100; };
        EXPECT_EQ(dark(100, 60), c.Drawn) << c.Name << ": the Bezier's middle";
        EXPECT_EQ(dark(140, 185), c.Drawn) << c.Name << ": the line";
        EXPECT_EQ(dark(60, 185), c.Drawn) << c.Name << ": the closing line";
        EXPECT_FALSE(dark(100, 100)) << c.Name << ": inside the figure";
    }
}

// ---- Clip combination and regions -----------------------------------------

// EMR_EXTSELECTCLIPRGN with one device rectangle.
std::string ClipRect(int l, int t, int r, int b)
{
    return U32s({32, 1, 1, 16, std::uint32_t(l), std::uint32_t(t), std::uint32_t(r), std::uint32_t(b), std::uint32_t(l),
                 std::uint32_t(t), std::uint32_t(r), std::uint32_t(b)});
}

TEST(MetafileClip, RegionsCombineByMode)
{
    // A = (20..120)², B = (80..180)²; then the whole picture is filled red.
    enum : int { Copy = 5, And = 1, Or = 2, Xor = 3, Diff = 4 };
    struct TStep {
        std::uint32_t Type;
        std::vector<std::uint32_t> Values;
        std::string Extra;
    };
    auto select = [](int mode, bool a) {
        return TStep{75, {48, std::uint32_t(mode)}, a ? ClipRect(20, 20, 120, 120) : ClipRect(80, 80, 180, 180)};
    };
    struct {
        const char* Name;
        std::vector<TStep> Steps;
        // painted at (50,50) in A only, (150,150) in B only, (100,100) in both,
        // (50,150) in neither, (150,50) in neither
        std::array<bool, 5> Painted;
    } cases[] = {
        {"COPY", {select(Copy, true), select(Copy, false)}, {false, true, true, false, false}},
        {"AND", {select(Copy, true), select(And, false)}, {false, false, true, false, false}},
        {"OR", {select(Copy, true), select(Or, false)}, {true, true, true, false, false}},
        {"XOR", {select(Copy, true), select(Xor, false)}, {true, true, false, false, false}},
        {"DIFF", {select(Copy, true), select(Diff, false)}, {true, false, false, false, false}},
        {"OR with no clip is everything", {select(Or, false)}, {true, true, true, true, true}},
        {"XOR with no clip is everything else", {select(Xor, false)}, {true, false, false, true, true}},
        {"offset moves the clip", {select(Copy, true), {26, {50, 0}, {}}}, {false, false, true, false, true}},
        {"offset moves a combined clip",
         {select(Copy, true), select(Xor, false), {26, {0, std::uint32_t(-60)}, {}}},
         {true, false, true, false, true}},
        {"offset without a clip does nothing", {{26, {50, 50}, {}}}, {true, true, true, true, true}},
        {"restore brings back the clip before the save",
         {select(Copy, true), {33, {}, {}}, select(Xor, false), {34, {std::uint32_t(-1)}, {}}},
         {true, false, true, false, false}},
        {"ExcludeClipRect", {{29, {80, 80, 180, 180}, {}}}, {true, false, false, true, true}},
        {"COPY of an empty region clips everything",
         {{75, {32, Copy}, U32s({32, 1, 0, 0, 0, 0, 0, 0})}},
         {false, false, false, false, false}},
        {"no region data lifts the clip", {select(Copy, true), {75, {0, Copy}, {}}}, {true, true, true, true, true}},
    };
    const int points[5][2] = {{50, 50}, {150, 150}, {100, 100}, {50, 150}, {150, 50}};
    for (const auto& c : cases) {
        TEmfBuilder b;
        b.Record(39, {1, 0, 0x0000FF, 0}).Record(37, {1}).Record(37, {0x80000008});
        for (const TStep& step : c.Steps) {
            std::string extra = U32s({});
            for (std::uint32_t v : step.Values) extra += U32s({v});
            b.Record(step.Type, {}, extra + step.Extra);
        }
        TBitmap bmp = Decode(b.Record(43, {0, 0, 201, 201}).Finish(), true);
        for (int i = 0; i < 5; ++i) {
            TRgb p = At(bmp, points[i][0], points[i][1]);
            bool red = p.R == 255 && p.G == 0 && p.B == 0;
            bool white = p.R == 255 && p.G == 255 && p.B == 255;
            EXPECT_TRUE(red || white) << c.Name << " at point " << i;
            EXPECT_EQ(red, c.Painted[i]) << c.Name << " at point " << i;
        }
    }
}

// A WMF region of one rectangle (one scan).
std::string WmfRegion(int l, int t, int r, int b)
{
    test::TBytes s;
    for (int v : {0, 6, 0, 0, 30, 1, 2, l, t, r, b, 2, t, b, l, r, 2}) s.U16(static_cast<unsigned>(v) & 0xFFFF);
    return {s.Bytes.begin(), s.Bytes.end()};
}

TEST(MetafileRegion, WmfAndEmfRegionRecordsPaintAndClip)
{
    // Slot 0: a red brush; slot 1: the region (20..120)²; (30, 30) lies inside,
    // (21, 60) on the left edge, (150, 150) outside.
    auto wmf = [] {
        TWmfBuilder b;
        b.Record(0x02FC, {0, 0x00FF, 0x0000, 0}).Record(0x06FF, {}, WmfRegion(20, 20, 120, 120));
        return b;
    };
    auto emf = [] {
        TEmfBuilder b;
        b.Record(39, {1, 0, 0x0000FF, 0}).Record(37, {1});
        return b;
    };
    const std::string rgn = ClipRect(20, 20, 120, 120).substr(0); // RGNDATA for (20..120)²
    struct {
        const char* Name;
        std::vector<unsigned char> Bytes;
        bool Emf;
        TRgb Inside, Edge, Outside;
    } cases[] = {
        {"WMF FillRegion", wmf().Record(0x0228, {1, 0}).Finish(), false, {255, 0, 0}, {255, 0, 0}, {255, 255, 255}},
        {"WMF PaintRegion",
         wmf().Record(0x012D, {0}).Record(0x012B, {1}).Finish(),
         false,
         {255, 0, 0},
         {255, 0, 0},
         {255, 255, 255}},
        {"WMF FrameRegion of 3 x 3",
         wmf().Record(0x0429, {1, 0, 3, 3}).Finish(),
         false,
         {255, 255, 255},
         {255, 0, 0},
         {255, 255, 255}},
        {"WMF InvertRegion", wmf().Record(0x012A, {1}).Finish(), false, {0, 0, 0}, {0, 0, 0}, {255, 255, 255}},
        {"WMF SelectClipRegion",
         wmf().Record(0x012C, {1}).Record(0x012D, {0}).Record(0x041B, {201, 201, 0, 0}).Finish(),
         false,
         {255, 0, 0},
         {255, 0, 0},
         {255, 255, 255}},
        {"WMF selecting a region object clips",
         wmf().Record(0x012D, {1}).Record(0x012D, {0}).Record(0x041B, {201, 201, 0, 0}).Finish(),
         false,
         {255, 0, 0},
         {255, 0, 0},
         {255, 255, 255}},
        {"WMF clip region 0 lifts the clip",
         wmf().Record(0x012C, {1}).Record(0x012C, {0}).Record(0x012D, {0}).Record(0x041B, {201, 201, 0, 0}).Finish(),
         false,
         {255, 0, 0},
         {255, 0, 0},
         {255, 0, 0}},
        {"EMF FrameRgn of 3 x 3",
         emf().Record(72, {0, 0, 0, 0, 48, 1, 3, 3}, rgn).Finish(),
         true,
         {255, 255, 255},
         {255, 0, 0},
         {255, 255, 255}},
        {"EMF InvertRgn",
         emf().Record(73, {0, 0, 0, 0, 48}, rgn).Finish(),
         true,
         {0, 0, 0},
         {0, 0, 0},
         {255, 255, 255}},
    };
    for (const auto& c : cases) {
        TBitmap bmp = Decode(c.Bytes, c.Emf);
        ExpectNear(At(bmp, 30, 30), c.Inside, 0, std::string(c.Name) + ": inside");
        ExpectNear(At(bmp, 21, 60), c.Edge, 0, std::string(c.Name) + ": edge");
        ExpectNear(At(bmp, 150, 150), c.Outside, 0, std::string(c.Name) + ": outside");
    }
}

// Records that mean the same in both formats read WMF's 16-bit fields and
// EMF's 32-bit ones, each in its own order: signed values, points stored
// y first (WMF) or x first (EMF), a round rectangle's corner width and
// height. Each case probes where the two readings of a field would differ.
TEST(MetafileRecords, SharedRecordsReadEachFormatsFieldsInItsOrder)
{
    // Brushes red, green and blue: WMF slots 0 to 2, EMF handles 1 to 3.
    auto wmf = [] {
        TWmfBuilder b;
        b.Record(0x02FC, {0, 0x00FF, 0x0000, 0}).Record(0x02FC, {0, 0xFF00, 0x0000, 0});
        b.Record(0x02FC, {0, 0x0000, 0x00FF, 0});
        return b;
    };
    auto emf = [] {
        TEmfBuilder b;
        b.Record(39, {1, 0, 0x0000FF, 0}).Record(39, {2, 0, 0x00FF00, 0}).Record(39, {3, 0, 0xFF0000, 0});
        return b;
    };
    const TRgb red{255, 0, 0}, blue{0, 0, 255}, white{255, 255, 255};
    struct TProbe {
        int X, Y;
        TRgb Want;
    };
    struct {
        const char* Name;
        std::vector<unsigned char> Bytes;
        bool Emf;
        std::vector<TProbe> Probes;
    } cases[] = {
        {"WMF RESTOREDC -2 goes back two saved states",
         wmf()
             .Record(0x012D, {0})
             .Record(0x001E, {})
             .Record(0x012D, {1})
             .Record(0x001E, {})
             .Record(0x012D, {2})
             .Record(0x0127, {-2})
             .Record(0x041B, {60, 60, 20, 20})
             .Finish(),
         false,
         {{40, 40, red}}},
        {"EMF RESTOREDC -2 goes back two saved states",
         emf()
             .Record(37, {1})
             .Record(33, {})
             .Record(37, {2})
             .Record(33, {})
             .Record(37, {3})
             .Record(34, {0xFFFFFFFE})
             .Record(43, {20, 20, 60, 60})
             .Finish(),
         true,
         {{40, 40, red}}},
        {"WMF SETPIXEL: colour, then y before x",
         wmf().Record(0x041F, {0x0000, 0x00FF, 10, 30}).Finish(),
         false,
         {{30, 10, blue}, {10, 30, white}}},
        {"EMF SETPIXELV: x before y, then colour",
         emf().Record(15, {30, 10, 0xFF0000}).Finish(),
         true,
         {{30, 10, blue}, {10, 30, white}}},
        // Corners 80 wide and 20 high cut (30, 21) off; 20 wide and 80 high would not.
        {"WMF ROUNDRECT: corner height, then width",
         wmf().Record(0x012D, {0}).Record(0x061C, {20, 80, 180, 180, 20, 20}).Finish(),
         false,
         {{30, 21, white}, {100, 100, red}}},
        {"EMF ROUNDRECT: corner width, then height",
         emf().Record(37, {1}).Record(44, {20, 20, 180, 180, 80, 20}).Finish(),
         true,
         {{30, 21, white}, {100, 100, red}}},
        {"WMF window origin is signed",
         wmf().Record(0x012D, {0}).Record(0x020B, {-100, -100}).Record(0x041B, {-40, -40, -80, -80}).Finish(),
         false,
         {{40, 40, red}, {10, 10, white}}},
        {"EMF window origin is 32-bit",
         emf().Record(37, {1}).Record(10, {70000, 70000}).Record(43, {70020, 70020, 70060, 70060}).Finish(),
         true,
         {{40, 40, red}, {10, 10, white}}},
    };
    for (const auto& c : cases) {
        TBitmap bmp = Decode(c.Bytes, c.Emf);
        for (const TProbe& probe : c.Probes)
            ExpectNear(At(bmp, probe.X, probe.Y), probe.Want, 40,
                       std::string(c.Name) + " at " + std::to_string(probe.X) + ", " + std::to_string(probe.Y));
    }
}

// The pen, brush and font records of both formats hold the same logical
// structures in their own widths.
TEST(MetafileRecords, ObjectRecordsReadPenBrushAndFontFields)
{
    // A pen of width -9 is 9 wide: a red line along y = 100.
    struct {
        const char* Name;
        std::vector<unsigned char> Bytes;
        bool Emf;
    } pens[] = {
        {"WMF CREATEPENINDIRECT",
         TWmfBuilder()
             .Record(0x02FA, {0, -9, 0, 0x00FF, 0x0000})
             .Record(0x012D, {0})
             .Record(0x0214, {100, 20})
             .Record(0x0213, {100, 180})
             .Finish(),
         false},
        {"EMF CREATEPEN",
         TEmfBuilder()
             .Record(38, {1, 0, std::uint32_t(-9), 0, 0x0000FF})
             .Record(37, {1})
             .Record(27, {20, 100})
             .Record(54, {180, 100})
             .Finish(),
         true},
    };
    for (const auto& c : pens) {
        TBitmap bmp = Decode(c.Bytes, c.Emf);
        ExpectNear(At(bmp, 100, 103), {255, 0, 0}, 40, std::string(c.Name) + ": within the width");
        ExpectNear(At(bmp, 100, 110), {255, 255, 255}, 40, std::string(c.Name) + ": beyond it");
    }

    // A black HS_VERTICAL hatch: each column is the same all the way down,
    // and a row crosses both lines and gaps.
    struct {
        const char* Name;
        std::vector<unsigned char> Bytes;
        bool Emf;
    } hatches[] = {
        {"WMF CREATEBRUSHINDIRECT",
         TWmfBuilder().Record(0x02FC, {2, 0, 0, 1}).Record(0x012D, {0}).Record(0x041B, {180, 180, 20, 20}).Finish(),
         false},
        {"EMF CREATEBRUSHINDIRECT",
         TEmfBuilder().Record(39, {1, 2, 0, 1}).Record(37, {1}).Record(43, {20, 20, 180, 180}).Finish(), true},
    };
    for (const auto& c : hatches) {
        TBitmap bmp = Decode(c.Bytes, c.Emf);
        int dark = 0;
        for (int x = 40; x < 56; ++x) {
            dark += At(bmp, x, 50).R < 128;
            for (int y = 51; y < 60; ++y)
                EXPECT_EQ(At(bmp, x, y).R, At(bmp, x, 50).R) << c.Name << " at " << x << ", " << y;
        }
        EXPECT_GT(dark, 0) << c.Name;
        EXPECT_LT(dark, 16) << c.Name;
    }

    // Weight 700 puts more ink down than 400.
    auto wmfText = [](int weight) {
        TWmfBuilder b;
        b.Record(0x02FB, {}, Font(-40, 0, "DejaVu Sans", weight)).Record(0x012D, {0}).Record(0x0102, {1});
        return Decode(b.Record(0x0A32, {100, 10, 5, 0}, "Hello").Finish(), false);
    };
    auto emfText = [](std::uint32_t weight) {
        TEmfBuilder b;
        b.Record(82, {1, std::uint32_t(-40), 0, 0, 0, weight, 0, 0}, Utf16(u"DejaVu Sans", 32)).Record(37, {1});
        b.Record(18, {1});
        return Decode(b.Record(108, {20, 120, 5, 0x300, 1, 0, 0}, "Hello").Finish(), true);
    };
    EXPECT_GT(Ink(wmfText(700)), Ink(wmfText(400)) * 11 / 10) << "WMF CREATEFONTINDIRECT";
    EXPECT_GT(Ink(emfText(700)), Ink(emfText(400)) * 11 / 10) << "EMF EXTCREATEFONTINDIRECTW";
}

TEST(MetafilePath, FillingAWidenedPathPaintsTheStrokeWithTheBrush)
{
    // A 20-unit pen along y = 100 from x 20 to 180, red brush.
    auto bytes = [](bool widen) {
        TEmfBuilder b;
        b.Record(39, {1, 0, 0x0000FF, 0}).Record(37, {1}).Record(38, {2, 0x10000, 20, 0, 0}).Record(37, {2});
        b.Record(59, {}).Record(27, {20, 100}).Record(54, {180, 100}).Record(60, {});
        if (widen) b.Record(66, {});
        b.Record(65, {}); // FlattenPath keeps the path
        return b.Record(62, {0, 0, 200, 200}).Finish();
    };
    TBitmap widened = Decode(bytes(true), true);
    TBitmap plain = Decode(bytes(false), true);
    ExpectNear(At(widened, 100, 95), {255, 0, 0}, 0, "widened, in the stroke");
    ExpectNear(At(widened, 100, 120), {255, 255, 255}, 0, "widened, beside the stroke");
    ExpectNear(At(plain, 100, 95), {255, 255, 255}, 0, "not widened: an open line fills nothing");
}

// ---- Raster operations -----------------------------------------------------

// A bottom-up 32-bit DIB: BITMAPINFOHEADER, then rows of 0x00RRGGBB.
std::string Dib32(int width, int height, std::initializer_list<std::uint32_t> bottomUpPixels)
{
    return U32s({40, std::uint32_t(width), std::uint32_t(height), 0x200001, 0, 0, 0, 0, 0, 0}) + U32s(bottomUpPixels);
}

// EMR_STRETCHBLT of a bitmap into (x, y, w, h) by a raster operation.
TEmfBuilder& StretchBlt(TEmfBuilder& b, int x, int y, int w, int h, std::uint32_t rop, int bw, int bh,
                        std::initializer_list<std::uint32_t> pixels)
{
    std::string dib = Dib32(bw, bh, pixels);
    const std::uint32_t one = 0x3F800000; // 1.0f
    return b.Record(77,
                    {0,
                     0,
                     0,
                     0,
                     std::uint32_t(x),
                     std::uint32_t(y),
                     std::uint32_t(w),
                     std::uint32_t(h),
                     rop,
                     0,
                     0,
                     one,
                     0,
                     0,
                     one,
                     0,
                     0,
                     0,
                     0,
                     108,
                     40,
                     148,
                     std::uint32_t(dib.size() - 40),
                     std::uint32_t(bw),
                     std::uint32_t(bh)},
                    dib);
}

// EMR_BITBLT without a bitmap: the brush and what is there by a raster operation.
TEmfBuilder& PatternBlt(TEmfBuilder& b, int x, int y, int w, int h, std::uint32_t rop)
{
    return b.Record(76, {0,
                         0,
                         0,
                         0,
                         std::uint32_t(x),
                         std::uint32_t(y),
                         std::uint32_t(w),
                         std::uint32_t(h),
                         rop,
                         0,
                         0,
                         0x3F800000,
                         0,
                         0,
                         0x3F800000,
                         0,
                         0,
                         0,
                         0,
                         0,
                         0,
                         0,
                         0});
}

// COLORREFs (0x00BBGGRR); bitmap pixels are 0x00RRGGBB.
constexpr std::uint32_t NullPen = 0x80000008, Red = 0x0000FF, Green = 0x00FF00, Blue = 0xFF0000, Black = 0,
                        White = 0xFFFFFF, RedPixel = 0xFF0000, BluePixel = 0x0000FF;

TEST(MetafileRaster, OperationsCombineWithWhatIsDrawnAsWindowsDoes)
{
    // Each case paints the left half (x < 100) in a background colour with no
    // pen, then an operation over x 50..150; the probes sit where it meets the
    // background (75), the white panel (125), and outside it (25 and 175).
    // Colours in probes are what Windows shows over a white page.
    auto base = [](std::uint32_t background) {
        TEmfBuilder b;
        b.Record(37, {NullPen}).Record(39, {1, 0, background, 0}).Record(37, {1}).Record(43, {0, 0, 100, 200});
        return b;
    };
    auto rop2 = [&](int mode, std::uint32_t brush) {
        TEmfBuilder b = base(Red);
        b.Record(39, {2, 0, brush, 0}).Record(37, {2}).Record(20, {std::uint32_t(mode)}).Record(43, {50, 0, 150, 200});
        return b.Finish();
    };
    auto blit = [&](std::uint32_t background, std::uint32_t rop, std::uint32_t pixel) {
        TEmfBuilder b = base(background);
        return StretchBlt(b, 50, 0, 100, 200, rop, 1, 1, {pixel}).Finish();
    };
    auto patBlt = [&](std::uint32_t rop, std::uint32_t brush) {
        TEmfBuilder b = base(Red);
        b.Record(39, {2, 0, brush, 0}).Record(37, {2});
        return PatternBlt(b, 50, 0, 100, 200, rop).Finish();
    };
    struct {
        const char* Name;
        std::vector<unsigned char> Bytes;
        TRgb OverBackground, OverPanel;
    } cases[] = {
        {"R2_COPYPEN blue", rop2(13, Blue), {0, 0, 255}, {0, 0, 255}},
        {"R2_XORPEN blue", rop2(7, Blue), {255, 0, 255}, {255, 255, 0}},
        {"R2_NOT", rop2(6, Blue), {0, 255, 255}, {0, 0, 0}},
        {"R2_MASKPEN green", rop2(9, Green), {0, 0, 0}, {0, 255, 0}},
        {"R2_MERGEPEN blue", rop2(15, Blue), {255, 0, 255}, {255, 255, 255}},
        {"R2_NOTXORPEN blue", rop2(10, Blue), {0, 255, 0}, {0, 0, 255}},
        {"R2_NOP", rop2(11, Blue), {255, 0, 0}, {255, 255, 255}},
        {"SRCAND: a black mask pixel", blit(Green, 0x008800C6, Black), {0, 0, 0}, {0, 0, 0}},
        {"SRCAND: a white mask pixel", blit(Green, 0x008800C6, White), {0, 255, 0}, {255, 255, 255}},
        {"SRCPAINT red", blit(Green, 0x00EE0086, RedPixel), {255, 255, 0}, {255, 255, 255}},
        {"SRCINVERT blue", blit(Red, 0x00660046, BluePixel), {255, 0, 255}, {255, 255, 0}},
        {"NOTSRCCOPY blue", blit(Red, 0x00330008, BluePixel), {255, 255, 0}, {255, 255, 0}},
        {"DSTINVERT", patBlt(0x00550009, Blue), {0, 255, 255}, {0, 0, 0}},
        {"PATINVERT blue", patBlt(0x005A0049, Blue), {255, 0, 255}, {255, 255, 0}},
        {"BLACKNESS", patBlt(0x00000042, Blue), {0, 0, 0}, {0, 0, 0}},
        {"WHITENESS", patBlt(0x00FF0062, Blue), {255, 255, 255}, {255, 255, 255}},
    };
    for (const auto& c : cases) {
        TBitmap bmp = Decode(c.Bytes, true);
        ExpectNear(At(bmp, 75, 100), c.OverBackground, 1, std::string(c.Name) + ", over the background");
        ExpectNear(At(bmp, 125, 100), c.OverPanel, 1, std::string(c.Name) + ", over the panel");
        EXPECT_EQ(bmp.Pixels[100 * 200 + 175], 0u) << c.Name << ": outside, nothing is drawn";
        EXPECT_TRUE(bmp.Notes.empty()) << c.Name;
    }
}

TEST(MetafileRaster, MaskPairDrawsAnIconTransparently)
{
    // The icon's mask (black where the icon is, white around it) goes down
    // with SRCAND, then its colours (black around it) with SRCPAINT: the
    // background shows around the red icon.
    TEmfBuilder b;
    b.Record(37, {NullPen}).Record(39, {1, 0, Green, 0}).Record(37, {1}).Record(43, {0, 0, 200, 200});
    StretchBlt(b, 0, 0, 200, 200, 0x008800C6, 2, 1, {Black, White});
    StretchBlt(b, 0, 0, 200, 200, 0x00EE0086, 2, 1, {RedPixel, Black});
    TBitmap bmp = Decode(b.Finish(), true);
    ExpectNear(At(bmp, 50, 100), {255, 0, 0}, 0, "the icon");
    ExpectNear(At(bmp, 150, 100), {0, 255, 0}, 0, "around the icon");
}

TEST(MetafileRaster, FloodFillStopsAtTheBorderOrKeepsToTheSurfaceColour)
{
    // A black ring (30..170 minus 40..160) on the panel; the fill starts at
    // its centre.
    auto ring = [](TEmfBuilder b) {
        b.Record(37, {NullPen}).Record(39, {1, 0, Black, 0}).Record(37, {1}).Record(43, {30, 30, 170, 170});
        b.Record(39, {2, 0, White, 0}).Record(37, {2}).Record(43, {40, 40, 160, 160});
        b.Record(39, {3, 0, Red, 0}).Record(37, {3});
        return b;
    };
    auto wmfRing = [](std::initializer_list<int> fill) {
        TWmfBuilder b;
        b.Record(0x012D, {0}); // nothing there yet: ignored
        b.Record(0x02FC, {0, 0, 0, 0}).Record(0x012D, {0}).Record(0x041B, {170, 170, 30, 30});
        b.Record(0x02FC, {0, 0xFFFF, 0xFF, 0}).Record(0x012D, {1}).Record(0x041B, {160, 160, 40, 40});
        b.Record(0x02FC, {0, 0x00FF, 0, 0}).Record(0x012D, {2});
        b.Record(fill.size() == 4 ? 0x0419 : 0x0548, fill);
        return b.Finish();
    };
    struct {
        const char* Name;
        std::vector<unsigned char> Bytes;
        bool Emf;
        TRgb Centre, Ring, Outside;
    } cases[] = {
        {"EMF up to the black border",
         ring(TEmfBuilder()).Record(53, {100, 100, Black, 0}).Finish(),
         true,
         {255, 0, 0},
         {0, 0, 0},
         {255, 255, 255}},
        {"EMF over the white surface",
         ring(TEmfBuilder()).Record(53, {100, 100, White, 1}).Finish(),
         true,
         {255, 0, 0},
         {0, 0, 0},
         {255, 255, 255}},
        {"EMF surface colour not at the start: nothing",
         ring(TEmfBuilder()).Record(53, {100, 100, Blue, 1}).Finish(),
         true,
         {255, 255, 255},
         {0, 0, 0},
         {255, 255, 255}},
        {"EMF border fill starting on the border: nothing",
         ring(TEmfBuilder()).Record(53, {35, 100, Black, 0}).Finish(),
         true,
         {255, 255, 255},
         {0, 0, 0},
         {255, 255, 255}},
        {"WMF FLOODFILL up to the black border",
         wmfRing({0, 0, 100, 100}),
         false,
         {255, 0, 0},
         {0, 0, 0},
         {255, 255, 255}},
        {"WMF EXTFLOODFILL over the white surface",
         wmfRing({1, 0xFFFF, 0xFF, 100, 100}),
         false,
         {255, 0, 0},
         {0, 0, 0},
         {255, 255, 255}},
    };
    for (const auto& c : cases) {
        TBitmap bmp = Decode(c.Bytes, c.Emf);
        ExpectNear(At(bmp, 100, 100), c.Centre, 0, std::string(c.Name) + ", centre");
        ExpectNear(At(bmp, 155, 155), c.Centre, 0, std::string(c.Name) + ", inner corner");
        ExpectNear(At(bmp, 35, 100), c.Ring, 0, std::string(c.Name) + ", ring");
        ExpectNear(At(bmp, 10, 10), c.Outside, 0, std::string(c.Name) + ", outside");
        EXPECT_EQ(bmp.Pixels[10 * 200 + 10], 0u) << c.Name << ": outside stays unpainted";
    }
}

// ---- Broken and hostile files ---------------------------------------------

struct THostileCase {
    const char* Name;
    std::function<std::vector<unsigned char>()> Make;
    bool Emf;
    const char* Refused;                    // part of the message when the file is refused, else a picture
    const char* Note;                       // a note the load reports, when it has one to check
    std::optional<std::pair<int, int>> Red; // a pixel the valid records paint red
};

std::vector<unsigned char> Cut(const char* file, std::size_t keep)
{
    auto b = ReadFixture(file);
    b.resize(std::min(keep, b.size()));
    return b;
}

// A red rectangle (20..60) through a brush in slot 0, then whatever follows.
TWmfBuilder RedWmf(unsigned objects = 16)
{
    TWmfBuilder b(200, 96, objects);
    b.Record(0x02FC, {0, 0x00FF, 0x0000, 0}).Record(0x012D, {0}).Record(0x041B, {60, 60, 20, 20});
    return b;
}
TEmfBuilder RedEmf(unsigned handles = 16)
{
    TEmfBuilder b(200, handles);
    b.Record(39, {1, 0, 0x0000FF, 0}).Record(37, {1}).Record(43, {20, 20, 60, 60});
    return b;
}

const THostileCase HostileCases[] = {
    // A record malformed in itself is skipped and the records after it drawn.
    {"WMF region in a layout we do not expect, then a drawing",
     [] {
         return TWmfBuilder()
             .Record(0x06FF, {0, 6, 0, 0, 30, 1, 2, 0, 0, 9, 9, 3, 0, 9, 1, 5, 3}) // a scan of 3 x values
             .Record(0x02FC, {0, 0x00FF, 0x0000, 0})
             .Record(0x012D, {0})
             .Record(0x041B, {60, 60, 20, 20})
             .Finish();
     },
     false,
     nullptr,
     "skipped 1 META_CREATEREGION record (malformed)",
     {{40, 40}}},
    {"WMF rectangle shorter than its corners",
     [] {
         return RedWmf().Record(0x041B, {1, 2}).Finish();
     },
     false,
     nullptr,
     "skipped 1 META_RECTANGLE record (malformed)",
     {{40, 40}}},
    {"EMF rectangle shorter than its box, then a drawing",
     [] {
         return TEmfBuilder()
             .Record(43, {1, 2})
             .Record(39, {1, 0, 0x0000FF, 0})
             .Record(37, {1})
             .Record(43, {20, 20, 60, 60})
             .Finish();
     },
     true,
     nullptr,
     "skipped 1 EMR_RECTANGLE record (malformed)",
     {{40, 40}}},
    {"empty file", [] { return std::vector<unsigned char>{}; }, false, "file too short for a WMF header", nullptr, {}},
    {"text, not a WMF",
     [] {
         std::string s = "hello, this is not a metafile at all";
         return std::vector<unsigned char>(s.begin(), s.end());
     },
     false,
     "no WMF header",
     nullptr,
     {}},
    {"WMF read as EMF", [] { return ReadFixture("shapes.wmf"); }, true, "no EMF header", nullptr, {}},
    {"EMF read as WMF", [] { return ReadFixture("shapes.emf"); }, false, "no WMF header", nullptr, {}},
    {"placeable header only",
     [] { return Cut("shapes.wmf", 22); },
     false,
     "file too short for a WMF header",
     nullptr,
     {}},
    {"WMF cut inside a record",
     [] { return Cut("shapes.wmf", 200); },
     false,
     "runs past the end of the file",
     nullptr,
     {}},
    {"EMF cut inside a record",
     [] { return Cut("shapes.emf", 500); },
     true,
     "runs past the end of the file",
     nullptr,
     {}},
    {"EMF cut inside the header", [] { return Cut("shapes.emf", 60); }, true, "no EMF header", nullptr, {}},
    {"WMF record of size 0",
     [] { return RedWmf().RawRecord(0, 0x041B).Finish(false); },
     false,
     "shorter than its own header",
     nullptr,
     {}},
    {"WMF record larger than the file",
     [] { return RedWmf().RawRecord(0x7FFFFFFF, 0x041B).Finish(false); },
     false,
     "runs past the end of the file",
     nullptr,
     {}},
    {"EMF record of size 0",
     [] { return RedEmf().RawRecord(43, 0).Finish(false); },
     true,
     "shorter than its own header",
     nullptr,
     {}},
    {"EMF record larger than the file",
     [] { return RedEmf().RawRecord(43, 0xFFFFFFF0).Finish(false); },
     true,
     "runs past the end of the file",
     nullptr,
     {}},
    {"placeable with 0 units per inch",
     [] { return TWmfBuilder(200, 0).Finish(); },
     false,
     "0 units per inch",
     nullptr,
     {}},
    {"huge placeable box", [] { return TWmfBuilder(32767, 1).Finish(); }, false, "Metafile too large", nullptr, {}},
    {"huge EMF frame",
     [] { return TEmfBuilder(200, 16, 2000000000).Finish(); },
     true,
     "Metafile too large",
     nullptr,
     {}},
    {"empty placeable box", [] { return TWmfBuilder(0).Finish(); }, false, "empty picture frame", nullptr, {}},
    {"empty EMF frame", [] { return TEmfBuilder(200, 16, 0).Finish(); }, true, "empty picture frame", nullptr, {}},
    {"WMF without size",
     [] { return TWmfBuilder(0, 0, 4, false).Finish(); },
     false,
     "its size is unknown",
     nullptr,
     {}},
    {"polygon claiming more points than the record has",
     [] {
         return RedWmf().Record(0x0324, {5000, 1, 1, 2, 2}).Finish();
     },
     false,
     nullptr,
     "skipped 1 META_POLYGON record (malformed)",
     {{40, 40}}},
    {"EMF polygon count past the record",
     [] {
         return RedEmf().Record(3, {0, 0, 0, 0, 0x40000000, 1, 1}).Finish();
     },
     true,
     nullptr,
     "skipped 1 EMR_POLYGON record (malformed)",
     {{40, 40}}},
    {"EMF text string outside the record",
     [] {
         return RedEmf().Record(84, {0, 0, 0, 0, 1, 0, 0, 10, 10, 50, 0xFFFFFF00, 0, 0, 0, 0, 0, 0}).Finish();
     },
     true,
     nullptr,
     "skipped 1 EMR_EXTTEXTOUTW record (malformed)",
     {{40, 40}}},
    {"no EOF record: drawn up to the end", [] { return RedWmf().Finish(false); }, false, nullptr, nullptr, {{40, 40}}},
    {"WMF object indexes out of range",
     [] {
         return RedWmf().Record(0x012D, {500}).Record(0x01F0, {65535}).Record(0x041B, {60, 60, 20, 20}).Finish();
     },
     false,
     nullptr,
     nullptr,
     {{40, 40}}},
    {"EMF object indexes out of range",
     [] {
         return RedEmf().Record(37, {12345678}).Record(40, {0xFFFFFFF}).Record(43, {20, 20, 60, 60}).Finish();
     },
     true,
     nullptr,
     nullptr,
     {{40, 40}}},
    {"WMF objects beyond the header's count are not kept",
     [] {
         return TWmfBuilder(200, 96, 1)
             .Record(0x02FC, {0, 0x00FF, 0, 0})
             .Record(0x02FC, {0, 0xFF00, 0, 0})
             .Record(0x012D, {1})
             .Record(0x012D, {0})
             .Record(0x041B, {60, 60, 20, 20})
             .Finish();
     },
     false,
     nullptr,
     nullptr,
     {{40, 40}}},
    {"huge object counts", [] { return RedWmf(65535).Finish(); }, false, nullptr, nullptr, {{40, 40}}},
    {"EMF handle at a huge index",
     [] {
         return RedEmf(65535).Record(39, {0xFFFFFFF0, 0, 0xFF00, 0}).Record(37, {0xFFFFFFF0}).Finish();
     },
     true,
     nullptr,
     nullptr,
     {{40, 40}}},
    {"deep save nesting",
     [] {
         TWmfBuilder b = RedWmf();
         for (int i = 0; i < 100000; ++i) b.Record(0x001E, {});
         b.Record(0x0127, {-32000});
         return b.Finish();
     },
     false,
     nullptr,
     nullptr,
     {{40, 40}}},
    {"restore beyond what was saved",
     [] {
         return RedWmf().Record(0x0127, {-5}).Record(0x0127, {40}).Record(0x041B, {60, 60, 20, 20}).Finish();
     },
     false,
     nullptr,
     nullptr,
     {{40, 40}}},
    {"degenerate window extent",
     [] {
         return RedWmf().Record(0x020C, {0, 0}).Record(0x041B, {60, 60, 20, 20}).Finish();
     },
     false,
     nullptr,
     nullptr,
     {{40, 40}}},
    // A shear keeps the area (so the determinant is 1) but stretches a 50-unit
    // pen to 5e13 pixels: cairo would need gigabytes for its round joins.
    {"pen stretched a trillion times by a shearing world transform",
     [] {
         return RedEmf()
             .Record(35, {0x3F800000, 0x5368D4A5, 0, 0x3F800000, 0, 0})
             .Record(95, {2, 0, 0, 0, 0, 0x10000, 50, 0, 0x00FF00, 0, 0})
             .Record(37, {2})
             .Record(43, {0, 0, 10, 10})
             .Finish();
     },
     true,
     nullptr,
     "approximated 1 EMR_RECTANGLE record (pen wider than 100000 output pixels drawn that wide)",
     {{40, 40}}},
    {"non-invertible and NaN world transforms",
     [] {
         return RedEmf()
             .Record(35, {0, 0, 0, 0, 0, 0})
             .Record(43, {0, 0, 10, 10})
             .Record(35, {0x7FC00000, 0, 0, 0x7FC00000, 0, 0})
             .Record(43, {0, 0, 10, 10})
             .Record(36, {0, 0, 0, 0, 0, 0, 1})
             .Record(43, {20, 20, 60, 60})
             .Finish();
     },
     true,
     nullptr,
     nullptr,
     {{40, 40}}},
    {"huge coordinates and radii",
     [] {
         return RedWmf()
             .Record(0x0418, {32767, 32767, -32768, -32768})
             .Record(0x0817, {0, 0, 5, 5, 32767, 32767, -32768, -32768})
             .Finish();
     },
     false,
     nullptr,
     nullptr,
     {}},
    {"huge font and dotted pen over a long line",
     [] {
         return RedEmf()
             .Record(82, {1, 0x7FFFFFFF}, std::string(92, '\0'))
             .Record(37, {1})
             .Record(84, {0, 0, 0, 0, 1, 0, 0, 10, 10, 1, 76, 0, 0, 0, 0, 0, 0}, "A")
             .Record(38, {2, 2, 0, 0, 0})
             .Record(37, {2})
             .Record(27, {0x80000000, 0x80000000})
             .Record(54, {0x7FFFFFFF, 0x7FFFFFFF})
             .Finish();
     },
     true,
     nullptr,
     nullptr,
     {}},
    {"gradient vertexes past the record",
     [] {
         return RedEmf().Record(118, {0, 0, 0, 0, 1000, 1, 0}, Vertex(0, 0, 0, 0, 0)).Finish();
     },
     true,
     nullptr,
     "skipped 1 EMR_GRADIENTFILL record (malformed)",
     {{40, 40}}},
    {"gradient shapes past the record",
     [] {
         return RedEmf()
             .Record(118, {0, 0, 0, 0, 2, 0x40000000, 2}, Vertex(0, 0, 0, 0, 0) + Vertex(9, 9, 0, 0, 0))
             .Finish();
     },
     true,
     nullptr,
     "skipped 1 EMR_GRADIENTFILL record (malformed)",
     {{40, 40}}},
    {"gradient vertex index out of range",
     [] {
         return RedEmf().Record(118, {0, 0, 0, 0, 1, 1, 0}, Vertex(0, 0, 0, 0, 0) + U32s({0, 7})).Finish();
     },
     true,
     nullptr,
     "skipped 1 EMR_GRADIENTFILL record (malformed)",
     {{40, 40}}},
    {"gradient of no shapes and an unknown mode",
     [] {
         return RedEmf().Record(118, {0, 0, 0, 0, 0, 0, 2}).Record(118, {0, 0, 0, 0, 0, 5, 9}).Finish();
     },
     true,
     nullptr,
     nullptr,
     {{40, 40}}},
    {"gradient triangle of huge coordinates drawn in the visible part",
     [] {
         return RedEmf()
             .Record(118, {0, 0, 0, 0, 3, 1, 2},
                     Vertex(-2000000000, -2000000000, 0xFF00, 0, 0) + Vertex(2000000000, -2000000000, 0xFF00, 0, 0) +
                         Vertex(0, 2000000000, 0xFF00, 0, 0) + U32s({0, 1, 2}))
             .Finish();
     },
     true,
     nullptr,
     nullptr,
     {{150, 150}}},
    {"PolyDraw count past the record",
     [] {
         return RedEmf().Record(56, {0, 0, 0, 0, 0x20000000, 1, 1}).Finish();
     },
     true,
     nullptr,
     "skipped 1 EMR_POLYDRAW record (malformed)",
     {{40, 40}}},
    {"PolyDraw types cut off",
     [] {
         return RedEmf().Record(56, {0, 0, 0, 0, 2, 1, 1, 5, 5}).Finish();
     },
     true,
     nullptr,
     "skipped 1 EMR_POLYDRAW record (malformed)",
     {{40, 40}}},
    {"SmallTextOut count past the record",
     [] {
         return RedEmf().Record(108, {0, 0, 0xFFFFFFFF, 0x300, 1, 0, 0}, "ab").Finish();
     },
     true,
     nullptr,
     "skipped 1 EMR_SMALLTEXTOUT record (malformed)",
     {{40, 40}}},
    {"PolyTextOut string count past the record",
     [] {
         return RedEmf().Record(97, {0, 0, 0, 0, 1, 0, 0, 0x10000000}).Finish();
     },
     true,
     nullptr,
     "skipped 1 EMR_POLYTEXTOUTW record (malformed)",
     {{40, 40}}},
    {"region rectangle count past the region data",
     [] {
         return RedEmf().Record(75, {48, 5, 32, 1, 0x10000000, 16, 0, 0, 1, 1, 0, 0, 1, 1}).Finish();
     },
     true,
     nullptr,
     "skipped 1 EMR_EXTSELECTCLIPRGN record (malformed)",
     {{40, 40}}},
    {"WMF region scans past the record",
     [] {
         return RedWmf().Record(0x06FF, {0, 6, 0, 0, 30, 9000, 2, 0, 0, 9, 9, 2, 0, 9}).Finish();
     },
     false,
     nullptr,
     "skipped 1 META_CREATEREGION record (malformed)",
     {{40, 40}}},
    {"huge clip offset and frame width",
     [] {
         return RedEmf()
             .Record(75, {48, 5}, ClipRect(0, 0, 100, 100))
             .Record(26, {0x7FFFFFFF, 0x80000000})
             .Record(72, {0, 0, 0, 0, 48, 1, 0x7FFFFFFF, 0x80000000}, ClipRect(0, 0, 100, 100))
             .Finish();
     },
     true,
     nullptr,
     nullptr,
     {}},
    // Text spacing at the ends of its range: drawn (or left out) without a
    // huge glyph run, after the valid red rectangle.
    {"WMF character extra of 32767 and -32768",
     [] {
         return RedWmf()
             .Record(0x0108, {32767})
             .Record(0x0521, {4}, std::string("wide\x64\x00\x0A\x00", 8))
             .Record(0x0108, {-32768})
             .Record(0x0521, {4}, std::string("back\x64\x00\x0A\x00", 8))
             .Finish();
     },
     false,
     nullptr,
     nullptr,
     {{30, 30}}},
    {"WMF justification of 32767 over no breaks and over 65535",
     [] {
         return RedWmf()
             .Record(0x020A, {0, 32767})
             .Record(0x0521, {3}, std::string("a b\0\x64\x00\x0A\x00", 8))
             .Record(0x020A, {65535, -32768})
             .Record(0x0521, {3}, std::string("a b\0\x64\x00\x0A\x00", 8))
             .Finish();
     },
     false,
     nullptr,
     nullptr,
     {{30, 30}}},
};

void PrintTo(const THostileCase& c, std::ostream* os) { *os << c.Name; }

// A test name from a case's description: letters and digits, the rest as '_'.
std::string CaseName(std::string name)
{
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

class HostileMetafile : public ::testing::TestWithParam<THostileCase> {};

TEST_P(HostileMetafile, FailsCleanlyOrDrawsWhatIsValid)
{
    const THostileCase& c = GetParam();
    std::vector<unsigned char> bytes = c.Make();
    if (c.Refused) {
        try {
            Decode(bytes, c.Emf);
            ADD_FAILURE() << c.Name << ": not refused";
        } catch (const EPictureError& e) {
            EXPECT_NE(std::string(e.what()).find(c.Refused), std::string::npos) << c.Name << ": " << e.what();
        }
        return;
    }
    TBitmap bmp;
    ASSERT_NO_THROW(bmp = Decode(bytes, c.Emf)) << c.Name;
    EXPECT_LE(bmp.Pixels.size(), 200u * 200u);
    if (c.Note) {
        EXPECT_NE(std::find(bmp.Notes.begin(), bmp.Notes.end(), c.Note), bmp.Notes.end()) << c.Name;
    }
    if (c.Red) {
        TRgb p = OverWhite(bmp.Pixels[c.Red->second * bmp.Width + c.Red->first]);
        EXPECT_EQ(p.R, 255) << c.Name;
        EXPECT_EQ(p.G, 0) << c.Name;
        EXPECT_EQ(p.B, 0) << c.Name;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, HostileMetafile, ::testing::ValuesIn(HostileCases),
                         [](const auto& info) { return CaseName(info.param.Name); });

// ---- What a load reports it skipped or approximated ------------------------

TEST(MetafileNotes, SkippedAndApproximatedRecordsAreCountedByType)
{
    struct {
        const char* Name;
        std::vector<unsigned char> Bytes;
        bool Emf;
        std::vector<std::string> Notes;
    } cases[] = {
        {"EMF of supported records", RedEmf().Finish(), true, {}},
        {"EMF comment and colour management: understood, nothing to draw",
         RedEmf().Record(70, {4}, "abcd").Record(98, {1}).Finish(),
         true,
         {}},
        {"two EMF records we cannot draw",
         RedEmf().Record(79, {0, 0, 0, 0}).Record(79, {0, 0, 0, 0}).Finish(),
         true,
         {"skipped 2 EMR_PLGBLT records (not supported)"}},
        {"EMF record of an unknown type",
         RedEmf().Record(250, {1, 2}).Finish(),
         true,
         {"skipped 1 EMF type 250 record (unknown record type)"}},
        {"EMF transparent blit drawn as a copy",
         // destination 1 x 1 at (0, 0), transparent colour white, identity source
         // transform, a 1 x 1 32-bit bitmap after the fixed fields
         RedEmf()
             .Record(116, {0, 0,          0, 0, 0, 0, 1,   1,  0xFFFFFF, 0, 0, 0x3F800000, 0,
                           0, 0x3F800000, 0, 0, 0, 0, 108, 40, 148,      4, 1, 1},
                     U32s({40, 1, 1, 0x200001, 0, 0, 0, 0, 0, 0, 0x0000FF}))
             .Finish(),
         true,
         {"approximated 1 EMR_TRANSPARENTBLT record (transparent colour ignored)"}},
        {"WMF of supported records", RedWmf().Finish(), false, {}},
        {"WMF blit of a device-dependent bitmap",
         RedWmf().Record(0x0922, {0x0020, 0x00CC, 0, 0, 10, 10, 0, 0, 0, 0, 1, 2, 3}).Finish(),
         false,
         {"skipped 1 META_BITBLT record (device-dependent bitmap not supported)"}},
        {"WMF device-dependent pattern brush",
         RedWmf().Record(0x01F9, {0, 0, 0, 0}).Finish(),
         false,
         {"approximated 1 META_CREATEPATTERNBRUSH record (device-dependent pattern drawn as grey)"}},
        {"WMF record of an unknown function",
         RedWmf().Record(0x0999, {1}).Finish(),
         false,
         {"skipped 1 WMF function 0x0999 record (unknown record type)"}},
    };
    for (const auto& c : cases) {
        TBitmap bmp = Decode(c.Bytes, c.Emf);
        EXPECT_EQ(bmp.Notes, c.Notes) << c.Name;
        ExpectNear(At(bmp, 40, 40), {255, 0, 0}, 0, c.Name); // the rest is still drawn
    }
}

TEST(MetafileErrors, MessagesSayWhatAndWhere)
{
    auto bytes = RedWmf().RawRecord(0, 0x041B).Finish(false);
    try {
        Decode(bytes, false);
        FAIL() << "no error";
    } catch (const EPictureError& e) {
        std::string m = e.what();
        EXPECT_NE(m.find("shorter than its own header"), std::string::npos) << m;
        EXPECT_NE(m.find("at byte"), std::string::npos) << m;
    }
}

} // namespace
} // namespace mirt
