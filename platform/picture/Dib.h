// Device-independent bitmaps as they are packed in memory: an info header
// (BITMAPINFOHEADER, its V2-V5 successors, the OS/2 2.x header or the 12-byte
// core header), its colour masks and colour table, then the pixel bits.
// Metafile records carry them; BMP files and icons hold them after their own
// headers and are decoded by the same code.
#pragma once

#include "platform/picture/Bitmap.h"

#include <span>

namespace mirt {

// Decodes the top-left part of a packed DIB that the limit allows (any limit,
// including 0 x 0, which yields only the natural size). Raises EPictureError
// on anything malformed, truncated or unsupported; reads and allocates only
// what the visible part needs.
TBitmap DecodeDib(std::span<const unsigned char> packedDib, TDecodeLimit limit);

} // namespace mirt
