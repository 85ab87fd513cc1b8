// Raster operations and flood fills, worked out pixel by pixel on the visible
// part of the output. Unpainted pixels are transparent and show the white
// panel, so a raster operation reads them as white and leaves what it
// touches opaque.
#include "platform/metafile/GdiCanvas.h"

#include "platform/metafile/CanvasCairo.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace mirt::metafile {

namespace {

struct TRgba {
    std::uint8_t R, G, B, A;
};

// A premultiplied ARGB32 pixel and back.
TRgba Unpack(std::uint32_t p)
{
    return {std::uint8_t(p >> 16), std::uint8_t(p >> 8), std::uint8_t(p), std::uint8_t(p >> 24)};
}
std::uint32_t PackOpaque(int r, int g, int b)
{
    return 0xFF000000u | std::uint32_t(r) << 16 | std::uint32_t(g) << 8 | std::uint32_t(b);
}
// The colour a premultiplied channel shows over the white panel.
int OverWhite(int channel, int alpha) { return channel + 255 - alpha; }
// The straight colour of a premultiplied channel (0 where nothing is).
int Straight(int channel, int alpha) { return alpha ? std::min(255, channel * 255 / alpha) : 0; }

// A raster operation's truth table applied to the bits of three bytes: bit
// (p << 2 | s << 1 | d) of the table gives the result.
std::uint8_t Rop3Bits(std::uint8_t table, std::uint8_t p, std::uint8_t s, std::uint8_t d)
{
    std::uint8_t out = 0;
    for (int k = 0; k < 8; ++k) {
        if (!(table >> k & 1)) continue;
        std::uint8_t pm = (k & 4) ? p : std::uint8_t(~p);
        std::uint8_t sm = (k & 2) ? s : std::uint8_t(~s);
        std::uint8_t dm = (k & 1) ? d : std::uint8_t(~d);
        out |= pm & sm & dm;
    }
    return out;
}

std::vector<std::uint32_t*> Rows(cairo_surface_t* s)
{
    cairo_surface_flush(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s), height = cairo_image_surface_get_height(s);
    std::vector<std::uint32_t*> rows(static_cast<std::size_t>(std::max(height, 0)));
    for (int y = 0; y < height; ++y) rows[y] = reinterpret_cast<std::uint32_t*>(data + std::size_t(y) * stride);
    return rows;
}

std::uint8_t Rop3FromRop2(int rop2)
{
    // A binary raster operation R2_x numbers its truth table over (pen,
    // destination) as x - 1, bit (p << 1 | d).
    std::uint8_t table2 = static_cast<std::uint8_t>(rop2 - 1);
    std::uint8_t table3 = 0;
    for (int k = 0; k < 8; ++k)
        if (table2 >> ((k >> 2) << 1 | (k & 1)) & 1) table3 |= std::uint8_t(1 << k);
    return table3;
}

bool Rop3UsesSource(std::uint8_t table) { return ((table >> 2 ^ table) & 0x33) != 0; }
bool Rop3UsesPattern(std::uint8_t table) { return ((table >> 4 ^ table) & 0x0F) != 0; }

} // namespace

// The output pixels that the current path, filled or stroked, can touch
// within the clip and the visible part; the raster work keeps to them.
TGdiCanvas::TPixelBox TGdiCanvas::PathBox(bool stroke) const
{
    double x1, y1, x2, y2, cx1, cy1, cx2, cy2;
    if (stroke) cairo_stroke_extents(cr_, &x1, &y1, &x2, &y2);
    else cairo_fill_extents(cr_, &x1, &y1, &x2, &y2);
    cairo_clip_extents(cr_, &cx1, &cy1, &cx2, &cy2);
    double left = HUGE_VAL, top = HUGE_VAL, right = -HUGE_VAL, bottom = -HUGE_VAL;
    for (auto [x, y] : {std::pair{std::max(x1, cx1), std::max(y1, cy1)},
                        {std::min(x2, cx2), std::max(y1, cy1)},
                        {std::max(x1, cx1), std::min(y2, cy2)},
                        {std::min(x2, cx2), std::min(y2, cy2)}}) {
        cairo_user_to_device(cr_, &x, &y);
        left = std::min(left, x);
        top = std::min(top, y);
        right = std::max(right, x);
        bottom = std::max(bottom, y);
    }
    TRect v = VisibleOutput();
    auto clampTo = [](double value, double high) { return static_cast<int>(std::clamp(value, 0.0, high)); };
    TPixelBox box;
    if (!(x2 >= x1) || !(y2 >= y1) || !(right >= left) || !(bottom >= top)) return box; // nothing, or NaN
    box.X0 = clampTo(std::floor(left) - 1, v.Right);
    box.Y0 = clampTo(std::floor(top) - 1, v.Bottom);
    box.X1 = clampTo(std::ceil(right) + 1, v.Right);
    box.Y1 = clampTo(std::ceil(bottom) + 1, v.Bottom);
    return box;
}

// Paints a pattern (in output space) into a new surface over the box.
TSurface TGdiCanvas::Layer(cairo_pattern_t* pattern, const TPixelBox& box) const
{
    TSurface layer = ImageSurface(CAIRO_FORMAT_ARGB32, box.X1 - box.X0, box.Y1 - box.Y0);
    cairo_surface_set_device_offset(layer.get(), -box.X0, -box.Y0);
    TCairo c = DrawOn(layer);
    cairo_set_source(c.get(), pattern);
    cairo_paint(c.get());
    return layer;
}

// Where the layer covers the output, the output becomes the raster
// operation of the layer's colour (the pattern), the source (a layer over
// the same box, when the operation reads one) and what is there, blended
// by the layer's coverage.
void TGdiCanvas::ApplyRaster(cairo_surface_t* layer, cairo_surface_t* source, std::uint8_t table, const TPixelBox& box)
{
    cairo_surface_t* target = cairo_get_target(cr_);
    auto out = Rows(target);
    auto pat = Rows(layer);
    std::vector<std::uint32_t*> src = source ? Rows(source) : std::vector<std::uint32_t*>{};
    for (int y = box.Y0; y < box.Y1; ++y)
        for (int x = box.X0; x < box.X1; ++x) {
            TRgba p = Unpack(pat[y - box.Y0][x - box.X0]);
            if (p.A == 0) continue;
            TRgba d = Unpack(out[y][x]);
            TRgba s = source ? Unpack(src[y - box.Y0][x - box.X0]) : TRgba{0, 0, 0, 0};
            auto channel = [&](std::uint8_t pc, std::uint8_t sc, std::uint8_t dc) {
                int dw = OverWhite(dc, d.A);
                int r = Rop3Bits(table, std::uint8_t(Straight(pc, p.A)), std::uint8_t(OverWhite(sc, s.A)),
                                 std::uint8_t(dw));
                return (r * p.A + dw * (255 - p.A) + 127) / 255;
            };
            out[y][x] = PackOpaque(channel(p.R, s.R, d.R), channel(p.G, s.G, d.G), channel(p.B, s.B, d.B));
        }
    cairo_surface_mark_dirty(target);
}

void TGdiCanvas::SetROP2(int mode)
{
    if (mode >= R2_BLACK && mode <= R2_WHITE) dc_.Rop2 = mode;
}

// Fills or strokes the current path (op is cairo_fill_preserve or
// cairo_stroke_preserve) through the binary raster operation.
void TGdiCanvas::PaintPath(void (*op)(cairo_t*))
{
    if (dc_.Rop2 == R2_COPYPEN) {
        op(cr_);
        return;
    }
    if (dc_.Rop2 == R2_NOP) return;
    TPixelBox box = PathBox(op == cairo_stroke_preserve);
    if (box.Empty()) return;
    cairo_push_group(cr_);
    op(cr_);
    cairo_identity_matrix(cr_); // the group's pattern then lies in output space
    TPattern drawn(cairo_pop_group(cr_));
    TSurface layer = Layer(drawn.get(), box);
    ApplyRaster(layer.get(), nullptr, Rop3FromRop2(dc_.Rop2), box);
}

// The logical rectangle's coverage of the output within the clip, painted
// with the brush (or opaque black when the operation reads no pattern).
TSurface TGdiCanvas::RectLayer(const TRect& r, const TBrush* brush, TPixelBox& box)
{
    cairo_new_path(cr_);
    cairo_save(cr_);
    ApplyLogical();
    cairo_rectangle(cr_, r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
    cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
    box = PathBox(false);
    if (box.Empty()) {
        cairo_new_path(cr_);
        cairo_restore(cr_);
        return nullptr;
    }
    cairo_push_group(cr_);
    TBrush solid;
    solid.Color = {0, 0, 0};
    const TBrush& paint = brush && brush->Style != BS_NULL ? *brush : solid;
    int bkMode = dc_.BkMode;
    dc_.BkMode = OPAQUE; // a pattern is read whole
    SetBrushSource(paint);
    dc_.BkMode = bkMode;
    cairo_fill(cr_);
    cairo_identity_matrix(cr_);
    TPattern drawn(cairo_pop_group(cr_));
    cairo_restore(cr_);
    return Layer(drawn.get(), box);
}

void TGdiCanvas::PatBlt(const TRect& r, std::uint32_t rop)
{
    if (inPath_) return;
    std::uint8_t table = static_cast<std::uint8_t>(rop >> 16);
    switch (table) {
    case 0x00: FillRect(r, {BS_SOLID, {0, 0, 0}, 0, nullptr}); return; // BLACKNESS
    case 0xFF: FillRect(r, {BS_SOLID, {1, 1, 1}, 0, nullptr}); return; // WHITENESS
    case 0xF0: FillRect(r, dc_.Brush); return;                         // PATCOPY
    case 0xAA: return;                                                 // destination unchanged
    default: break;
    }
    if (Rop3UsesSource(table)) tally_.Approximated("raster operation reads a source the record lacks; read as black");
    TPixelBox box;
    TSurface layer = RectLayer(r, Rop3UsesPattern(table) ? &dc_.Brush : nullptr, box);
    if (layer) ApplyRaster(layer.get(), nullptr, table, box);
}

void TGdiCanvas::DrawBitmap(const TRect& dest, const TBitmap& bitmap, const TRect& source, std::uint32_t rop)
{
    std::uint8_t table = static_cast<std::uint8_t>(rop >> 16);
    if (table == 0xCC) { // SRCCOPY
        DrawBitmap(dest, bitmap, source);
        return;
    }
    if (!Rop3UsesSource(table)) {
        PatBlt(dest, rop);
        return;
    }
    if (inPath_ || bitmap.Width <= 0 || bitmap.Height <= 0) return;
    double sw = source.Right - source.Left, sh = source.Bottom - source.Top;
    double dw = dest.Right - dest.Left, dh = dest.Bottom - dest.Top;
    if (sw == 0 || sh == 0 || dw == 0 || dh == 0) return;
    // The bitmap stretched into the destination, in output space.
    TSurface bits = BitmapSurface(bitmap);
    TPattern stretched(cairo_pattern_create_for_surface(bits.get()));
    cairo_pattern_set_extend(stretched.get(), CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(stretched.get(), CAIRO_FILTER_NEAREST);
    cairo_matrix_t m = LogicalToOutput();
    if (!Usable(m)) return;
    cairo_matrix_translate(&m, dest.Left, dest.Top);
    cairo_matrix_scale(&m, dw / sw, dh / sh);
    cairo_matrix_translate(&m, -source.Left, -source.Top);
    if (cairo_matrix_invert(&m) != CAIRO_STATUS_SUCCESS) return;
    cairo_pattern_set_matrix(stretched.get(), &m);
    TPixelBox box;
    TSurface layer = RectLayer(dest, Rop3UsesPattern(table) ? &dc_.Brush : nullptr, box);
    if (!layer) return;
    TSurface src = Layer(stretched.get(), box);
    ApplyRaster(layer.get(), src.get(), table, box);
}

// Flood fills from a logical point with the brush: under FLOODFILLBORDER
// the area up to the border colour, under FLOODFILLSURFACE the area of the
// given colour. Only the visible part can be read, so the fill stops at its
// edge, and a start outside it draws nothing.
void TGdiCanvas::FloodFill(TPoint p, TColor color, int mode)
{
    if (inPath_) return;
    ApplyLogical();
    double x = p.X, y = p.Y;
    cairo_user_to_device(cr_, &x, &y);
    TRect v = VisibleOutput();
    int width = int(v.Right), height = int(v.Bottom);
    if (!(x >= 0 && y >= 0 && x < width && y < height)) {
        tally_.Approximated("start outside the visible part; not filled");
        return;
    }
    cairo_surface_t* target = cairo_get_target(cr_);
    auto out = Rows(target);
    TSurface clip = ClipMask();
    cairo_surface_flush(clip.get());
    const unsigned char* clipData = cairo_image_surface_get_data(clip.get());
    int clipStride = cairo_image_surface_get_stride(clip.get());
    auto to8 = [](double c) { return static_cast<int>(std::lround(std::clamp(c, 0.0, 1.0) * 255)); };
    const std::uint32_t want = PackOpaque(to8(color.R), to8(color.G), to8(color.B)) & 0xFFFFFF;
    auto shown = [&](int px, int py) {
        TRgba d = Unpack(out[py][px]);
        return std::uint32_t(PackOpaque(OverWhite(d.R, d.A), OverWhite(d.G, d.A), OverWhite(d.B, d.A))) & 0xFFFFFF;
    };
    auto inside = [&](int px, int py) {
        if (clipData[std::size_t(py) * clipStride + px] < 128) return false;
        bool same = shown(px, py) == want;
        return mode == FLOODFILLSURFACE ? same : !same;
    };
    int sx = int(x), sy = int(y);
    if (!inside(sx, sy)) return;
    TSurface mask = ImageSurface(CAIRO_FORMAT_A8, width, height);
    cairo_surface_flush(mask.get());
    unsigned char* m = cairo_image_surface_get_data(mask.get());
    int maskStride = cairo_image_surface_get_stride(mask.get());
    std::vector<std::pair<int, int>> todo{{sx, sy}};
    while (!todo.empty()) {
        auto [px, py] = todo.back();
        todo.pop_back();
        unsigned char* row = m + std::size_t(py) * maskStride;
        if (row[px] || !inside(px, py)) continue;
        int left = px, right = px;
        while (left > 0 && !row[left - 1] && inside(left - 1, py)) --left;
        while (right + 1 < width && !row[right + 1] && inside(right + 1, py)) ++right;
        for (int i = left; i <= right; ++i) row[i] = 255;
        // One seed per run of fillable pixels in the rows above and below.
        for (int ny : {py - 1, py + 1}) {
            if (ny < 0 || ny >= height) continue;
            const unsigned char* next = m + std::size_t(ny) * maskStride;
            bool inRun = false;
            for (int i = left; i <= right; ++i) {
                bool open = !next[i] && inside(i, ny);
                if (open && !inRun) todo.emplace_back(i, ny);
                inRun = open;
            }
        }
    }
    cairo_surface_mark_dirty(mask.get());
    cairo_new_path(cr_);
    if (SetBrushSource(dc_.Brush)) cairo_mask_surface(cr_, mask.get(), 0, 0);
}

} // namespace mirt::metafile
