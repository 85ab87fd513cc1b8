// The DIB decoder on a byte source, used by the BMP, icon and packed-DIB entry
// points (not part of the library's interface).
#pragma once

#include "platform/picture/Bitmap.h"
#include "platform/runtime/Files.h"

#include <cstdint>
#include <optional>

namespace mirt::picture {

struct TDibPlacement {
    std::uint64_t HeaderOffset = 0;          // where the info header starts
    std::optional<std::uint64_t> BitsOffset; // a BMP file's offset of the bits; else they follow the colour table
    bool IconImage = false;                  // the header's height counts the colour bits and the AND mask below them
};

TBitmap DecodeDibFrom(TByteSource& source, const TDibPlacement& where, TDecodeLimit limit);

} // namespace mirt::picture
