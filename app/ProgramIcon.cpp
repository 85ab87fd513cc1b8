#include "app/ProgramIcon.h"

#include <cstdint>

namespace mirt {

std::shared_ptr<const TBitmap> ProgramIcon()
{
    constexpr int Size = 32;
    constexpr std::uint32_t Frame = 0xFF5A3A1E, Sky = 0xFF5FA8E8, Sun = 0xFFFFD23F, Hill = 0xFF3C9A3C,
                            Path = 0xFFD8C08A;
    auto icon = std::make_shared<TBitmap>();
    icon->NaturalWidth = icon->Width = Size;
    icon->NaturalHeight = icon->Height = Size;
    icon->Pixels.reserve(Size * Size);
    for (int y = 0; y < Size; ++y) {
        for (int x = 0; x < Size; ++x) {
            std::uint32_t c = Sky;
            if (x < 3 || y < 3 || x >= Size - 3 || y >= Size - 3) c = Frame;
            else if ((x - 22) * (x - 22) + (y - 10) * (y - 10) <= 16) c = Sun;
            else if (y >= 18 + (x - 10) * (x - 10) / 48) c = (x - y / 2 >= 8 && x - y / 2 <= 10) ? Path : Hill;
            icon->Pixels.push_back(c);
        }
    }
    return icon;
}

} // namespace mirt
