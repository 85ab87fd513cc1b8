// The WMF records we read: their function numbers and the byte offsets of
// their fields from the start of the record (a 32-bit size in words and the
// 16-bit function take the first 6 bytes). Many records store their
// parameters last to first, so a rectangle reads bottom, right, top, left.
// Each layout's Size is where its fixed fields end: a record shorter than
// that is malformed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mirt::metafile::wmf {

// The placeable header that may come first: key, handle, box, units per
// inch, reserved, checksum.
struct Placeable {
    static constexpr std::uint32_t KeyValue = 0x9AC6CDD7;
    static constexpr std::size_t Key = 0, Box = 6, UnitsPerInch = 14, Size = 22;
};
// The header: type (1 in memory, 2 on disk), size in words (9), version,
// file size in words, object count, largest record, unused.
struct Header {
    static constexpr std::size_t Type = 0, HeaderWords = 2, Version = 4, FileWords = 6, Objects = 10, MaxRecord = 12,
                                 Size = 18;
};

enum : std::uint16_t {
    META_EOF = 0x0000,
    META_SAVEDC = 0x001E,
    META_REALIZEPALETTE = 0x0035,
    META_SETPALENTRIES = 0x0037,
    META_CREATEPALETTE = 0x00F7,
    META_SETBKMODE = 0x0102,
    META_SETMAPMODE = 0x0103,
    META_SETROP2 = 0x0104,
    META_SETRELABS = 0x0105,
    META_SETPOLYFILLMODE = 0x0106,
    META_SETSTRETCHBLTMODE = 0x0107,
    META_SETTEXTCHAREXTRA = 0x0108,
    META_RESTOREDC = 0x0127,
    META_INVERTREGION = 0x012A,
    META_PAINTREGION = 0x012B,
    META_SELECTCLIPREGION = 0x012C,
    META_SELECTOBJECT = 0x012D,
    META_SETTEXTALIGN = 0x012E,
    META_RESIZEPALETTE = 0x0139,
    META_DIBCREATEPATTERNBRUSH = 0x0142,
    META_SETLAYOUT = 0x0149,
    META_DELETEOBJECT = 0x01F0,
    META_CREATEPATTERNBRUSH = 0x01F9,
    META_SETBKCOLOR = 0x0201,
    META_SETTEXTCOLOR = 0x0209,
    META_SETTEXTJUSTIFICATION = 0x020A,
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
    META_SETMAPPERFLAGS = 0x0231,
    META_SELECTPALETTE = 0x0234,
    META_CREATEPENINDIRECT = 0x02FA,
    META_CREATEFONTINDIRECT = 0x02FB,
    META_CREATEBRUSHINDIRECT = 0x02FC,
    META_POLYGON = 0x0324,
    META_POLYLINE = 0x0325,
    META_SCALEWINDOWEXT = 0x0410,
    META_SCALEVIEWPORTEXT = 0x0412,
    META_EXCLUDECLIPRECT = 0x0415,
    META_INTERSECTCLIPRECT = 0x0416,
    META_ELLIPSE = 0x0418,
    META_FLOODFILL = 0x0419,
    META_FRAMEREGION = 0x0429,
    META_ANIMATEPALETTE = 0x0436,
    META_RECTANGLE = 0x041B,
    META_SETPIXEL = 0x041F,
    META_TEXTOUT = 0x0521,
    META_POLYPOLYGON = 0x0538,
    META_EXTFLOODFILL = 0x0548,
    META_ROUNDRECT = 0x061C,
    META_PATBLT = 0x061D,
    META_ESCAPE = 0x0626,
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

// Every record: size in 16-bit words, function, then the parameters.
struct Record {
    static constexpr std::size_t SizeWords = 0, Function = 4, Size = 6;
};
// Records of one 16-bit value: modes, alignment, object indexes, RESTOREDC.
struct Value {
    static constexpr std::size_t Field = 6, Size = 8;
};
// SETTEXTJUSTIFICATION: the break characters' count, then the extra space
// they share.
struct TextJustification {
    static constexpr std::size_t BreakCount = 6, BreakExtra = 8, Size = 10;
};
// SETBKCOLOR, SETTEXTCOLOR: one COLORREF.
struct Color {
    static constexpr std::size_t ColorRef = 6, Size = 10;
};
// Origins, extents, offsets, MOVETO, LINETO, OFFSETCLIPRGN.
struct Pair {
    static constexpr std::size_t Y = 6, X = 8, Size = 10;
};
// SCALEWINDOWEXT, SCALEVIEWPORTEXT.
struct Scale {
    static constexpr std::size_t YDenom = 6, YNum = 8, XDenom = 10, XNum = 12, Size = 14;
};
// RECTANGLE, ELLIPSE, EXCLUDECLIPRECT, INTERSECTCLIPRECT: one rectangle,
// stored bottom, right, top, left.
struct Rect {
    static constexpr std::size_t Box = 6, Size = 14;
};
struct RoundRect {
    static constexpr std::size_t Height = 6, Width = 8, Box = 10, Size = 18;
};
// ARC, PIE, CHORD.
struct Arc {
    static constexpr std::size_t End = 6, Start = 10, Box = 14, Size = 22;
};
struct SetPixel {
    static constexpr std::size_t ColorRef = 6, Point = 10, Size = 14;
};
// FLOODFILL, and EXTFLOODFILL with its mode first.
struct FloodFill {
    static constexpr std::size_t ColorRef = 6, Point = 10, Size = 14;
};
struct ExtFloodFill {
    static constexpr std::size_t Mode = 6, ColorRef = 8, Point = 12, Size = 16;
};
// POLYGON, POLYLINE: a count, then (x, y) pairs.
struct Poly {
    static constexpr std::size_t Count = 6, Points = 8, Size = 8;
};
// POLYPOLYGON: a count of polygons, their point counts, then all points.
struct PolyPolygon {
    static constexpr std::size_t Polygons = 6, Counts = 8, Size = 8;
};
struct CreatePenIndirect {
    static constexpr std::size_t Style = 6, Width = 8, ColorRef = 12, Size = 16;
};
struct CreateBrushIndirect {
    static constexpr std::size_t Style = 6, ColorRef = 8, Hatch = 12, Size = 14;
};
struct DibCreatePatternBrush {
    static constexpr std::size_t Style = 6, Usage = 8, Dib = 10, Size = 10;
};
// CREATEFONTINDIRECT: a LOGFONT with the face name in 8-bit characters.
struct CreateFont {
    static constexpr std::size_t Height = 6, Width = 8, Escapement = 10, Orientation = 12, Weight = 14, Italic = 16,
                                 Underline = 17, StrikeOut = 18, Charset = 19, FaceName = 24, FaceNameBytes = 32,
                                 Size = 24;
};
// CREATEREGION: a region object, then its scans. Each scan is a count of x
// values, top, bottom, (left, right) pairs and the count again.
struct Region {
    static constexpr std::size_t NextInChain = 6, ObjectType = 8, ObjectCount = 10, RegionSize = 14, ScanCount = 16,
                                 MaxScan = 18, Bounds = 20, Scans = 28, Size = 28;
};
struct FillRegion {
    static constexpr std::size_t Region = 6, Brush = 8, Size = 10;
};
struct FrameRegion {
    static constexpr std::size_t Region = 6, Brush = 8, Height = 10, Width = 12, Size = 14;
};
struct PatBlt {
    static constexpr std::size_t Rop = 6, Height = 10, Width = 12, Y = 14, X = 16, Size = 18;
};
// TEXTOUT: the string, padded to whole words, then y and x.
struct TextOut {
    static constexpr std::size_t Length = 6, String = 8, Size = 8;
};
// EXTTEXTOUT: a rectangle (left, top, right, bottom) only under
// ETO_OPAQUE or ETO_CLIPPED, then the string padded to whole words, then
// optional advances.
struct ExtTextOut {
    static constexpr std::size_t Y = 6, X = 8, Length = 10, Options = 12, Rectangle = 14, Size = 14;
};
// BITBLT and DIBBITBLT; without a bitmap a reserved word follows the source
// position and the record is a pattern fill.
struct BitBlt {
    static constexpr std::size_t Rop = 6, YSrc = 10, XSrc = 12, Height = 14, Width = 16, YDest = 18, XDest = 20,
                                 Dib = 22, Size = 22;
    static constexpr std::size_t NoBitmapHeight = 16, NoBitmapWidth = 18, NoBitmapYDest = 20, NoBitmapXDest = 22,
                                 NoBitmapSize = 24;
};
// STRETCHBLT and DIBSTRETCHBLT; without a bitmap the record ends at Dib.
struct StretchBlt {
    static constexpr std::size_t Rop = 6, SrcHeight = 10, SrcWidth = 12, YSrc = 14, XSrc = 16, DestHeight = 18,
                                 DestWidth = 20, YDest = 22, XDest = 24, Dib = 26, Size = 26;
};
struct StretchDib {
    static constexpr std::size_t Rop = 6, Usage = 10, SrcHeight = 12, SrcWidth = 14, YSrc = 16, XSrc = 18,
                                 DestHeight = 20, DestWidth = 22, YDest = 24, XDest = 26, Dib = 28, Size = 28;
};
struct SetDibToDev {
    static constexpr std::size_t Usage = 6, ScanCount = 8, StartScan = 10, YDib = 12, XDib = 14, Height = 16,
                                 Width = 18, YDest = 20, XDest = 22, Dib = 24, Size = 24;
};

} // namespace mirt::metafile::wmf
