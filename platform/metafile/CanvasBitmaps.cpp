// Bitmaps, gradients and pattern blits.
#include "platform/metafile/GdiCanvas.h"

#include "platform/metafile/CanvasCairo.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace mirt::metafile {

void TGdiCanvas::GradientRect(const TGradientVertex& a, const TGradientVertex& b, bool vertical)
{
    if (inPath_) return;
    cairo_new_path(cr_);
    ApplyLogical();
    cairo_rectangle(cr_, a.At.X, a.At.Y, b.At.X - a.At.X, b.At.Y - a.At.Y);
    TPattern p(vertical ? cairo_pattern_create_linear(0, a.At.Y, 0, b.At.Y)
                        : cairo_pattern_create_linear(a.At.X, 0, b.At.X, 0));
    cairo_pattern_add_color_stop_rgb(p.get(), 0, a.Color.R, a.Color.G, a.Color.B);
    cairo_pattern_add_color_stop_rgb(p.get(), 1, b.Color.R, b.Color.G, b.Color.B);
    cairo_set_source(cr_, p.get());
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
    cairo_fill(cr_);
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
    TPattern owner(cairo_pattern_create_mesh());
    cairo_pattern_t* mesh = owner.get();
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
}

// ---- Bitmaps -------------------------------------------------------------

void TGdiCanvas::DrawBitmap(const TRect& dest, const TBitmap& bitmap, const TRect& source)
{
    if (inPath_ || bitmap.Width <= 0 || bitmap.Height <= 0) return;
    double sw = source.Right - source.Left, sh = source.Bottom - source.Top;
    double dw = dest.Right - dest.Left, dh = dest.Bottom - dest.Top;
    if (sw == 0 || sh == 0 || dw == 0 || dh == 0) return;
    TSurface s = BitmapSurface(bitmap);
    cairo_new_path(cr_);
    cairo_save(cr_);
    ApplyLogical();
    cairo_rectangle(cr_, dest.Left, dest.Top, dw, dh);
    cairo_clip(cr_);
    cairo_translate(cr_, dest.Left, dest.Top);
    cairo_scale(cr_, dw / sw, dh / sh);
    cairo_translate(cr_, -source.Left, -source.Top);
    cairo_set_source_surface(cr_, s.get(), 0, 0);
    cairo_pattern_set_extend(cairo_get_source(cr_), CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_NEAREST);
    cairo_paint(cr_);
    cairo_restore(cr_);
}

} // namespace mirt::metafile
