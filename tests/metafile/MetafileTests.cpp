#include "platform/metafile/Metafile.h"
#include "platform/metafile/MetafileText.h"
#include "platform/runtime/CodePage.h"
#include "platform/runtime/Errors.h"
#include "tests/metafile/MetafileBuilder.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>

namespace mirt {
namespace {

using testing::TEmfBuilder;
using testing::TWmfBuilder;

std::vector<unsigned char> ReadFixture(const std::string& name)
{
    std::ifstream in(std::string(MIRT_METAFILE_FIXTURES) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return {std::istreambuf_iterator<char>(in), {}};
}

TBitmap Decode(const std::vector<unsigned char>& bytes, bool emf, TDecodeLimit limit = {})
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

    cairo_surface_t* ref = cairo_image_surface_create_from_png(
        (std::string(MIRT_METAFILE_FIXTURES) + "/" + c.Reference).c_str());
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
        for (char& ch : n) if (ch == '.') ch = '_';
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
                     .Record(0x02FC, {0, 0x00FF, 0x0000, 0})     // red solid brush
                     .Record(0x012D, {0})
                     .Record(0x041B, {60, 60, 20, 20})           // rectangle 20..60
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
        {"no placeable header: window extent",
         TWmfBuilder(0, 0, 4, false).Record(0x0103, {8}).Record(0x020C, {90, 300}).Finish(), false, 300, 90},
        {"window extent far beyond the limit",
         TWmfBuilder(0, 0, 4, false).Record(0x020C, {30000, 30000}).Finish(), false, 30000, 30000},
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
    std::string sjis = "A\x93\xFA" "B";
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

std::string Font(int height, int charset, const std::string& face)
{
    // LOGFONT16 after height: width, escapement, orientation, weight, flags, face[32]
    std::string s;
    auto w16 = [&](int v) { s += char(v & 0xFF); s += char(v >> 8 & 0xFF); };
    w16(height);
    w16(0); w16(0); w16(0); w16(400);
    s += char(0); s += char(0); s += char(0); s += char(charset);
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

// ---- Broken and hostile files ---------------------------------------------

struct THostileCase {
    const char* Name;
    std::function<std::vector<unsigned char>()> Make;
    bool Emf;
    bool Fails;                             // EPictureError, else a picture
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
    {"empty file", [] { return std::vector<unsigned char>{}; }, false, true, {}},
    {"text, not a WMF", [] { std::string s = "hello, this is not a metafile at all";
                             return std::vector<unsigned char>(s.begin(), s.end()); }, false, true, {}},
    {"WMF read as EMF", [] { return ReadFixture("shapes.wmf"); }, true, true, {}},
    {"EMF read as WMF", [] { return ReadFixture("shapes.emf"); }, false, true, {}},
    {"placeable header only", [] { return Cut("shapes.wmf", 22); }, false, true, {}},
    {"WMF cut inside a record", [] { return Cut("shapes.wmf", 200); }, false, true, {}},
    {"EMF cut inside a record", [] { return Cut("shapes.emf", 500); }, true, true, {}},
    {"EMF cut inside the header", [] { return Cut("shapes.emf", 60); }, true, true, {}},
    {"WMF record of size 0", [] { return RedWmf().RawRecord(0, 0x041B).Finish(false); }, false, true, {}},
    {"WMF record larger than the file", [] { return RedWmf().RawRecord(0x7FFFFFFF, 0x041B).Finish(false); }, false, true, {}},
    {"EMF record of size 0", [] { return RedEmf().RawRecord(43, 0).Finish(false); }, true, true, {}},
    {"EMF record larger than the file", [] { return RedEmf().RawRecord(43, 0xFFFFFFF0).Finish(false); }, true, true, {}},
    {"placeable with 0 units per inch", [] { return TWmfBuilder(200, 0).Finish(); }, false, true, {}},
    {"huge placeable box", [] { return TWmfBuilder(32767, 1).Finish(); }, false, true, {}},
    {"huge EMF frame", [] { return TEmfBuilder(200, 16, 2000000000).Finish(); }, true, true, {}},
    {"WMF without size", [] { return TWmfBuilder(0, 0, 4, false).Finish(); }, false, true, {}},
    {"polygon claiming more points than the record has",
     [] { return RedWmf().Record(0x0324, {5000, 1, 1, 2, 2}).Finish(); }, false, true, {}},
    {"EMF polygon count past the record",
     [] { return RedEmf().Record(3, {0, 0, 0, 0, 0x40000000, 1, 1}).Finish(); }, true, true, {}},
    {"EMF text string outside the record",
     [] { return RedEmf().Record(84, {0, 0, 0, 0, 1, 0, 0, 10, 10, 50, 0xFFFFFF00, 0, 0, 0, 0, 0, 0}).Finish(); },
     true, true, {}},
    {"no EOF record: drawn up to the end", [] { return RedWmf().Finish(false); }, false, false, {{40, 40}}},
    {"WMF object indexes out of range",
     [] { return RedWmf().Record(0x012D, {500}).Record(0x01F0, {65535}).Record(0x041B, {60, 60, 20, 20}).Finish(); },
     false, false, {{40, 40}}},
    {"EMF object indexes out of range",
     [] { return RedEmf().Record(37, {12345678}).Record(40, {0xFFFFFFF}).Record(43, {20, 20, 60, 60}).Finish(); },
     true, false, {{40, 40}}},
    {"WMF objects beyond the header's count are not kept",
     [] { return TWmfBuilder(200, 96, 1).Record(0x02FC, {0, 0x00FF, 0, 0}).Record(0x02FC, {0, 0xFF00, 0, 0})
                     .Record(0x012D, {1}).Record(0x012D, {0}).Record(0x041B, {60, 60, 20, 20}).Finish(); },
     false, false, {{40, 40}}},
    {"huge object counts", [] { return RedWmf(65535).Finish(); }, false, false, {{40, 40}}},
    {"EMF handle at a huge index",
     [] { return RedEmf(65535).Record(39, {0xFFFFFFF0, 0, 0xFF00, 0}).Record(37, {0xFFFFFFF0}).Finish(); },
     true, false, {{40, 40}}},
    {"deep save nesting",
     [] { TWmfBuilder b = RedWmf(); for (int i = 0; i < 100000; ++i) b.Record(0x001E, {});
          b.Record(0x0127, {-32000}); return b.Finish(); }, false, false, {{40, 40}}},
    {"restore beyond what was saved",
     [] { return RedWmf().Record(0x0127, {-5}).Record(0x0127, {40}).Record(0x041B, {60, 60, 20, 20}).Finish(); },
     false, false, {{40, 40}}},
    {"degenerate window extent",
     [] { return RedWmf().Record(0x020C, {0, 0}).Record(0x041B, {60, 60, 20, 20}).Finish(); }, false, false, {{40, 40}}},
    {"non-invertible and NaN world transforms",
     [] { return RedEmf().Record(35, {0, 0, 0, 0, 0, 0}).Record(43, {0, 0, 10, 10})
                     .Record(35, {0x7FC00000, 0, 0, 0x7FC00000, 0, 0}).Record(43, {0, 0, 10, 10})
                     .Record(36, {0, 0, 0, 0, 0, 0, 1}).Record(43, {20, 20, 60, 60}).Finish(); },
     true, false, {{40, 40}}},
    {"huge coordinates and radii",
     [] { return RedWmf().Record(0x0418, {32767, 32767, -32768, -32768})
                     .Record(0x0817, {0, 0, 5, 5, 32767, 32767, -32768, -32768}).Finish(); },
     false, false, {}},
    {"huge font and dotted pen over a long line",
     [] { return RedEmf().Record(82, {1, 0x7FFFFFFF}, std::string(92, '\0')).Record(37, {1})
                     .Record(84, {0, 0, 0, 0, 1, 0, 0, 10, 10, 1, 76, 0, 0, 0, 0, 0, 0}, "A")
                     .Record(38, {2, 2, 0, 0, 0}).Record(37, {2})
                     .Record(27, {0x80000000, 0x80000000}).Record(54, {0x7FFFFFFF, 0x7FFFFFFF}).Finish(); },
     true, false, {}},
};

class HostileMetafile : public ::testing::TestWithParam<THostileCase> {};

TEST_P(HostileMetafile, FailsCleanlyOrDrawsWhatIsValid)
{
    const THostileCase& c = GetParam();
    std::vector<unsigned char> bytes = c.Make();
    if (c.Fails) {
        EXPECT_THROW(Decode(bytes, c.Emf), EPictureError) << c.Name;
        return;
    }
    TBitmap bmp;
    ASSERT_NO_THROW(bmp = Decode(bytes, c.Emf)) << c.Name;
    EXPECT_LE(bmp.Pixels.size(), 200u * 200u);
    if (c.Red) {
        TRgb p = OverWhite(bmp.Pixels[c.Red->second * bmp.Width + c.Red->first]);
        EXPECT_EQ(p.R, 255) << c.Name;
        EXPECT_EQ(p.G, 0) << c.Name;
        EXPECT_EQ(p.B, 0) << c.Name;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, HostileMetafile, ::testing::ValuesIn(HostileCases),
    [](const auto& info) { return "case" + std::to_string(info.index); });

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

// cairo and fontconfig keep fonts in process-wide caches; freeing them at
// the end lets the leak checker see only what we lose.
class TReleaseFontCaches : public ::testing::Environment {
public:
    void TearDown() override
    {
        cairo_debug_reset_static_data();
        FcFini();
    }
};
const auto* const ReleaseFontCaches = ::testing::AddGlobalTestEnvironment(new TReleaseFontCaches);

} // namespace
} // namespace mirt
