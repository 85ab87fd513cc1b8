// A temporary story folder that a test works in: the current directory is
// switched to it for the test's lifetime, and dat/ holds the story and its
// pictures.
#pragma once

#include "tests/support/TempDir.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace mirt::test {

class TStoryFolder {
public:
    TStoryFolder() { std::filesystem::create_directory(dir_.Path() / "dat"); }

    // Writes dat/story.txt, one line per element, CR LF line ends.
    void Story(const std::vector<std::string>& lines) const
    {
        std::string text;
        for (const auto& line : lines) text += line + "\r\n";
        Write("story.txt", text);
    }

    void Write(const std::string& name, const std::string& bytes) const
    {
        test::TTempDir::Write(dir_.Path() / "dat" / name, bytes);
    }

    // Writes a 24-bit bottom-up BMP of one colour (0xRRGGBB).
    void Bmp(const std::string& name, int width, int height, std::uint32_t rgb) const
    {
        const int stride = (width * 3 + 3) / 4 * 4;
        std::string b;
        auto u16 = [&](unsigned v) {
            b += char(v & 0xFF);
            b += char(v >> 8 & 0xFF);
        };
        auto u32 = [&](std::uint32_t v) {
            u16(v & 0xFFFF);
            u16(v >> 16);
        };
        b += "BM";
        u32(54 + stride * height);
        u32(0);
        u32(54);
        u32(40);
        u32(width);
        u32(height);
        u16(1);
        u16(24);
        u32(0);
        u32(stride * height);
        u32(2835);
        u32(2835);
        u32(0);
        u32(0);
        for (int y = 0; y < height; ++y) {
            std::string row;
            for (int x = 0; x < width; ++x) {
                row += char(rgb & 0xFF);
                row += char(rgb >> 8 & 0xFF);
                row += char(rgb >> 16 & 0xFF);
            }
            row.resize(stride, '\0');
            b += row;
        }
        Write(name, b);
    }

    const std::filesystem::path& Root() const { return dir_.Path(); }

private:
    test::TTempDir dir_; // the current directory while it lives
};

} // namespace mirt::test
