// Cairo faces for metafile text. Which font draws a Windows font is decided
// by the program's one font resolver; this cache only keeps a cairo face per
// font file.
#pragma once

#include "platform/metafile/CanvasCairo.h"
#include "platform/metafile/GdiCanvas.h"

#include <cairo.h>

#include <map>
#include <string>

namespace mirt::metafile {

class TFontCache {
public:
    TFontCache() = default;
    TFontCache(const TFontCache&) = delete;
    TFontCache& operator=(const TFontCache&) = delete;

    // A face for font that has glyphs for text where any face does; owned
    // by the cache.
    cairo_font_face_t* Face(const TFont& font, const std::u32string& text);
    // Whether an italic request found only an upright face.
    bool NeedsSlant(cairo_font_face_t* face) const;

private:
    std::map<std::string, TFontFace> faces_;
    std::map<std::string, TFont> requests_; // distinct fonts asked for, by name, charset, weight, slant
    std::map<cairo_font_face_t*, bool> needsSlant_;
};

// How many em a Windows cell height holds in this font: Windows maps a
// positive (cell) height to an em size with the font's own unhinted Windows
// ascent and descent (the OS/2 table's usWinAscent + usWinDescent over the
// units per em; the horizontal header's ascender and descender when the font
// has no such table). 1 when the font gives no metrics.
double EmPerCellHeight(cairo_scaled_font_t* font);

} // namespace mirt::metafile
