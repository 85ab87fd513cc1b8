// Clipping and regions: clip rectangles, regions and paths combined by mode,
// and regions filled, framed and inverted.
#include "platform/metafile/GdiCanvas.h"

#include "platform/metafile/CanvasCairo.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace mirt::metafile {

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
TSurface TGdiCanvas::ClipMask()
{
    TRect v = VisibleOutput();
    TSurface mask = ImageSurface(CAIRO_FORMAT_A8, int(v.Right), int(v.Bottom));
    {
        TCairo m = DrawOn(mask);
        if (!dc_.Clipped) {
            cairo_paint(m.get());
        } else {
            // A group painted through the clip holds exactly its coverage.
            cairo_save(cr_);
            cairo_identity_matrix(cr_);
            cairo_push_group_with_content(cr_, CAIRO_CONTENT_ALPHA);
            cairo_set_source_rgba(cr_, 0, 0, 0, 1);
            cairo_paint(cr_);
            TPattern coverage(cairo_pop_group(cr_));
            cairo_restore(cr_);
            cairo_set_source(m.get(), coverage.get());
            cairo_paint(m.get());
        }
    }
    cairo_surface_flush(mask.get());
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
    TPath path(cairo_copy_path(cr_));
    cairo_new_path(cr_);
    TSurface mask = ClipMask();
    {
        TCairo m = DrawOn(mask);
        cairo_append_path(m.get(), path.get());
        cairo_set_fill_rule(m.get(), rule);
        cairo_set_operator(m.get(), mode == RGN_OR    ? CAIRO_OPERATOR_OVER
                                    : mode == RGN_XOR ? CAIRO_OPERATOR_XOR
                                                      : CAIRO_OPERATOR_DEST_OUT);
        cairo_set_antialias(m.get(), CAIRO_ANTIALIAS_NONE);
        cairo_fill(m.get());
    }
    ClipToMask(mask.get());
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
    TSurface old = ClipMask();
    TSurface moved = ImageSurface(CAIRO_FORMAT_A8, int(v.Right), int(v.Bottom));
    if (std::abs(dx) < v.Right + 1 && std::abs(dy) < v.Bottom + 1) {
        TCairo m = DrawOn(moved);
        cairo_set_source_surface(m.get(), old.get(), std::round(dx), std::round(dy));
        cairo_paint(m.get());
    }
    ClipToMask(moved.get());
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
TSurface TGdiCanvas::RegionMask(const TRegion& region, int margin)
{
    TRect v = VisibleOutput();
    TSurface mask = ImageSurface(CAIRO_FORMAT_A8, int(v.Right) + 2 * margin, int(v.Bottom) + 2 * margin);
    cairo_surface_set_device_offset(mask.get(), margin, margin);
    cairo_matrix_t keep;
    cairo_get_matrix(cr_, &keep);
    cairo_new_path(cr_);
    AddRegionPath(region);
    cairo_identity_matrix(cr_);
    TPath path(cairo_copy_path(cr_));
    cairo_new_path(cr_);
    cairo_set_matrix(cr_, &keep);
    TCairo m = DrawOn(mask);
    cairo_append_path(m.get(), path.get());
    cairo_fill(m.get());
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
    TSurface frame = RegionMask(region, margin);
    TSurface inner = RegionMask(region, margin);
    {
        TCairo m = DrawOn(inner);
        cairo_set_operator(m.get(), CAIRO_OPERATOR_IN);
        for (auto [dx, dy] : {std::pair{w, 0.0}, {-w, 0.0}, {0.0, h}, {0.0, -h}}) {
            cairo_set_source_surface(m.get(), frame.get(), dx, dy);
            cairo_paint(m.get());
        }
    }
    {
        TCairo m = DrawOn(frame);
        cairo_set_operator(m.get(), CAIRO_OPERATOR_DEST_OUT);
        cairo_set_source_surface(m.get(), inner.get(), 0, 0);
        cairo_paint(m.get());
    }
    if (SetBrushSource(brush)) cairo_mask_surface(cr_, frame.get(), 0, 0);
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

} // namespace mirt::metafile
