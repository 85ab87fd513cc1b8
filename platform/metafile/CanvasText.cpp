// Text output of the canvas.
#include "platform/metafile/GdiCanvas.h"

#include "platform/metafile/FontCache.h"
#include "platform/runtime/Encoding.h"

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

    // Glyph space: logical units along the baseline, turned as GDI turns
    // text in the record's graphics mode (TextDirection says how).
    cairo_translate(cr_, at.X, at.Y);
    cairo_matrix_t m;
    cairo_get_matrix(cr_, &m);
    // Where the logical axes point on the output (the compatible mode has
    // no rotation, only the mapping's scales).
    const bool xLeft = m.xx < 0, yUp = m.yy < 0;
    const TTextDirection direction = TextDirection(dc_.TextGraphicsMode, font.Escapement, font.Orientation, xLeft, yUp);
    cairo_scale(cr_, direction.FlipX ? -1 : 1, direction.FlipY ? -1 : 1);
    cairo_rotate(cr_, -direction.Baseline * std::numbers::pi / 1800.0);

    cairo_set_font_face(cr_, face);
    cairo_set_font_size(cr_, 1);
    double em = 16;
    if (font.Height < 0) em = -static_cast<double>(font.Height);
    else if (font.Height > 0) em = font.Height * EmPerCellHeight(cairo_get_scaled_font(cr_));
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
    if (direction.Glyphs != direction.Baseline) {
        // Glyphs turned apart from the baseline (advanced mode's orientation).
        cairo_matrix_t turn;
        cairo_matrix_init_rotate(&turn, -(direction.Glyphs - direction.Baseline) * std::numbers::pi / 1800.0);
        cairo_matrix_multiply(&fm, &fm, &turn);
    }
    cairo_set_font_matrix(cr_, &fm);
    cairo_scaled_font_t* scaled = cairo_get_scaled_font(cr_);
    if (cairo_scaled_font_status(scaled) != CAIRO_STATUS_SUCCESS) {
        cairo_restore(cr_);
        return;
    }

    // Glyphs of each character and the character's own advance.
    std::vector<std::vector<cairo_glyph_t>> charGlyphs(text.size());
    std::vector<double> natural(text.size(), 0.0);
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::string utf8;
        AppendUtf8(utf8, text[i]);
        cairo_glyph_t* made = nullptr;
        int n = 0;
        const cairo_status_t status =
            cairo_scaled_font_text_to_glyphs(scaled, 0, 0, utf8.c_str(), -1, &made, &n, nullptr, nullptr, nullptr);
        const TGlyphs g(made);
        if (status == CAIRO_STATUS_SUCCESS && n > 0) {
            cairo_text_extents_t e;
            cairo_scaled_font_glyph_extents(scaled, g.get(), n, &e);
            natural[i] = std::hypot(e.x_advance, e.y_advance);
            charGlyphs[i].assign(g.get(), g.get() + n);
        }
    }
    const std::vector<double> advances = dx.empty() ? SpacedAdvances(text, natural, dc_.TextSpacing) : dx;
    std::vector<cairo_glyph_t> glyphs;
    glyphs.reserve(text.size());
    double x = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        for (cairo_glyph_t g : charGlyphs[i]) {
            g.x += x;
            glyphs.push_back(g);
        }
        x += i < advances.size() ? advances[i] : natural[i];
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
    if (dc_.TextAlign & TA_UPDATECP) {
        // The current position moves along the baseline, (cos e, -sin e) in
        // logical units, left to right on the output in compatible mode.
        const double e = font.Escapement * std::numbers::pi / 1800.0;
        dc_.Current.X += (direction.FlipX ? -width : width) * std::cos(e);
        dc_.Current.Y -= width * std::sin(e);
    }
}

} // namespace mirt::metafile
