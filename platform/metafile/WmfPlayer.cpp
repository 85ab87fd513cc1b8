// Windows metafiles (16-bit WMF), with or without the placeable header.
#include "platform/metafile/GdiCanvas.h"
#include "platform/metafile/MetafileText.h"
#include "platform/metafile/Players.h"
#include "platform/metafile/RecordReader.h"
#include "platform/runtime/Checked.h"

#include <cmath>
#include <optional>

namespace mirt::metafile {

namespace {

constexpr std::uint32_t PlaceableKey = 0x9AC6CDD7;
constexpr std::size_t PlaceableSize = 22;
constexpr std::size_t HeaderSize = 18;

enum : std::uint16_t {
    META_EOF = 0x0000,
    META_SAVEDC = 0x001E,
    META_SETBKMODE = 0x0102,
    META_SETMAPMODE = 0x0103,
    META_SETPOLYFILLMODE = 0x0106,
    META_SETTEXTCHAREXTRA = 0x0108,
    META_SETTEXTJUSTIFICATION = 0x020A,
    META_RESTOREDC = 0x0127,
    META_SELECTCLIPREGION = 0x012C,
    META_SELECTOBJECT = 0x012D,
    META_SETTEXTALIGN = 0x012E,
    META_DIBCREATEPATTERNBRUSH = 0x0142,
    META_DELETEOBJECT = 0x01F0,
    META_CREATEPATTERNBRUSH = 0x01F9,
    META_SETBKCOLOR = 0x0201,
    META_SETTEXTCOLOR = 0x0209,
    META_SETWINDOWORG = 0x020B,
    META_SETWINDOWEXT = 0x020C,
    META_SETVIEWPORTORG = 0x020D,
    META_SETVIEWPORTEXT = 0x020E,
    META_OFFSETWINDOWORG = 0x020F,
    META_OFFSETVIEWPORTORG = 0x0211,
    META_LINETO = 0x0213,
    META_MOVETO = 0x0214,
    META_OFFSETCLIPRGN = 0x0220,
    META_FILLREGION = 0x0228,
    META_INVERTREGION = 0x012A,
    META_PAINTREGION = 0x012B,
    META_FRAMEREGION = 0x0429,
    META_CREATEPENINDIRECT = 0x02FA,
    META_CREATEFONTINDIRECT = 0x02FB,
    META_CREATEBRUSHINDIRECT = 0x02FC,
    META_CREATEPALETTE = 0x00F7,
    META_POLYGON = 0x0324,
    META_POLYLINE = 0x0325,
    META_SCALEWINDOWEXT = 0x0410,
    META_SCALEVIEWPORTEXT = 0x0412,
    META_EXCLUDECLIPRECT = 0x0415,
    META_INTERSECTCLIPRECT = 0x0416,
    META_ELLIPSE = 0x0418,
    META_RECTANGLE = 0x041B,
    META_SETPIXEL = 0x041F,
    META_TEXTOUT = 0x0521,
    META_POLYPOLYGON = 0x0538,
    META_ROUNDRECT = 0x061C,
    META_PATBLT = 0x061D,
    META_CREATEREGION = 0x06FF,
    META_ARC = 0x0817,
    META_PIE = 0x081A,
    META_CHORD = 0x0830,
    META_BITBLT = 0x0922,
    META_DIBBITBLT = 0x0940,
    META_EXTTEXTOUT = 0x0A32,
    META_STRETCHBLT = 0x0B23,
    META_DIBSTRETCHBLT = 0x0B41,
    META_SETDIBTODEV = 0x0D33,
    META_STRETCHDIB = 0x0F43,
};

// The record's parameters: 16-bit words after the size and function.
class TParams {
public:
    explicit TParams(const TRecordReader& r) : r_(r) {}
    std::int16_t I(std::size_t word) const { return r_.I16(6 + 2 * word); }
    std::uint16_t U(std::size_t word) const { return r_.U16(6 + 2 * word); }
    std::uint32_t U32(std::size_t word) const { return r_.U32(6 + 2 * word); }
    std::size_t Words() const { return (r_.Size() - 6) / 2; }
    std::span<const unsigned char> From(std::size_t word) const
    {
        std::size_t off = 6 + 2 * word;
        return r_.Span(off, r_.Size() - std::min(off, r_.Size()));
    }
    const TRecordReader& Reader() const { return r_; }

    // A rectangle stored bottom, right, top, left from word w on.
    TRect ReversedRect(std::size_t w) const
    {
        return {double(I(w + 3)), double(I(w + 2)), double(I(w + 1)), double(I(w))};
    }
    TPoint ReversedPoint(std::size_t w) const { return {double(I(w + 1)), double(I(w))}; }

    std::vector<TPoint> Points(std::size_t word, std::size_t count) const
    {
        r_.Span(6 + 2 * word, count * 4); // checks the whole run before allocating
        std::vector<TPoint> pts(count);
        for (std::size_t i = 0; i < count; ++i) pts[i] = {double(I(word + 2 * i)), double(I(word + 2 * i + 1))};
        return pts;
    }

private:
    const TRecordReader& r_;
};

class TWmfPlayer {
public:
    TWmfPlayer(std::span<const unsigned char> bytes, TDecodeLimit limit) : bytes_(bytes), limit_(limit) {}
    TBitmap Play();

private:
    struct TRecord {
        std::size_t Offset;
        std::size_t Size;
        std::uint16_t Function;
    };
    // Calls visit for every record up to META_EOF; raises on a record that
    // does not fit the file.
    template <class F>
    void ForEachRecord(F visit) const;
    void Draw(const TRecord& record, TGdiCanvas& canvas);
    void AddObject(TGdiObject object);
    const TGdiObject* Object(std::uint16_t index) const;
    std::shared_ptr<const TBitmap> Dib(std::span<const unsigned char> packed) const;
    void DrawBlit(const TParams& p, std::uint16_t function, TGdiCanvas& canvas);
    TFont ReadFont(const TParams& p) const;
    TRegion ReadRegion(const TParams& p) const;
    const TRegion* RegionObject(std::uint16_t index) const;

    std::span<const unsigned char> bytes_;
    TDecodeLimit limit_;
    std::size_t firstRecord_ = 0;
    std::uint16_t objectCount_ = 0;
    std::vector<std::optional<TGdiObject>> objects_;
};

template <class F>
void TWmfPlayer::ForEachRecord(F visit) const
{
    std::size_t offset = firstRecord_;
    std::size_t index = 0;
    while (offset + 6 <= bytes_.size()) {
        TRecordReader head(bytes_.subspan(offset, 6),
                           "WMF record " + std::to_string(index) + " at byte " + std::to_string(offset));
        std::uint64_t size = std::uint64_t(head.U32(0)) * 2;
        std::uint16_t function = head.U16(4);
        if (size < 6) head.Fail("WMF record of " + std::to_string(size) + " bytes, shorter than its own header");
        if (size > bytes_.size() - offset)
            head.Fail("WMF record of " + std::to_string(size) + " bytes runs past the end of the file");
        if (function == META_EOF) return;
        visit(TRecord{offset, static_cast<std::size_t>(size), function});
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

const TGdiObject* TWmfPlayer::Object(std::uint16_t index) const
{
    if (index >= objects_.size() || !objects_[index]) return nullptr;
    return &*objects_[index];
}

std::shared_ptr<const TBitmap> TWmfPlayer::Dib(std::span<const unsigned char> packed) const
{
    return DecodeRecordBitmap(packed, {});
}

TFont TWmfPlayer::ReadFont(const TParams& p) const
{
    TFont f;
    f.Height = p.I(0);
    f.Escapement = p.I(2);
    f.Orientation = p.I(3);
    f.Weight = p.I(4);
    auto flags = p.Reader().Span(6 + 10, 8);
    f.Italic = flags[0] != 0;
    f.Underline = flags[1] != 0;
    f.StrikeOut = flags[2] != 0;
    f.Charset = flags[3];
    auto name = p.From(9);
    std::size_t len = 0;
    while (len < name.size() && len < 32 && name[len] != 0) ++len;
    f.Face = ToUtf8(DecodeCharsetText(name.first(len), f.Charset, {}).Text);
    return f;
}

TRegion TWmfPlayer::ReadRegion(const TParams& p) const
{
    // Chain link, type, count, size, scan count, widest scan, bounds; then
    // the scans: a count of x values, top, bottom, (left, right) pairs and
    // the count again. Coordinates are logical units.
    TRegion region;
    region.Logical = true;
    std::size_t scans = p.U(5);
    std::size_t word = 11;
    for (std::size_t i = 0; i < scans; ++i) {
        std::size_t values = p.U(word);
        if (values % 2) p.Reader().Fail("WMF region scan with an odd number of x values");
        double top = p.I(word + 1), bottom = p.I(word + 2);
        p.Reader().Span(6 + 2 * (word + 3), values * 2 + 2); // the pairs and the closing count
        for (std::size_t k = 0; k < values; k += 2)
            region.Rects.push_back({double(p.I(word + 3 + k)), top, double(p.I(word + 4 + k)), bottom});
        word += 4 + values;
    }
    return region;
}

const TRegion* TWmfPlayer::RegionObject(std::uint16_t index) const
{
    const TGdiObject* o = Object(index);
    return o ? std::get_if<TRegion>(o) : nullptr;
}

void TWmfPlayer::DrawBlit(const TParams& p, std::uint16_t function, TGdiCanvas& canvas)
{
    // Records without a bitmap are pattern fills; the word count tells.
    std::size_t words = p.Words();
    auto rect = [](double x, double y, double w, double h) { return TRect{x, y, x + w, y + h}; };
    switch (function) {
    case META_DIBBITBLT:
    case META_BITBLT:
        if (words == 9) {
            canvas.PatBlt(rect(p.I(8), p.I(7), p.I(6), p.I(5)), p.U32(0));
            return;
        }
        if (function == META_DIBBITBLT && words > 8)
            if (auto bmp = Dib(p.From(8)))
                canvas.DrawBitmap(rect(p.I(7), p.I(6), p.I(5), p.I(4)), *bmp, rect(p.I(3), p.I(2), p.I(5), p.I(4)));
        return;
    case META_DIBSTRETCHBLT:
    case META_STRETCHBLT:
        if (words == 10) {
            canvas.PatBlt(rect(p.I(9), p.I(8), p.I(7), p.I(6)), p.U32(0));
            return;
        }
        if (function == META_DIBSTRETCHBLT && words > 10)
            if (auto bmp = Dib(p.From(10)))
                canvas.DrawBitmap(rect(p.I(9), p.I(8), p.I(7), p.I(6)), *bmp, rect(p.I(5), p.I(4), p.I(3), p.I(2)));
        return;
    case META_STRETCHDIB:
        if (words > 11)
            if (auto bmp = Dib(p.From(11)))
                canvas.DrawBitmap(rect(p.I(10), p.I(9), p.I(8), p.I(7)), *bmp, rect(p.I(6), p.I(5), p.I(4), p.I(3)));
        return;
    case META_SETDIBTODEV:
        if (words > 9)
            if (auto bmp = Dib(p.From(9)))
                canvas.DrawBitmap(rect(p.I(8), p.I(7), p.I(6), p.I(5)), *bmp, rect(p.I(4), p.I(3), p.I(6), p.I(5)));
        return;
    default: return;
    }
}

void TWmfPlayer::Draw(const TRecord& record, TGdiCanvas& canvas)
{
    TRecordReader r(bytes_.subspan(record.Offset, record.Size), "WMF record at byte " + std::to_string(record.Offset));
    TParams p(r);
    switch (record.Function) {
    case META_SAVEDC: canvas.SaveDC(); break;
    case META_RESTOREDC: canvas.RestoreDC(p.I(0)); break;
    case META_SETBKMODE: canvas.SetBkMode(p.U(0)); break;
    case META_SETMAPMODE: canvas.SetMapMode(p.U(0)); break;
    case META_SETPOLYFILLMODE: canvas.SetPolyFillMode(p.U(0)); break;
    case META_SETTEXTALIGN: canvas.SetTextAlign(p.U(0)); break;
    case META_SETTEXTCHAREXTRA: canvas.SetTextCharExtra(p.I(0)); break;
    case META_SETTEXTJUSTIFICATION: canvas.SetTextJustification(p.I(1), p.U(0)); break; // BreakCount, BreakExtra
    case META_SETBKCOLOR: canvas.SetBkColor(TColor::FromColorRef(p.U32(0))); break;
    case META_SETTEXTCOLOR: canvas.SetTextColor(TColor::FromColorRef(p.U32(0))); break;
    case META_SETWINDOWORG: canvas.SetWindowOrg(p.I(1), p.I(0)); break;
    case META_SETWINDOWEXT: canvas.SetWindowExt(p.I(1), p.I(0)); break;
    case META_SETVIEWPORTORG: canvas.SetViewportOrg(p.I(1), p.I(0)); break;
    case META_SETVIEWPORTEXT: canvas.SetViewportExt(p.I(1), p.I(0)); break;
    case META_OFFSETWINDOWORG: canvas.OffsetWindowOrg(p.I(1), p.I(0)); break;
    case META_OFFSETVIEWPORTORG: canvas.OffsetViewportOrg(p.I(1), p.I(0)); break;
    case META_SCALEWINDOWEXT: canvas.ScaleWindowExt(p.I(3), p.I(2), p.I(1), p.I(0)); break;
    case META_SCALEVIEWPORTEXT: canvas.ScaleViewportExt(p.I(3), p.I(2), p.I(1), p.I(0)); break;

    case META_CREATEPENINDIRECT: {
        TPen pen;
        pen.Style = p.U(0);
        pen.Width = std::abs(p.I(1));
        pen.Cosmetic = pen.Width == 0;
        pen.Color = TColor::FromColorRef(p.U32(3));
        AddObject(pen);
        break;
    }
    case META_CREATEBRUSHINDIRECT: {
        AddObject(TBrush::FromLogBrush(p.U(0), p.U32(1), p.U(3)));
        break;
    }
    case META_DIBCREATEPATTERNBRUSH: {
        TBrush brush;
        brush.Style = BS_DIBPATTERN;
        brush.Color = {0.5, 0.5, 0.5};
        brush.Pattern = Dib(p.From(2));
        AddObject(brush);
        break;
    }
    case META_CREATEFONTINDIRECT: AddObject(ReadFont(p)); break;
    case META_CREATEPATTERNBRUSH: {
        TBrush brush; // a device-dependent bitmap: drawn as its mid grey
        brush.Color = {0.5, 0.5, 0.5};
        AddObject(brush);
        break;
    }
    case META_CREATEPALETTE: AddObject(TOtherObject{}); break;
    case META_CREATEREGION: AddObject(ReadRegion(p)); break;
    case META_SELECTOBJECT:
        // Selecting a region makes it the clip.
        if (const TRegion* region = RegionObject(p.U(0))) canvas.SelectClipRegion(*region, RGN_COPY);
        else if (const TGdiObject* o = Object(p.U(0))) canvas.SelectObject(*o);
        break;
    case META_DELETEOBJECT:
        if (p.U(0) < objects_.size()) objects_[p.U(0)].reset();
        break;

    case META_MOVETO: canvas.MoveTo(p.ReversedPoint(0)); break;
    case META_LINETO: canvas.LineTo(p.ReversedPoint(0)); break;
    case META_POLYGON: canvas.Polygon(p.Points(1, p.U(0))); break;
    case META_POLYLINE: canvas.Polyline(p.Points(1, p.U(0))); break;
    case META_POLYPOLYGON: {
        std::size_t polys = p.U(0);
        r.Span(8, polys * 2);
        std::size_t word = 1 + polys;
        std::vector<std::vector<TPoint>> all;
        for (std::size_t i = 0; i < polys; ++i) {
            std::size_t n = p.U(1 + i);
            all.push_back(p.Points(word, n));
            word += 2 * n;
        }
        canvas.PolyPolygon(all);
        break;
    }
    case META_RECTANGLE: canvas.Rectangle(p.ReversedRect(0)); break;
    case META_ROUNDRECT: canvas.RoundRect(p.ReversedRect(2), p.I(1), p.I(0)); break;
    case META_ELLIPSE: canvas.Ellipse(p.ReversedRect(0)); break;
    case META_ARC:
    case META_PIE:
    case META_CHORD: {
        auto kind = record.Function == META_ARC   ? TGdiCanvas::TArcKind::Arc
                    : record.Function == META_PIE ? TGdiCanvas::TArcKind::Pie
                                                  : TGdiCanvas::TArcKind::Chord;
        canvas.Arc(kind, p.ReversedRect(4), p.ReversedPoint(2), p.ReversedPoint(0));
        break;
    }
    case META_SETPIXEL: canvas.SetPixel(p.ReversedPoint(2), TColor::FromColorRef(p.U32(0))); break;
    case META_EXCLUDECLIPRECT: canvas.ExcludeClipRect(p.ReversedRect(0)); break;
    case META_INTERSECTCLIPRECT: canvas.IntersectClipRect(p.ReversedRect(0)); break;
    case META_SELECTCLIPREGION:
        // A region that is not there (0 included) lifts the clip.
        if (const TRegion* region = RegionObject(p.U(0))) canvas.SelectClipRegion(*region, RGN_COPY);
        else canvas.ResetClip();
        break;
    case META_OFFSETCLIPRGN: canvas.OffsetClip(p.I(1), p.I(0)); break;
    case META_FILLREGION:
    case META_FRAMEREGION: {
        const TRegion* region = RegionObject(p.U(0));
        const TGdiObject* o = Object(p.U(1));
        const TBrush* brush = o ? std::get_if<TBrush>(o) : nullptr;
        if (!region || !brush) break;
        if (record.Function == META_FILLREGION) canvas.FillRegion(*region, *brush);
        else canvas.FrameRegion(*region, *brush, p.I(3), p.I(2));
        break;
    }
    case META_PAINTREGION:
        if (const TRegion* region = RegionObject(p.U(0))) canvas.FillRegion(*region, canvas.CurrentBrush());
        break;
    case META_INVERTREGION:
        if (const TRegion* region = RegionObject(p.U(0))) canvas.InvertRegion(*region);
        break;
    case META_PATBLT:
        canvas.PatBlt({double(p.I(5)), double(p.I(4)), double(p.I(5) + p.I(3)), double(p.I(4) + p.I(2))}, p.U32(0));
        break;

    case META_TEXTOUT: {
        std::size_t n = p.U(0);
        std::size_t padded = (n + 1) & ~std::size_t(1);
        auto text = r.Span(8, n);
        std::size_t after = 1 + padded / 2;
        TPoint at{double(p.I(after + 1)), double(p.I(after))};
        TDecodedText decoded = DecodeCharsetText(text, canvas.CurrentCharset(), {});
        canvas.TextOut(at, decoded.Text, {}, 0, nullptr);
        break;
    }
    case META_EXTTEXTOUT: {
        TPoint at{double(p.I(1)), double(p.I(0))};
        std::size_t n = p.U(2);
        std::uint16_t options = p.U(3);
        std::size_t word = 4;
        std::optional<TRect> rect;
        if (options & (ETO_OPAQUE | ETO_CLIPPED)) {
            rect = TRect{double(p.I(4)), double(p.I(5)), double(p.I(6)), double(p.I(7))};
            word = 8;
        }
        auto text = r.Span(6 + 2 * word, n);
        std::size_t dxWord = word + (n + 1) / 2;
        std::vector<double> dx;
        if (r.Has(6 + 2 * dxWord, n * 2))
            for (std::size_t i = 0; i < n; ++i) dx.push_back(p.I(dxWord + i));
        TDecodedText decoded = DecodeCharsetText(text, canvas.CurrentCharset(), dx);
        canvas.TextOut(at, decoded.Text, decoded.Advances, options, rect ? &*rect : nullptr);
        break;
    }

    case META_BITBLT:
    case META_DIBBITBLT:
    case META_STRETCHBLT:
    case META_DIBSTRETCHBLT:
    case META_STRETCHDIB:
    case META_SETDIBTODEV: DrawBlit(p, record.Function, canvas); break;
    default: break; // records that do not draw, or that we do not draw
    }
}

TBitmap TWmfPlayer::Play()
{
    TRecordReader file(bytes_, "WMF header");
    std::optional<TRect> box;
    double unitsPerInch = 0;
    std::size_t offset = 0;
    if (file.Has(0, 4) && file.U32(0) == PlaceableKey) {
        if (!file.Has(0, PlaceableSize)) file.Fail("Not a metafile: placeable header cut short");
        box = TRect{double(file.I16(6)), double(file.I16(8)), double(file.I16(10)), double(file.I16(12))};
        unitsPerInch = file.U16(14);
        if (unitsPerInch == 0) file.Fail("Placeable metafile header gives 0 units per inch");
        offset = PlaceableSize;
    }
    if (!file.Has(offset, HeaderSize)) file.Fail("Not a metafile: file too short for a WMF header");
    std::uint16_t type = file.U16(offset);
    std::uint16_t headerWords = file.U16(offset + 2);
    if ((type != 1 && type != 2) || headerWords != 9)
        file.Fail("Not a metafile: no WMF header (type " + std::to_string(type) + ", header size " +
                  std::to_string(headerWords) + ")");
    objectCount_ = file.U16(offset + 10);
    firstRecord_ = offset + HeaderSize;

    // Natural size: the placeable box at its units per inch, else the window
    // extent (one pixel per logical unit).
    double width, height;
    TPoint winOrg{0, 0}, winExt{0, 0};
    if (box) {
        width = std::abs(box->Right - box->Left) * 96 / unitsPerInch;
        height = std::abs(box->Bottom - box->Top) * 96 / unitsPerInch;
        winOrg = {box->Left, box->Top};
        winExt = {box->Right - box->Left, box->Bottom - box->Top};
    } else {
        bool haveExt = false;
        ForEachRecord([&](const TRecord& rec) {
            if (haveExt || rec.Size < 10) return;
            TRecordReader r(bytes_.subspan(rec.Offset, rec.Size), "WMF record");
            if (rec.Function == META_SETWINDOWEXT) {
                winExt = {double(r.I16(8)), double(r.I16(6))};
                haveExt = winExt.X != 0 && winExt.Y != 0;
            }
        });
        if (!haveExt) file.Fail("WMF without placeable header sets no window extent: its size is unknown");
        width = std::abs(winExt.X);
        height = std::abs(winExt.Y);
    }
    TOutputSurface output(width, height, limit_, file);
    cairo_matrix_t identity;
    cairo_matrix_init_identity(&identity);
    {
        TGdiCanvas canvas(output.Cairo(), identity, 96 / 25.4);
        // The picture frame is the viewport; the window maps onto it.
        canvas.SetMapMode(MM_ANISOTROPIC);
        canvas.SetViewportOrg(0, 0);
        canvas.SetViewportExt(width, height);
        canvas.SetWindowOrg(winOrg.X, winOrg.Y);
        canvas.SetWindowExt(winExt.X, winExt.Y);
        ForEachRecord([&](const TRecord& rec) { Draw(rec, canvas); });
    }
    return output.Take();
}

} // namespace

TBitmap PlayWmf(std::span<const unsigned char> bytes, TDecodeLimit limit) { return TWmfPlayer(bytes, limit).Play(); }

} // namespace mirt::metafile
