// Text output of the canvas.
#include "platform/metafile/GdiCanvas.h"

#include "platform/metafile/FontCache.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace mirt::metafile {

// ---- Text ----------------------------------------------------------------

void TGdiCanvas::TextOut(TPoint p, const std::u32string& text, const std::vector<double>& dx, std::uint32_t options,
                         const TRect* rect)
{
    if (inPath_) return;
    cairo_new_path(cr_);
    cairo_save(cr_);
    ApplyLogical();
    if (rect && (options & (ETO_OPAQUE | ETO_CLIPPED))) {
        cairo_rectangle(cr_, rect->Left, rect->Top, rect->Right - rect->Left, rect->Bottom - rect->Top);
        if (options & ETO_OPAQUE) {
            cairo_set_source_rgb(cr_, dc_.BkColor.R, dc_.BkColor.G, dc_.BkColor.B);
            cairo_fill_preserve(cr_);
        }
        if (options & ETO_CLIPPED) cairo_clip(cr_);
        cairo_new_path(cr_);
    }
    if (text.empty()) {
        cairo_restore(cr_);
        return;
    }

    const TFont& font = dc_.Font;
    cairo_font_face_t* face = fonts_->Face(font, text);
    TPoint at = (dc_.TextAlign & TA_UPDATECP) ? dc_.Current : p;

    // Glyph space: logical units along the baseline, upright on the output
    // whatever the mapping's orientation, turned by the escapement.
    cairo_translate(cr_, at.X, at.Y);
    cairo_matrix_t m;
    cairo_get_matrix(cr_, &m);
    bool yUp = m.xx * m.yy - m.xy * m.yx < 0;
    if (yUp) cairo_scale(cr_, 1, -1);
    cairo_rotate(cr_, -font.Escapement * std::numbers::pi / 1800.0);

    cairo_set_font_face(cr_, face);
    cairo_set_font_size(cr_, 1);
    cairo_font_extents_t unit;
    cairo_font_extents(cr_, &unit);
    double em = 16;
    if (font.Height < 0) em = -static_cast<double>(font.Height);
    else if (font.Height > 0) em = font.Height / std::max(unit.ascent + unit.descent, 0.1);
    else {
        // The default font: about 16 output pixels.
        cairo_matrix_t cm;
        cairo_get_matrix(cr_, &cm);
        double s = std::sqrt(std::abs(cm.xx * cm.yy - cm.xy * cm.yx));
        em = s > 0 ? 16 / s : 16;
    }
    {
        // Text far too small or too large to read in the output is not drawn
        // (a huge glyph would cost a huge glyph image).
        cairo_matrix_t cm;
        cairo_get_matrix(cr_, &cm);
        double emOutput = em * std::sqrt(std::abs(cm.xx * cm.yy - cm.xy * cm.yx));
        if (!(emOutput > 0.05) || emOutput > 1024) {
            cairo_restore(cr_);
            return;
        }
    }
    cairo_matrix_t fm;
    cairo_matrix_init_scale(&fm, em, em);
    if (font.Italic && fonts_->NeedsSlant(face)) {
        cairo_matrix_t slant{1, 0, -0.2, 1, 0, 0};
        cairo_matrix_multiply(&fm, &slant, &fm);
    }
    cairo_set_font_matrix(cr_, &fm);
    cairo_scaled_font_t* scaled = cairo_get_scaled_font(cr_);
    if (cairo_scaled_font_status(scaled) != CAIRO_STATUS_SUCCESS) {
        cairo_restore(cr_);
        return;
    }

    std::vector<cairo_glyph_t> glyphs;
    glyphs.reserve(text.size());
    double x = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        char utf8[5] = {};
        if (c < 0x80) utf8[0] = static_cast<char>(c);
        else if (c < 0x800) {
            utf8[0] = static_cast<char>(0xC0 | c >> 6);
            utf8[1] = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            utf8[0] = static_cast<char>(0xE0 | c >> 12);
            utf8[1] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
            utf8[2] = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8[0] = static_cast<char>(0xF0 | c >> 18);
            utf8[1] = static_cast<char>(0x80 | (c >> 12 & 0x3F));
            utf8[2] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
            utf8[3] = static_cast<char>(0x80 | (c & 0x3F));
        }
        cairo_glyph_t* g = nullptr;
        int n = 0;
        double advance = 0;
        if (cairo_scaled_font_text_to_glyphs(scaled, x, 0, utf8, -1, &g, &n, nullptr, nullptr, nullptr) ==
                CAIRO_STATUS_SUCCESS &&
            n > 0) {
            cairo_text_extents_t e;
            cairo_scaled_font_glyph_extents(scaled, g, n, &e);
            advance = e.x_advance;
            glyphs.insert(glyphs.end(), g, g + n);
        }
        cairo_glyph_free(g);
        x += i < dx.size() ? dx[i] : advance;
    }
    double width = x;

    cairo_font_extents_t fe;
    cairo_scaled_font_extents(scaled, &fe);
    double ox = 0, oy = 0;
    switch (dc_.TextAlign & TA_HMASK) {
    case TA_RIGHT: ox = -width; break;
    case TA_CENTER: ox = -width / 2; break;
    default: break;
    }
    switch (dc_.TextAlign & TA_VMASK) {
    case TA_BASELINE: break;
    case TA_BOTTOM: oy = -fe.descent; break;
    default: oy = fe.ascent; break;
    }
    cairo_translate(cr_, ox, oy);
    if (dc_.BkMode == OPAQUE && !(options & ETO_OPAQUE)) {
        cairo_rectangle(cr_, 0, -fe.ascent, width, fe.ascent + fe.descent);
        cairo_set_source_rgb(cr_, dc_.BkColor.R, dc_.BkColor.G, dc_.BkColor.B);
        cairo_fill(cr_);
    }
    cairo_set_source_rgb(cr_, dc_.TextColor.R, dc_.TextColor.G, dc_.TextColor.B);
    cairo_show_glyphs(cr_, glyphs.data(), static_cast<int>(glyphs.size()));
    if (font.Underline || font.StrikeOut) {
        double thick = std::max(em / 16, 0.0);
        if (font.Underline) cairo_rectangle(cr_, 0, fe.descent / 2, width, thick);
        if (font.StrikeOut) cairo_rectangle(cr_, 0, -fe.ascent / 3, width, thick);
        cairo_fill(cr_);
    }
    cairo_restore(cr_);
    if (dc_.TextAlign & TA_UPDATECP) dc_.Current.X += width;
}

} // namespace mirt::metafile
