// Enhanced metafiles (EMF). EMF+ records live in comment records and are
// skipped; the plain records that follow them are drawn.
#include "platform/metafile/GdiCanvas.h"
#include "platform/metafile/MetafileText.h"
#include "platform/metafile/Players.h"
#include "platform/metafile/RecordReader.h"

#include <cmath>
#include <map>
#include <numbers>
#include <optional>

namespace mirt::metafile {

namespace {

constexpr std::uint32_t EmfSignature = 0x464D4520; // " EMF"

enum : std::uint32_t {
    EMR_HEADER = 1,
    EMR_POLYBEZIER = 2,
    EMR_POLYGON = 3,
    EMR_POLYLINE = 4,
    EMR_POLYBEZIERTO = 5,
    EMR_POLYLINETO = 6,
    EMR_POLYPOLYLINE = 7,
    EMR_POLYPOLYGON = 8,
    EMR_SETWINDOWEXTEX = 9,
    EMR_SETWINDOWORGEX = 10,
    EMR_SETVIEWPORTEXTEX = 11,
    EMR_SETVIEWPORTORGEX = 12,
    EMR_EOF = 14,
    EMR_SETPIXELV = 15,
    EMR_SETMAPMODE = 17,
    EMR_SETBKMODE = 18,
    EMR_SETPOLYFILLMODE = 19,
    EMR_SETTEXTALIGN = 22,
    EMR_SETTEXTCOLOR = 24,
    EMR_SETBKCOLOR = 25,
    EMR_OFFSETCLIPRGN = 26,
    EMR_MOVETOEX = 27,
    EMR_EXCLUDECLIPRECT = 29,
    EMR_INTERSECTCLIPRECT = 30,
    EMR_SCALEVIEWPORTEXTEX = 31,
    EMR_SCALEWINDOWEXTEX = 32,
    EMR_SAVEDC = 33,
    EMR_RESTOREDC = 34,
    EMR_SETWORLDTRANSFORM = 35,
    EMR_MODIFYWORLDTRANSFORM = 36,
    EMR_SELECTOBJECT = 37,
    EMR_CREATEPEN = 38,
    EMR_CREATEBRUSHINDIRECT = 39,
    EMR_DELETEOBJECT = 40,
    EMR_ANGLEARC = 41,
    EMR_ELLIPSE = 42,
    EMR_RECTANGLE = 43,
    EMR_ROUNDRECT = 44,
    EMR_ARC = 45,
    EMR_CHORD = 46,
    EMR_PIE = 47,
    EMR_CREATEPALETTE = 49,
    EMR_LINETO = 54,
    EMR_ARCTO = 55,
    EMR_SETARCDIRECTION = 57,
    EMR_POLYDRAW = 56,
    EMR_SETMITERLIMIT = 58,
    EMR_BEGINPATH = 59,
    EMR_ENDPATH = 60,
    EMR_CLOSEFIGURE = 61,
    EMR_FILLPATH = 62,
    EMR_STROKEANDFILLPATH = 63,
    EMR_STROKEPATH = 64,
    EMR_FLATTENPATH = 65,
    EMR_WIDENPATH = 66,
    EMR_SELECTCLIPPATH = 67,
    EMR_ABORTPATH = 68,
    EMR_FILLRGN = 71,
    EMR_FRAMERGN = 72,
    EMR_INVERTRGN = 73,
    EMR_PAINTRGN = 74,
    EMR_EXTSELECTCLIPRGN = 75,
    EMR_BITBLT = 76,
    EMR_STRETCHBLT = 77,
    EMR_SETDIBITSTODEVICE = 80,
    EMR_STRETCHDIBITS = 81,
    EMR_EXTCREATEFONTINDIRECTW = 82,
    EMR_EXTTEXTOUTA = 83,
    EMR_EXTTEXTOUTW = 84,
    EMR_POLYBEZIER16 = 85,
    EMR_POLYGON16 = 86,
    EMR_POLYLINE16 = 87,
    EMR_POLYBEZIERTO16 = 88,
    EMR_POLYLINETO16 = 89,
    EMR_POLYPOLYLINE16 = 90,
    EMR_POLYPOLYGON16 = 91,
    EMR_POLYDRAW16 = 92,
    EMR_CREATEMONOBRUSH = 93,
    EMR_CREATEDIBPATTERNBRUSHPT = 94,
    EMR_EXTCREATEPEN = 95,
    EMR_POLYTEXTOUTA = 96,
    EMR_POLYTEXTOUTW = 97,
    EMR_SMALLTEXTOUT = 108,
    EMR_ALPHABLEND = 114,
    EMR_TRANSPARENTBLT = 116,
    EMR_GRADIENTFILL = 118,
};

constexpr std::uint32_t StockObject = 0x80000000;

class TEmfPlayer {
public:
    TEmfPlayer(std::span<const unsigned char> bytes, TDecodeLimit limit) : bytes_(bytes), limit_(limit) {}
    TBitmap Play();

private:
    void Draw(const TRecordReader& r, std::uint32_t type, TGdiCanvas& canvas);
    void Select(std::uint32_t index, TGdiCanvas& canvas);
    void AddObject(const TRecordReader& r, std::uint32_t index, TGdiObject object);
    std::vector<TPoint> Points(const TRecordReader& r, std::size_t offset, std::size_t count, bool small) const;
    void Poly(const TRecordReader& r, std::uint32_t type, TGdiCanvas& canvas);
    void PolyPoly(const TRecordReader& r, std::uint32_t type, TGdiCanvas& canvas);
    void Text(const TRecordReader& r, std::size_t emrText, bool wide, TGdiCanvas& canvas);
    void PolyText(const TRecordReader& r, bool wide, TGdiCanvas& canvas);
    void SmallText(const TRecordReader& r, TGdiCanvas& canvas);
    void PolyDraw(const TRecordReader& r, bool small, TGdiCanvas& canvas);
    void GradientFill(const TRecordReader& r, TGdiCanvas& canvas);
    void Blit(const TRecordReader& r, std::uint32_t type, TGdiCanvas& canvas);
    TRegion Region(const TRecordReader& r, std::size_t offset, std::uint32_t size) const;
    std::shared_ptr<const TBitmap> RecordDib(const TRecordReader& r, std::size_t at) const;

    std::span<const unsigned char> bytes_;
    TDecodeLimit limit_;
    std::uint32_t handleCount_ = 0;
    std::map<std::uint32_t, TGdiObject> objects_;
};

TPoint PointL(const TRecordReader& r, std::size_t at) { return {double(r.I32(at)), double(r.I32(at + 4))}; }
TRect RectL(const TRecordReader& r, std::size_t at)
{
    return {double(r.I32(at)), double(r.I32(at + 4)), double(r.I32(at + 8)), double(r.I32(at + 12))};
}
cairo_matrix_t XForm(const TRecordReader& r, std::size_t at)
{
    // GDI: x' = x eM11 + y eM21 + eDx, y' = x eM12 + y eM22 + eDy.
    return {r.F32(at), r.F32(at + 4), r.F32(at + 8), r.F32(at + 12), r.F32(at + 16), r.F32(at + 20)};
}

std::vector<TPoint> TEmfPlayer::Points(const TRecordReader& r, std::size_t offset, std::size_t count, bool small) const
{
    std::size_t each = small ? 4 : 8;
    r.Span32(static_cast<std::uint32_t>(offset), std::uint64_t(count) * each); // the whole run, before allocating
    std::vector<TPoint> pts(count);
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t at = offset + i * each;
        pts[i] = small ? TPoint{double(r.I16(at)), double(r.I16(at + 2))} : PointL(r, at);
    }
    return pts;
}

void TEmfPlayer::AddObject(const TRecordReader&, std::uint32_t index, TGdiObject object)
{
    // Index 0 is the metafile itself; indexes must lie below the header's count.
    if (index == 0 || index >= handleCount_) return;
    objects_[index] = std::move(object);
}

void TEmfPlayer::Select(std::uint32_t index, TGdiCanvas& canvas)
{
    if (index & StockObject) {
        TBrush brush;
        TPen pen;
        switch (index & ~StockObject) {
        case 0:
            brush.Color = {1, 1, 1};
            canvas.SelectBrush(brush);
            break; // WHITE_BRUSH
        case 1:
            brush.Color = {0.75, 0.75, 0.75};
            canvas.SelectBrush(brush);
            break;
        case 2:
            brush.Color = {0.5, 0.5, 0.5};
            canvas.SelectBrush(brush);
            break;
        case 3:
            brush.Color = {0.25, 0.25, 0.25};
            canvas.SelectBrush(brush);
            break;
        case 4:
            brush.Color = {0, 0, 0};
            canvas.SelectBrush(brush);
            break; // BLACK_BRUSH
        case 5:
            brush.Style = BS_NULL;
            canvas.SelectBrush(brush);
            break; // NULL_BRUSH
        case 6:
            pen.Color = {1, 1, 1};
            canvas.SelectPen(pen);
            break;                            // WHITE_PEN
        case 7: canvas.SelectPen(pen); break; // BLACK_PEN
        case 8:
            pen.Style = PS_NULL;
            canvas.SelectPen(pen);
            break; // NULL_PEN
        case 10:
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

void TEmfPlayer::Poly(const TRecordReader& r, std::uint32_t type, TGdiCanvas& canvas)
{
    bool small = type >= EMR_POLYBEZIER16;
    std::uint32_t base = small ? type - EMR_POLYBEZIER16 + EMR_POLYBEZIER : type;
    std::vector<TPoint> pts = Points(r, 28, r.U32(24), small);
    switch (base) {
    case EMR_POLYBEZIER: canvas.PolyBezier(pts); break;
    case EMR_POLYGON: canvas.Polygon(pts); break;
    case EMR_POLYLINE: canvas.Polyline(pts); break;
    case EMR_POLYBEZIERTO: canvas.PolyBezierTo(pts); break;
    case EMR_POLYLINETO: canvas.PolylineTo(pts); break;
    default: break;
    }
}

void TEmfPlayer::PolyPoly(const TRecordReader& r, std::uint32_t type, TGdiCanvas& canvas)
{
    bool small = type == EMR_POLYPOLYLINE16 || type == EMR_POLYPOLYGON16;
    std::uint32_t polys = r.U32(24);
    std::uint32_t total = r.U32(28);
    r.Span32(32, std::uint64_t(polys) * 4);
    std::size_t at = 32 + std::size_t(polys) * 4;
    std::vector<TPoint> pts = Points(r, at, total, small);
    std::vector<std::vector<TPoint>> all;
    std::size_t next = 0;
    for (std::uint32_t i = 0; i < polys; ++i) {
        std::uint32_t n = r.U32(32 + 4 * i);
        if (n > pts.size() - next) r.Fail("Polygon point counts exceed the record's points");
        all.emplace_back(pts.begin() + next, pts.begin() + next + n);
        next += n;
    }
    if (type == EMR_POLYPOLYGON || type == EMR_POLYPOLYGON16) canvas.PolyPolygon(all);
    else canvas.PolyPolyline(all);
}

void TEmfPlayer::Text(const TRecordReader& r, std::size_t emrText, bool wide, TGdiCanvas& canvas)
{
    // EMRTEXT: reference, count, string offset, options, rectangle, advances
    // offset; the offsets count from the record's start.
    TPoint at = PointL(r, emrText);
    std::uint32_t count = r.U32(emrText + 8);
    std::uint32_t offString = r.U32(emrText + 12);
    std::uint32_t options = r.U32(emrText + 16);
    TRect rect = RectL(r, emrText + 20);
    std::uint32_t offDx = r.U32(emrText + 36);
    auto text = r.Span32(offString, std::uint64_t(count) * (wide ? 2 : 1));
    std::vector<double> dx;
    if (offDx != 0 && r.Has(offDx, std::size_t(count) * 4)) {
        dx.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) dx.push_back(r.I32(offDx + 4 * i));
    }
    TDecodedText decoded = wide ? DecodeUtf16Text(text, dx) : DecodeCharsetText(text, canvas.CurrentCharset(), dx);
    canvas.TextOut(at, decoded.Text, decoded.Advances, options, &rect);
}

void TEmfPlayer::PolyText(const TRecordReader& r, bool wide, TGdiCanvas& canvas)
{
    // Bounds, graphics mode and scales, then a count of EMRTEXT of 40 bytes each.
    std::uint32_t strings = r.U32(36);
    r.Span32(40, std::uint64_t(strings) * 40);
    for (std::uint32_t i = 0; i < strings; ++i) Text(r, 40 + std::size_t(i) * 40, wide, canvas);
}

void TEmfPlayer::SmallText(const TRecordReader& r, TGdiCanvas& canvas)
{
    // Reference, count, options, graphics mode, scales, a rectangle unless
    // ETO_NO_RECT, then 8-bit characters under ETO_SMALL_CHARS, else UTF-16.
    constexpr std::uint32_t NoRect = 0x100, SmallChars = 0x200;
    TPoint at = PointL(r, 8);
    std::uint32_t count = r.U32(16);
    std::uint32_t options = r.U32(20);
    std::optional<TRect> rect;
    std::size_t offString = 36;
    if (!(options & NoRect)) {
        rect = RectL(r, 36);
        offString = 52;
    }
    bool small = options & SmallChars;
    auto text = r.Span32(static_cast<std::uint32_t>(offString), std::uint64_t(count) * (small ? 1 : 2));
    TDecodedText decoded = small ? DecodeCharsetText(text, canvas.CurrentCharset(), {}) : DecodeUtf16Text(text, {});
    canvas.TextOut(at, decoded.Text, {}, options & ~(NoRect | SmallChars), rect ? &*rect : nullptr);
}

void TEmfPlayer::PolyDraw(const TRecordReader& r, bool small, TGdiCanvas& canvas)
{
    // Bounds, a count, the points, then one type byte per point.
    std::uint32_t count = r.U32(24);
    std::vector<TPoint> pts = Points(r, 28, count, small);
    auto types = r.Span32(static_cast<std::uint32_t>(28 + pts.size() * (small ? 4 : 8)), count);
    canvas.PolyDraw(pts, {types.begin(), types.end()});
}

void TEmfPlayer::GradientFill(const TRecordReader& r, TGdiCanvas& canvas)
{
    // Bounds, vertex count, shape count, mode; the vertexes (position, then
    // 16-bit red, green, blue, alpha; alpha is ignored); then per shape two
    // (rectangles) or three (triangles) vertex indexes.
    enum : std::uint32_t { RectH = 0, RectV = 1, Triangle = 2 };
    std::uint32_t vertexes = r.U32(24), shapes = r.U32(28), mode = r.U32(32);
    if (mode > Triangle) return;
    std::uint32_t corners = mode == Triangle ? 3 : 2;
    r.Span32(36, std::uint64_t(vertexes) * 16);
    std::size_t indexes = 36 + std::size_t(vertexes) * 16;
    r.Span32(static_cast<std::uint32_t>(std::min<std::size_t>(indexes, 0xFFFFFFFF)),
             std::uint64_t(shapes) * corners * 4);
    auto vertex = [&](std::uint32_t i) {
        std::size_t at = 36 + std::size_t(i) * 16;
        auto c = [&](std::size_t o) { return (r.U16(at + o) >> 8) / 255.0; };
        return TGradientVertex{PointL(r, at), {c(8), c(10), c(12)}};
    };
    for (std::uint32_t s = 0; s < shapes; ++s) {
        std::uint32_t v[3] = {};
        for (std::uint32_t k = 0; k < corners; ++k) v[k] = r.U32(indexes + (std::size_t(s) * corners + k) * 4);
        if (v[0] >= vertexes || v[1] >= vertexes || (mode == Triangle && v[2] >= vertexes))
            r.Fail("Gradient vertex index out of range");
        if (mode == Triangle) canvas.GradientTriangle(vertex(v[0]), vertex(v[1]), vertex(v[2]));
        else canvas.GradientRect(vertex(v[0]), vertex(v[1]), mode == RectV);
    }
}

std::shared_ptr<const TBitmap> TEmfPlayer::RecordDib(const TRecordReader& r, std::size_t at) const
{
    // (offBmi, cbBmi, offBits, cbBits) at 'at'.
    std::uint32_t offBmi = r.U32(at), cbBmi = r.U32(at + 4), offBits = r.U32(at + 8), cbBits = r.U32(at + 12);
    if (cbBmi == 0) return nullptr;
    return DecodeRecordBitmap(r.Span32(offBmi, cbBmi), r.Span32(offBits, cbBits));
}

void TEmfPlayer::Blit(const TRecordReader& r, std::uint32_t type, TGdiCanvas& canvas)
{
    auto rect = [](double x, double y, double w, double h) { return TRect{x, y, x + w, y + h}; };
    switch (type) {
    case EMR_BITBLT:
    case EMR_STRETCHBLT: {
        TRect dest = rect(r.I32(24), r.I32(28), r.I32(32), r.I32(36));
        std::uint32_t rop = r.U32(40);
        auto bmp = r.U32(88) != 0 ? RecordDib(r, 84) : nullptr;
        if (r.U32(88) == 0) {
            canvas.PatBlt(dest, rop);
            return;
        }
        if (!bmp) return;
        double sw = type == EMR_STRETCHBLT ? r.I32(100) : dest.Right - dest.Left;
        double sh = type == EMR_STRETCHBLT ? r.I32(104) : dest.Bottom - dest.Top;
        canvas.DrawBitmap(dest, *bmp, rect(r.I32(44), r.I32(48), sw, sh));
        return;
    }
    case EMR_STRETCHDIBITS: {
        auto bmp = RecordDib(r, 48);
        if (!bmp) return;
        canvas.DrawBitmap(rect(r.I32(24), r.I32(28), r.I32(72), r.I32(76)), *bmp,
                          rect(r.I32(32), r.I32(36), r.I32(40), r.I32(44)));
        return;
    }
    case EMR_SETDIBITSTODEVICE: {
        auto bmp = RecordDib(r, 48);
        if (!bmp) return;
        double w = r.I32(40), h = r.I32(44);
        canvas.DrawBitmap(rect(r.I32(24), r.I32(28), w, h), *bmp, rect(r.I32(32), r.I32(36), w, h));
        return;
    }
    case EMR_ALPHABLEND:
    case EMR_TRANSPARENTBLT: {
        auto bmp = RecordDib(r, 84);
        if (!bmp) return;
        canvas.DrawBitmap(rect(r.I32(24), r.I32(28), r.I32(32), r.I32(36)), *bmp,
                          rect(r.I32(44), r.I32(48), r.I32(100), r.I32(104)));
        return;
    }
    default: return;
    }
}

TRegion TEmfPlayer::Region(const TRecordReader& r, std::size_t offset, std::uint32_t size) const
{
    // RGNDATA: a 32-byte header (count at 8), then the rectangles in device units.
    auto data = r.Span32(static_cast<std::uint32_t>(offset), size);
    TRecordReader rd(data, "EMF region");
    if (size < 32) return {};
    std::uint32_t count = rd.U32(8);
    rd.Span32(32, std::uint64_t(count) * 16);
    TRegion region;
    region.Rects.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) region.Rects[i] = RectL(rd, 32 + 16 * i);
    return region;
}

void TEmfPlayer::Draw(const TRecordReader& r, std::uint32_t type, TGdiCanvas& canvas)
{
    switch (type) {
    case EMR_POLYBEZIER:
    case EMR_POLYGON:
    case EMR_POLYLINE:
    case EMR_POLYBEZIERTO:
    case EMR_POLYLINETO:
    case EMR_POLYBEZIER16:
    case EMR_POLYGON16:
    case EMR_POLYLINE16:
    case EMR_POLYBEZIERTO16:
    case EMR_POLYLINETO16: Poly(r, type, canvas); break;
    case EMR_POLYPOLYLINE:
    case EMR_POLYPOLYGON:
    case EMR_POLYPOLYLINE16:
    case EMR_POLYPOLYGON16: PolyPoly(r, type, canvas); break;
    case EMR_SETWINDOWEXTEX: canvas.SetWindowExt(r.I32(8), r.I32(12)); break;
    case EMR_SETWINDOWORGEX: canvas.SetWindowOrg(r.I32(8), r.I32(12)); break;
    case EMR_SETVIEWPORTEXTEX: canvas.SetViewportExt(r.I32(8), r.I32(12)); break;
    case EMR_SETVIEWPORTORGEX: canvas.SetViewportOrg(r.I32(8), r.I32(12)); break;
    case EMR_SCALEVIEWPORTEXTEX: canvas.ScaleViewportExt(r.I32(8), r.I32(12), r.I32(16), r.I32(20)); break;
    case EMR_SCALEWINDOWEXTEX: canvas.ScaleWindowExt(r.I32(8), r.I32(12), r.I32(16), r.I32(20)); break;
    case EMR_SETPIXELV: canvas.SetPixel(PointL(r, 8), TColor::FromColorRef(r.U32(16))); break;
    case EMR_SETMAPMODE: canvas.SetMapMode(static_cast<int>(r.U32(8))); break;
    case EMR_SETBKMODE: canvas.SetBkMode(static_cast<int>(r.U32(8))); break;
    case EMR_SETPOLYFILLMODE: canvas.SetPolyFillMode(static_cast<int>(r.U32(8))); break;
    case EMR_SETTEXTALIGN: canvas.SetTextAlign(r.U32(8)); break;
    case EMR_SETTEXTCOLOR: canvas.SetTextColor(TColor::FromColorRef(r.U32(8))); break;
    case EMR_SETBKCOLOR: canvas.SetBkColor(TColor::FromColorRef(r.U32(8))); break;
    case EMR_OFFSETCLIPRGN: canvas.OffsetClip(r.I32(8), r.I32(12)); break;
    case EMR_MOVETOEX: canvas.MoveTo(PointL(r, 8)); break;
    case EMR_EXCLUDECLIPRECT: canvas.ExcludeClipRect(RectL(r, 8)); break;
    case EMR_INTERSECTCLIPRECT: canvas.IntersectClipRect(RectL(r, 8)); break;
    case EMR_SAVEDC: canvas.SaveDC(); break;
    case EMR_RESTOREDC: canvas.RestoreDC(r.I32(8)); break;
    case EMR_SETWORLDTRANSFORM: canvas.SetWorldTransform(XForm(r, 8)); break;
    case EMR_MODIFYWORLDTRANSFORM: canvas.ModifyWorldTransform(XForm(r, 8), r.U32(32)); break;
    case EMR_SELECTOBJECT: Select(r.U32(8), canvas); break;
    case EMR_DELETEOBJECT: objects_.erase(r.U32(8)); break;
    case EMR_CREATEPEN: {
        TPen pen;
        pen.Style = r.U32(12);
        pen.Width = std::abs(double(r.I32(16)));
        pen.Cosmetic = pen.Width == 0;
        pen.Color = TColor::FromColorRef(r.U32(24));
        AddObject(r, r.U32(8), pen);
        break;
    }
    case EMR_EXTCREATEPEN: {
        TPen pen;
        pen.Style = r.U32(28);
        pen.Cosmetic = !(pen.Style & PS_GEOMETRIC);
        pen.Width = r.U32(32);
        if (r.U32(36) == BS_NULL) pen.Style = (pen.Style & ~PS_STYLE_MASK) | PS_NULL;
        pen.Color = TColor::FromColorRef(r.U32(40));
        std::uint32_t entries = r.U32(48);
        if ((pen.Style & PS_STYLE_MASK) == PS_USERSTYLE && entries <= 16 && r.Has(52, entries * 4))
            for (std::uint32_t i = 0; i < entries; ++i) pen.UserDashes.push_back(r.U32(52 + 4 * i));
        AddObject(r, r.U32(8), pen);
        break;
    }
    case EMR_CREATEBRUSHINDIRECT: {
        AddObject(r, r.U32(8), TBrush::FromLogBrush(r.U32(12), r.U32(16), r.U32(20)));
        break;
    }
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT: {
        TBrush brush;
        brush.Style = BS_DIBPATTERN;
        brush.Color = {0.5, 0.5, 0.5};
        brush.Pattern = RecordDib(r, 16);
        AddObject(r, r.U32(8), brush);
        break;
    }
    case EMR_CREATEPALETTE: AddObject(r, r.U32(8), TOtherObject{}); break;
    case EMR_EXTCREATEFONTINDIRECTW: {
        TFont font;
        font.Height = r.I32(12);
        font.Escapement = r.I32(20);
        font.Orientation = r.I32(24);
        font.Weight = r.I32(28);
        font.Italic = r.U8(32) != 0;
        font.Underline = r.U8(33) != 0;
        font.StrikeOut = r.U8(34) != 0;
        font.Charset = r.U8(35);
        auto name = r.Span(40, 64);
        std::size_t units = 0;
        while (units < 32 && (name[2 * units] | name[2 * units + 1]) != 0) ++units;
        font.Face = ToUtf8(DecodeUtf16Text(name.first(2 * units), {}).Text);
        AddObject(r, r.U32(8), font);
        break;
    }
    case EMR_ELLIPSE: canvas.Ellipse(RectL(r, 8)); break;
    case EMR_RECTANGLE: canvas.Rectangle(RectL(r, 8)); break;
    case EMR_ROUNDRECT: canvas.RoundRect(RectL(r, 8), r.I32(24), r.I32(28)); break;
    case EMR_ARC:
    case EMR_CHORD:
    case EMR_PIE:
    case EMR_ARCTO: {
        auto kind = type == EMR_ARC     ? TGdiCanvas::TArcKind::Arc
                    : type == EMR_CHORD ? TGdiCanvas::TArcKind::Chord
                    : type == EMR_PIE   ? TGdiCanvas::TArcKind::Pie
                                        : TGdiCanvas::TArcKind::ArcTo;
        canvas.Arc(kind, RectL(r, 8), PointL(r, 24), PointL(r, 32));
        break;
    }
    case EMR_ANGLEARC: {
        TPoint c = PointL(r, 8);
        double radius = r.U32(16);
        double start = r.F32(20) * std::numbers::pi / 180, sweep = r.F32(24) * std::numbers::pi / 180;
        if (!std::isfinite(start) || !std::isfinite(sweep)) break;
        TRect box{c.X - radius, c.Y - radius, c.X + radius, c.Y + radius};
        TPoint from{c.X + radius * std::cos(start), c.Y - radius * std::sin(start)};
        TPoint to{c.X + radius * std::cos(start + sweep), c.Y - radius * std::sin(start + sweep)};
        canvas.SetArcDirection(sweep < 0 ? 2 : 1);
        canvas.Arc(TGdiCanvas::TArcKind::ArcTo, box, from, to);
        break;
    }
    case EMR_LINETO: canvas.LineTo(PointL(r, 8)); break;
    case EMR_SETARCDIRECTION: canvas.SetArcDirection(static_cast<int>(r.U32(8))); break;
    case EMR_SETMITERLIMIT: canvas.SetMiterLimit(r.U32(8)); break;
    case EMR_BEGINPATH: canvas.BeginPath(); break;
    case EMR_ENDPATH: canvas.EndPath(); break;
    case EMR_CLOSEFIGURE: canvas.CloseFigure(); break;
    case EMR_FILLPATH: canvas.FillPath(); break;
    case EMR_STROKEANDFILLPATH: canvas.StrokeAndFillPath(); break;
    case EMR_STROKEPATH: canvas.StrokePath(); break;
    case EMR_SELECTCLIPPATH: canvas.SelectClipPath(static_cast<int>(r.U32(8))); break;
    case EMR_ABORTPATH: canvas.AbortPath(); break;
    case EMR_EXTSELECTCLIPRGN: {
        std::uint32_t size = r.U32(8);
        int mode = static_cast<int>(r.U32(12));
        if (size == 0) {
            if (mode == RGN_COPY) canvas.ResetClip();
            break;
        }
        canvas.SelectClipRegion(Region(r, 16, size), mode);
        break;
    }
    case EMR_FILLRGN:
    case EMR_FRAMERGN: {
        // Bounds, region size, brush index, for a frame its width and height.
        std::size_t data = type == EMR_FILLRGN ? 32 : 40;
        TRegion region = Region(r, data, r.U32(24));
        auto it = objects_.find(r.U32(28));
        const TBrush* brush = it != objects_.end() ? std::get_if<TBrush>(&it->second) : nullptr;
        if (!brush) break;
        if (type == EMR_FILLRGN) canvas.FillRegion(region, *brush);
        else canvas.FrameRegion(region, *brush, r.I32(32), r.I32(36));
        break;
    }
    case EMR_PAINTRGN: canvas.FillRegion(Region(r, 28, r.U32(24)), canvas.CurrentBrush()); break;
    case EMR_INVERTRGN: canvas.InvertRegion(Region(r, 28, r.U32(24))); break;
    case EMR_EXTTEXTOUTA:
        canvas.SetTextGraphicsMode(static_cast<int>(r.U32(24))); // iGraphicsMode
        Text(r, 36, false, canvas);
        break;
    case EMR_EXTTEXTOUTW:
        canvas.SetTextGraphicsMode(static_cast<int>(r.U32(24))); // iGraphicsMode
        Text(r, 36, true, canvas);
        break;
    case EMR_POLYTEXTOUTA:
        canvas.SetTextGraphicsMode(static_cast<int>(r.U32(24))); // iGraphicsMode
        PolyText(r, false, canvas);
        break;
    case EMR_POLYTEXTOUTW:
        canvas.SetTextGraphicsMode(static_cast<int>(r.U32(24))); // iGraphicsMode
        PolyText(r, true, canvas);
        break;
    case EMR_SMALLTEXTOUT:
        canvas.SetTextGraphicsMode(static_cast<int>(r.U32(24))); // iGraphicsMode
        SmallText(r, canvas);
        break;
    case EMR_POLYDRAW: PolyDraw(r, false, canvas); break;
    case EMR_POLYDRAW16: PolyDraw(r, true, canvas); break;
    case EMR_GRADIENTFILL: GradientFill(r, canvas); break;
    case EMR_WIDENPATH: canvas.WidenPath(); break;
    case EMR_FLATTENPATH: break; // cairo draws curves flat itself: the path stays as it is
    case EMR_BITBLT:
    case EMR_STRETCHBLT:
    case EMR_STRETCHDIBITS:
    case EMR_SETDIBITSTODEVICE:
    case EMR_ALPHABLEND:
    case EMR_TRANSPARENTBLT: Blit(r, type, canvas); break;
    default: break; // comments (EMF+ included) and records that do not draw
    }
}

TBitmap TEmfPlayer::Play()
{
    TRecordReader file(bytes_, "EMF header");
    if (!file.Has(0, 88) || file.U32(0) != EMR_HEADER || file.U32(40) != EmfSignature)
        file.Fail("Not a metafile: no EMF header");
    std::uint32_t headerSize = file.U32(4);
    if (headerSize < 88 || headerSize > bytes_.size())
        file.Fail("EMF header size " + std::to_string(headerSize) + " does not fit the file");
    TRect frame = RectL(file, 24); // hundredths of a millimetre
    handleCount_ = file.U16(56);
    double devW = file.I32(72), devH = file.I32(76), mmW = file.I32(80), mmH = file.I32(84);
    if (headerSize >= 108 && file.I32(100) > 0 && file.I32(104) > 0) {
        mmW = file.I32(100) / 1000.0; // the reference device in micrometres, more precise
        mmH = file.I32(104) / 1000.0;
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
        TGdiCanvas canvas(output.Cairo(), deviceToOutput, std::sqrt(pxPerMmX * pxPerMmY));
        std::size_t offset = headerSize;
        std::size_t index = 1;
        while (offset + 8 <= bytes_.size()) {
            TRecordReader head(bytes_.subspan(offset, 8),
                               "EMF record " + std::to_string(index) + " at byte " + std::to_string(offset));
            std::uint32_t type = head.U32(0);
            std::uint32_t size = head.U32(4);
            if (size < 8) head.Fail("EMF record of " + std::to_string(size) + " bytes, shorter than its own header");
            if (size > bytes_.size() - offset)
                head.Fail("EMF record of " + std::to_string(size) + " bytes runs past the end of the file");
            if (type == EMR_EOF) break;
            TRecordReader r(bytes_.subspan(offset, size),
                            "EMF record " + std::to_string(index) + " at byte " + std::to_string(offset));
            Draw(r, type, canvas);
            offset += size;
            ++index;
        }
    }
    return output.Take();
}

} // namespace

TBitmap PlayEmf(std::span<const unsigned char> bytes, TDecodeLimit limit) { return TEmfPlayer(bytes, limit).Play(); }

} // namespace mirt::metafile
