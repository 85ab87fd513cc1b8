#include "platform/metafile/GdiCanvas.h"

#include "platform/metafile/FontCache.h"
#include "platform/runtime/Encoding.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace mirt::metafile {

namespace {

bool Finite(double v) { return std::isfinite(v); }

// cairo refuses (and stays in an error state after) non-invertible matrices
// and non-finite numbers; a hostile file must not get us there.
bool Usable(const cairo_matrix_t& m)
{
    double det = m.xx * m.yy - m.xy * m.yx;
    return Finite(m.xx) && Finite(m.yx) && Finite(m.xy) && Finite(m.yy) && Finite(m.x0) && Finite(m.y0) &&
           std::abs(det) > 1e-12 && std::abs(det) < 1e12 && std::abs(m.x0) < 1e9 && std::abs(m.y0) < 1e9;
}

// Hatch patterns of 8 x 8 output pixels.
cairo_surface_t* HatchSurface(std::uint32_t hatch, TColor fg, const TColor* bg)
{
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
    cairo_t* c = cairo_create(s);
    if (bg) {
        cairo_set_source_rgb(c, bg->R, bg->G, bg->B);
        cairo_paint(c);
    }
    cairo_set_source_rgb(c, fg.R, fg.G, fg.B);
    cairo_set_antialias(c, CAIRO_ANTIALIAS_NONE);
    auto hline = [&] { cairo_rectangle(c, 0, 4, 8, 1); };
    auto vline = [&] { cairo_rectangle(c, 4, 0, 1, 8); };
    auto diag = [&](bool down) {
        for (int i = 0; i < 8; ++i) cairo_rectangle(c, i, down ? i : 7 - i, 1, 1);
    };
    switch (hatch) {
    case 0: hline(); break;     // HS_HORIZONTAL
    case 1: vline(); break;     // HS_VERTICAL
    case 2: diag(true); break;  // HS_FDIAGONAL
    case 3: diag(false); break; // HS_BDIAGONAL
    case 4:
        hline();
        vline();
        break; // HS_CROSS
    default:
        diag(true);
        diag(false);
        break; // HS_DIAGCROSS
    }
    cairo_fill(c);
    cairo_destroy(c);
    return s;
}

} // namespace

TGdiCanvas::TGdiCanvas(cairo_t* cr, const cairo_matrix_t& deviceToOutput, double devicePixelsPerMm)
    : cr_(cr), deviceToOutput_(deviceToOutput), devicePixelsPerMm_(devicePixelsPerMm),
      fonts_(std::make_unique<TFontCache>())
{
}

TGdiCanvas::~TGdiCanvas()
{
    if (path_) cairo_path_destroy(path_);
}

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

// ---- Clipping ------------------------------------------------------------

void TGdiCanvas::IntersectClipRect(const TRect& r)
{
    if (inPath_) return;
    cairo_new_path(cr_);
    ApplyLogical();
    cairo_rectangle(cr_, r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
    ClipToCurrentPath(RGN_AND, false);
}

void TGdiCanvas::ExcludeClipRect(const TRect& r)
{
    if (inPath_) return;
    // One rectangle: the clip intersected with the visible part minus the
    // rectangle is exact.
    cairo_new_path(cr_);
    cairo_identity_matrix(cr_);
    TRect v = VisibleOutput();
    cairo_rectangle(cr_, v.Left - 1, v.Top - 1, v.Right + 2, v.Bottom + 2);
    ApplyLogical();
    cairo_rectangle(cr_, r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
    ClipToCurrentPath(RGN_AND, true);
}

// The coverage of the current clip over the visible part, as an A8 surface
// the size of the output (all opaque when nothing is clipped).
cairo_surface_t* TGdiCanvas::ClipMask()
{
    TRect v = VisibleOutput();
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, int(v.Right), int(v.Bottom));
    cairo_t* m = cairo_create(mask);
    if (!dc_.Clipped) {
        cairo_paint(m);
    } else {
        // A group painted through the clip holds exactly its coverage.
        cairo_save(cr_);
        cairo_identity_matrix(cr_);
        cairo_push_group_with_content(cr_, CAIRO_CONTENT_ALPHA);
        cairo_set_source_rgba(cr_, 0, 0, 0, 1);
        cairo_paint(cr_);
        cairo_pattern_t* coverage = cairo_pop_group(cr_);
        cairo_restore(cr_);
        cairo_set_source(m, coverage);
        cairo_paint(m);
        cairo_pattern_destroy(coverage);
    }
    cairo_destroy(m);
    cairo_surface_flush(mask);
    return mask;
}

// Replaces the clip by the pixels of the mask that are at least half covered,
// as runs of whole pixels; rows with the same runs share one rectangle.
void TGdiCanvas::ClipToMask(cairo_surface_t* mask)
{
    cairo_surface_flush(mask);
    const unsigned char* data = cairo_image_surface_get_data(mask);
    int width = cairo_image_surface_get_width(mask), height = cairo_image_surface_get_height(mask);
    int stride = cairo_image_surface_get_stride(mask);
    cairo_new_path(cr_);
    cairo_identity_matrix(cr_);
    std::vector<std::pair<int, int>> open, runs; // runs [x0, x1) of the rows since openTop
    int openTop = 0;
    auto flush = [&](int bottom) {
        for (auto [x0, x1] : open) cairo_rectangle(cr_, x0, openTop, x1 - x0, bottom - openTop);
    };
    for (int y = 0; y <= height; ++y) {
        runs.clear();
        if (y < height) {
            const unsigned char* row = data + std::size_t(y) * std::size_t(stride);
            for (int x = 0; x < width;) {
                if (row[x] < 128) {
                    ++x;
                    continue;
                }
                int x0 = x;
                while (x < width && row[x] >= 128) ++x;
                runs.emplace_back(x0, x);
            }
        }
        if (runs != open || y == height) {
            flush(y);
            open = runs;
            openTop = y;
        }
    }
    cairo_reset_clip(cr_);
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
    cairo_clip(cr_); // an empty path clips everything away
    dc_.Clipped = true;
}

// Combines the clip with the current path (in output space) by mode.
void TGdiCanvas::ClipToCurrentPath(int mode, bool evenOdd)
{
    cairo_identity_matrix(cr_);
    cairo_fill_rule_t rule = evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING;
    if (mode == RGN_AND || mode == RGN_COPY) {
        // cairo intersects clips exactly, with antialiased edges.
        if (mode == RGN_COPY) cairo_reset_clip(cr_);
        cairo_set_fill_rule(cr_, rule);
        cairo_clip(cr_);
        dc_.Clipped = true;
        return;
    }
    if (mode != RGN_OR && mode != RGN_XOR && mode != RGN_DIFF) {
        cairo_new_path(cr_);
        return;
    }
    // OR, XOR and DIFF: the old clip's coverage combined with the new
    // region's in a mask of the visible part.
    cairo_path_t* path = cairo_copy_path(cr_);
    cairo_new_path(cr_);
    cairo_surface_t* mask = ClipMask();
    cairo_t* m = cairo_create(mask);
    cairo_append_path(m, path);
    cairo_set_fill_rule(m, rule);
    cairo_set_operator(m, mode == RGN_OR    ? CAIRO_OPERATOR_OVER
                          : mode == RGN_XOR ? CAIRO_OPERATOR_XOR
                                            : CAIRO_OPERATOR_DEST_OUT);
    cairo_set_antialias(m, CAIRO_ANTIALIAS_NONE);
    cairo_fill(m);
    cairo_destroy(m);
    cairo_path_destroy(path);
    ClipToMask(mask);
    cairo_surface_destroy(mask);
}

void TGdiCanvas::AddRegionPath(const TRegion& region)
{
    if (region.Logical) ApplyLogical();
    else cairo_set_matrix(cr_, &deviceToOutput_);
    for (const TRect& r : region.Rects) cairo_rectangle(cr_, r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
}

void TGdiCanvas::SelectClipRegion(const TRegion& region, int mode)
{
    if (inPath_) return;
    // An empty region is still a region: COPY of it clips everything away.
    cairo_new_path(cr_);
    AddRegionPath(region);
    ClipToCurrentPath(mode, false);
}

void TGdiCanvas::ResetClip()
{
    cairo_reset_clip(cr_);
    dc_.Clipped = false;
}

void TGdiCanvas::OffsetClip(double dx, double dy)
{
    if (inPath_ || !dc_.Clipped) return;
    ApplyLogical();
    cairo_user_to_device_distance(cr_, &dx, &dy);
    if (!Finite(dx) || !Finite(dy)) return;
    TRect v = VisibleOutput();
    cairo_surface_t* old = ClipMask();
    cairo_surface_t* moved = cairo_image_surface_create(CAIRO_FORMAT_A8, int(v.Right), int(v.Bottom));
    if (std::abs(dx) < v.Right + 1 && std::abs(dy) < v.Bottom + 1) {
        cairo_t* m = cairo_create(moved);
        cairo_set_source_surface(m, old, std::round(dx), std::round(dy));
        cairo_paint(m);
        cairo_destroy(m);
    }
    ClipToMask(moved);
    cairo_surface_destroy(moved);
    cairo_surface_destroy(old);
}

// ---- Shapes --------------------------------------------------------------

void TGdiCanvas::BeginShape()
{
    if (!inPath_) cairo_new_path(cr_);
    ApplyLogical();
}

bool TGdiCanvas::SetBrushSource(const TBrush& brush)
{
    cairo_identity_matrix(cr_);
    switch (brush.Style) {
    case BS_NULL: return false;
    case BS_HATCHED: {
        if (dc_.BkMode == OPAQUE) {
            cairo_surface_t* s = HatchSurface(brush.Hatch, brush.Color, &dc_.BkColor);
            cairo_set_source_surface(cr_, s, 0, 0);
            cairo_surface_destroy(s);
        } else {
            cairo_surface_t* s = HatchSurface(brush.Hatch, brush.Color, nullptr);
            cairo_set_source_surface(cr_, s, 0, 0);
            cairo_surface_destroy(s);
        }
        cairo_pattern_set_extend(cairo_get_source(cr_), CAIRO_EXTEND_REPEAT);
        return true;
    }
    case BS_PATTERN:
    case BS_DIBPATTERN:
    case BS_DIBPATTERNPT:
        if (brush.Pattern && brush.Pattern->Width > 0 && brush.Pattern->Height > 0) {
            const TBitmap& b = *brush.Pattern;
            cairo_surface_t* s = cairo_image_surface_create_for_data(
                reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(b.Pixels.data())), CAIRO_FORMAT_ARGB32,
                b.Width, b.Height, b.Width * 4);
            cairo_set_source_surface(cr_, s, 0, 0);
            cairo_pattern_set_extend(cairo_get_source(cr_), CAIRO_EXTEND_REPEAT);
            cairo_surface_destroy(s); // the pattern holds it; the pixels outlive the fill
            return true;
        }
        cairo_set_source_rgb(cr_, brush.Color.R, brush.Color.G, brush.Color.B);
        return true;
    default: cairo_set_source_rgb(cr_, brush.Color.R, brush.Color.G, brush.Color.B); return true;
    }
}

void TGdiCanvas::FillCurrentPath(const TBrush& brush)
{
    if (!SetBrushSource(brush)) return;
    cairo_set_fill_rule(cr_, dc_.PolyFillMode == WINDING ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    cairo_fill_preserve(cr_);
}

// Strokes with the pen; paintWith, when given, paints the stroke with a brush
// instead of the pen's colour.
void TGdiCanvas::StrokeCurrentPath(const TBrush* paintWith)
{
    const TPen& pen = dc_.Pen;
    std::uint32_t style = pen.Style & PS_STYLE_MASK;
    if (style == PS_NULL) return;
    if (!paintWith) cairo_set_source_rgb(cr_, pen.Color.R, pen.Color.G, pen.Color.B);
    else if (!SetBrushSource(*paintWith)) return;

    ApplyLogical();
    cairo_matrix_t m;
    cairo_get_matrix(cr_, &m);
    double scale = std::sqrt(std::abs(m.xx * m.yy - m.xy * m.yx)); // output px per logical unit
    double width = pen.Width;
    if (pen.Cosmetic || width * scale < 1) {
        cairo_identity_matrix(cr_);
        width = 1;
        scale = 1;
    }
    cairo_set_line_width(cr_, width);

    switch (pen.Style & PS_ENDCAP_MASK) {
    case PS_ENDCAP_SQUARE: cairo_set_line_cap(cr_, CAIRO_LINE_CAP_SQUARE); break;
    case PS_ENDCAP_FLAT: cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT); break;
    default: cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND); break;
    }
    switch (pen.Style & PS_JOIN_MASK) {
    case PS_JOIN_BEVEL: cairo_set_line_join(cr_, CAIRO_LINE_JOIN_BEVEL); break;
    case PS_JOIN_MITER: cairo_set_line_join(cr_, CAIRO_LINE_JOIN_MITER); break;
    default: cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND); break;
    }
    cairo_set_miter_limit(cr_, std::clamp(dc_.MiterLimit, 1.0, 100.0));
    if (pen.Cosmetic) cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);

    // Dashes in units of the line width.
    std::vector<double> dashes;
    switch (style) {
    case PS_DASH: dashes = {3, 1}; break;
    case PS_DOT:
    case PS_ALTERNATE: dashes = {1, 1}; break;
    case PS_DASHDOT: dashes = {3, 1, 1, 1}; break;
    case PS_DASHDOTDOT: dashes = {3, 1, 1, 1, 1, 1}; break;
    case PS_USERSTYLE:
        for (double d : pen.UserDashes) dashes.push_back(d * scale / std::max(width, 1e-9) / scale);
        break;
    default: break;
    }
    bool allZero = std::all_of(dashes.begin(), dashes.end(), [](double d) { return !(d > 0); });
    double unit = pen.Cosmetic ? 3 : width; // cosmetic dashes of a few pixels
    if (!dashes.empty() && !allZero) {
        // A dash pattern far finer than the path is drawn solid: stepping
        // through millions of dashes would take too long.
        double sum = 0;
        for (double& d : dashes) {
            d = std::clamp(d * unit, 0.0, 1e6);
            sum += d;
        }
        cairo_matrix_t keep;
        cairo_get_matrix(cr_, &keep);
        cairo_identity_matrix(cr_);
        double x1, y1, x2, y2;
        cairo_path_extents(cr_, &x1, &y1, &x2, &y2);
        cairo_set_matrix(cr_, &keep);
        double outputSum = sum * scale;
        if (!(outputSum > 0) || (x2 - x1 + y2 - y1) / outputSum > 1e5) dashes.clear();
    }
    if (!dashes.empty() && !allZero) {
        cairo_set_dash(cr_, dashes.data(), static_cast<int>(dashes.size()), 0);
    } else {
        cairo_set_dash(cr_, nullptr, 0, 0);
    }
    cairo_stroke_preserve(cr_);
    cairo_set_dash(cr_, nullptr, 0, 0);
}

void TGdiCanvas::EndShape(bool fill, bool stroke)
{
    if (inPath_) return;
    if (fill) FillCurrentPath(dc_.Brush);
    if (stroke) StrokeCurrentPath();
    cairo_new_path(cr_);
}

void TGdiCanvas::MoveTo(TPoint p)
{
    dc_.Current = p;
    if (inPath_) {
        ApplyLogical();
        cairo_move_to(cr_, p.X, p.Y);
    }
}

void TGdiCanvas::LineTo(TPoint p)
{
    BeginShape();
    if (!inPath_ || !cairo_has_current_point(cr_)) cairo_move_to(cr_, dc_.Current.X, dc_.Current.Y);
    cairo_line_to(cr_, p.X, p.Y);
    dc_.Current = p;
    EndShape(false, true);
}

void TGdiCanvas::Polyline(const std::vector<TPoint>& pts)
{
    if (pts.empty()) return;
    BeginShape();
    cairo_move_to(cr_, pts[0].X, pts[0].Y);
    for (std::size_t i = 1; i < pts.size(); ++i) cairo_line_to(cr_, pts[i].X, pts[i].Y);
    EndShape(false, true);
}

void TGdiCanvas::PolylineTo(const std::vector<TPoint>& pts)
{
    if (pts.empty()) return;
    BeginShape();
    if (!inPath_ || !cairo_has_current_point(cr_)) cairo_move_to(cr_, dc_.Current.X, dc_.Current.Y);
    for (const TPoint& p : pts) cairo_line_to(cr_, p.X, p.Y);
    dc_.Current = pts.back();
    EndShape(false, true);
}

void TGdiCanvas::PolyBezier(const std::vector<TPoint>& pts)
{
    if (pts.empty()) return;
    BeginShape();
    cairo_move_to(cr_, pts[0].X, pts[0].Y);
    for (std::size_t i = 1; i + 2 < pts.size(); i += 3)
        cairo_curve_to(cr_, pts[i].X, pts[i].Y, pts[i + 1].X, pts[i + 1].Y, pts[i + 2].X, pts[i + 2].Y);
    EndShape(false, true);
}

void TGdiCanvas::PolyBezierTo(const std::vector<TPoint>& pts)
{
    if (pts.size() < 3) return;
    BeginShape();
    if (!inPath_ || !cairo_has_current_point(cr_)) cairo_move_to(cr_, dc_.Current.X, dc_.Current.Y);
    std::size_t i = 0;
    for (; i + 3 <= pts.size(); i += 3)
        cairo_curve_to(cr_, pts[i].X, pts[i].Y, pts[i + 1].X, pts[i + 1].Y, pts[i + 2].X, pts[i + 2].Y);
    dc_.Current = pts[i - 1];
    EndShape(false, true);
}

// Adds each point list as a figure of the current path, closed or open.
void TGdiCanvas::AppendFigures(const std::vector<std::vector<TPoint>>& polys, bool closed)
{
    for (const auto& poly : polys) {
        if (poly.empty()) continue;
        cairo_move_to(cr_, poly[0].X, poly[0].Y);
        for (std::size_t i = 1; i < poly.size(); ++i) cairo_line_to(cr_, poly[i].X, poly[i].Y);
        if (closed) cairo_close_path(cr_);
    }
}

void TGdiCanvas::PolyPolygon(const std::vector<std::vector<TPoint>>& polys)
{
    BeginShape();
    AppendFigures(polys, true);
    EndShape(true, true);
}

void TGdiCanvas::PolyPolyline(const std::vector<std::vector<TPoint>>& polys)
{
    BeginShape();
    AppendFigures(polys, false);
    EndShape(false, true);
}

void TGdiCanvas::PolyDraw(const std::vector<TPoint>& pts, const std::vector<std::uint8_t>& types)
{
    if (pts.empty() || types.size() != pts.size()) return;
    // Béziers come in threes; only lines and Béziers may close a figure.
    for (std::size_t i = 0; i < types.size();) {
        std::uint8_t t = types[i] & ~PT_CLOSEFIGURE;
        if (t == PT_MOVETO && !(types[i] & PT_CLOSEFIGURE)) i += 1;
        else if (t == PT_LINETO) i += 1;
        else if (t == PT_BEZIERTO && i + 2 < types.size() && types[i] == PT_BEZIERTO && types[i + 1] == PT_BEZIERTO &&
                 (types[i + 2] & ~PT_CLOSEFIGURE) == PT_BEZIERTO)
            i += 3;
        else return;
    }
    BeginShape();
    if (!inPath_ || !cairo_has_current_point(cr_)) cairo_move_to(cr_, dc_.Current.X, dc_.Current.Y);
    for (std::size_t i = 0; i < pts.size(); ++i) {
        std::uint8_t t = types[i] & ~PT_CLOSEFIGURE;
        if (t == PT_MOVETO) cairo_move_to(cr_, pts[i].X, pts[i].Y);
        else if (t == PT_LINETO) cairo_line_to(cr_, pts[i].X, pts[i].Y);
        else {
            cairo_curve_to(cr_, pts[i].X, pts[i].Y, pts[i + 1].X, pts[i + 1].Y, pts[i + 2].X, pts[i + 2].Y);
            i += 2;
        }
        if (types[i] & PT_CLOSEFIGURE) cairo_close_path(cr_);
    }
    dc_.Current = pts.back();
    EndShape(false, true);
}

void TGdiCanvas::Rectangle(const TRect& r)
{
    BeginShape();
    cairo_rectangle(cr_, r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
    cairo_close_path(cr_);
    EndShape(true, true);
}

void TGdiCanvas::RoundRect(const TRect& r, double cornerWidth, double cornerHeight)
{
    double l = std::min(r.Left, r.Right), rr = std::max(r.Left, r.Right);
    double t = std::min(r.Top, r.Bottom), b = std::max(r.Top, r.Bottom);
    double rx = std::min(std::abs(cornerWidth) / 2, (rr - l) / 2);
    double ry = std::min(std::abs(cornerHeight) / 2, (b - t) / 2);
    BeginShape();
    if (rx <= 0 || ry <= 0) {
        cairo_rectangle(cr_, l, t, rr - l, b - t);
    } else {
        auto corner = [&](double cx, double cy, double a0) {
            cairo_save(cr_);
            cairo_translate(cr_, cx, cy);
            cairo_scale(cr_, rx, ry);
            cairo_arc(cr_, 0, 0, 1, a0, a0 + std::numbers::pi / 2);
            cairo_restore(cr_);
        };
        cairo_new_sub_path(cr_);
        corner(rr - rx, t + ry, -std::numbers::pi / 2);
        corner(rr - rx, b - ry, 0);
        corner(l + rx, b - ry, std::numbers::pi / 2);
        corner(l + rx, t + ry, std::numbers::pi);
    }
    cairo_close_path(cr_);
    EndShape(true, true);
}

void TGdiCanvas::Ellipse(const TRect& r)
{
    double rx = (r.Right - r.Left) / 2, ry = (r.Bottom - r.Top) / 2;
    if (rx == 0 || ry == 0) return;
    BeginShape();
    cairo_new_sub_path(cr_);
    cairo_save(cr_);
    cairo_translate(cr_, r.Left + rx, r.Top + ry);
    cairo_scale(cr_, rx, ry);
    cairo_arc(cr_, 0, 0, 1, 0, 2 * std::numbers::pi);
    cairo_restore(cr_);
    cairo_close_path(cr_);
    EndShape(true, true);
}

void TGdiCanvas::AddArcPath(const TRect& box, TPoint start, TPoint end, bool moveToStart, bool& empty)
{
    double rx = (box.Right - box.Left) / 2, ry = (box.Bottom - box.Top) / 2;
    empty = rx == 0 || ry == 0;
    if (empty) return;
    double cx = box.Left + rx, cy = box.Top + ry;
    double a1 = std::atan2((start.Y - cy) / ry, (start.X - cx) / rx);
    double a2 = std::atan2((end.Y - cy) / ry, (end.X - cx) / rx);
    // Counterclockwise as seen on the output (y down) unless the arc
    // direction says clockwise; a mirroring mapping turns it round.
    cairo_matrix_t m;
    cairo_get_matrix(cr_, &m);
    bool mirrored = (m.xx * m.yy - m.xy * m.yx) < 0;
    bool negative = dc_.ArcClockwise == mirrored; // visually counterclockwise
    if ((rx < 0) != (ry < 0)) negative = !negative;
    cairo_save(cr_);
    cairo_translate(cr_, cx, cy);
    cairo_scale(cr_, rx, ry);
    if (moveToStart) cairo_new_sub_path(cr_);
    if (a1 == a2) a2 += negative ? -2 * std::numbers::pi : 2 * std::numbers::pi;
    if (negative) cairo_arc_negative(cr_, 0, 0, 1, a1, a2);
    else cairo_arc(cr_, 0, 0, 1, a1, a2);
    cairo_restore(cr_);
}

void TGdiCanvas::Arc(TArcKind kind, const TRect& box, TPoint start, TPoint end)
{
    BeginShape();
    if (kind == TArcKind::ArcTo && (!inPath_ || !cairo_has_current_point(cr_)))
        cairo_move_to(cr_, dc_.Current.X, dc_.Current.Y);
    if (kind == TArcKind::Pie) {
        double cx = (box.Left + box.Right) / 2, cy = (box.Top + box.Bottom) / 2;
        cairo_move_to(cr_, cx, cy);
    }
    bool empty = false;
    AddArcPath(box, start, end, kind == TArcKind::Arc || kind == TArcKind::Chord, empty);
    if (empty) {
        if (!inPath_) cairo_new_path(cr_);
        return;
    }
    if (kind == TArcKind::ArcTo) {
        double x, y;
        cairo_get_current_point(cr_, &x, &y);
        dc_.Current = {x, y};
    }
    bool closed = kind == TArcKind::Chord || kind == TArcKind::Pie;
    if (closed) cairo_close_path(cr_);
    EndShape(closed, true);
}

void TGdiCanvas::SetPixel(TPoint p, TColor c)
{
    if (inPath_) return;
    cairo_new_path(cr_);
    ApplyLogical();
    double x = p.X, y = p.Y;
    cairo_user_to_device(cr_, &x, &y);
    cairo_identity_matrix(cr_);
    cairo_rectangle(cr_, std::floor(x), std::floor(y), 1, 1);
    cairo_set_source_rgb(cr_, c.R, c.G, c.B);
    cairo_fill(cr_);
}

void TGdiCanvas::FillRect(const TRect& r, const TBrush& brush)
{
    if (inPath_) return;
    cairo_new_path(cr_);
    ApplyLogical();
    cairo_rectangle(cr_, r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
    FillCurrentPath(brush);
    cairo_new_path(cr_);
}

void TGdiCanvas::FillRegion(const TRegion& region, const TBrush& brush)
{
    if (inPath_) return;
    cairo_new_path(cr_);
    AddRegionPath(region);
    int saved = dc_.PolyFillMode;
    dc_.PolyFillMode = WINDING;
    FillCurrentPath(brush);
    dc_.PolyFillMode = saved;
    cairo_new_path(cr_);
}

// The region's coverage as an A8 surface of the visible part widened by
// margin pixels on every side (device offset set, so output coordinates
// draw and mask as usual).
cairo_surface_t* TGdiCanvas::RegionMask(const TRegion& region, int margin)
{
    TRect v = VisibleOutput();
    cairo_surface_t* mask =
        cairo_image_surface_create(CAIRO_FORMAT_A8, int(v.Right) + 2 * margin, int(v.Bottom) + 2 * margin);
    cairo_surface_set_device_offset(mask, margin, margin);
    cairo_t* m = cairo_create(mask);
    cairo_matrix_t keep;
    cairo_get_matrix(cr_, &keep);
    cairo_new_path(cr_);
    AddRegionPath(region);
    cairo_identity_matrix(cr_);
    cairo_path_t* path = cairo_copy_path(cr_);
    cairo_new_path(cr_);
    cairo_set_matrix(cr_, &keep);
    cairo_append_path(m, path);
    cairo_fill(m);
    cairo_path_destroy(path);
    cairo_destroy(m);
    return mask;
}

void TGdiCanvas::FrameRegion(const TRegion& region, const TBrush& brush, double width, double height)
{
    if (inPath_) return;
    // The frame: the region minus the points whose neighbours at the frame's
    // width and height (in output pixels) all lie in the region.
    ApplyLogical();
    double wx = std::abs(width), wy = 0, hx = 0, hy = std::abs(height);
    cairo_user_to_device_distance(cr_, &wx, &wy);
    cairo_user_to_device_distance(cr_, &hx, &hy);
    double w = std::hypot(wx, wy), h = std::hypot(hx, hy);
    if (!Finite(w) || !Finite(h)) return;
    TRect v = VisibleOutput();
    w = std::clamp(std::round(w), 1.0, v.Right + 1);
    h = std::clamp(std::round(h), 1.0, v.Bottom + 1);
    int margin = static_cast<int>(std::max(w, h)) + 1;
    cairo_surface_t* frame = RegionMask(region, margin);
    cairo_surface_t* inner = RegionMask(region, margin);
    cairo_t* m = cairo_create(inner);
    cairo_set_operator(m, CAIRO_OPERATOR_IN);
    for (auto [dx, dy] : {std::pair{w, 0.0}, {-w, 0.0}, {0.0, h}, {0.0, -h}}) {
        cairo_set_source_surface(m, frame, dx, dy);
        cairo_paint(m);
    }
    cairo_destroy(m);
    m = cairo_create(frame);
    cairo_set_operator(m, CAIRO_OPERATOR_DEST_OUT);
    cairo_set_source_surface(m, inner, 0, 0);
    cairo_paint(m);
    cairo_destroy(m);
    cairo_surface_destroy(inner);
    if (SetBrushSource(brush)) cairo_mask_surface(cr_, frame, 0, 0);
    cairo_surface_destroy(frame);
}

void TGdiCanvas::InvertRegion(const TRegion& region)
{
    if (inPath_) return;
    // Inverts what shows, the panel's white included.
    cairo_save(cr_);
    cairo_new_path(cr_);
    AddRegionPath(region);
    cairo_identity_matrix(cr_);
    cairo_clip(cr_);
    cairo_set_source_rgb(cr_, 1, 1, 1);
    cairo_set_operator(cr_, CAIRO_OPERATOR_DEST_OVER);
    cairo_paint(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_DIFFERENCE);
    cairo_paint(cr_);
    cairo_restore(cr_);
}

void TGdiCanvas::GradientRect(const TGradientVertex& a, const TGradientVertex& b, bool vertical)
{
    if (inPath_) return;
    cairo_new_path(cr_);
    ApplyLogical();
    cairo_rectangle(cr_, a.At.X, a.At.Y, b.At.X - a.At.X, b.At.Y - a.At.Y);
    cairo_pattern_t* p = vertical ? cairo_pattern_create_linear(0, a.At.Y, 0, b.At.Y)
                                  : cairo_pattern_create_linear(a.At.X, 0, b.At.X, 0);
    cairo_pattern_add_color_stop_rgb(p, 0, a.Color.R, a.Color.G, a.Color.B);
    cairo_pattern_add_color_stop_rgb(p, 1, b.Color.R, b.Color.G, b.Color.B);
    cairo_set_source(cr_, p);
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
    cairo_fill(cr_);
    cairo_pattern_destroy(p);
}

void TGdiCanvas::GradientTriangle(const TGradientVertex& a, const TGradientVertex& b, const TGradientVertex& c)
{
    if (inPath_) return;
    cairo_matrix_t m = LogicalToOutput();
    if (!Usable(m)) return;
    // cairo's mesh rasterizer works in proportion to a patch's size, so the
    // triangle is first cut to the visible part (colour is linear across a
    // triangle, so the cut corners get interpolated colours), then drawn as a
    // fan of small triangles.
    struct TCorner {
        double X, Y;
        TColor C;
    };
    std::vector<TCorner> poly;
    for (const TGradientVertex* g : {&a, &b, &c}) {
        double x = g->At.X, y = g->At.Y;
        cairo_matrix_transform_point(&m, &x, &y);
        poly.push_back({x, y, g->Color});
    }
    TRect v = VisibleOutput();
    auto lerp = [](const TCorner& p, const TCorner& q, double t) {
        return TCorner{p.X + (q.X - p.X) * t,
                       p.Y + (q.Y - p.Y) * t,
                       {p.C.R + (q.C.R - p.C.R) * t, p.C.G + (q.C.G - p.C.G) * t, p.C.B + (q.C.B - p.C.B) * t}};
    };
    // Sutherland-Hodgman against the four sides of the visible part plus a pixel.
    for (int side = 0; side < 4 && !poly.empty(); ++side) {
        auto inside = [&](const TCorner& p) {
            switch (side) {
            case 0: return p.X >= v.Left - 1;
            case 1: return p.X <= v.Right + 1;
            case 2: return p.Y >= v.Top - 1;
            default: return p.Y <= v.Bottom + 1;
            }
        };
        auto cut = [&](const TCorner& p, const TCorner& q) {
            double edge = side == 0 ? v.Left - 1 : side == 1 ? v.Right + 1 : side == 2 ? v.Top - 1 : v.Bottom + 1;
            double t = side < 2 ? (edge - p.X) / (q.X - p.X) : (edge - p.Y) / (q.Y - p.Y);
            return lerp(p, q, t);
        };
        std::vector<TCorner> out;
        for (std::size_t i = 0; i < poly.size(); ++i) {
            const TCorner& p = poly[i];
            const TCorner& q = poly[(i + 1) % poly.size()];
            if (inside(p)) {
                out.push_back(p);
                if (!inside(q)) out.push_back(cut(p, q));
            } else if (inside(q)) {
                out.push_back(cut(p, q));
            }
        }
        poly = std::move(out);
    }
    if (poly.size() < 3) return;
    cairo_pattern_t* mesh = cairo_pattern_create_mesh();
    for (std::size_t i = 1; i + 1 < poly.size(); ++i) {
        const TCorner* corner[4] = {&poly[0], &poly[i], &poly[i + 1], &poly[0]};
        cairo_mesh_pattern_begin_patch(mesh);
        cairo_mesh_pattern_move_to(mesh, corner[0]->X, corner[0]->Y);
        for (int k = 1; k < 4; ++k) cairo_mesh_pattern_line_to(mesh, corner[k]->X, corner[k]->Y);
        for (unsigned k = 0; k < 4; ++k)
            cairo_mesh_pattern_set_corner_color_rgb(mesh, k, corner[k]->C.R, corner[k]->C.G, corner[k]->C.B);
        cairo_mesh_pattern_end_patch(mesh);
    }
    cairo_new_path(cr_);
    cairo_identity_matrix(cr_);
    cairo_set_source(cr_, mesh);
    cairo_paint(cr_);
    cairo_pattern_destroy(mesh);
}

void TGdiCanvas::PatBlt(const TRect& r, std::uint32_t rop)
{
    TBrush brush = dc_.Brush;
    switch (rop) {
    case 0x00000042: brush = {BS_SOLID, {0, 0, 0}, 0, nullptr}; break; // BLACKNESS
    case 0x00FF0062: brush = {BS_SOLID, {1, 1, 1}, 0, nullptr}; break; // WHITENESS
    case 0x00F00021: break;                                            // PATCOPY
    case 0x00AA0029: return;                                           // destination unchanged
    default: break; // other raster operations: the brush is the closest match
    }
    FillRect(r, brush);
}

// ---- Paths ---------------------------------------------------------------

void TGdiCanvas::BeginPath()
{
    AbortPath();
    inPath_ = true;
}

void TGdiCanvas::EndPath()
{
    if (!inPath_) return;
    inPath_ = false;
    cairo_identity_matrix(cr_);
    if (path_) cairo_path_destroy(path_);
    path_ = cairo_copy_path(cr_);
    cairo_new_path(cr_);
}

void TGdiCanvas::AbortPath()
{
    inPath_ = false;
    widened_ = false;
    cairo_new_path(cr_);
    if (path_) {
        cairo_path_destroy(path_);
        path_ = nullptr;
    }
}

void TGdiCanvas::CloseFigure()
{
    if (inPath_ && cairo_has_current_point(cr_)) cairo_close_path(cr_);
}

// Draws the path saved by EndPath (ending an open one first), then drops it.
void TGdiCanvas::DrawSavedPath(bool fill, bool stroke)
{
    if (inPath_) EndPath();
    if (!path_) return;
    cairo_new_path(cr_);
    cairo_identity_matrix(cr_);
    cairo_append_path(cr_, path_);
    if (widened_) {
        // The widened path's inside is the pen's stroke: filling paints it
        // with the brush; its outline is not stroked again.
        if (fill) StrokeCurrentPath(&dc_.Brush);
        else StrokeCurrentPath();
    } else {
        if (fill) FillCurrentPath(dc_.Brush);
        if (stroke) StrokeCurrentPath();
    }
    cairo_new_path(cr_);
    AbortPath();
}

void TGdiCanvas::FillPath() { DrawSavedPath(true, false); }

void TGdiCanvas::StrokePath() { DrawSavedPath(false, true); }

void TGdiCanvas::StrokeAndFillPath() { DrawSavedPath(true, true); }

void TGdiCanvas::WidenPath()
{
    // Only a closed path can be widened.
    if (!inPath_ && path_) widened_ = true;
}

void TGdiCanvas::SelectClipPath(int mode)
{
    if (inPath_) EndPath();
    if (!path_) return;
    if (widened_) {
        // cairo cannot turn a stroke into a path to clip with.
        AbortPath();
        return;
    }
    cairo_new_path(cr_);
    cairo_identity_matrix(cr_);
    cairo_append_path(cr_, path_);
    ClipToCurrentPath(mode, dc_.PolyFillMode != WINDING);
    cairo_new_path(cr_);
    AbortPath();
}

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
        cairo_glyph_t* g = nullptr;
        int n = 0;
        if (cairo_scaled_font_text_to_glyphs(scaled, 0, 0, utf8.c_str(), -1, &g, &n, nullptr, nullptr, nullptr) ==
                CAIRO_STATUS_SUCCESS &&
            n > 0) {
            cairo_text_extents_t e;
            cairo_scaled_font_glyph_extents(scaled, g, n, &e);
            natural[i] = std::hypot(e.x_advance, e.y_advance);
            charGlyphs[i].assign(g, g + n);
        }
        cairo_glyph_free(g);
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

// ---- Bitmaps -------------------------------------------------------------

void TGdiCanvas::DrawBitmap(const TRect& dest, const TBitmap& bitmap, const TRect& source)
{
    if (inPath_ || bitmap.Width <= 0 || bitmap.Height <= 0) return;
    double sw = source.Right - source.Left, sh = source.Bottom - source.Top;
    double dw = dest.Right - dest.Left, dh = dest.Bottom - dest.Top;
    if (sw == 0 || sh == 0 || dw == 0 || dh == 0) return;
    cairo_surface_t* s = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(bitmap.Pixels.data())), CAIRO_FORMAT_ARGB32,
        bitmap.Width, bitmap.Height, bitmap.Width * 4);
    cairo_new_path(cr_);
    cairo_save(cr_);
    ApplyLogical();
    cairo_rectangle(cr_, dest.Left, dest.Top, dw, dh);
    cairo_clip(cr_);
    cairo_translate(cr_, dest.Left, dest.Top);
    cairo_scale(cr_, dw / sw, dh / sh);
    cairo_translate(cr_, -source.Left, -source.Top);
    cairo_set_source_surface(cr_, s, 0, 0);
    cairo_pattern_set_extend(cairo_get_source(cr_), CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_NEAREST);
    cairo_paint(cr_);
    cairo_restore(cr_);
    cairo_surface_destroy(s);
}

} // namespace mirt::metafile
