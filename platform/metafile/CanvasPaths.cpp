// Shapes and paths: figures built in logical units, filled with the brush
// and stroked with the pen, or kept as the path for later.
#include "platform/metafile/GdiCanvas.h"

#include "platform/metafile/CanvasCairo.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace mirt::metafile {

namespace {

// The widest a pen is drawn on the output, in pixels.
constexpr double kMaxPenPixels = 1e5;

// How far the matrix stretches a unit length at most (its largest singular
// value): a shear can stretch one direction enormously while keeping the
// area, and so the determinant, small.
double LargestStretch(const cairo_matrix_t& m)
{
    const double sum = m.xx * m.xx + m.xy * m.xy + m.yx * m.yx + m.yy * m.yy;
    const double det = m.xx * m.yy - m.xy * m.yx;
    return std::sqrt((sum + std::sqrt(std::max(sum * sum - 4 * det * det, 0.0))) / 2);
}

// Hatch patterns of 8 x 8 output pixels.
TSurface HatchSurface(std::uint32_t hatch, TColor fg, const TColor* bg)
{
    TSurface s = ImageSurface(CAIRO_FORMAT_ARGB32, 8, 8);
    TCairo owner = DrawOn(s);
    cairo_t* c = owner.get();
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
    return s;
}

} // namespace

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
        TSurface s = HatchSurface(brush.Hatch, brush.Color, dc_.BkMode == OPAQUE ? &dc_.BkColor : nullptr);
        cairo_set_source_surface(cr_, s.get(), 0, 0); // the source keeps its own reference
        cairo_pattern_set_extend(cairo_get_source(cr_), CAIRO_EXTEND_REPEAT);
        return true;
    }
    case BS_PATTERN:
    case BS_DIBPATTERN:
    case BS_DIBPATTERNPT:
        if (brush.Pattern && brush.Pattern->Width > 0 && brush.Pattern->Height > 0) {
            TSurface s = BitmapSurface(*brush.Pattern);
            cairo_set_source_surface(cr_, s.get(), 0, 0); // the pixels outlive the fill
            cairo_pattern_set_extend(cairo_get_source(cr_), CAIRO_EXTEND_REPEAT);
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
    PaintPath(cairo_fill_preserve);
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
    } else if (const double stretch = LargestStretch(m); !(width * stretch <= kMaxPenPixels)) {
        // cairo draws round joins and caps with segments whose number grows
        // with the pen's width on the output: a pen stretched a billion
        // pixels wide by a hostile mapping would take gigabytes. No picture
        // shows more than a tiny part of a pen this wide.
        width = std::isfinite(stretch) ? kMaxPenPixels / stretch : 0;
        tally_.Approximated("pen wider than " + std::to_string(int(kMaxPenPixels)) + " output pixels drawn that wide");
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
    PaintPath(cairo_stroke_preserve);
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
    path_.reset(cairo_copy_path(cr_));
    cairo_new_path(cr_);
}

void TGdiCanvas::AbortPath()
{
    inPath_ = false;
    widened_ = false;
    cairo_new_path(cr_);
    path_.reset();
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
    cairo_append_path(cr_, path_.get());
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
        tally_.Approximated("clipping to a widened path is not supported; the clip is unchanged");
        AbortPath();
        return;
    }
    cairo_new_path(cr_);
    cairo_identity_matrix(cr_);
    cairo_append_path(cr_, path_.get());
    ClipToCurrentPath(mode, dc_.PolyFillMode != WINDING);
    cairo_new_path(cr_);
    AbortPath();
}

} // namespace mirt::metafile
