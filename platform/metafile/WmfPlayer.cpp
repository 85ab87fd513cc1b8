// Windows metafiles (16-bit WMF), with or without the placeable header. Each
// record function has one entry in the table at the end: its name, its fixed
// size, its handler, which reads the fields named in WmfRecords.h, and for a
// drawing record the function that says where it draws (a handler shared
// with EMF names the layout it reads in the table).
#include "platform/metafile/GdiCanvas.h"
#include "platform/metafile/MetafileText.h"
#include "platform/metafile/Players.h"
#include "platform/metafile/RecordReader.h"
#include "platform/metafile/RecordTable.h"
#include "platform/metafile/SharedRecords.h"
#include "platform/metafile/WmfRecords.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

namespace mirt::metafile {

namespace {

using namespace wmf;

// A point stored y first, then x.
constexpr auto ReversedPoint = TWmfFields::Point;

// The bytes of the record from offset to its end.
std::span<const unsigned char> Rest(const TRecordReader& r, std::size_t offset)
{
    return r.Span(offset, r.Size() - std::min(offset, r.Size()));
}

struct TWmfPlayer {
    TWmfPlayer(std::span<const unsigned char> bytes, TDecodeLimit limit) : bytes_(bytes), limit_(limit) {}
    TBitmap Play();

    struct TRecord {
        std::size_t Offset;
        std::size_t Size;
        std::uint16_t Function;
        std::size_t Index;
    };
    // Calls visit for every record up to META_EOF; raises on a record that
    // does not fit the file.
    template <class F>
    void ForEachRecord(F visit) const;
    void Draw(const TRecord& record, TGdiCanvas& canvas);
    void AddObject(TGdiObject object);
    void Select(std::uint32_t index, TGdiCanvas& canvas);
    void Delete(std::uint32_t index);
    const TGdiObject* Object(std::uint16_t index) const;
    const TRegion* RegionObject(std::uint16_t index) const;
    const TBrush* BrushObject(std::uint16_t index) const;

    std::span<const unsigned char> bytes_;
    TDecodeLimit limit_;
    std::size_t firstRecord_ = 0;
    std::uint16_t objectCount_ = 0;
    std::vector<std::optional<TGdiObject>> objects_;
    TRecordTally tally_;
};

using THandler = TRecordHandler<TWmfPlayer>;

template <class F>
void TWmfPlayer::ForEachRecord(F visit) const
{
    std::size_t offset = firstRecord_;
    std::size_t index = 0;
    while (offset + Record::Size <= bytes_.size()) {
        TRecordReader head(bytes_.subspan(offset, Record::Size), "", "WMF", index, offset);
        std::uint64_t size = std::uint64_t(head.U32(Record::SizeWords)) * 2;
        std::uint16_t function = head.U16(Record::Function);
        if (size < Record::Size)
            head.Fail("WMF record of " + std::to_string(size) + " bytes, shorter than its own header");
        if (size > bytes_.size() - offset)
            head.Fail("WMF record of " + std::to_string(size) + " bytes runs past the end of the file");
        if (function == META_EOF) return;
        visit(TRecord{offset, static_cast<std::size_t>(size), function, index});
        offset += static_cast<std::size_t>(size);
        ++index;
    }
}

void TWmfPlayer::AddObject(TGdiObject object)
{
    // The lowest free slot, as GDI does; slots beyond the header's count are not used.
    for (std::size_t i = 0; i < objects_.size(); ++i)
        if (!objects_[i]) {
            objects_[i] = std::move(object);
            return;
        }
    if (objects_.size() < objectCount_) objects_.push_back(std::move(object));
}

void TWmfPlayer::Select(std::uint32_t index, TGdiCanvas& canvas)
{
    // Selecting a region makes it the clip.
    if (const TRegion* region = RegionObject(index)) canvas.SelectClipRegion(*region, RGN_COPY);
    else if (const TGdiObject* o = Object(index)) canvas.SelectObject(*o);
}

void TWmfPlayer::Delete(std::uint32_t index)
{
    if (index < objects_.size()) objects_[index].reset();
}

const TGdiObject* TWmfPlayer::Object(std::uint16_t index) const
{
    if (index >= objects_.size() || !objects_[index]) return nullptr;
    return &*objects_[index];
}

const TRegion* TWmfPlayer::RegionObject(std::uint16_t index) const
{
    const TGdiObject* o = Object(index);
    return o ? std::get_if<TRegion>(o) : nullptr;
}

const TBrush* TWmfPlayer::BrushObject(std::uint16_t index) const
{
    const TGdiObject* o = Object(index);
    return o ? std::get_if<TBrush>(o) : nullptr;
}

std::shared_ptr<const TBitmap> PackedDib(const TRecordReader& r, std::size_t offset)
{
    return DecodeRecordBitmap(Rest(r, offset), {});
}

// ---- Handlers, one per record function or per group that shares a layout;
// those that mean the same as in EMF are in SharedRecords.h ----

// Extra logical units after every character; may be negative.
void PlaySetTextCharExtra(TWmfPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    c.SetTextCharExtra(r.I16(Value::Field));
}

void PlaySetTextJustification(TWmfPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    c.SetTextJustification(r.I16(TextJustification::BreakExtra), r.U16(TextJustification::BreakCount));
}

void PlayCreatePen(TWmfPlayer& p, const TRecordReader& r, TGdiCanvas&)
{
    p.AddObject(ReadLogPen<TWmfFields, CreatePenIndirect>(r));
}

void PlayCreateBrush(TWmfPlayer& p, const TRecordReader& r, TGdiCanvas&)
{
    p.AddObject(ReadLogBrush<TWmfFields, CreateBrushIndirect>(r));
}

void PlayDibCreatePatternBrush(TWmfPlayer& p, const TRecordReader& r, TGdiCanvas&)
{
    TBrush brush;
    brush.Style = BS_DIBPATTERN;
    brush.Color = {0.5, 0.5, 0.5};
    brush.Pattern = PackedDib(r, DibCreatePatternBrush::Dib);
    p.AddObject(brush);
}

// FLOODFILL fills up to a border colour; EXTFLOODFILL, shared with EMF,
// says which way.
void PlayFloodFill(TWmfPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    c.FloodFill(ReversedPoint(r, FloodFill::Point), TColor::FromColorRef(r.U32(FloodFill::ColorRef)), FLOODFILLBORDER);
}

// A device-dependent bitmap: drawn as its mid grey.
void PlayCreatePatternBrush(TWmfPlayer& p, const TRecordReader&, TGdiCanvas&)
{
    p.tally_.Approximated("device-dependent pattern drawn as grey");
    TBrush brush;
    brush.Color = {0.5, 0.5, 0.5};
    p.AddObject(brush);
}

void PlayCreateFont(TWmfPlayer& p, const TRecordReader& r, TGdiCanvas&)
{
    // The face name in 8-bit characters of the font's own character set.
    TFont f = ReadLogFont<TWmfFields, CreateFont>(r);
    auto name = Rest(r, CreateFont::FaceName);
    std::size_t len = 0;
    while (len < name.size() && len < CreateFont::FaceNameBytes && name[len] != 0) ++len;
    f.Face = ToUtf8(DecodeCharsetText(name.first(len), f.Charset, {}).Text);
    p.AddObject(f);
}

void PlayCreatePalette(TWmfPlayer& p, const TRecordReader&, TGdiCanvas&) { p.AddObject(TOtherObject{}); }

void PlayCreateRegion(TWmfPlayer& p, const TRecordReader& r, TGdiCanvas&)
{
    // Coordinates are logical units.
    TRegion region;
    region.Logical = true;
    std::size_t scans = r.U16(Region::ScanCount);
    std::size_t at = Region::Scans;
    for (std::size_t i = 0; i < scans; ++i) {
        std::size_t values = r.U16(at);
        if (values % 2) r.Fail("WMF region scan with an odd number of x values");
        double top = r.I16(at + 2), bottom = r.I16(at + 4);
        r.Span(at + 6, values * 2 + 2); // the pairs and the closing count
        for (std::size_t k = 0; k < values; k += 2)
            region.Rects.push_back({double(r.I16(at + 6 + 2 * k)), top, double(r.I16(at + 8 + 2 * k)), bottom});
        at += 8 + 2 * values;
    }
    p.AddObject(std::move(region));
}

// Every polygon's points; raises before returning any when they run past
// the record's end.
std::vector<std::vector<TPoint>> PolyPolygonPoints(const TRecordReader& r)
{
    std::size_t polys = r.U16(PolyPolygon::Polygons);
    r.Span(PolyPolygon::Counts, polys * 2);
    std::size_t at = PolyPolygon::Counts + 2 * polys;
    std::vector<std::vector<TPoint>> all;
    for (std::size_t i = 0; i < polys; ++i) {
        std::size_t n = r.U16(PolyPolygon::Counts + 2 * i);
        all.push_back(ReadPoints<TPointS>(r, at, n));
        at += 4 * n;
    }
    return all;
}
void PlayPolyPolygon(TWmfPlayer&, const TRecordReader& r, TGdiCanvas& c) { c.PolyPolygon(PolyPolygonPoints(r)); }
void PolyPolygonExtent(const TRecordReader& r, TExtent& e)
{
    for (const auto& polygon : PolyPolygonPoints(r))
        for (TPoint p : polygon) e.Add(p);
}

void PlaySelectClipRegion(TWmfPlayer& p, const TRecordReader& r, TGdiCanvas& c)
{
    // A region that is not there (0 included) lifts the clip.
    if (const TRegion* region = p.RegionObject(r.U16(Value::Field))) c.SelectClipRegion(*region, RGN_COPY);
    else c.ResetClip();
}

void PlayFillRegion(TWmfPlayer& p, const TRecordReader& r, TGdiCanvas& c)
{
    const TRegion* region = p.RegionObject(r.U16(FillRegion::Region));
    const TBrush* brush = p.BrushObject(r.U16(FillRegion::Brush));
    if (region && brush) c.FillRegion(*region, *brush);
}

void PlayFrameRegion(TWmfPlayer& p, const TRecordReader& r, TGdiCanvas& c)
{
    const TRegion* region = p.RegionObject(r.U16(FrameRegion::Region));
    const TBrush* brush = p.BrushObject(r.U16(FrameRegion::Brush));
    if (region && brush) c.FrameRegion(*region, *brush, r.I16(FrameRegion::Width), r.I16(FrameRegion::Height));
}

void PlayPaintRegion(TWmfPlayer& p, const TRecordReader& r, TGdiCanvas& c)
{
    if (const TRegion* region = p.RegionObject(r.U16(Value::Field))) c.FillRegion(*region, c.CurrentBrush());
}

void PlayInvertRegion(TWmfPlayer& p, const TRecordReader& r, TGdiCanvas& c)
{
    if (const TRegion* region = p.RegionObject(r.U16(Value::Field))) c.InvertRegion(*region);
}

TRect PatBltRect(const TRecordReader& r)
{
    return RectAt(r.I16(PatBlt::X), r.I16(PatBlt::Y), r.I16(PatBlt::Width), r.I16(PatBlt::Height));
}
void PlayPatBlt(TWmfPlayer&, const TRecordReader& r, TGdiCanvas& c) { c.PatBlt(PatBltRect(r), r.U32(PatBlt::Rop)); }
void PatBltExtent(const TRecordReader& r, TExtent& e) { e.Add(PatBltRect(r)); }

void PlayTextOut(TWmfPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    std::size_t n = r.U16(TextOut::Length);
    std::size_t padded = (n + 1) & ~std::size_t(1);
    auto text = r.Span(TextOut::String, n);
    std::size_t after = TextOut::String + padded;
    TPoint at = ReversedPoint(r, after);
    TDecodedText decoded = DecodeCharsetText(text, c.CurrentCharset(), {});
    c.TextOut(at, decoded.Text, {}, 0, nullptr);
}

void PlayExtTextOut(TWmfPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    TPoint at = ReversedPoint(r, ExtTextOut::Y);
    std::size_t n = r.U16(ExtTextOut::Length);
    std::uint16_t options = r.U16(ExtTextOut::Options);
    std::size_t string = ExtTextOut::Rectangle;
    std::optional<TRect> rect;
    if (options & (ETO_OPAQUE | ETO_CLIPPED)) {
        std::size_t o = ExtTextOut::Rectangle;
        rect = TRect{double(r.I16(o)), double(r.I16(o + 2)), double(r.I16(o + 4)), double(r.I16(o + 6))};
        string += 8;
    }
    auto text = r.Span(string, n);
    std::size_t dxAt = string + 2 * ((n + 1) / 2);
    std::vector<double> dx;
    if (r.Has(dxAt, n * 2))
        for (std::size_t i = 0; i < n; ++i) dx.push_back(r.I16(dxAt + 2 * i));
    TDecodedText decoded = DecodeCharsetText(text, c.CurrentCharset(), dx);
    c.TextOut(at, decoded.Text, decoded.Advances, options, rect ? &*rect : nullptr);
}

// BITBLT and DIBBITBLT: without a bitmap, a pattern fill; only the DIB form
// carries a bitmap we can read.
template <bool WithDib>
void PlayBitBlt(TWmfPlayer& p, const TRecordReader& r, TGdiCanvas& c)
{
    using L = BitBlt;
    if (r.Size() == L::NoBitmapSize) {
        c.PatBlt(
            RectAt(r.I16(L::NoBitmapXDest), r.I16(L::NoBitmapYDest), r.I16(L::NoBitmapWidth), r.I16(L::NoBitmapHeight)),
            r.U32(L::Rop));
        return;
    }
    if (!WithDib) {
        p.tally_.Skipped(p.tally_.Current(), "device-dependent bitmap not supported");
        return;
    }
    if (r.Size() <= L::Dib) return;
    if (auto bmp = PackedDib(r, L::Dib)) {
        double w = r.I16(L::Width), h = r.I16(L::Height);
        c.DrawBitmap(RectAt(r.I16(L::XDest), r.I16(L::YDest), w, h), *bmp, RectAt(r.I16(L::XSrc), r.I16(L::YSrc), w, h),
                     r.U32(L::Rop));
    }
}

// Where STRETCHBLT, DIBSTRETCHBLT and STRETCHDIB draw.
template <class L>
TRect StretchDest(const TRecordReader& r)
{
    return RectAt(r.I16(L::XDest), r.I16(L::YDest), r.I16(L::DestWidth), r.I16(L::DestHeight));
}
// Only the DIB forms count towards the extent, with or without a bitmap.
template <class L>
void StretchExtent(const TRecordReader& r, TExtent& e)
{
    e.Add(StretchDest<L>(r));
}

template <bool WithDib>
void PlayStretchBlt(TWmfPlayer& p, const TRecordReader& r, TGdiCanvas& c)
{
    using L = StretchBlt;
    TRect dest = StretchDest<L>(r);
    if (r.Size() == L::Dib) {
        c.PatBlt(dest, r.U32(L::Rop));
        return;
    }
    if (!WithDib) {
        p.tally_.Skipped(p.tally_.Current(), "device-dependent bitmap not supported");
        return;
    }
    if (auto bmp = PackedDib(r, L::Dib))
        c.DrawBitmap(dest, *bmp, RectAt(r.I16(L::XSrc), r.I16(L::YSrc), r.I16(L::SrcWidth), r.I16(L::SrcHeight)),
                     r.U32(L::Rop));
}

void PlayStretchDib(TWmfPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    using L = StretchDib;
    if (r.Size() <= L::Dib) return;
    if (auto bmp = PackedDib(r, L::Dib))
        c.DrawBitmap(StretchDest<L>(r), *bmp,
                     RectAt(r.I16(L::XSrc), r.I16(L::YSrc), r.I16(L::SrcWidth), r.I16(L::SrcHeight)), r.U32(L::Rop));
}

void PlaySetDibToDev(TWmfPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    using L = SetDibToDev;
    if (r.Size() <= L::Dib) return;
    if (auto bmp = PackedDib(r, L::Dib)) {
        double w = r.I16(L::Width), h = r.I16(L::Height);
        c.DrawBitmap(RectAt(r.I16(L::XDest), r.I16(L::YDest), w, h), *bmp,
                     RectAt(r.I16(L::XDib), r.I16(L::YDib), w, h));
    }
}

using TArc = TGdiCanvas::TArcKind;

// clang-format off
const THandler Handlers[] = {
    {META_SAVEDC, "META_SAVEDC", Record::Size, PlayAction<&TGdiCanvas::SaveDC>},
    {META_REALIZEPALETTE, "META_REALIZEPALETTE", Record::Size, nullptr},
    {META_SETPALENTRIES, "META_SETPALENTRIES", Record::Size, nullptr},
    {META_CREATEPALETTE, "META_CREATEPALETTE", Record::Size, PlayCreatePalette},
    {META_SETBKMODE, "META_SETBKMODE", Value::Size, PlayValue<TWmfFields, Value, int, &TGdiCanvas::SetBkMode>},
    {META_SETMAPMODE, "META_SETMAPMODE", Value::Size, PlayValue<TWmfFields, Value, int, &TGdiCanvas::SetMapMode>},
    {META_SETROP2, "META_SETROP2", Value::Size, PlayValue<TWmfFields, Value, int, &TGdiCanvas::SetROP2>},
    {META_SETRELABS, "META_SETRELABS", Record::Size, nullptr},
    {META_SETPOLYFILLMODE, "META_SETPOLYFILLMODE", Value::Size, PlayValue<TWmfFields, Value, int, &TGdiCanvas::SetPolyFillMode>},
    {META_SETSTRETCHBLTMODE, "META_SETSTRETCHBLTMODE", Record::Size, nullptr},
    {META_SETTEXTCHAREXTRA, "META_SETTEXTCHAREXTRA", Value::Size, PlaySetTextCharExtra},
    {META_RESTOREDC, "META_RESTOREDC", Value::Size, PlayRestoreDC<TWmfFields, Value>},
    {META_INVERTREGION, "META_INVERTREGION", Value::Size, PlayInvertRegion},
    {META_PAINTREGION, "META_PAINTREGION", Value::Size, PlayPaintRegion},
    {META_SELECTCLIPREGION, "META_SELECTCLIPREGION", Value::Size, PlaySelectClipRegion},
    {META_SELECTOBJECT, "META_SELECTOBJECT", Value::Size, PlaySelectObject<TWmfFields, Value>},
    {META_SETTEXTALIGN, "META_SETTEXTALIGN", Value::Size, PlayValue<TWmfFields, Value, std::uint32_t, &TGdiCanvas::SetTextAlign>},
    {META_RESIZEPALETTE, "META_RESIZEPALETTE", Record::Size, nullptr},
    {META_DIBCREATEPATTERNBRUSH, "META_DIBCREATEPATTERNBRUSH", DibCreatePatternBrush::Size, PlayDibCreatePatternBrush},
    {META_SETLAYOUT, "META_SETLAYOUT", Record::Size, PlayUnsupported},
    {META_DELETEOBJECT, "META_DELETEOBJECT", Value::Size, PlayDeleteObject<TWmfFields, Value>},
    {META_CREATEPATTERNBRUSH, "META_CREATEPATTERNBRUSH", Record::Size, PlayCreatePatternBrush},
    {META_SETBKCOLOR, "META_SETBKCOLOR", Color::Size, PlayColor<Color, &TGdiCanvas::SetBkColor>},
    {META_SETTEXTCOLOR, "META_SETTEXTCOLOR", Color::Size, PlayColor<Color, &TGdiCanvas::SetTextColor>},
    {META_SETTEXTJUSTIFICATION, "META_SETTEXTJUSTIFICATION", TextJustification::Size, PlaySetTextJustification},
    {META_SETWINDOWORG, "META_SETWINDOWORG", Pair::Size, PlayPair<TWmfFields, Pair, &TGdiCanvas::SetWindowOrg>},
    {META_SETWINDOWEXT, "META_SETWINDOWEXT", Pair::Size, PlayPair<TWmfFields, Pair, &TGdiCanvas::SetWindowExt>},
    {META_SETVIEWPORTORG, "META_SETVIEWPORTORG", Pair::Size, PlayPair<TWmfFields, Pair, &TGdiCanvas::SetViewportOrg>},
    {META_SETVIEWPORTEXT, "META_SETVIEWPORTEXT", Pair::Size, PlayPair<TWmfFields, Pair, &TGdiCanvas::SetViewportExt>},
    {META_OFFSETWINDOWORG, "META_OFFSETWINDOWORG", Pair::Size, PlayPair<TWmfFields, Pair, &TGdiCanvas::OffsetWindowOrg>},
    {META_OFFSETVIEWPORTORG, "META_OFFSETVIEWPORTORG", Pair::Size, PlayPair<TWmfFields, Pair, &TGdiCanvas::OffsetViewportOrg>},
    {META_LINETO, "META_LINETO", Pair::Size, PlayPoint<TWmfFields, Pair, &TGdiCanvas::LineTo>, PointExtent<TWmfFields, Pair>},
    {META_MOVETO, "META_MOVETO", Pair::Size, PlayPoint<TWmfFields, Pair, &TGdiCanvas::MoveTo>, PointExtent<TWmfFields, Pair>},
    {META_OFFSETCLIPRGN, "META_OFFSETCLIPRGN", Pair::Size, PlayPair<TWmfFields, Pair, &TGdiCanvas::OffsetClip>},
    {META_FILLREGION, "META_FILLREGION", FillRegion::Size, PlayFillRegion},
    {META_SETMAPPERFLAGS, "META_SETMAPPERFLAGS", Record::Size, nullptr},
    {META_SELECTPALETTE, "META_SELECTPALETTE", Record::Size, nullptr},
    {META_CREATEPENINDIRECT, "META_CREATEPENINDIRECT", CreatePenIndirect::Size, PlayCreatePen},
    {META_CREATEFONTINDIRECT, "META_CREATEFONTINDIRECT", CreateFont::Size, PlayCreateFont},
    {META_CREATEBRUSHINDIRECT, "META_CREATEBRUSHINDIRECT", CreateBrushIndirect::Size, PlayCreateBrush},
    {META_POLYGON, "META_POLYGON", Poly::Size, PlayPoly<TWmfFields, Poly, TPointS, &TGdiCanvas::Polygon>, PolyExtent<TWmfFields, Poly, TPointS>},
    {META_POLYLINE, "META_POLYLINE", Poly::Size, PlayPoly<TWmfFields, Poly, TPointS, &TGdiCanvas::Polyline>, PolyExtent<TWmfFields, Poly, TPointS>},
    {META_SCALEWINDOWEXT, "META_SCALEWINDOWEXT", Scale::Size, PlayScale<TWmfFields, Scale, &TGdiCanvas::ScaleWindowExt>},
    {META_SCALEVIEWPORTEXT, "META_SCALEVIEWPORTEXT", Scale::Size, PlayScale<TWmfFields, Scale, &TGdiCanvas::ScaleViewportExt>},
    {META_EXCLUDECLIPRECT, "META_EXCLUDECLIPRECT", Rect::Size, PlayBox<TWmfFields, Rect, &TGdiCanvas::ExcludeClipRect>},
    {META_INTERSECTCLIPRECT, "META_INTERSECTCLIPRECT", Rect::Size, PlayBox<TWmfFields, Rect, &TGdiCanvas::IntersectClipRect>},
    {META_ELLIPSE, "META_ELLIPSE", Rect::Size, PlayBox<TWmfFields, Rect, &TGdiCanvas::Ellipse>, BoxExtent<TWmfFields, Rect>},
    {META_FLOODFILL, "META_FLOODFILL", FloodFill::Size, PlayFloodFill},
    {META_FRAMEREGION, "META_FRAMEREGION", FrameRegion::Size, PlayFrameRegion},
    {META_ANIMATEPALETTE, "META_ANIMATEPALETTE", Record::Size, nullptr},
    {META_RECTANGLE, "META_RECTANGLE", Rect::Size, PlayBox<TWmfFields, Rect, &TGdiCanvas::Rectangle>, BoxExtent<TWmfFields, Rect>},
    {META_SETPIXEL, "META_SETPIXEL", SetPixel::Size, PlaySetPixel<TWmfFields, SetPixel>, SetPixelExtent<TWmfFields, SetPixel>},
    {META_TEXTOUT, "META_TEXTOUT", TextOut::Size, PlayTextOut},
    {META_POLYPOLYGON, "META_POLYPOLYGON", PolyPolygon::Size, PlayPolyPolygon, PolyPolygonExtent},
    {META_EXTFLOODFILL, "META_EXTFLOODFILL", ExtFloodFill::Size, PlayExtFloodFill<TWmfFields, ExtFloodFill>},
    {META_ROUNDRECT, "META_ROUNDRECT", RoundRect::Size, PlayRoundRect<TWmfFields, RoundRect>, BoxExtent<TWmfFields, RoundRect>},
    {META_PATBLT, "META_PATBLT", PatBlt::Size, PlayPatBlt, PatBltExtent},
    {META_ESCAPE, "META_ESCAPE", Record::Size, nullptr},
    {META_CREATEREGION, "META_CREATEREGION", Region::Size, PlayCreateRegion},
    {META_ARC, "META_ARC", Arc::Size, PlayArc<TWmfFields, Arc, TArc::Arc>, BoxExtent<TWmfFields, Arc>},
    {META_PIE, "META_PIE", Arc::Size, PlayArc<TWmfFields, Arc, TArc::Pie>, BoxExtent<TWmfFields, Arc>},
    {META_CHORD, "META_CHORD", Arc::Size, PlayArc<TWmfFields, Arc, TArc::Chord>, BoxExtent<TWmfFields, Arc>},
    {META_BITBLT, "META_BITBLT", BitBlt::Size, PlayBitBlt<false>},
    {META_DIBBITBLT, "META_DIBBITBLT", BitBlt::Size, PlayBitBlt<true>},
    {META_EXTTEXTOUT, "META_EXTTEXTOUT", ExtTextOut::Size, PlayExtTextOut},
    {META_STRETCHBLT, "META_STRETCHBLT", StretchBlt::Size, PlayStretchBlt<false>},
    {META_DIBSTRETCHBLT, "META_DIBSTRETCHBLT", StretchBlt::Size, PlayStretchBlt<true>, StretchExtent<StretchBlt>},
    {META_SETDIBTODEV, "META_SETDIBTODEV", SetDibToDev::Size, PlaySetDibToDev},
    {META_STRETCHDIB, "META_STRETCHDIB", StretchDib::Size, PlayStretchDib, StretchExtent<StretchDib>},
};
// clang-format on

void TWmfPlayer::Draw(const TRecord& record, TGdiCanvas& canvas)
{
    const THandler* handler = FindHandler(Handlers, record.Function);
    if (!handler) {
        char name[32];
        std::snprintf(name, sizeof name, "WMF function 0x%04X", record.Function);
        tally_.Skipped(name, "unknown record type");
        return;
    }
    TRecordReader r(bytes_.subspan(record.Offset, record.Size), handler->Name, "WMF", record.Index, record.Offset);
    PlayRecord(*handler, *this, r, canvas, tally_);
}

TBitmap TWmfPlayer::Play()
{
    TRecordReader file(bytes_, "WMF header");
    std::optional<TRect> box;
    double unitsPerInch = 0;
    std::size_t offset = 0;
    if (file.Has(0, 4) && file.U32(Placeable::Key) == Placeable::KeyValue) {
        if (!file.Has(0, Placeable::Size)) file.Fail("Not a metafile: placeable header cut short");
        std::size_t b = Placeable::Box;
        box = TRect{double(file.I16(b)), double(file.I16(b + 2)), double(file.I16(b + 4)), double(file.I16(b + 6))};
        unitsPerInch = file.U16(Placeable::UnitsPerInch);
        if (unitsPerInch == 0) file.Fail("Placeable metafile header gives 0 units per inch");
        offset = Placeable::Size;
    }
    if (!file.Has(offset, Header::Size)) file.Fail("Not a metafile: file too short for a WMF header");
    std::uint16_t type = file.U16(offset + Header::Type);
    std::uint16_t headerWords = file.U16(offset + Header::HeaderWords);
    if ((type != 1 && type != 2) || headerWords != Header::Size / 2)
        file.Fail("Not a metafile: no WMF header (type " + std::to_string(type) + ", header size " +
                  std::to_string(headerWords) + ")");
    objectCount_ = file.U16(offset + Header::Objects);
    firstRecord_ = offset + Header::Size;

    // Natural size: the placeable box at its units per inch. Without one,
    // nothing in the file gives a size in inches; like common readers of
    // such files we take the window extent as twips (1440 per inch), and
    // when no window extent is set, the drawing's own extent (the box around
    // the points its records draw at) in the same units.
    double width, height;
    TPoint winOrg{0, 0}, winExt{0, 0};
    if (box) {
        width = std::abs(box->Right - box->Left) * 96 / unitsPerInch;
        height = std::abs(box->Bottom - box->Top) * 96 / unitsPerInch;
        winOrg = {box->Left, box->Top};
        winExt = {box->Right - box->Left, box->Bottom - box->Top};
    } else {
        bool haveExt = false;
        TExtent drawn;
        ForEachRecord([&](const TRecord& rec) {
            if (haveExt) return;
            TRecordReader r(bytes_.subspan(rec.Offset, rec.Size), "WMF record");
            if (rec.Function == META_SETWINDOWEXT && rec.Size >= Pair::Size) {
                winExt = {double(r.I16(Pair::X)), double(r.I16(Pair::Y))};
                haveExt = winExt.X != 0 && winExt.Y != 0;
            } else if (const THandler* handler = FindHandler(Handlers, rec.Function)) {
                AddRecordExtent(*handler, r, drawn);
            }
        });
        if (!haveExt) {
            if (drawn.Empty())
                file.Fail("WMF without placeable header sets no window extent and draws nothing: its size is unknown");
            winOrg = {drawn.Left, drawn.Top};
            winExt = {drawn.Right - drawn.Left, drawn.Bottom - drawn.Top};
        }
        constexpr double TwipsPerInch = 1440;
        width = std::abs(winExt.X) * 96 / TwipsPerInch;
        height = std::abs(winExt.Y) * 96 / TwipsPerInch;
    }
    TOutputSurface output(width, height, limit_, file);
    cairo_matrix_t identity;
    cairo_matrix_init_identity(&identity);
    {
        TGdiCanvas canvas(output.Cairo(), identity, 96 / 25.4, tally_);
        // The picture frame is the viewport; the window maps onto it.
        canvas.SetMapMode(MM_ANISOTROPIC);
        canvas.SetViewportOrg(0, 0);
        canvas.SetViewportExt(width, height);
        canvas.SetWindowOrg(winOrg.X, winOrg.Y);
        canvas.SetWindowExt(winExt.X, winExt.Y);
        ForEachRecord([&](const TRecord& rec) { Draw(rec, canvas); });
    }
    TBitmap bitmap = output.Take();
    bitmap.Notes = tally_.Notes();
    return bitmap;
}

} // namespace

TBitmap PlayWmf(std::span<const unsigned char> bytes, TDecodeLimit limit) { return TWmfPlayer(bytes, limit).Play(); }

} // namespace mirt::metafile
