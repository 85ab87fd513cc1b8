// The canvas's device context: objects, attributes, the mapping from logical
// units to the output, and the saved states.
#include "platform/metafile/GdiCanvas.h"

#include "platform/metafile/CanvasCairo.h"
#include "platform/metafile/FontCache.h"

#include <algorithm>
#include <cmath>

namespace mirt::metafile {

TGdiCanvas::TGdiCanvas(cairo_t* cr, const cairo_matrix_t& deviceToOutput, double devicePixelsPerMm, TRecordTally& tally)
    : cr_(cr), deviceToOutput_(deviceToOutput), devicePixelsPerMm_(devicePixelsPerMm),
      fonts_(std::make_unique<TFontCache>()), tally_(tally)
{
}

TGdiCanvas::~TGdiCanvas() = default;

void TGdiCanvas::SelectObject(const TGdiObject& object)
{
    if (auto* pen = std::get_if<TPen>(&object)) dc_.Pen = *pen;
    else if (auto* brush = std::get_if<TBrush>(&object)) dc_.Brush = *brush;
    else if (auto* font = std::get_if<TFont>(&object)) dc_.Font = *font;
}

// ---- Mapping -------------------------------------------------------------

void TGdiCanvas::SetMapMode(int mode)
{
    if (mode < MM_TEXT || mode > MM_ANISOTROPIC) return;
    dc_.MapMode = mode;
    // Fixed modes: logical units per millimetre, y upwards.
    double unitsPerMm = 0;
    switch (mode) {
    case MM_LOMETRIC: unitsPerMm = 10; break;
    case MM_HIMETRIC: unitsPerMm = 100; break;
    case MM_LOENGLISH: unitsPerMm = 100 / 25.4; break;
    case MM_HIENGLISH: unitsPerMm = 1000 / 25.4; break;
    case MM_TWIPS: unitsPerMm = 1440 / 25.4; break;
    default: break;
    }
    if (mode == MM_TEXT) {
        dc_.WinExt = {1, 1};
        dc_.VpExt = {1, 1};
    } else if (unitsPerMm > 0) {
        dc_.WinExt = {unitsPerMm, unitsPerMm};
        dc_.VpExt = {devicePixelsPerMm_, -devicePixelsPerMm_};
    }
}

void TGdiCanvas::SetWindowExt(double x, double y)
{
    if (dc_.MapMode != MM_ISOTROPIC && dc_.MapMode != MM_ANISOTROPIC) return;
    if (x == 0 || y == 0) return;
    dc_.WinExt = {x, y};
}

void TGdiCanvas::SetViewportExt(double x, double y)
{
    if (dc_.MapMode != MM_ISOTROPIC && dc_.MapMode != MM_ANISOTROPIC) return;
    if (x == 0 || y == 0) return;
    dc_.VpExt = {x, y};
}

void TGdiCanvas::ScaleWindowExt(double xNum, double xDenom, double yNum, double yDenom)
{
    if (xDenom == 0 || yDenom == 0) return;
    SetWindowExt(dc_.WinExt.X * xNum / xDenom, dc_.WinExt.Y * yNum / yDenom);
}

void TGdiCanvas::ScaleViewportExt(double xNum, double xDenom, double yNum, double yDenom)
{
    if (xDenom == 0 || yDenom == 0) return;
    SetViewportExt(dc_.VpExt.X * xNum / xDenom, dc_.VpExt.Y * yNum / yDenom);
}

void TGdiCanvas::ModifyWorldTransform(const cairo_matrix_t& m, std::uint32_t mode)
{
    cairo_matrix_t r;
    switch (mode) {
    case 1: cairo_matrix_init_identity(&dc_.World); return;
    case 2: cairo_matrix_multiply(&r, &m, &dc_.World); break; // m applied first
    case 3: cairo_matrix_multiply(&r, &dc_.World, &m); break;
    case 4: r = m; break;
    default: return;
    }
    dc_.World = r;
}

cairo_matrix_t TGdiCanvas::LogicalToOutput() const
{
    double sx = dc_.VpExt.X / dc_.WinExt.X, sy = dc_.VpExt.Y / dc_.WinExt.Y;
    if (dc_.MapMode == MM_ISOTROPIC) {
        double s = std::min(std::abs(sx), std::abs(sy));
        sx = std::copysign(s, sx);
        sy = std::copysign(s, sy);
    }
    // page -> device: (p - WinOrg) * s + VpOrg
    cairo_matrix_t page{sx, 0, 0, sy, dc_.VpOrg.X - dc_.WinOrg.X * sx, dc_.VpOrg.Y - dc_.WinOrg.Y * sy};
    cairo_matrix_t worldPage, all;
    cairo_matrix_multiply(&worldPage, &dc_.World, &page);
    cairo_matrix_multiply(&all, &worldPage, &deviceToOutput_);
    return all;
}

void TGdiCanvas::ApplyLogical()
{
    cairo_matrix_t m = LogicalToOutput();
    if (Usable(m)) cairo_set_matrix(cr_, &m);
    else {
        // A degenerate mapping draws nothing; keep cairo usable.
        cairo_matrix_t zero{1e-9, 0, 0, 1e-9, -1e6, -1e6};
        cairo_set_matrix(cr_, &zero);
    }
}

TRect TGdiCanvas::VisibleOutput() const
{
    cairo_surface_t* s = cairo_get_target(cr_);
    return {0, 0, static_cast<double>(cairo_image_surface_get_width(s)),
            static_cast<double>(cairo_image_surface_get_height(s))};
}

// ---- Saved states --------------------------------------------------------

void TGdiCanvas::SaveDC()
{
    if (saved_.size() >= MaxSavedStates) return;
    saved_.push_back(dc_);
    cairo_save(cr_);
}

void TGdiCanvas::RestoreDC(int which)
{
    // which < 0: that many levels back; which > 0: the absolute level.
    std::size_t levels;
    if (which < 0) levels = static_cast<std::size_t>(-static_cast<long long>(which));
    else if (which > 0 && static_cast<std::size_t>(which) <= saved_.size())
        levels = saved_.size() - static_cast<std::size_t>(which) + 1;
    else return;
    if (levels == 0 || levels > saved_.size()) return;
    for (std::size_t i = 0; i < levels; ++i) {
        dc_ = saved_.back();
        saved_.pop_back();
        cairo_restore(cr_);
    }
}

} // namespace mirt::metafile
