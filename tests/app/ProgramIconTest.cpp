// The installed theme icons: the PNGs drawn at build time must hold exactly
// the window icon's routine at their size, and the larger one must be the
// same picture scaled, not the small one padded or cropped.
#include "app/ProgramIcon.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace mirt {
namespace {

// The PNG's pixels as opaque ARGB words, read with libpng itself.
std::vector<std::uint32_t> ReadPng(const std::string& path, int& width, int& height)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        ADD_FAILURE() << path << ": " << image.message;
        return {};
    }
    image.format = PNG_FORMAT_BGRA; // little-endian words read as 0xAARRGGBB
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        ADD_FAILURE() << path << ": " << image.message;
        return {};
    }
    return pixels;
}

std::map<std::uint32_t, double> ColourShares(const TBitmap& bitmap)
{
    std::map<std::uint32_t, double> shares;
    for (std::uint32_t c : bitmap.Pixels) shares[c] += 1.0 / bitmap.Pixels.size();
    return shares;
}

TEST(ProgramIcon, ThemeIconsHoldTheDrawingAtTheirSize)
{
    for (int size : {32, 48}) {
        SCOPED_TRACE(size);
        int width = 0, height = 0;
        const std::string path =
            std::string(MIRT_ICON_DIR) + "/" + std::to_string(size) + "x" + std::to_string(size) + "/mirt.png";
        const std::vector<std::uint32_t> pixels = ReadPng(path, width, height);
        EXPECT_EQ(width, size);
        EXPECT_EQ(height, size);
        EXPECT_EQ(pixels, ProgramIcon(size)->Pixels);
    }
}

TEST(ProgramIcon, LargerSizesScaleTheSamePicture)
{
    const auto small = ColourShares(*ProgramIcon(32));
    const auto large = ColourShares(*ProgramIcon(48));
    ASSERT_EQ(small.size(), 5u); // frame, sky, sun, hill, path
    ASSERT_EQ(large.size(), small.size());
    for (const auto& [colour, share] : small) {
        SCOPED_TRACE(colour);
        ASSERT_TRUE(large.count(colour));
        // Whole pixels: the 3-unit frame is 5 px at 48, a share 0.034 larger.
        EXPECT_NEAR(large.at(colour), share, 0.04);
    }
}

} // namespace
} // namespace mirt
