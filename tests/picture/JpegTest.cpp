// JPEG pictures: the colour spaces and codings, cropping to the visible part,
// and files libjpeg rejects.
#include "JpegWriter.h"
#include "PictureTestSupport.h"

#include "platform/picture/Decoders.h"
#include "platform/runtime/Errors.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>

namespace mirt::test {
namespace {

TBitmap Jpeg(const TBytes& bytes, TDecodeLimit limit = TDecodeLimit{200, 200})
{
    TMemorySource source(bytes);
    return DecodeJpeg(source, limit);
}

// The picture with its SOF marker's sides changed; the coded data stays.
TBytes WithSides(TBytes b, unsigned w, unsigned h)
{
    for (std::size_t i = 2; i + 8 < b.size(); ++i)
        if (b[i] == 0xFF && (b[i + 1] == 0xC0 || b[i + 1] == 0xC2)) {
            // SOF: marker, length (2), precision (1), height (2, big-endian), width (2).
            b[i + 5] = h >> 8, b[i + 6] = h & 0xFF, b[i + 7] = w >> 8, b[i + 8] = w & 0xFF;
            return b;
        }
    ADD_FAILURE() << "no SOF marker";
    return b;
}

TEST(JpegFiles, DecodeEveryCodingAndColourSpace)
{
    const std::vector<TPixelCheck> quadrants = {{5, 3, Red}, {30, 3, Lime}, {5, 18, Blue}, {30, 18, White}};
    // Grey: the luma of each quadrant's colour.
    const std::vector<TPixelCheck> grey = {
        {5, 3, 0xFF363636}, {30, 3, 0xFFB6B6B6}, {5, 18, 0xFF121212}, {30, 18, White}};
    const struct {
        const char* File;
        std::vector<TPixelCheck> Pixels;
    } cases[] = {
        {"quad-baseline.jpg", quadrants},
        {"quad-progressive.jpg", quadrants},
        {"quad-grey.jpg", grey},
        {"quad-cmyk.jpg", quadrants}, // Adobe-inverted CMYK
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        TBitmap b = Jpeg(ReadBytes(FixturePath(c.File)));
        EXPECT_EQ(b.NaturalWidth, 40);
        EXPECT_EQ(b.NaturalHeight, 24);
        ASSERT_EQ(b.Width, 40);
        ASSERT_EQ(b.Height, 24);
        EXPECT_TRUE(PixelsMatch(b, c.Pixels, 8));
    }
}

// A 640 x 480 JPEG written with libjpeg: red where x < 180 and y < 180, blue
// to the right of that, lime below.
TBytes MakeRegionsJpeg(bool progressive)
{
    return WriteJpeg(
        640, 480, 3, JCS_RGB,
        [&](jpeg_compress_struct& info) {
            jpeg_set_quality(&info, 95, TRUE);
            if (progressive) jpeg_simple_progression(&info);
        },
        [](int x, int y, int channel) {
            const std::uint32_t c = y >= 180 ? Lime : x >= 180 ? Blue : Red;
            return c >> (16 - 8 * channel) & 0xFF;
        });
}

TEST(JpegLimit, LargePictureIsCroppedToTheVisiblePart)
{
    for (bool progressive : {false, true}) {
        SCOPED_TRACE(progressive ? "progressive" : "baseline");
        TBytes jpeg = MakeRegionsJpeg(progressive);
        TBitmap b = Jpeg(jpeg);
        EXPECT_EQ(b.NaturalWidth, 640);
        EXPECT_EQ(b.NaturalHeight, 480);
        ASSERT_EQ(b.Width, 200);
        ASSERT_EQ(b.Height, 200);
        ASSERT_EQ(b.Pixels.size(), 200u * 200);
        EXPECT_TRUE(PixelsMatch(
            b, {{100, 100, Red}, {170, 170, Red}, {195, 100, Blue}, {199, 0, Blue}, {100, 195, Lime}, {199, 199, Lime}},
            8));

        TBitmap sizeOnly = Jpeg(jpeg, {0, 0});
        EXPECT_EQ(sizeOnly.NaturalWidth, 640);
        EXPECT_TRUE(sizeOnly.Pixels.empty());
    }
}

TEST(JpegFiles, CutEntropyDataShowsWhatArrived)
{
    // libjpeg ends a picture whose data stops early as if it were complete:
    // the rows it has show, the rest comes out grey.
    TBytes jpeg = MakeRegionsJpeg(false);
    jpeg.resize(jpeg.size() / 2);
    TBitmap b = Jpeg(jpeg);
    ASSERT_EQ(b.Height, 200);
    EXPECT_TRUE(PixelsMatch(b, {{100, 100, Red}}, 8));
}

TEST(JpegFiles, HugeBaselinePictureDecodesOnlyItsVisibleRows)
{
    // Its one scan is read only as far as the visible rows: the limits on
    // what the scans of a multi-scan picture may walk do not apply.
    TBitmap b = Jpeg(WithSides(ReadBytes(FixturePath("quad-baseline.jpg")), 65500, 65500));
    EXPECT_EQ(b.NaturalWidth, 65500);
    EXPECT_EQ(b.NaturalHeight, 65500);
    ASSERT_EQ(b.Width, 200);
    ASSERT_EQ(b.Height, 200);
    EXPECT_TRUE(PixelsMatch(b, {{5, 3, Red}}, 8));
}

TEST(JpegHostile, MalformedFilesFailWithAPictureError)
{
    const TBytes baseline = ReadBytes(FixturePath("quad-baseline.jpg"));
    const TBytes progressive = ReadBytes(FixturePath("quad-progressive.jpg"));
    const struct {
        const char* Name;
        TBytes Bytes;
        const char* Message;
    } cases[] = {
        // libjpeg reads an empty file as an end-of-image marker.
        {"empty", {}, "Bad JPEG picture: Not a JPEG file: starts with 0xff 0xd9"},
        {"not a JPEG", TBytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0}, "Not a JPEG file"},
        {"cut inside the header", TBytes(baseline.begin(), baseline.begin() + 60),
         "Bad JPEG picture: JPEG datastream contains no image"},
        {"frame height 0", WithSides(baseline, 40, 0), "Bad JPEG picture: Empty JPEG image"},
        {"progressive picture too large to hold", WithSides(progressive, 60000, 60000), "too large to decode"},
        // 9000 x 9000 grey, then 30 refinement scans of about 140 bytes that
        // each walk all of its 1.3 million blocks.
        {"scans that walk a large picture too often", ReadBytes(FixturePath("malformed-refinement-scans.jpg")),
         "too many times"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        try {
            Jpeg(c.Bytes);
            ADD_FAILURE() << "decoded without an error";
        } catch (const EPictureError& e) {
            EXPECT_NE(std::string(e.what()).find(c.Message), std::string::npos) << e.what();
        }
    }
}

} // namespace
} // namespace mirt::test
