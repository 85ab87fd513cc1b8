// Writes the program's icon at one size as a PNG, for the icon theme:
//   mirt_icon_png SIZE OUTPUT.png
#include "app/ProgramIcon.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: mirt_icon_png SIZE OUTPUT.png\n");
        return 2;
    }
    const int size = std::atoi(argv[1]);
    if (size < 1 || size > 1024) {
        std::fprintf(stderr, "mirt_icon_png: size %s is not between 1 and 1024\n", argv[1]);
        return 2;
    }
    const auto icon = mirt::ProgramIcon(size);
    // Premultiplied ARGB to straight RGBA bytes.
    std::vector<unsigned char> rgba;
    rgba.reserve(icon->Pixels.size() * 4);
    for (std::uint32_t argb : icon->Pixels) {
        const unsigned a = argb >> 24;
        for (int shift : {16, 8, 0}) {
            const unsigned c = (argb >> shift) & 0xFF;
            rgba.push_back(static_cast<unsigned char>(a ? std::min(255u, (c * 255 + a / 2) / a) : 0));
        }
        rgba.push_back(static_cast<unsigned char>(a));
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(icon->Width);
    image.height = static_cast<png_uint_32>(icon->Height);
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&image, argv[2], 0, rgba.data(), 0, nullptr)) {
        std::fprintf(stderr, "mirt_icon_png: cannot write %s: %s\n", argv[2], image.message);
        return 1;
    }
    return 0;
}
