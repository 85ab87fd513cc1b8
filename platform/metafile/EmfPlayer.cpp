// Enhanced metafiles (EMF). EMF+ records live in comment records and are
// skipped; the plain records that follow them are drawn. Each record type has
// one entry in the table at the end: its name, its fixed size and its handler,
// which reads the fields named in EmfRecords.h (a handler shared with WMF
// names the layout it reads in the table).
#include "platform/metafile/EmfRecords.h"
#include "platform/metafile/GdiCanvas.h"
#include "platform/metafile/MetafileText.h"
#include "platform/metafile/Players.h"
#include "platform/metafile/RecordReader.h"
#include "platform/metafile/RecordTable.h"
#include "platform/metafile/SharedRecords.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <optional>

namespace mirt::metafile {

namespace {

using namespace emf;

constexpr auto PointL = TEmfFields::Point;
constexpr auto RectL = TEmfFields::Rect;
cairo_matrix_t XForm(const TRecordReader& r, std::size_t at)
{
    // GDI: x' = x eM11 + y eM21 + eDx, y' = x eM12 + y eM22 + eDy.
    return {r.F32(at), r.F32(at + 4), r.F32(at + 8), r.F32(at + 12), r.F32(at + 16), r.F32(at + 20)};
}

struct TEmfPlayer {
    TEmfPlayer(std::span<const unsigned char> bytes, TDecodeLimit limit) : bytes_(bytes), limit_(limit) {}
    TBitmap Play();

    void Select(std::uint32_t index, TGdiCanvas& canvas);
    void Delete(std::uint32_t index) { objects_.erase(index); }
    void AddObject(std::uint32_t index, TGdiObject object);
    const TBrush* Brush(std::uint32_t index) const;
    void Text(const TRecordReader& r, std::size_t emrText, bool wide, TGdiCanvas& canvas);
    TRegion Region(const TRecordReader& r, std::size_t offset, std::uint32_t size) const;
    std::shared_ptr<const TBitmap> RecordDib(const TRecordReader& r, std::size_t at) const;

    std::span<const unsigned char> bytes_;
    TDecodeLimit limit_;
    std::uint32_t handleCount_ = 0;
    std::map<std::uint32_t, TGdiObject> objects_;
    TRecordTally tally_;
};

using THandler = TRecordHandler<TEmfPlayer>;

void TEmfPlayer::AddObject(std::uint32_t index, TGdiObject object)
{
    // Index 0 is the metafile itself; indexes must lie below the header's count.
    if (index == 0 || index >= handleCount_) return;
    objects_[index] = std::move(object);
}

const TBrush* TEmfPlayer::Brush(std::uint32_t index) const
{
    auto it = objects_.find(index);
    return it != objects_.end() ? std::get_if<TBrush>(&it->second) : nullptr;
}

void TEmfPlayer::Select(std::uint32_t index, TGdiCanvas& canvas)
{
    if (index & StockObject) {
        // The stock objects by number: brushes white to black and null, pens
        // white, black and null, then the fonts.
        TBrush brush;
        TPen pen;
        std::uint32_t stock = index & ~StockObject;
        switch (stock) {
        case 0: // WHITE_BRUSH
        case 1: // LTGRAY_BRUSH
        case 2: // GRAY_BRUSH
        case 3: // DKGRAY_BRUSH
        case 4: // BLACK_BRUSH
        {
            double level = 1 - stock * 0.25;
            brush.Color = {level, level, level};
            canvas.SelectBrush(brush);
            break;
        }
        case 5: // NULL_BRUSH
            brush.Style = BS_NULL;
            canvas.SelectBrush(brush);
            break;
        case 6: // WHITE_PEN
            pen.Color = {1, 1, 1};
            canvas.SelectPen(pen);
            break;
        case 7: canvas.SelectPen(pen); break; // BLACK_PEN
        case 8:                               // NULL_PEN
            pen.Style = PS_NULL;
            canvas.SelectPen(pen);
            break;
        case 10: // the fixed, variable, system and GUI fonts
        case 11:
        case 12:
        case 13:
        case 14:
        case 16:
        case 17: canvas.SelectFont(TFont{}); break;
        default: break;
        }
        return;
    }
    auto it = objects_.find(index);
    if (it != objects_.end()) canvas.SelectObject(it->second);
}

void TEmfPlayer::Text(const TRecordReader& r, std::size_t emrText, bool wide, TGdiCanvas& canvas)
{
    TPoint at = PointL(r, emrText + EmrText::Reference);
    std::uint32_t count = r.U32(emrText + EmrText::Chars);
    std::uint32_t offString = r.U32(emrText + EmrText::StringOffset);
    std::uint32_t options = r.U32(emrText + EmrText::Options);
    TRect rect = RectL(r, emrText + EmrText::Rectangle);
    std::uint32_t offDx = r.U32(emrText + EmrText::DxOffset);
    auto text = r.Span32(offString, std::uint64_t(count) * (wide ? 2 : 1));
    std::vector<double> dx;
    if (offDx != 0 && r.Has(offDx, std::size_t(count) * 4)) {
        dx.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) dx.push_back(r.I32(offDx + 4 * i));
    }
    TDecodedText decoded = wide ? DecodeUtf16Text(text, dx) : DecodeCharsetText(text, canvas.CurrentCharset(), dx);
    canvas.TextOut(at, decoded.Text, decoded.Advances, options, &rect);
}

std::shared_ptr<const TBitmap> TEmfPlayer::RecordDib(const TRecordReader& r, std::size_t at) const
{
    std::uint32_t offBmi = r.U32(at + Dib::BmiOffset), cbBmi = r.U32(at + Dib::BmiSize);
    std::uint32_t offBits = r.U32(at + Dib::BitsOffset), cbBits = r.U32(at + Dib::BitsSize);
    if (cbBmi == 0) return nullptr;
    return DecodeRecordBitmap(r.Span32(offBmi, cbBmi), r.Span32(offBits, cbBits));
}

TRegion TEmfPlayer::Region(const TRecordReader& r, std::size_t offset, std::uint32_t size) const
{
    // Rectangles in device units.
    auto data = r.Span32(static_cast<std::uint32_t>(offset), size);
    TRecordReader rd(data, "EMF region");
    if (size < RegionData::Size) return {};
    std::uint32_t count = rd.U32(RegionData::Count);
    rd.Span32(RegionData::Rects, std::uint64_t(count) * 16);
    TRegion region;
    region.Rects.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) region.Rects[i] = RectL(rd, RegionData::Rects + 16 * i);
    return region;
}

// ---- Handlers, one per record type or per group of records that share a
// layout; those that mean the same as in WMF are in SharedRecords.h ----

template <bool Polygon, class P>
void PlayPolyPoly(TEmfPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    std::uint32_t figures = r.U32(PolyPoly::Figures);
    std::uint32_t total = r.U32(PolyPoly::Count);
    r.Span32(PolyPoly::FigureCounts, std::uint64_t(figures) * 4);
    std::vector<TPoint> pts = ReadPoints<P>(r, PolyPoly::FigureCounts + std::size_t(figures) * 4, total);
    std::vector<std::vector<TPoint>> all;
    std::size_t next = 0;
    for (std::uint32_t i = 0; i < figures; ++i) {
        std::uint32_t n = r.U32(PolyPoly::FigureCounts + 4 * i);
        if (n > pts.size() - next) r.Fail("Polygon point counts exceed the record's points");
        all.emplace_back(pts.begin() + next, pts.begin() + next + n);
        next += n;
    }
    if (Polygon) c.PolyPolygon(all);
    else c.PolyPolyline(all);
}

template <class P>
void PlayPolyDraw(TEmfPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    std::uint32_t count = r.U32(Poly::Count);
    std::vector<TPoint> pts = ReadPoints<P>(r, Poly::Points, count);
    auto types = r.Span32(static_cast<std::uint32_t>(Poly::Points + pts.size() * P::Bytes), count);
    c.PolyDraw(pts, {types.begin(), types.end()});
}

void PlaySetWorldTransform(TEmfPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    c.SetWorldTransform(XForm(r, SetWorldTransform::XForm));
}

void PlayModifyWorldTransform(TEmfPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    c.ModifyWorldTransform(XForm(r, ModifyWorldTransform::XForm), r.U32(ModifyWorldTransform::Mode));
}

void PlayCreatePen(TEmfPlayer& p, const TRecordReader& r, TGdiCanvas&)
{
    p.AddObject(r.U32(CreatePen::Index), ReadLogPen<TEmfFields, CreatePen>(r));
}

void PlayExtCreatePen(TEmfPlayer& p, const TRecordReader& r, TGdiCanvas&)
{
    TPen pen;
    pen.Style = r.U32(ExtCreatePen::Style);
    pen.Cosmetic = !(pen.Style & PS_GEOMETRIC);
    pen.Width = r.U32(ExtCreatePen::Width);
    if (r.U32(ExtCreatePen::BrushStyle) == BS_NULL) pen.Style = (pen.Style & ~PS_STYLE_MASK) | PS_NULL;
    pen.Color = TColor::FromColorRef(r.U32(ExtCreatePen::Color));
    std::uint32_t entries = r.U32(ExtCreatePen::StyleEntries);
    if ((pen.Style & PS_STYLE_MASK) == PS_USERSTYLE && entries <= 16 && r.Has(ExtCreatePen::StyleEntry, entries * 4))
        for (std::uint32_t i = 0; i < entries; ++i) pen.UserDashes.push_back(r.U32(ExtCreatePen::StyleEntry + 4 * i));
    p.AddObject(r.U32(ExtCreatePen::Index), pen);
}

void PlayCreateBrushIndirect(TEmfPlayer& p, const TRecordReader& r, TGdiCanvas&)
{
    p.AddObject(r.U32(CreateBrushIndirect::Index), ReadLogBrush<TEmfFields, CreateBrushIndirect>(r));
}

void PlayCreatePatternBrush(TEmfPlayer& p, const TRecordReader& r, TGdiCanvas&)
{
    TBrush brush;
    brush.Style = BS_DIBPATTERN;
    brush.Color = {0.5, 0.5, 0.5};
    brush.Pattern = p.RecordDib(r, CreatePatternBrush::Dib);
    p.AddObject(r.U32(CreatePatternBrush::Index), brush);
}

void PlayCreatePalette(TEmfPlayer& p, const TRecordReader& r, TGdiCanvas&)
{
    p.AddObject(r.U32(Value::Field), TOtherObject{});
}

void PlayCreateFont(TEmfPlayer& p, const TRecordReader& r, TGdiCanvas&)
{
    // The face name in UTF-16.
    TFont font = ReadLogFont<TEmfFields, CreateFont>(r);
    auto name = r.Span(CreateFont::FaceName, CreateFont::FaceNameBytes);
    std::size_t units = 0;
    while (units < CreateFont::FaceNameBytes / 2 && (name[2 * units] | name[2 * units + 1]) != 0) ++units;
    font.Face = ToUtf8(DecodeUtf16Text(name.first(2 * units), {}).Text);
    p.AddObject(r.U32(CreateFont::Index), font);
}

void PlayAngleArc(TEmfPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    TPoint center = PointL(r, AngleArc::Center);
    double radius = r.U32(AngleArc::Radius);
    double start = r.F32(AngleArc::StartAngle) * std::numbers::pi / 180;
    double sweep = r.F32(AngleArc::SweepAngle) * std::numbers::pi / 180;
    if (!std::isfinite(start) || !std::isfinite(sweep)) return;
    TRect box{center.X - radius, center.Y - radius, center.X + radius, center.Y + radius};
    TPoint from{center.X + radius * std::cos(start), center.Y - radius * std::sin(start)};
    TPoint to{center.X + radius * std::cos(start + sweep), center.Y - radius * std::sin(start + sweep)};
    c.SetArcDirection(sweep < 0 ? 2 : 1);
    c.Arc(TGdiCanvas::TArcKind::ArcTo, box, from, to);
}

void PlayExtSelectClipRgn(TEmfPlayer& p, const TRecordReader& r, TGdiCanvas& c)
{
    std::uint32_t size = r.U32(ExtSelectClipRgn::RegionSize);
    int mode = static_cast<int>(r.U32(ExtSelectClipRgn::Mode));
    if (size == 0) {
        if (mode == RGN_COPY) c.ResetClip();
        return;
    }
    c.SelectClipRegion(p.Region(r, ExtSelectClipRgn::Region, size), mode);
}

void PlayFillRgn(TEmfPlayer& p, const TRecordReader& r, TGdiCanvas& c)
{
    TRegion region = p.Region(r, FillRgn::Region, r.U32(FillRgn::RegionSize));
    if (const TBrush* brush = p.Brush(r.U32(FillRgn::Brush))) c.FillRegion(region, *brush);
}

void PlayFrameRgn(TEmfPlayer& p, const TRecordReader& r, TGdiCanvas& c)
{
    TRegion region = p.Region(r, FrameRgn::Region, r.U32(FrameRgn::RegionSize));
    if (const TBrush* brush = p.Brush(r.U32(FrameRgn::Brush)))
        c.FrameRegion(region, *brush, r.I32(FrameRgn::Width), r.I32(FrameRgn::Height));
}

void PlayPaintRgn(TEmfPlayer& p, const TRecordReader& r, TGdiCanvas& c)
{
    c.FillRegion(p.Region(r, PaintRgn::Region, r.U32(PaintRgn::RegionSize)), c.CurrentBrush());
}

void PlayInvertRgn(TEmfPlayer& p, const TRecordReader& r, TGdiCanvas& c)
{
    c.InvertRegion(p.Region(r, PaintRgn::Region, r.U32(PaintRgn::RegionSize)));
}

template <bool Wide>
void PlayExtTextOut(TEmfPlayer& p, const TRecordReader& r, TGdiCanvas& c)
{
    // Text records carry the graphics mode they were drawn in.
    c.SetTextGraphicsMode(static_cast<int>(r.U32(ExtTextOut::GraphicsMode)));
    p.Text(r, ExtTextOut::Text, Wide, c);
}

template <bool Wide>
void PlayPolyTextOut(TEmfPlayer& p, const TRecordReader& r, TGdiCanvas& c)
{
    c.SetTextGraphicsMode(static_cast<int>(r.U32(PolyTextOut::GraphicsMode)));
    std::uint32_t strings = r.U32(PolyTextOut::Strings);
    r.Span32(PolyTextOut::Texts, std::uint64_t(strings) * EmrText::Size);
    for (std::uint32_t i = 0; i < strings; ++i) p.Text(r, PolyTextOut::Texts + std::size_t(i) * EmrText::Size, Wide, c);
}

void PlaySmallTextOut(TEmfPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    c.SetTextGraphicsMode(static_cast<int>(r.U32(SmallTextOut::GraphicsMode)));
    // 8-bit characters under SmallChars, else UTF-16.
    TPoint at = PointL(r, SmallTextOut::Reference);
    std::uint32_t count = r.U32(SmallTextOut::Chars);
    std::uint32_t options = r.U32(SmallTextOut::Options);
    std::optional<TRect> rect;
    std::size_t offString = SmallTextOut::Rest;
    if (!(options & SmallTextOut::NoRect)) {
        rect = RectL(r, SmallTextOut::Rest);
        offString = SmallTextOut::Rest + 16;
    }
    bool small = options & SmallTextOut::SmallChars;
    auto text = r.Span32(static_cast<std::uint32_t>(offString), std::uint64_t(count) * (small ? 1 : 2));
    TDecodedText decoded = small ? DecodeCharsetText(text, c.CurrentCharset(), {}) : DecodeUtf16Text(text, {});
    c.TextOut(at, decoded.Text, {}, options & ~(SmallTextOut::NoRect | SmallTextOut::SmallChars),
              rect ? &*rect : nullptr);
}

void PlayGradientFill(TEmfPlayer&, const TRecordReader& r, TGdiCanvas& c)
{
    // The vertexes (alpha is ignored), then per shape two (rectangles) or
    // three (triangles) vertex indexes.
    enum : std::uint32_t { RectH = 0, RectV = 1, Triangle = 2 };
    std::uint32_t vertexes = r.U32(GradientFill::Vertexes), shapes = r.U32(GradientFill::Shapes);
    std::uint32_t mode = r.U32(GradientFill::Mode);
    if (mode > Triangle) return;
    std::uint32_t corners = mode == Triangle ? 3 : 2;
    r.Span32(GradientFill::Vertex, std::uint64_t(vertexes) * GradientFill::VertexSize);
    std::size_t indexes = GradientFill::Vertex + std::size_t(vertexes) * GradientFill::VertexSize;
    r.Span32(static_cast<std::uint32_t>(std::min<std::size_t>(indexes, 0xFFFFFFFF)),
             std::uint64_t(shapes) * corners * 4);
    auto vertex = [&](std::uint32_t i) {
        std::size_t at = GradientFill::Vertex + std::size_t(i) * GradientFill::VertexSize;
        auto channel = [&](std::size_t o) { return (r.U16(at + o) >> 8) / 255.0; };
        return TGradientVertex{PointL(r, at), {channel(8), channel(10), channel(12)}};
    };
    for (std::uint32_t s = 0; s < shapes; ++s) {
        std::uint32_t v[3] = {};
        for (std::uint32_t k = 0; k < corners; ++k) v[k] = r.U32(indexes + (std::size_t(s) * corners + k) * 4);
        if (v[0] >= vertexes || v[1] >= vertexes || (mode == Triangle && v[2] >= vertexes))
            r.Fail("Gradient vertex index out of range");
        if (mode == Triangle) c.GradientTriangle(vertex(v[0]), vertex(v[1]), vertex(v[2]));
        else c.GradientRect(vertex(v[0]), vertex(v[1]), mode == RectV);
    }
}

template <bool Stretch>
void PlayBitBlt(TEmfPlayer& p, const TRecordReader& r, TGdiCanvas& c)
{
    TRect dest = RectAt(r.I32(BitBlt::XDest), r.I32(BitBlt::YDest), r.I32(BitBlt::CxDest), r.I32(BitBlt::CyDest));
    std::uint32_t rop = r.U32(BitBlt::Rop);
    // Without a source bitmap the record is a pattern fill.
    if (r.U32(BitBlt::Dib + Dib::BmiSize) == 0) {
        c.PatBlt(dest, rop);
        return;
    }
    auto bmp = p.RecordDib(r, BitBlt::Dib);
    if (!bmp) return;
    double sw = Stretch ? r.I32(StretchBlt::CxSrc) : dest.Right - dest.Left;
    double sh = Stretch ? r.I32(StretchBlt::CySrc) : dest.Bottom - dest.Top;
    c.DrawBitmap(dest, *bmp, RectAt(r.I32(BitBlt::XSrc), r.I32(BitBlt::YSrc), sw, sh), rop);
}

// ALPHABLEND and TRANSPARENTBLT: drawn as plain stretched copies.
template <bool Alpha>
void PlayBlendBlt(TEmfPlayer& p, const TRecordReader& r, TGdiCanvas& c)
{
    auto bmp = p.RecordDib(r, BitBlt::Dib);
    if (!bmp) return;
    p.tally_.Approximated(Alpha ? "blend function ignored" : "transparent colour ignored");
    c.DrawBitmap(RectAt(r.I32(BitBlt::XDest), r.I32(BitBlt::YDest), r.I32(BitBlt::CxDest), r.I32(BitBlt::CyDest)), *bmp,
                 RectAt(r.I32(BitBlt::XSrc), r.I32(BitBlt::YSrc), r.I32(StretchBlt::CxSrc), r.I32(StretchBlt::CySrc)));
}

void PlayStretchDIBits(TEmfPlayer& p, const TRecordReader& r, TGdiCanvas& c)
{
    using L = StretchDIBits;
    auto bmp = p.RecordDib(r, L::Dib);
    if (!bmp) return;
    c.DrawBitmap(RectAt(r.I32(L::XDest), r.I32(L::YDest), r.I32(L::CxDest), r.I32(L::CyDest)), *bmp,
                 RectAt(r.I32(L::XSrc), r.I32(L::YSrc), r.I32(L::CxSrc), r.I32(L::CySrc)), r.U32(L::Rop));
}

void PlaySetDIBitsToDevice(TEmfPlayer& p, const TRecordReader& r, TGdiCanvas& c)
{
    using L = SetDIBitsToDevice;
    auto bmp = p.RecordDib(r, L::Dib);
    if (!bmp) return;
    double w = r.I32(L::CxSrc), h = r.I32(L::CySrc);
    c.DrawBitmap(RectAt(r.I32(L::XDest), r.I32(L::YDest), w, h), *bmp, RectAt(r.I32(L::XSrc), r.I32(L::YSrc), w, h));
}

using TArc = TGdiCanvas::TArcKind;

// clang-format off
const THandler Handlers[] = {
    {EMR_POLYBEZIER, "EMR_POLYBEZIER", Poly::Size, PlayPoly<TEmfFields, Poly, TPointL, &TGdiCanvas::PolyBezier>},
    {EMR_POLYGON, "EMR_POLYGON", Poly::Size, PlayPoly<TEmfFields, Poly, TPointL, &TGdiCanvas::Polygon>},
    {EMR_POLYLINE, "EMR_POLYLINE", Poly::Size, PlayPoly<TEmfFields, Poly, TPointL, &TGdiCanvas::Polyline>},
    {EMR_POLYBEZIERTO, "EMR_POLYBEZIERTO", Poly::Size, PlayPoly<TEmfFields, Poly, TPointL, &TGdiCanvas::PolyBezierTo>},
    {EMR_POLYLINETO, "EMR_POLYLINETO", Poly::Size, PlayPoly<TEmfFields, Poly, TPointL, &TGdiCanvas::PolylineTo>},
    {EMR_POLYPOLYLINE, "EMR_POLYPOLYLINE", PolyPoly::Size, PlayPolyPoly<false, TPointL>},
    {EMR_POLYPOLYGON, "EMR_POLYPOLYGON", PolyPoly::Size, PlayPolyPoly<true, TPointL>},
    {EMR_SETWINDOWEXTEX, "EMR_SETWINDOWEXTEX", Pair::Size, PlayPair<TEmfFields, Pair, &TGdiCanvas::SetWindowExt>},
    {EMR_SETWINDOWORGEX, "EMR_SETWINDOWORGEX", Pair::Size, PlayPair<TEmfFields, Pair, &TGdiCanvas::SetWindowOrg>},
    {EMR_SETVIEWPORTEXTEX, "EMR_SETVIEWPORTEXTEX", Pair::Size, PlayPair<TEmfFields, Pair, &TGdiCanvas::SetViewportExt>},
    {EMR_SETVIEWPORTORGEX, "EMR_SETVIEWPORTORGEX", Pair::Size, PlayPair<TEmfFields, Pair, &TGdiCanvas::SetViewportOrg>},
    {EMR_SETBRUSHORGEX, "EMR_SETBRUSHORGEX", Pair::Size, nullptr},
    {EMR_SETPIXELV, "EMR_SETPIXELV", SetPixelV::Size, PlaySetPixel<TEmfFields, SetPixelV>},
    {EMR_SETMAPPERFLAGS, "EMR_SETMAPPERFLAGS", Value::Size, nullptr},
    {EMR_SETMAPMODE, "EMR_SETMAPMODE", Value::Size, PlayValue<TEmfFields, Value, int, &TGdiCanvas::SetMapMode>},
    {EMR_SETBKMODE, "EMR_SETBKMODE", Value::Size, PlayValue<TEmfFields, Value, int, &TGdiCanvas::SetBkMode>},
    {EMR_SETPOLYFILLMODE, "EMR_SETPOLYFILLMODE", Value::Size, PlayValue<TEmfFields, Value, int, &TGdiCanvas::SetPolyFillMode>},
    {EMR_SETROP2, "EMR_SETROP2", Value::Size, PlayValue<TEmfFields, Value, int, &TGdiCanvas::SetROP2>},
    {EMR_SETSTRETCHBLTMODE, "EMR_SETSTRETCHBLTMODE", Value::Size, nullptr},
    {EMR_SETTEXTALIGN, "EMR_SETTEXTALIGN", Value::Size, PlayValue<TEmfFields, Value, std::uint32_t, &TGdiCanvas::SetTextAlign>},
    {EMR_SETCOLORADJUSTMENT, "EMR_SETCOLORADJUSTMENT", Record::Size, nullptr},
    {EMR_SETTEXTCOLOR, "EMR_SETTEXTCOLOR", Color::Size, PlayColor<Color, &TGdiCanvas::SetTextColor>},
    {EMR_SETBKCOLOR, "EMR_SETBKCOLOR", Color::Size, PlayColor<Color, &TGdiCanvas::SetBkColor>},
    {EMR_OFFSETCLIPRGN, "EMR_OFFSETCLIPRGN", Pair::Size, PlayPair<TEmfFields, Pair, &TGdiCanvas::OffsetClip>},
    {EMR_MOVETOEX, "EMR_MOVETOEX", Pair::Size, PlayPoint<TEmfFields, Pair, &TGdiCanvas::MoveTo>},
    {EMR_SETMETARGN, "EMR_SETMETARGN", Record::Size, nullptr},
    {EMR_EXCLUDECLIPRECT, "EMR_EXCLUDECLIPRECT", Rect::Size, PlayBox<TEmfFields, Rect, &TGdiCanvas::ExcludeClipRect>},
    {EMR_INTERSECTCLIPRECT, "EMR_INTERSECTCLIPRECT", Rect::Size, PlayBox<TEmfFields, Rect, &TGdiCanvas::IntersectClipRect>},
    {EMR_SCALEVIEWPORTEXTEX, "EMR_SCALEVIEWPORTEXTEX", Scale::Size, PlayScale<TEmfFields, Scale, &TGdiCanvas::ScaleViewportExt>},
    {EMR_SCALEWINDOWEXTEX, "EMR_SCALEWINDOWEXTEX", Scale::Size, PlayScale<TEmfFields, Scale, &TGdiCanvas::ScaleWindowExt>},
    {EMR_SAVEDC, "EMR_SAVEDC", Record::Size, PlayAction<&TGdiCanvas::SaveDC>},
    {EMR_RESTOREDC, "EMR_RESTOREDC", Value::Size, PlayRestoreDC<TEmfFields, Value>},
    {EMR_SETWORLDTRANSFORM, "EMR_SETWORLDTRANSFORM", SetWorldTransform::Size, PlaySetWorldTransform},
    {EMR_MODIFYWORLDTRANSFORM, "EMR_MODIFYWORLDTRANSFORM", ModifyWorldTransform::Size, PlayModifyWorldTransform},
    {EMR_SELECTOBJECT, "EMR_SELECTOBJECT", Value::Size, PlaySelectObject<TEmfFields, Value>},
    {EMR_CREATEPEN, "EMR_CREATEPEN", CreatePen::Size, PlayCreatePen},
    {EMR_CREATEBRUSHINDIRECT, "EMR_CREATEBRUSHINDIRECT", CreateBrushIndirect::Size, PlayCreateBrushIndirect},
    {EMR_DELETEOBJECT, "EMR_DELETEOBJECT", Value::Size, PlayDeleteObject<TEmfFields, Value>},
    {EMR_ANGLEARC, "EMR_ANGLEARC", AngleArc::Size, PlayAngleArc},
    {EMR_ELLIPSE, "EMR_ELLIPSE", Rect::Size, PlayBox<TEmfFields, Rect, &TGdiCanvas::Ellipse>},
    {EMR_RECTANGLE, "EMR_RECTANGLE", Rect::Size, PlayBox<TEmfFields, Rect, &TGdiCanvas::Rectangle>},
    {EMR_ROUNDRECT, "EMR_ROUNDRECT", RoundRect::Size, PlayRoundRect<TEmfFields, RoundRect>},
    {EMR_ARC, "EMR_ARC", Arc::Size, PlayArc<TEmfFields, Arc, TArc::Arc>},
    {EMR_CHORD, "EMR_CHORD", Arc::Size, PlayArc<TEmfFields, Arc, TArc::Chord>},
    {EMR_PIE, "EMR_PIE", Arc::Size, PlayArc<TEmfFields, Arc, TArc::Pie>},
    {EMR_SELECTPALETTE, "EMR_SELECTPALETTE", Value::Size, nullptr},
    {EMR_CREATEPALETTE, "EMR_CREATEPALETTE", Value::Size, PlayCreatePalette},
    {EMR_SETPALETTEENTRIES, "EMR_SETPALETTEENTRIES", Record::Size, nullptr},
    {EMR_RESIZEPALETTE, "EMR_RESIZEPALETTE", Record::Size, nullptr},
    {EMR_REALIZEPALETTE, "EMR_REALIZEPALETTE", Record::Size, nullptr},
    {EMR_EXTFLOODFILL, "EMR_EXTFLOODFILL", ExtFloodFill::Size, PlayExtFloodFill<TEmfFields, ExtFloodFill>},
    {EMR_LINETO, "EMR_LINETO", Pair::Size, PlayPoint<TEmfFields, Pair, &TGdiCanvas::LineTo>},
    {EMR_ARCTO, "EMR_ARCTO", Arc::Size, PlayArc<TEmfFields, Arc, TArc::ArcTo>},
    {EMR_POLYDRAW, "EMR_POLYDRAW", Poly::Size, PlayPolyDraw<TPointL>},
    {EMR_SETARCDIRECTION, "EMR_SETARCDIRECTION", Value::Size, PlayValue<TEmfFields, Value, int, &TGdiCanvas::SetArcDirection>},
    {EMR_SETMITERLIMIT, "EMR_SETMITERLIMIT", Value::Size, PlayValue<TEmfFields, Value, double, &TGdiCanvas::SetMiterLimit>},
    {EMR_BEGINPATH, "EMR_BEGINPATH", Record::Size, PlayAction<&TGdiCanvas::BeginPath>},
    {EMR_ENDPATH, "EMR_ENDPATH", Record::Size, PlayAction<&TGdiCanvas::EndPath>},
    {EMR_CLOSEFIGURE, "EMR_CLOSEFIGURE", Record::Size, PlayAction<&TGdiCanvas::CloseFigure>},
    {EMR_FILLPATH, "EMR_FILLPATH", Record::Size, PlayAction<&TGdiCanvas::FillPath>},
    {EMR_STROKEANDFILLPATH, "EMR_STROKEANDFILLPATH", Record::Size, PlayAction<&TGdiCanvas::StrokeAndFillPath>},
    {EMR_STROKEPATH, "EMR_STROKEPATH", Record::Size, PlayAction<&TGdiCanvas::StrokePath>},
    // cairo draws curves flat itself: the path stays as it is.
    {EMR_FLATTENPATH, "EMR_FLATTENPATH", Record::Size, nullptr},
    {EMR_WIDENPATH, "EMR_WIDENPATH", Record::Size, PlayAction<&TGdiCanvas::WidenPath>},
    {EMR_SELECTCLIPPATH, "EMR_SELECTCLIPPATH", Value::Size, PlayValue<TEmfFields, Value, int, &TGdiCanvas::SelectClipPath>},
    {EMR_ABORTPATH, "EMR_ABORTPATH", Record::Size, PlayAction<&TGdiCanvas::AbortPath>},
    // Comments, EMF+ included.
    {EMR_GDICOMMENT, "EMR_GDICOMMENT", Record::Size, nullptr},
    {EMR_FILLRGN, "EMR_FILLRGN", FillRgn::Size, PlayFillRgn},
    {EMR_FRAMERGN, "EMR_FRAMERGN", FrameRgn::Size, PlayFrameRgn},
    {EMR_INVERTRGN, "EMR_INVERTRGN", PaintRgn::Size, PlayInvertRgn},
    {EMR_PAINTRGN, "EMR_PAINTRGN", PaintRgn::Size, PlayPaintRgn},
    {EMR_EXTSELECTCLIPRGN, "EMR_EXTSELECTCLIPRGN", ExtSelectClipRgn::Size, PlayExtSelectClipRgn},
    {EMR_BITBLT, "EMR_BITBLT", BitBlt::Size, PlayBitBlt<false>},
    {EMR_STRETCHBLT, "EMR_STRETCHBLT", StretchBlt::Size, PlayBitBlt<true>},
    {EMR_MASKBLT, "EMR_MASKBLT", Record::Size, PlayUnsupported},
    {EMR_PLGBLT, "EMR_PLGBLT", Record::Size, PlayUnsupported},
    {EMR_SETDIBITSTODEVICE, "EMR_SETDIBITSTODEVICE", SetDIBitsToDevice::Size, PlaySetDIBitsToDevice},
    {EMR_STRETCHDIBITS, "EMR_STRETCHDIBITS", StretchDIBits::Size, PlayStretchDIBits},
    {EMR_EXTCREATEFONTINDIRECTW, "EMR_EXTCREATEFONTINDIRECTW", CreateFont::Size, PlayCreateFont},
    {EMR_EXTTEXTOUTA, "EMR_EXTTEXTOUTA", ExtTextOut::Size, PlayExtTextOut<false>},
    {EMR_EXTTEXTOUTW, "EMR_EXTTEXTOUTW", ExtTextOut::Size, PlayExtTextOut<true>},
    {EMR_POLYBEZIER16, "EMR_POLYBEZIER16", Poly::Size, PlayPoly<TEmfFields, Poly, TPointS, &TGdiCanvas::PolyBezier>},
    {EMR_POLYGON16, "EMR_POLYGON16", Poly::Size, PlayPoly<TEmfFields, Poly, TPointS, &TGdiCanvas::Polygon>},
    {EMR_POLYLINE16, "EMR_POLYLINE16", Poly::Size, PlayPoly<TEmfFields, Poly, TPointS, &TGdiCanvas::Polyline>},
    {EMR_POLYBEZIERTO16, "EMR_POLYBEZIERTO16", Poly::Size, PlayPoly<TEmfFields, Poly, TPointS, &TGdiCanvas::PolyBezierTo>},
    {EMR_POLYLINETO16, "EMR_POLYLINETO16", Poly::Size, PlayPoly<TEmfFields, Poly, TPointS, &TGdiCanvas::PolylineTo>},
    {EMR_POLYPOLYLINE16, "EMR_POLYPOLYLINE16", PolyPoly::Size, PlayPolyPoly<false, TPointS>},
    {EMR_POLYPOLYGON16, "EMR_POLYPOLYGON16", PolyPoly::Size, PlayPolyPoly<true, TPointS>},
    {EMR_POLYDRAW16, "EMR_POLYDRAW16", Poly::Size, PlayPolyDraw<TPointS>},
    {EMR_CREATEMONOBRUSH, "EMR_CREATEMONOBRUSH", CreatePatternBrush::Size, PlayCreatePatternBrush},
    {EMR_CREATEDIBPATTERNBRUSHPT, "EMR_CREATEDIBPATTERNBRUSHPT", CreatePatternBrush::Size, PlayCreatePatternBrush},
    {EMR_EXTCREATEPEN, "EMR_EXTCREATEPEN", ExtCreatePen::Size, PlayExtCreatePen},
    {EMR_POLYTEXTOUTA, "EMR_POLYTEXTOUTA", PolyTextOut::Size, PlayPolyTextOut<false>},
    {EMR_POLYTEXTOUTW, "EMR_POLYTEXTOUTW", PolyTextOut::Size, PlayPolyTextOut<true>},
    {EMR_SETICMMODE, "EMR_SETICMMODE", Value::Size, nullptr},
    {EMR_CREATECOLORSPACE, "EMR_CREATECOLORSPACE", Record::Size, nullptr},
    {EMR_SETCOLORSPACE, "EMR_SETCOLORSPACE", Record::Size, nullptr},
    {EMR_DELETECOLORSPACE, "EMR_DELETECOLORSPACE", Record::Size, nullptr},
    {EMR_GLSRECORD, "EMR_GLSRECORD", Record::Size, PlayUnsupported},
    {EMR_GLSBOUNDEDRECORD, "EMR_GLSBOUNDEDRECORD", Record::Size, PlayUnsupported},
    {EMR_PIXELFORMAT, "EMR_PIXELFORMAT", Record::Size, nullptr},
    // Escapes pass data to a printer driver.
    {EMR_DRAWESCAPE, "EMR_DRAWESCAPE", Record::Size, nullptr},
    {EMR_EXTESCAPE, "EMR_EXTESCAPE", Record::Size, nullptr},
    {EMR_NAMEDESCAPE, "EMR_NAMEDESCAPE", Record::Size, nullptr},
    {EMR_SMALLTEXTOUT, "EMR_SMALLTEXTOUT", SmallTextOut::Size, PlaySmallTextOut},
    {EMR_FORCEUFIMAPPING, "EMR_FORCEUFIMAPPING", Record::Size, nullptr},
    {EMR_COLORCORRECTPALETTE, "EMR_COLORCORRECTPALETTE", Record::Size, nullptr},
    {EMR_SETICMPROFILEA, "EMR_SETICMPROFILEA", Record::Size, nullptr},
    {EMR_SETICMPROFILEW, "EMR_SETICMPROFILEW", Record::Size, nullptr},
    {EMR_ALPHABLEND, "EMR_ALPHABLEND", StretchBlt::Size, PlayBlendBlt<true>},
    {EMR_SETLAYOUT, "EMR_SETLAYOUT", Value::Size, PlayUnsupported},
    {EMR_TRANSPARENTBLT, "EMR_TRANSPARENTBLT", StretchBlt::Size, PlayBlendBlt<false>},
    {EMR_GRADIENTFILL, "EMR_GRADIENTFILL", GradientFill::Size, PlayGradientFill},
    {EMR_SETLINKEDUFIS, "EMR_SETLINKEDUFIS", Record::Size, nullptr},
    {EMR_SETTEXTJUSTIFICATION, "EMR_SETTEXTJUSTIFICATION", Record::Size, PlayUnsupported},
    {EMR_COLORMATCHTOTARGETW, "EMR_COLORMATCHTOTARGETW", Record::Size, nullptr},
    {EMR_CREATECOLORSPACEW, "EMR_CREATECOLORSPACEW", Record::Size, nullptr},
};
// clang-format on

// Whether the header holds the reference device's size in micrometres. The
// later fields follow the 88-byte base only in headers written with them:
// an older header keeps its description (or a pixel format) right after the
// base, within the record, so a field counts only where the record is long
// enough and neither of those lies over it.
bool HeaderHasMicrometres(const TRecordReader& file, std::uint32_t headerSize)
{
    std::uint64_t end = headerSize;
    auto cutAt = [&](std::size_t offsetField, std::uint64_t bytes) {
        std::uint32_t offset = file.U32(offsetField);
        if (bytes > 0 && offset >= Header::Size) end = std::min<std::uint64_t>(end, offset);
    };
    cutAt(Header::DescriptionOffset, std::uint64_t(file.U32(Header::DescriptionChars)) * 2);
    if (end < Header::Extension1End) return false;
    cutAt(Header::PixelFormatOffset, file.U32(Header::PixelFormatSize));
    return end >= Header::Extension2End;
}

TBitmap TEmfPlayer::Play()
{
    TRecordReader file(bytes_, "EMF header");
    if (!file.Has(0, Header::Size) || file.U32(Header::Type) != EMR_HEADER ||
        file.U32(Header::RecordSignature) != Signature)
        file.Fail("Not a metafile: no EMF header");
    std::uint32_t headerSize = file.U32(Header::HeaderSize);
    if (headerSize < Header::Size || headerSize > bytes_.size())
        file.Fail("EMF header size " + std::to_string(headerSize) + " does not fit the file");
    TRect frame = RectL(file, Header::Frame); // hundredths of a millimetre
    handleCount_ = file.U16(Header::Handles);
    double devW = file.I32(Header::DevicePixels), devH = file.I32(Header::DevicePixels + 4);
    double mmW = file.I32(Header::DeviceMillimetres), mmH = file.I32(Header::DeviceMillimetres + 4);
    if (HeaderHasMicrometres(file, headerSize) && file.I32(Header::DeviceMicrometres) > 0 &&
        file.I32(Header::DeviceMicrometres + 4) > 0) {
        mmW = file.I32(Header::DeviceMicrometres) / 1000.0; // the reference device in micrometres, more precise
        mmH = file.I32(Header::DeviceMicrometres + 4) / 1000.0;
    }
    // Device pixels per millimetre; a header without a reference device is taken as 96 dpi.
    double pxPerMmX = devW > 0 && mmW > 0 ? devW / mmW : 96 / 25.4;
    double pxPerMmY = devH > 0 && mmH > 0 ? devH / mmH : 96 / 25.4;

    double widthMm = (frame.Right - frame.Left) / 100, heightMm = (frame.Bottom - frame.Top) / 100;
    double width = widthMm * 96 / 25.4, height = heightMm * 96 / 25.4;
    TOutputSurface output(width, height, limit_, file);
    // Device units (reference-device pixels) to output pixels at 96 dpi,
    // with the frame's top-left corner at the origin.
    double sx = 96 / 25.4 / pxPerMmX, sy = 96 / 25.4 / pxPerMmY;
    cairo_matrix_t deviceToOutput{sx, 0, 0, sy, -frame.Left / 100 * 96 / 25.4, -frame.Top / 100 * 96 / 25.4};
    {
        TGdiCanvas canvas(output.Cairo(), deviceToOutput, std::sqrt(pxPerMmX * pxPerMmY), tally_);
        std::size_t offset = headerSize;
        std::size_t index = 1;
        while (offset + Record::Size <= bytes_.size()) {
            TRecordReader head(bytes_.subspan(offset, Record::Size), "", "EMF", index, offset);
            std::uint32_t type = head.U32(Record::Type);
            std::uint32_t size = head.U32(Record::RecordSize);
            if (size < Record::Size)
                head.Fail("EMF record of " + std::to_string(size) + " bytes, shorter than its own header");
            if (size > bytes_.size() - offset)
                head.Fail("EMF record of " + std::to_string(size) + " bytes runs past the end of the file");
            if (type == EMR_EOF) break;
            if (const THandler* handler = FindHandler(Handlers, type)) {
                TRecordReader r(bytes_.subspan(offset, size), handler->Name, "EMF", index, offset);
                PlayRecord(*handler, *this, r, canvas, tally_);
            } else {
                tally_.Skipped("EMF type " + std::to_string(type), "unknown record type");
            }
            offset += size;
            ++index;
        }
    }
    TBitmap bitmap = output.Take();
    bitmap.Notes = tally_.Notes();
    return bitmap;
}

} // namespace

TBitmap PlayEmf(std::span<const unsigned char> bytes, TDecodeLimit limit) { return TEmfPlayer(bytes, limit).Play(); }

} // namespace mirt::metafile
