// Icon files: the choice of image, DIB images with their AND mask, PNG
// images, and hostile directories.
#include "PictureTestSupport.h"

#include "platform/picture/Decoders.h"
#include "platform/runtime/Errors.h"

#include <gtest/gtest.h>

namespace mirt::test {
namespace {

TBitmap Ico(const TBytes& bytes, TDecodeLimit limit = TDecodeLimit{200, 200})
{
    TMemorySource source(bytes);
    return DecodeIco(source, limit);
}

struct TIconCase {
    const char* File;
    int Side;
    std::vector<TPixelCheck> Pixels;
};

TEST(IcoFiles, TheBestImageIsDecoded)
{
    const std::uint32_t halfRed = 0x80800000;
    const std::vector<TIconCase> cases = {
        // 16 x 16 and 32 x 32 32-bit images: the larger one.
        {"quad-dib.ico", 32, {{4, 4, Red}, {28, 4, Lime}, {4, 28, Blue}, {28, 28, White}}},
        // 4 bits: the AND mask makes the top-left quadrant transparent.
        {"mask-4.ico", 16, {{2, 2, Transparent}, {12, 2, Lime}, {2, 12, Blue}, {12, 12, White}}},
        // Two 16 x 16 images, the directory giving no depth: the 32-bit all-lime one.
        {"deepest.ico", 16, {{0, 0, Lime}, {15, 0, Lime}, {0, 15, Lime}}},
        // PNG images, the top-left quadrant half transparent: premultiplied.
        {"quad-png.ico", 24, {{2, 2, halfRed}, {20, 2, Lime}, {2, 20, Blue}, {20, 20, White}}},
        {"quad-png-interlaced.ico", 24, {{2, 2, halfRed}, {20, 2, Lime}, {2, 20, Blue}, {20, 20, White}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        TBitmap b = Ico(ReadBytes(FixturePath(c.File)));
        EXPECT_EQ(b.NaturalWidth, c.Side);
        EXPECT_EQ(b.NaturalHeight, c.Side);
        ASSERT_EQ(b.Width, c.Side);
        ASSERT_EQ(b.Height, c.Side);
        EXPECT_TRUE(PixelsMatch(b, c.Pixels, 1));
    }
}

TEST(IcoFiles, OnlyTheTopLeftPartIsDecoded)
{
    for (const char* file : {"quad-dib.ico", "quad-png.ico", "quad-png-interlaced.ico"}) {
        SCOPED_TRACE(file);
        TBitmap b = Ico(ReadBytes(FixturePath(file)), {20, 6});
        ASSERT_EQ(b.Width, 20);
        ASSERT_EQ(b.Height, 6);
        EXPECT_TRUE(PixelsMatch(b, {{19, 5, Lime}}, 1));
    }
}

TBytes With32(TBytes b, std::size_t at, std::uint32_t v)
{
    SetLe32(b, at, v);
    return b;
}

TBytes With8(TBytes b, std::size_t at, unsigned char v)
{
    b.at(at) = v;
    return b;
}

TEST(IcoHostile, MalformedFilesFailWithAPictureError)
{
    const TBytes dib = ReadBytes(FixturePath("quad-dib.ico"));
    const TBytes png = ReadBytes(FixturePath("quad-png.ico"));
    // Header: type at 2, count at 4; entries from 6: size at +8, offset at +12.
    // quad-png.ico's PNG starts at 22: its IHDR width at 22 + 16, IHDR CRC at 22 + 29.
    const struct {
        const char* Name;
        TBytes Bytes;
        const char* Message;
    } cases[] = {
        {"empty", {}, "Not an icon file"},
        {"type 3", With8(dib, 2, 3), "Not an icon file"},
        {"no images", With8(With8(dib, 4, 0), 5, 0), "no images"},
        {"directory past the end", With8(dib, 5, 0x40), "directory runs past the end"},
        {"image offset past the end", With32(dib, 6 + 12, 1000000), "runs past the end of the file"},
        {"image size past the end", With32(dib, 6 + 16 + 8, 0xFFFFFFF0),
         "Icon image 2 (4294967280 bytes at offset 1166) runs past"},
        {"image offset inside the directory", With32(dib, 6 + 12, 4), "overlaps the icon directory"},
        {"image of 0 bytes", With32(dib, 6 + 8, 0), "is empty"},
        {"PNG image cut short by its entry", With32(png, 6 + 8, 60), "Bad PNG image in icon"},
        {"PNG header with a bad checksum", With8(png, 22 + 29, png[22 + 29] ^ 0xFF), "Bad PNG image in icon"},
        {"PNG of absurd width", With32(png, 22 + 16, 0x00FFFFFF), "Bad PNG image in icon"},
        {"DIB image of height 0", With32(dib, 1166 + 8, 0), "height 0"},
        {"DIB image whose AND mask is missing", With32(ReadBytes(FixturePath("mask-4.ico")), 6 + 8, 40 + 64 + 128),
         "icon mask runs past the end"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        try {
            Ico(c.Bytes);
            ADD_FAILURE() << "decoded without an error";
        } catch (const EPictureError& e) {
            EXPECT_NE(std::string(e.what()).find(c.Message), std::string::npos) << e.what();
        }
    }
}

} // namespace
} // namespace mirt::test
