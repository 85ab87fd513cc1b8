// What the canvas's parts share about cairo: owning handles for its objects
// (released by their deleters, never by hand) and checks on numbers before
// they reach cairo.
#pragma once

#include "platform/picture/Bitmap.h"

#include <cairo.h>

#include <cmath>
#include <memory>

namespace mirt::metafile {

struct TCairoRelease {
    void operator()(cairo_t* p) const { cairo_destroy(p); }
    void operator()(cairo_surface_t* p) const { cairo_surface_destroy(p); }
    void operator()(cairo_pattern_t* p) const { cairo_pattern_destroy(p); }
    void operator()(cairo_path_t* p) const { cairo_path_destroy(p); }
    void operator()(cairo_font_face_t* p) const { cairo_font_face_destroy(p); }
    void operator()(cairo_glyph_t* p) const { cairo_glyph_free(p); }
};

using TCairo = std::unique_ptr<cairo_t, TCairoRelease>;
using TSurface = std::unique_ptr<cairo_surface_t, TCairoRelease>;
using TPattern = std::unique_ptr<cairo_pattern_t, TCairoRelease>;
using TPath = std::unique_ptr<cairo_path_t, TCairoRelease>;
using TFontFace = std::unique_ptr<cairo_font_face_t, TCairoRelease>;
using TGlyphs = std::unique_ptr<cairo_glyph_t, TCairoRelease>; // an array from cairo

// A new image surface and a context drawing on it.
inline TSurface ImageSurface(cairo_format_t format, int width, int height)
{
    return TSurface(cairo_image_surface_create(format, width, height));
}
inline TCairo DrawOn(const TSurface& surface) { return TCairo(cairo_create(surface.get())); }

// A surface over a bitmap's own pixels (TBitmap keeps cairo's ARGB32 layout);
// the bitmap must outlive every use of the surface.
inline TSurface BitmapSurface(const TBitmap& b)
{
    return TSurface(cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(b.Pixels.data())), CAIRO_FORMAT_ARGB32, b.Width,
        b.Height, b.Width * 4));
}

inline bool Finite(double v) { return std::isfinite(v); }

// cairo refuses (and stays in an error state after) non-invertible matrices
// and non-finite numbers; a hostile file must not get us there.
inline bool Usable(const cairo_matrix_t& m)
{
    double det = m.xx * m.yy - m.xy * m.yx;
    return Finite(m.xx) && Finite(m.yx) && Finite(m.xy) && Finite(m.yy) && Finite(m.x0) && Finite(m.y0) &&
           std::abs(det) > 1e-12 && std::abs(det) < 1e12 && std::abs(m.x0) < 1e9 && std::abs(m.y0) < 1e9;
}

} // namespace mirt::metafile
