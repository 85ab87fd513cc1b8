// Fonts for metafile text, found through fontconfig: the face the metafile
// names when it covers the text, else the closest face that does (Japanese
// text and Shift-JIS fonts ask for a Japanese face).
#pragma once

#include "platform/metafile/GdiCanvas.h"

#include <cairo.h>

#include <map>
#include <string>

namespace mirt::metafile {

class TFontCache {
public:
    TFontCache() = default;
    ~TFontCache();
    TFontCache(const TFontCache&) = delete;
    TFontCache& operator=(const TFontCache&) = delete;

    // A face for font that has glyphs for text where any face does; owned
    // by the cache.
    cairo_font_face_t* Face(const TFont& font, const std::u32string& text);
    // Whether an italic request found only an upright face.
    bool NeedsSlant(cairo_font_face_t* face) const;

private:
    std::map<std::string, cairo_font_face_t*> faces_;
    std::map<cairo_font_face_t*, bool> needsSlant_;
};

} // namespace mirt::metafile
