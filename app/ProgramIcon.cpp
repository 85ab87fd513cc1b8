#include "app/ProgramIcon.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace mirt {

std::shared_ptr<const TBitmap> ProgramIcon(int size)
{
    // The picture is designed on a 32-unit grid; other sizes sample it at
    // their pixel centres, so 32 px is the design itself.
    constexpr double Grid = 32;
    constexpr std::uint32_t Frame = 0xFF5A3A1E, Sky = 0xFF5FA8E8, Sun = 0xFFFFD23F, Hill = 0xFF3C9A3C,
                            Path = 0xFFD8C08A;
    size = std::max(size, 1);
    const double scale = Grid / size;
    auto icon = std::make_shared<TBitmap>();
    icon->NaturalWidth = icon->Width = size;
    icon->NaturalHeight = icon->Height = size;
    icon->Pixels.reserve(static_cast<std::size_t>(size) * size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double u = (x + 0.5) * scale - 0.5, v = (y + 0.5) * scale - 0.5;
            // The frame is as thick on every side: 3 units, in whole pixels.
            const int edge = std::min({x, y, size - 1 - x, size - 1 - y});
            std::uint32_t c = Sky;
            if (edge * Grid < 3 * size) c = Frame;
            else if ((u - 22) * (u - 22) + (v - 10) * (v - 10) <= 16) c = Sun;
            else if (v >= 18 + std::floor((u - 10) * (u - 10) / 48))
                c = (u - std::floor(v / 2) >= 8 && u - std::floor(v / 2) <= 10) ? Path : Hill;
            icon->Pixels.push_back(c);
        }
    }
    return icon;
}

} // namespace mirt
