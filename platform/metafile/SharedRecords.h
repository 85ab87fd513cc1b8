// Handlers for the records that mean the same in WMF and EMF, and the
// object fields both formats hold, written once.
// Where the two formats differ only in how wide their fields are and in
// which order they store them, a handler takes the format's field reader F
// (TWmfFields or TEmfFields) and the record's layout L (from WmfRecords.h or
// EmfRecords.h), and reads the fields L names through F. The player is the
// last template parameter, deduced where a handler enters a table.
#pragma once

#include "platform/metafile/GdiCanvas.h"
#include "platform/metafile/RecordReader.h"
#include "platform/metafile/RecordTable.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace mirt::metafile {

// The box around points in logical units.
struct TExtent {
    double Left = HUGE_VAL, Top = HUGE_VAL, Right = -HUGE_VAL, Bottom = -HUGE_VAL;
    void Add(TPoint p)
    {
        Left = std::min(Left, p.X);
        Top = std::min(Top, p.Y);
        Right = std::max(Right, p.X);
        Bottom = std::max(Bottom, p.Y);
    }
    void Add(const TRect& r)
    {
        Add(TPoint{r.Left, r.Top});
        Add(TPoint{r.Right, r.Bottom});
    }
    bool Empty() const { return !(Right > Left) || !(Bottom > Top); }
};

// WMF fields: 16-bit values; a lone point stored y, then x; a rectangle
// stored bottom, right, top, left.
struct TWmfFields {
    static std::int32_t Int(const TRecordReader& r, std::size_t at) { return r.I16(at); }
    static std::uint32_t Uint(const TRecordReader& r, std::size_t at) { return r.U16(at); }
    static TPoint Point(const TRecordReader& r, std::size_t at) { return {double(r.I16(at + 2)), double(r.I16(at))}; }
    static TRect Rect(const TRecordReader& r, std::size_t at)
    {
        return {double(r.I16(at + 6)), double(r.I16(at + 4)), double(r.I16(at + 2)), double(r.I16(at))};
    }
};

// EMF fields: 32-bit values; a POINTL stored x, then y; a RECTL stored
// left, top, right, bottom.
struct TEmfFields {
    static std::int32_t Int(const TRecordReader& r, std::size_t at) { return r.I32(at); }
    static std::uint32_t Uint(const TRecordReader& r, std::size_t at) { return r.U32(at); }
    static TPoint Point(const TRecordReader& r, std::size_t at) { return {double(r.I32(at)), double(r.I32(at + 4))}; }
    static TRect Rect(const TRecordReader& r, std::size_t at)
    {
        return {double(r.I32(at)), double(r.I32(at + 4)), double(r.I32(at + 8)), double(r.I32(at + 12))};
    }
};

// Points in runs, x then y: 16-bit (WMF, and EMF's ...16 records) or 32-bit.
struct TPointS {
    static constexpr std::size_t Bytes = 4;
    static TPoint At(const TRecordReader& r, std::size_t at) { return {double(r.I16(at)), double(r.I16(at + 2))}; }
};
struct TPointL {
    static constexpr std::size_t Bytes = 8;
    static TPoint At(const TRecordReader& r, std::size_t at) { return {double(r.I32(at)), double(r.I32(at + 4))}; }
};

// count points P from offset on; checks the whole run before allocating.
template <class P>
std::vector<TPoint> ReadPoints(const TRecordReader& r, std::size_t offset, std::uint64_t count)
{
    r.Span32(static_cast<std::uint32_t>(std::min<std::size_t>(offset, 0xFFFFFFFF)), count * P::Bytes);
    std::vector<TPoint> pts(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < pts.size(); ++i) pts[i] = P::At(r, offset + i * P::Bytes);
    return pts;
}

// A rectangle given by its corner and size.
inline TRect RectAt(double x, double y, double w, double h) { return {x, y, x + w, y + h}; }

// ---- Objects: the LOGPEN, LOGBRUSH and LOGFONT fields both formats hold,
// in their own widths. Where the object goes, and a font's face name, are
// each format's own. ----

template <class F, class L>
TPen ReadLogPen(const TRecordReader& r)
{
    TPen pen;
    pen.Style = F::Uint(r, L::Style);
    pen.Width = std::abs(double(F::Int(r, L::Width)));
    pen.Cosmetic = pen.Width == 0;
    pen.Color = TColor::FromColorRef(r.U32(L::ColorRef));
    return pen;
}

template <class F, class L>
TBrush ReadLogBrush(const TRecordReader& r)
{
    return TBrush::FromLogBrush(F::Uint(r, L::Style), r.U32(L::ColorRef), F::Uint(r, L::Hatch));
}

// All but the face name.
template <class F, class L>
TFont ReadLogFont(const TRecordReader& r)
{
    TFont font;
    font.Height = F::Int(r, L::Height);
    font.Escapement = F::Int(r, L::Escapement);
    font.Orientation = F::Int(r, L::Orientation);
    font.Weight = F::Int(r, L::Weight);
    font.Italic = r.U8(L::Italic) != 0;
    font.Underline = r.U8(L::Underline) != 0;
    font.StrikeOut = r.U8(L::StrikeOut) != 0;
    font.Charset = r.U8(L::Charset);
    return font;
}

// ---- Handlers; beside a drawing record's handler, its extent ----

template <void (TGdiCanvas::*Do)(), class TPlayer>
void PlayAction(TPlayer&, const TRecordReader&, TGdiCanvas& c)
{
    (c.*Do)();
}

// Records we know and cannot draw.
template <class TPlayer>
void PlayUnsupported(TPlayer& p, const TRecordReader&, TGdiCanvas&)
{
    p.tally_.Skipped(p.tally_.Current(), "not supported");
}

// Modes and alignment: one unsigned value.
template <class F, class L, class T, void (TGdiCanvas::*Set)(T), class TPlayer>
void PlayValue(TPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    (c.*Set)(static_cast<T>(F::Uint(r, L::Field)));
}

// Which saved state to go back to: negative counts back from the latest.
template <class F, class L, class TPlayer>
void PlayRestoreDC(TPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    c.RestoreDC(F::Int(r, L::Field));
}

// A COLORREF is 32-bit in both formats.
template <class L, void (TGdiCanvas::*Set)(TColor), class TPlayer>
void PlayColor(TPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    (c.*Set)(TColor::FromColorRef(r.U32(L::ColorRef)));
}

template <class F, class L, class TPlayer>
void PlaySelectObject(TPlayer& p, const TRecordReader& r, TGdiCanvas& c)
{
    p.Select(F::Uint(r, L::Field), c);
}

template <class F, class L, class TPlayer>
void PlayDeleteObject(TPlayer& p, const TRecordReader& r, TGdiCanvas&)
{
    p.Delete(F::Uint(r, L::Field));
}

// Origins, extents, offsets: two numbers.
template <class F, class L, void (TGdiCanvas::*Set)(double, double), class TPlayer>
void PlayPair(TPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    (c.*Set)(F::Int(r, L::X), F::Int(r, L::Y));
}

template <class F, class L, void (TGdiCanvas::*Set)(double, double, double, double), class TPlayer>
void PlayScale(TPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    (c.*Set)(F::Int(r, L::XNum), F::Int(r, L::XDenom), F::Int(r, L::YNum), F::Int(r, L::YDenom));
}

// MOVETO, LINETO: the two numbers as a point.
template <class F, class L>
TPoint PairPoint(const TRecordReader& r)
{
    return {double(F::Int(r, L::X)), double(F::Int(r, L::Y))};
}
template <class F, class L, void (TGdiCanvas::*Set)(TPoint), class TPlayer>
void PlayPoint(TPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    (c.*Set)(PairPoint<F, L>(r));
}
template <class F, class L>
void PointExtent(const TRecordReader& r, TExtent& e)
{
    e.Add(PairPoint<F, L>(r));
}

template <class F, class L, class TPlayer>
void PlaySetPixel(TPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    c.SetPixel(F::Point(r, L::Point), TColor::FromColorRef(r.U32(L::ColorRef)));
}
template <class F, class L>
void SetPixelExtent(const TRecordReader& r, TExtent& e)
{
    e.Add(F::Point(r, L::Point));
}

// Rectangles, ellipses and clip rectangles: one box.
template <class F, class L, void (TGdiCanvas::*Set)(const TRect&), class TPlayer>
void PlayBox(TPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    (c.*Set)(F::Rect(r, L::Box));
}
// Of every record drawn within a box, the box.
template <class F, class L>
void BoxExtent(const TRecordReader& r, TExtent& e)
{
    e.Add(F::Rect(r, L::Box));
}

template <class F, class L, class TPlayer>
void PlayRoundRect(TPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    c.RoundRect(F::Rect(r, L::Box), F::Int(r, L::Width), F::Int(r, L::Height));
}

// ARC, CHORD, PIE: a box and the points that say where on it they start
// and end (which lie anywhere, and so are no part of the extent).
template <class F, class L, TGdiCanvas::TArcKind Kind, class TPlayer>
void PlayArc(TPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    c.Arc(Kind, F::Rect(r, L::Box), F::Point(r, L::Start), F::Point(r, L::End));
}

template <class F, class L, class TPlayer>
void PlayExtFloodFill(TPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    c.FloodFill(F::Point(r, L::Point), TColor::FromColorRef(r.U32(L::ColorRef)), static_cast<int>(F::Uint(r, L::Mode)));
}

// POLYGON, POLYLINE and the like: a count, then the points.
template <class F, class L, class P, void (TGdiCanvas::*Draw)(const std::vector<TPoint>&), class TPlayer>
void PlayPoly(TPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    (c.*Draw)(ReadPoints<P>(r, L::Points, F::Uint(r, L::Count)));
}
template <class F, class L, class P>
void PolyExtent(const TRecordReader& r, TExtent& e)
{
    for (TPoint p : ReadPoints<P>(r, L::Points, F::Uint(r, L::Count))) e.Add(p);
}

} // namespace mirt::metafile
