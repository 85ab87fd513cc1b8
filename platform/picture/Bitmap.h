// A decoded picture: its natural size and the top-left part of it that a
// picture control can show.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mirt {

// Pixels are 32-bit premultiplied ARGB in native byte order (cairo's
// CAIRO_FORMAT_ARGB32), row-major, Width pixels per row, no padding.
struct TBitmap {
    int NaturalWidth = 0; // size of the whole picture
    int NaturalHeight = 0;
    int Width = 0;  // decoded part: min(NaturalWidth, limit width)
    int Height = 0; // min(NaturalHeight, limit height)
    std::vector<std::uint32_t> Pixels;
    std::vector<std::string> Notes; // what the decoder skipped or only approximated, one line per kind
};

// What a decoder is asked to produce: only the top-left Width x Height part
// is ever shown, so nothing beyond it is decoded or allocated. The caller
// passes the size of the control the picture goes into; an unset limit is
// empty and decodes nothing.
struct TDecodeLimit {
    int Width = 0;
    int Height = 0;
};

} // namespace mirt
