// Helpers for the picture tests: fixture files, pixel comparison, and a
// writer of small BMP/DIB byte fixtures for cases where exact bytes matter.
#pragma once

#include "platform/picture/Bitmap.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace mirt::test {

using TBytes = std::vector<unsigned char>;

inline std::string FixturePath(const std::string& name) { return std::string(MIRT_PICTURE_FIXTURES) + "/" + name; }

inline TBytes ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << "cannot open " << path;
    return TBytes(std::istreambuf_iterator<char>(in), {});
}

constexpr std::uint32_t Red = 0xFFFF0000, Lime = 0xFF00FF00, Blue = 0xFF0000FF, White = 0xFFFFFFFF, Black = 0xFF000000,
                        Transparent = 0;

struct TPixelCheck {
    int X, Y;
    std::uint32_t Argb;
};

// Each channel within tolerance (lossy formats); reports the pixel that differs.
inline ::testing::AssertionResult PixelsMatch(const TBitmap& b, const std::vector<TPixelCheck>& checks,
                                              int tolerance = 0)
{
    for (const auto& c : checks) {
        if (c.X >= b.Width || c.Y >= b.Height)
            return ::testing::AssertionFailure()
                   << "pixel " << c.X << "," << c.Y << " outside " << b.Width << "x" << b.Height;
        std::uint32_t got = b.Pixels[static_cast<std::size_t>(c.Y) * b.Width + c.X];
        for (int shift = 0; shift < 32; shift += 8) {
            int d = int(got >> shift & 0xFF) - int(c.Argb >> shift & 0xFF);
            if (std::abs(d) > tolerance)
                return ::testing::AssertionFailure()
                       << "pixel " << c.X << "," << c.Y << " is " << std::hex << got << ", expected " << c.Argb;
        }
    }
    return ::testing::AssertionSuccess();
}

inline void Put16(TBytes& b, unsigned v)
{
    b.push_back(v & 0xFF);
    b.push_back(v >> 8 & 0xFF);
}
inline void Put32(TBytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) b.push_back(v >> 8 * i & 0xFF);
}

// A DIB or BMP file written field by field.
struct TDibLayout {
    unsigned HeaderSize = 40; // 12 (core), 40, 56, 108, 124
    std::int32_t Width = 1, Height = 1;
    unsigned Bpp = 24;
    std::uint32_t Compression = 0;
    std::uint32_t ColoursUsed = 0;
    std::vector<std::uint32_t> Palette;   // 0xRRGGBB
    std::array<std::uint32_t, 4> Masks{}; // written for compression 3 (after a 40-byte header, else inside it)
    TBytes Bits;
};

inline TBytes MakeDib(const TDibLayout& s)
{
    TBytes b;
    Put32(b, s.HeaderSize);
    if (s.HeaderSize == 12) {
        Put16(b, s.Width);
        Put16(b, s.Height);
        Put16(b, 1);
        Put16(b, s.Bpp);
    } else {
        Put32(b, s.Width);
        Put32(b, s.Height);
        Put16(b, 1);
        Put16(b, s.Bpp);
        Put32(b, s.Compression);
        Put32(b, s.Bits.size());
        Put32(b, 2835);
        Put32(b, 2835);
        Put32(b, s.ColoursUsed);
        Put32(b, 0);
        if (s.HeaderSize > 40) {
            for (auto m : s.Masks) Put32(b, m);
            b.resize(s.HeaderSize, 0);
        } else if (s.Compression == 3) {
            for (int i = 0; i < 3; ++i) Put32(b, s.Masks[i]);
        }
    }
    for (auto c : s.Palette) {
        b.push_back(c & 0xFF);
        b.push_back(c >> 8 & 0xFF);
        b.push_back(c >> 16 & 0xFF);
        if (s.HeaderSize != 12) b.push_back(0);
    }
    b.insert(b.end(), s.Bits.begin(), s.Bits.end());
    return b;
}

inline TBytes MakeBmp(const TDibLayout& s)
{
    TBytes dib = MakeDib(s);
    TBytes b{'B', 'M'};
    Put32(b, 14 + dib.size());
    Put32(b, 0);
    Put32(b, 14 + dib.size() - s.Bits.size());
    b.insert(b.end(), dib.begin(), dib.end());
    return b;
}

inline void SetLe32(TBytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) b.at(at + i) = v >> 8 * i & 0xFF;
}

} // namespace mirt::test
