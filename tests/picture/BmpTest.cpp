// BMP files and packed DIBs: real files from ImageMagick, exact byte
// fixtures, hostile files, and the rule that only the visible part is read.
#include "PictureTestSupport.h"

#include "platform/picture/Decoders.h"
#include "platform/picture/Dib.h"
#include "platform/runtime/Errors.h"

#include <gtest/gtest.h>

namespace mirt::test {
namespace {

TBitmap Bmp(const TBytes& bytes, TDecodeLimit limit = TDecodeLimit{200, 200})
{
    TMemorySource source(bytes);
    return DecodeBmp(source, limit);
}

const std::vector<TPixelCheck> kQuadrants = {{5, 3, Red}, {30, 3, Lime}, {5, 18, Blue}, {30, 17, White}};

struct TFileCase {
    const char* File;
    std::vector<TPixelCheck> Pixels;
};

TEST(BmpFiles, DecodeEveryLayoutImageMagickWrites)
{
    const std::vector<TFileCase> cases = {
        {"quad-24.bmp", kQuadrants},   // 24 bits, bottom-up
        {"quad-8.bmp", kQuadrants},    // 256-entry table
        {"quad-4.bmp", kQuadrants},    // 16-entry table
        {"quad-rle8.bmp", kQuadrants}, // RLE8
        {"quad-os2.bmp", kQuadrants},  // 12-byte core header
        {"quad-565.bmp", kQuadrants},  // V5 header, 5-6-5 masks
        {"two-1.bmp", {{5, 3, Black}, {30, 20, White}}},
        // V5 header with an alpha mask: the half-transparent quadrant comes out premultiplied.
        {"quad-alpha.bmp", {{5, 3, 0x80800000}, {30, 3, Lime}, {5, 18, Blue}, {30, 17, White}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        TBitmap b = Bmp(ReadBytes(FixturePath(c.File)));
        EXPECT_EQ(b.NaturalWidth, 40);
        EXPECT_EQ(b.NaturalHeight, 24);
        ASSERT_EQ(b.Width, 40);
        ASSERT_EQ(b.Height, 24);
        EXPECT_TRUE(PixelsMatch(b, c.Pixels, 1));
    }
}

struct TByteCase {
    const char* Name;
    TDibLayout Layout;
    std::vector<TPixelCheck> Pixels;
};

TEST(BmpBytes, DecodeLayoutsWhereExactBytesMatter)
{
    const std::vector<TByteCase> cases = {
        {"top-down 24 bits: the first stored row is the top",
         {.Width = 2,
          .Height = -2,
          .Bpp = 24,
          .Bits = {0, 0, 255, 0, 255, 0, 0, 0, /**/ 255, 0, 0, 255, 255, 255, 0, 0}},
         {{0, 0, Red}, {1, 0, Lime}, {0, 1, Blue}, {1, 1, White}}},
        {"1 bit, 10 pixels across two bytes, bottom-up",
         {.Width = 10,
          .Height = 2,
          .Bpp = 1,
          .ColoursUsed = 2,
          .Palette = {0x000000, 0xFF0000},
          .Bits = {0b10000000, 0b01000000, 0, 0, /**/ 0b01111111, 0b11000000, 0, 0}},
         {{0, 1, Red}, {1, 1, Black}, {9, 1, Red}, {8, 1, Black}, {0, 0, Black}, {1, 0, Red}, {9, 0, Red}}},
        {"4 bits, an index past a 2-entry table shows black",
         {.Width = 3,
          .Height = 1,
          .Bpp = 4,
          .ColoursUsed = 2,
          .Palette = {0x0000FF, 0xFFFFFF},
          .Bits = {0x01, 0x50, 0, 0}},
         {{0, 0, Blue}, {1, 0, White}, {2, 0, Black}}},
        {"16 bits without masks: 5-5-5",
         {.Width = 2, .Height = 1, .Bpp = 16, .Bits = {0x00, 0x7C, 0x1F, 0x00}},
         {{0, 0, Red}, {1, 0, Blue}}},
        {"32 bits, masks after a 40-byte header in unusual order, no alpha mask: opaque",
         {.Width = 1,
          .Height = 1,
          .Bpp = 32,
          .Compression = 3,
          .Masks = {0xFF, 0xFF00, 0xFF0000, 0},
          .Bits = {0x11, 0x22, 0x33, 0x00}},
         {{0, 0, 0xFF112233}}},
        {"32 bits, V3 header with an alpha mask",
         {.HeaderSize = 56,
          .Width = 2,
          .Height = 1,
          .Bpp = 32,
          .Compression = 3,
          .Masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
          .Bits = {0, 0, 200, 0x80, 255, 255, 255, 0xFF}},
         {{0, 0, 0x80640000}, {1, 0, White}}},
        {"32 bits, alpha mask given but every alpha zero: opaque",
         {.HeaderSize = 124,
          .Width = 1,
          .Height = 1,
          .Bpp = 32,
          .Compression = 3,
          .Masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
          .Bits = {0x33, 0x22, 0x11, 0}},
         {{0, 0, 0xFF112233}}},
        {"16 bits, 4-bit masks scale to 0..255",
         {.Width = 1,
          .Height = 1,
          .Bpp = 16,
          .Compression = 3,
          .Masks = {0x0F00, 0x00F0, 0x000F, 0},
          .Bits = {0x8F, 0x0F, 0, 0}},
         {{0, 0, 0xFFFF88FF}}},
        {"OS/2 core header: 3-byte entries, only as many as fit before the bits",
         {.HeaderSize = 12, .Width = 2, .Height = 1, .Bpp = 8, .Palette = {0x00FF00, 0xFF0000}, .Bits = {1, 0, 0, 0}},
         {{0, 0, Red}, {1, 0, Lime}}},
        {"RLE8: runs, a literal, end of line, a delta, end of bitmap; skipped pixels show entry 0",
         {.Width = 4,
          .Height = 3,
          .Bpp = 8,
          .Compression = 1,
          .ColoursUsed = 4,
          .Palette = {0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF},
          .Bits = {1, 1, 0, 3, 2, 3, 1, 0, 0, 0, /**/ 0, 2, 2, 1, /**/ 2, 2, 0, 1}},
         {{0, 2, Red},
          {1, 2, Lime},
          {2, 2, Blue},
          {3, 2, Red},
          {0, 1, White},
          {3, 1, White},
          {0, 0, White},
          {1, 0, White},
          {2, 0, Lime},
          {3, 0, Lime}}},
        {"RLE4: a run alternates its two nibbles; a literal of 3 nibbles is padded to a word",
         {.Width = 5,
          .Height = 2,
          .Bpp = 4,
          .Compression = 2,
          .ColoursUsed = 4,
          .Palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF},
          .Bits = {5, 0x12, 0, 0, /**/ 0, 3, 0x32, 0x10, 2, 0x33, 0, 1}},
         {{0, 1, Red},
          {1, 1, Lime},
          {2, 1, Red},
          {3, 1, Lime},
          {4, 1, Red},
          {0, 0, Blue},
          {1, 0, Lime},
          {2, 0, Red},
          {3, 0, Blue},
          {4, 0, Blue}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TBitmap b = Bmp(MakeBmp(c.Layout));
        ASSERT_EQ(b.Width, c.Layout.Width);
        ASSERT_EQ(b.Height, std::abs(c.Layout.Height));
        EXPECT_TRUE(PixelsMatch(b, c.Pixels));
        // The same DIB without the file header decodes the same (a packed core
        // DIB has a full colour table, unlike this file).
        if (c.Layout.HeaderSize != 12) {
            EXPECT_EQ(DecodeDib(MakeDib(c.Layout), TDecodeLimit{200, 200}).Pixels, b.Pixels);
        }
    }
}

TEST(BmpLimit, OnlyTheTopLeftPartIsDecoded)
{
    TBytes quad = ReadBytes(FixturePath("quad-24.bmp"));
    TBitmap part = Bmp(quad, {25, 15});
    EXPECT_EQ(part.NaturalWidth, 40);
    EXPECT_EQ(part.NaturalHeight, 24);
    ASSERT_EQ(part.Width, 25);
    ASSERT_EQ(part.Height, 15);
    EXPECT_TRUE(PixelsMatch(part, {{0, 0, Red}, {24, 0, Lime}, {0, 14, Blue}, {24, 14, White}}));

    TBitmap sizeOnly = Bmp(quad, {0, 0});
    EXPECT_EQ(sizeOnly.NaturalWidth, 40);
    EXPECT_EQ(sizeOnly.Width, 0);
    EXPECT_TRUE(sizeOnly.Pixels.empty());

    TBitmap rle = Bmp(ReadBytes(FixturePath("quad-rle8.bmp")), {25, 15});
    EXPECT_TRUE(PixelsMatch(rle, {{0, 0, Red}, {24, 0, Lime}, {0, 14, Blue}, {24, 14, White}}));

    // Top-down run-length data is read only up to the last visible row: what
    // follows (here nothing, not even the end marker) does not matter.
    TBitmap topRow = Bmp(MakeBmp({.Width = 2,
                                  .Height = -2,
                                  .Bpp = 8,
                                  .Compression = 1,
                                  .ColoursUsed = 2,
                                  .Palette = {0, 0x0000FF},
                                  .Bits = {2, 1, 0, 0}}),
                         {2, 1});
    EXPECT_TRUE(PixelsMatch(topRow, {{0, 0, Blue}, {1, 0, Blue}}));
}

// A 6000 x 4000 24-bit bottom-up BMP made up on the fly, counting the bytes
// the decoder asks for.
class TBigBmpSource final : public TByteSource {
public:
    static constexpr int W = 6000, H = 4000;
    static constexpr std::uint64_t Stride = W * 3, Bits = 54;
    static std::uint32_t Colour(int x, int y) { return 0xFF000000u | (x & 0xFF) << 16 | (y & 0xFF) << 8 | 0x40; }

    std::uint64_t Size() const override { return Bits + Stride * H; }
    std::size_t ReadAt(std::uint64_t offset, std::span<unsigned char> dst) override
    {
        BytesRead += dst.size();
        std::size_t n = 0;
        for (; n < dst.size() && offset + n < Size(); ++n) dst[n] = ByteAt(offset + n);
        return n;
    }
    std::uint64_t BytesRead = 0;

private:
    unsigned char ByteAt(std::uint64_t at) const
    {
        if (at < Bits) return header_[at];
        std::uint64_t row = (at - Bits) / Stride, column = (at - Bits) % Stride;
        std::uint32_t c = Colour(static_cast<int>(column / 3), static_cast<int>(H - 1 - row));
        return c >> (8 * (column % 3)) & 0xFF; // blue, green, red
    }
    TBytes header_ = [] {
        TDibLayout layout{.Width = W, .Height = H, .Bpp = 24};
        TBytes h = MakeBmp(layout);
        SetLe32(h, 2, static_cast<std::uint32_t>(Bits + Stride * H));
        return h;
    }();
};

TEST(BmpLimit, LargePictureReadsOnlyTheVisibleRowsAndColumns)
{
    TBigBmpSource source;
    TBitmap b = DecodeBmp(source, TDecodeLimit{200, 200});
    EXPECT_EQ(b.NaturalWidth, 6000);
    EXPECT_EQ(b.NaturalHeight, 4000);
    ASSERT_EQ(b.Width, 200);
    ASSERT_EQ(b.Height, 200);
    for (auto [x, y] : {std::pair{0, 0}, {199, 0}, {0, 199}, {199, 199}, {77, 130}})
        EXPECT_TRUE(PixelsMatch(b, {{x, y, TBigBmpSource::Colour(x, y)}}));
    EXPECT_LE(source.BytesRead, 200u * 200 * 3 + 2048);
}

struct THostileCase {
    const char* Name;
    TBytes Bytes;
    const char* Message; // part of the expected message
};

TBytes With(TBytes b, std::size_t at, std::uint32_t v)
{
    SetLe32(b, at, v);
    return b;
}

TBytes Cut(TBytes b, std::size_t size)
{
    b.resize(size);
    return b;
}

TDibLayout Rle8(int width, int height, TBytes bits)
{
    return {.Width = width,
            .Height = height,
            .Bpp = 8,
            .Compression = 1,
            .ColoursUsed = 2,
            .Palette = {0, 0xFFFFFF},
            .Bits = std::move(bits)};
}

TEST(BmpHostile, MalformedFilesFailWithAPictureError)
{
    const TBytes quad = ReadBytes(FixturePath("quad-24.bmp"));
    const TBytes quad8 = ReadBytes(FixturePath("quad-8.bmp"));
    // File header: offset of the bits at 10; info header at 14: width 18, height 22,
    // bits per pixel 28, compression 30, colours used 46.
    const std::vector<THostileCase> cases = {
        {"empty", {}, "Not a BMP file"},
        {"not a BMP", TBytes{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "Not a BMP file"},
        {"header cut short", Cut(quad, 30), "runs past the end"},
        {"unknown header size", With(quad, 14, 99), "header size (99 bytes)"},
        {"width 0", With(quad, 18, 0), "width 0"},
        {"absurd width", With(quad, 18, 0x7FFFFFFF), "width 2147483647"},
        {"height 0", With(quad, 22, 0), "height 0"},
        {"most negative height", With(quad, 22, 0x80000000), "height"},
        {"sides whose pixel data would be terabytes", With(With(quad, 18, 1000000), 22, 1000000), "Truncated bitmap"},
        {"pixel data cut short", Cut(quad, 2000), "Truncated bitmap"},
        {"pixel data offset past the end", With(quad, 10, 1000000), "Truncated bitmap"},
        {"pixel data offset inside the header", With(quad, 10, 20), "overlaps"},
        {"7 bits per pixel", With(quad, 28, 7), "depth (7 bits"},
        {"embedded JPEG compression", With(quad, 30, 4), "compression (4)"},
        {"colour masks on 24 bits", With(quad, 30, 3), "16 or 32"},
        {"RLE8 on 4 bits", MakeBmp({.Width = 2, .Height = 1, .Bpp = 4, .Compression = 1, .Bits = {0, 1}}),
         "does not fit"},
        {"colour table larger than the depth allows", With(quad8, 46, 257), "257 entries is too large"},
        {"colour table past the end of the file", Cut(quad8, 14 + 40 + 100), "runs past the end"},
        {"RLE run past the right edge", MakeBmp(Rle8(4, 1, {6, 1, 0, 1})), "right edge"},
        {"RLE literal past the right edge", MakeBmp(Rle8(2, 1, {0, 3, 1, 1, 1, 0, 0, 1})), "right edge"},
        {"RLE delta outside the bitmap", MakeBmp(Rle8(4, 2, {0, 2, 9, 0, 0, 1})), "delta"},
        {"RLE delta below the last row", MakeBmp(Rle8(2, 2, {0, 2, 0, 5, 0, 1})), "delta"},
        {"RLE data without an end", MakeBmp(Rle8(2, -3, {2, 1, 0, 0})), "run-length data ends"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        try {
            Bmp(c.Bytes);
            ADD_FAILURE() << "decoded without an error";
        } catch (const EPictureError& e) {
            EXPECT_NE(std::string(e.what()).find(c.Message), std::string::npos) << e.what();
        }
    }
}

TEST(Dib, PackedDibKeepsItsColourTableAndFollowsTheLimit)
{
    TDibLayout layout{.Width = 3,
                      .Height = 2,
                      .Bpp = 8,
                      .ColoursUsed = 3,
                      .Palette = {0xFF0000, 0x00FF00, 0x0000FF},
                      .Bits = {0, 1, 2, 0, /**/ 2, 1, 0, 0}};
    TBitmap b = DecodeDib(MakeDib(layout), {2, 1});
    EXPECT_EQ(b.NaturalWidth, 3);
    EXPECT_EQ(b.NaturalHeight, 2);
    ASSERT_EQ(b.Width, 2);
    ASSERT_EQ(b.Height, 1);
    EXPECT_TRUE(PixelsMatch(b, {{0, 0, Blue}, {1, 0, Lime}}));
    const TBytes dib = MakeDib(layout);
    EXPECT_THROW(DecodeDib(std::span(dib).first(50), TDecodeLimit{200, 200}), EPictureError);
}

} // namespace
} // namespace mirt::test
