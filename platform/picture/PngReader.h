// PNG images inside icon files, decoded with libpng (not part of the
// library's interface).
#pragma once

#include "platform/picture/Bitmap.h"
#include "platform/runtime/Files.h"

#include <cstddef>

namespace mirt::picture {

bool HasPngSignature(const unsigned char* bytes, std::size_t length);

// Decodes the top-left part of the PNG image that the limit allows; reads rows
// only until the visible ones are done (interlaced images need every pass).
TBitmap DecodePngFrom(TByteSource& source, TDecodeLimit limit);

} // namespace mirt::picture
