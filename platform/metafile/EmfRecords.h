// The EMF records we read: their type numbers and the byte offsets of their
// fields from the start of the record (type and size take the first 8
// bytes). Each layout's Size is where its fixed fields end: a record
// shorter than that is malformed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mirt::metafile::emf {

constexpr std::uint32_t Signature = 0x464D4520; // " EMF"
constexpr std::uint32_t StockObject = 0x80000000;

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
    EMR_SETBRUSHORGEX = 13,
    EMR_EOF = 14,
    EMR_SETPIXELV = 15,
    EMR_SETMAPPERFLAGS = 16,
    EMR_SETMAPMODE = 17,
    EMR_SETBKMODE = 18,
    EMR_SETPOLYFILLMODE = 19,
    EMR_SETROP2 = 20,
    EMR_SETSTRETCHBLTMODE = 21,
    EMR_SETTEXTALIGN = 22,
    EMR_SETCOLORADJUSTMENT = 23,
    EMR_SETTEXTCOLOR = 24,
    EMR_SETBKCOLOR = 25,
    EMR_OFFSETCLIPRGN = 26,
    EMR_MOVETOEX = 27,
    EMR_SETMETARGN = 28,
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
    EMR_SELECTPALETTE = 48,
    EMR_CREATEPALETTE = 49,
    EMR_SETPALETTEENTRIES = 50,
    EMR_RESIZEPALETTE = 51,
    EMR_REALIZEPALETTE = 52,
    EMR_EXTFLOODFILL = 53,
    EMR_LINETO = 54,
    EMR_ARCTO = 55,
    EMR_POLYDRAW = 56,
    EMR_SETARCDIRECTION = 57,
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
    EMR_GDICOMMENT = 70,
    EMR_FILLRGN = 71,
    EMR_FRAMERGN = 72,
    EMR_INVERTRGN = 73,
    EMR_PAINTRGN = 74,
    EMR_EXTSELECTCLIPRGN = 75,
    EMR_BITBLT = 76,
    EMR_STRETCHBLT = 77,
    EMR_MASKBLT = 78,
    EMR_PLGBLT = 79,
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
    EMR_SETICMMODE = 98,
    EMR_CREATECOLORSPACE = 99,
    EMR_SETCOLORSPACE = 100,
    EMR_DELETECOLORSPACE = 101,
    EMR_GLSRECORD = 102,
    EMR_GLSBOUNDEDRECORD = 103,
    EMR_PIXELFORMAT = 104,
    EMR_DRAWESCAPE = 105,
    EMR_EXTESCAPE = 106,
    EMR_SMALLTEXTOUT = 108,
    EMR_FORCEUFIMAPPING = 109,
    EMR_NAMEDESCAPE = 110,
    EMR_COLORCORRECTPALETTE = 111,
    EMR_SETICMPROFILEA = 112,
    EMR_SETICMPROFILEW = 113,
    EMR_ALPHABLEND = 114,
    EMR_SETLAYOUT = 115,
    EMR_TRANSPARENTBLT = 116,
    EMR_GRADIENTFILL = 118,
    EMR_SETLINKEDUFIS = 119,
    EMR_SETTEXTJUSTIFICATION = 120,
    EMR_COLORMATCHTOTARGETW = 121,
    EMR_CREATECOLORSPACEW = 122,
};

// The header record. The base ends at 88; later versions append the pixel
// format fields and then the reference device's size in micrometres, but
// only where the description and the pixel format do not lie instead.
struct Header {
    static constexpr std::size_t Type = 0, HeaderSize = 4, Bounds = 8, Frame = 24, RecordSignature = 40, Version = 44,
                                 Bytes = 48, Records = 52, Handles = 56, Reserved = 58, DescriptionChars = 60,
                                 DescriptionOffset = 64, PaletteEntries = 68, DevicePixels = 72, DeviceMillimetres = 80,
                                 Size = 88;
    static constexpr std::size_t PixelFormatSize = 88, PixelFormatOffset = 92, OpenGl = 96, Extension1End = 100;
    static constexpr std::size_t DeviceMicrometres = 100, Extension2End = 108;
};

// Every record: type, then size in bytes.
struct Record {
    static constexpr std::size_t Type = 0, RecordSize = 4, Size = 8;
};

// POLYBEZIER, POLYGON, POLYLINE, POLYBEZIERTO, POLYLINETO and their 16-bit
// forms; POLYDRAW adds a type byte per point after the points.
struct Poly {
    static constexpr std::size_t Bounds = 8, Count = 24, Points = 28, Size = 28;
};
// POLYPOLYLINE, POLYPOLYGON (and 16-bit): counts per figure, then all points.
struct PolyPoly {
    static constexpr std::size_t Bounds = 8, Figures = 24, Count = 28, FigureCounts = 32, Size = 32;
};
// SETWINDOWEXTEX, SETWINDOWORGEX, SETVIEWPORTEXTEX, SETVIEWPORTORGEX,
// OFFSETCLIPRGN, MOVETOEX, LINETO: one POINTL or SIZEL.
struct Pair {
    static constexpr std::size_t X = 8, Y = 12, Size = 16;
};
// SCALEVIEWPORTEXTEX, SCALEWINDOWEXTEX.
struct Scale {
    static constexpr std::size_t XNum = 8, XDenom = 12, YNum = 16, YDenom = 20, Size = 24;
};
// Records of one 32-bit value: modes, object indexes, RESTOREDC.
struct Value {
    static constexpr std::size_t Field = 8, Size = 12;
};
// SETTEXTCOLOR, SETBKCOLOR: one COLORREF.
struct Color {
    static constexpr std::size_t ColorRef = 8, Size = 12;
};
struct SetPixelV {
    static constexpr std::size_t Point = 8, ColorRef = 16, Size = 20;
};
// EXCLUDECLIPRECT, INTERSECTCLIPRECT, ELLIPSE, RECTANGLE: one RECTL.
struct Rect {
    static constexpr std::size_t Box = 8, Size = 24;
};
// The box, then the corner's width and height.
struct RoundRect {
    static constexpr std::size_t Box = 8, Width = 24, Height = 28, Size = 32;
};
// ARC, CHORD, PIE, ARCTO.
struct Arc {
    static constexpr std::size_t Box = 8, Start = 24, End = 32, Size = 40;
};
struct AngleArc {
    static constexpr std::size_t Center = 8, Radius = 16, StartAngle = 20, SweepAngle = 24, Size = 28;
};
struct SetWorldTransform {
    static constexpr std::size_t XForm = 8, Size = 32;
};
struct ModifyWorldTransform {
    static constexpr std::size_t XForm = 8, Mode = 32, Size = 36;
};
struct CreatePen {
    static constexpr std::size_t Index = 8, Style = 12, Width = 16, ColorRef = 24, Size = 28;
};
struct ExtCreatePen {
    static constexpr std::size_t Index = 8, BmiOffset = 12, BmiSize = 16, BitsOffset = 20, BitsSize = 24, Style = 28,
                                 Width = 32, BrushStyle = 36, Color = 40, Hatch = 44, StyleEntries = 48,
                                 StyleEntry = 52, Size = 52;
};
struct CreateBrushIndirect {
    static constexpr std::size_t Index = 8, Style = 12, ColorRef = 16, Hatch = 20, Size = 24;
};
// CREATEMONOBRUSH, CREATEDIBPATTERNBRUSHPT.
struct CreatePatternBrush {
    static constexpr std::size_t Index = 8, Usage = 12, Dib = 16, Size = 32;
};
// EXTCREATEFONTINDIRECTW: the LOGFONTW that starts at 12.
struct CreateFont {
    static constexpr std::size_t Index = 8, Height = 12, Width = 16, Escapement = 20, Orientation = 24, Weight = 28,
                                 Italic = 32, Underline = 33, StrikeOut = 34, Charset = 35, FaceName = 40,
                                 FaceNameBytes = 64, Size = 104;
};
struct ExtFloodFill {
    static constexpr std::size_t Point = 8, ColorRef = 16, Mode = 20, Size = 24;
};
struct ExtSelectClipRgn {
    static constexpr std::size_t RegionSize = 8, Mode = 12, Region = 16, Size = 16;
};
struct FillRgn {
    static constexpr std::size_t Bounds = 8, RegionSize = 24, Brush = 28, Region = 32, Size = 32;
};
struct FrameRgn {
    static constexpr std::size_t Bounds = 8, RegionSize = 24, Brush = 28, Width = 32, Height = 36, Region = 40,
                                 Size = 40;
};
// INVERTRGN, PAINTRGN.
struct PaintRgn {
    static constexpr std::size_t Bounds = 8, RegionSize = 24, Region = 28, Size = 28;
};
// RGNDATA inside a region record: a 32-byte header, then RECTLs.
struct RegionData {
    static constexpr std::size_t Count = 8, Rects = 32, Size = 32;
};
// EXTTEXTOUTA, EXTTEXTOUTW: one EMRTEXT at Text.
struct ExtTextOut {
    static constexpr std::size_t Bounds = 8, GraphicsMode = 24, XScale = 28, YScale = 32, Text = 36, Size = 76;
};
// EMRTEXT, from its own start; offsets it holds count from the record's.
struct EmrText {
    static constexpr std::size_t Reference = 0, Chars = 8, StringOffset = 12, Options = 16, Rectangle = 20,
                                 DxOffset = 36, Size = 40;
};
// POLYTEXTOUTA, POLYTEXTOUTW: a count of EMRTEXT.
struct PolyTextOut {
    static constexpr std::size_t Bounds = 8, GraphicsMode = 24, XScale = 28, YScale = 32, Strings = 36, Texts = 40,
                                 Size = 40;
};
// SMALLTEXTOUT: a rectangle unless ETO_NO_RECT, then the characters.
struct SmallTextOut {
    static constexpr std::size_t Reference = 8, Chars = 16, Options = 20, GraphicsMode = 24, XScale = 28, YScale = 32,
                                 Rest = 36, Size = 36;
    static constexpr std::uint32_t NoRect = 0x100, SmallChars = 0x200;
};
struct GradientFill {
    static constexpr std::size_t Bounds = 8, Vertexes = 24, Shapes = 28, Mode = 32, Vertex = 36, Size = 36;
    static constexpr std::size_t VertexSize = 16; // x, y, then 16-bit red, green, blue, alpha
};
// A bitmap inside a record: offset and size of its header and of its bits.
struct Dib {
    static constexpr std::size_t BmiOffset = 0, BmiSize = 4, BitsOffset = 8, BitsSize = 12;
};
// BITBLT, and STRETCHBLT with the source size after it; ALPHABLEND and
// TRANSPARENTBLT share STRETCHBLT's layout with their own value in Rop.
struct BitBlt {
    static constexpr std::size_t Bounds = 8, XDest = 24, YDest = 28, CxDest = 32, CyDest = 36, Rop = 40, XSrc = 44,
                                 YSrc = 48, XFormSrc = 52, BkColorSrc = 76, UsageSrc = 80, Dib = 84, Size = 100;
};
struct StretchBlt {
    static constexpr std::size_t CxSrc = 100, CySrc = 104, Size = 108;
};
struct StretchDIBits {
    static constexpr std::size_t Bounds = 8, XDest = 24, YDest = 28, XSrc = 32, YSrc = 36, CxSrc = 40, CySrc = 44,
                                 Dib = 48, Usage = 64, Rop = 68, CxDest = 72, CyDest = 76, Size = 80;
};
struct SetDIBitsToDevice {
    static constexpr std::size_t Bounds = 8, XDest = 24, YDest = 28, XSrc = 32, YSrc = 36, CxSrc = 40, CySrc = 44,
                                 Dib = 48, Usage = 64, StartScan = 68, Scans = 72, Size = 76;
};

} // namespace mirt::metafile::emf
