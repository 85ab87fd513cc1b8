// The drawing state of a Windows device context and its drawing operations,
// carried out with cairo. The WMF and EMF players translate records into
// calls on this canvas; coordinates passed in are logical units, mapped by
// the world transform, the window/viewport mapping and the fixed
// device-to-output transform.
#pragma once

#include "platform/metafile/CanvasCairo.h"
#include "platform/metafile/RecordTable.h"
#include "platform/picture/Bitmap.h"

#include <cairo.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace mirt::metafile {

struct TColor {
    double R = 0, G = 0, B = 0;
    static TColor FromColorRef(std::uint32_t colorRef)
    {
        return {(colorRef & 0xFF) / 255.0, (colorRef >> 8 & 0xFF) / 255.0, (colorRef >> 16 & 0xFF) / 255.0};
    }
};

struct TPoint {
    double X = 0, Y = 0;
};

struct TRect {
    double Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// Pen styles, brush styles and other GDI constants the players pass through.
enum : std::uint32_t {
    PS_SOLID = 0,
    PS_DASH = 1,
    PS_DOT = 2,
    PS_DASHDOT = 3,
    PS_DASHDOTDOT = 4,
    PS_NULL = 5,
    PS_INSIDEFRAME = 6,
    PS_USERSTYLE = 7,
    PS_ALTERNATE = 8,
    PS_STYLE_MASK = 0xF,
    PS_ENDCAP_ROUND = 0,
    PS_ENDCAP_SQUARE = 0x100,
    PS_ENDCAP_FLAT = 0x200,
    PS_ENDCAP_MASK = 0xF00,
    PS_JOIN_ROUND = 0,
    PS_JOIN_BEVEL = 0x1000,
    PS_JOIN_MITER = 0x2000,
    PS_JOIN_MASK = 0xF000,
    PS_GEOMETRIC = 0x10000,
};
enum : std::uint32_t {
    BS_SOLID = 0,
    BS_NULL = 1,
    BS_HATCHED = 2,
    BS_PATTERN = 3,
    BS_DIBPATTERN = 5,
    BS_DIBPATTERNPT = 6,
};
enum : int { TRANSPARENT = 1, OPAQUE = 2 };
enum : int { ALTERNATE = 1, WINDING = 2 };
enum : int {
    MM_TEXT = 1,
    MM_LOMETRIC = 2,
    MM_HIMETRIC = 3,
    MM_LOENGLISH = 4,
    MM_HIENGLISH = 5,
    MM_TWIPS = 6,
    MM_ISOTROPIC = 7,
    MM_ANISOTROPIC = 8,
};
enum : std::uint32_t {
    TA_UPDATECP = 1,
    TA_RIGHT = 2,
    TA_CENTER = 6,
    TA_HMASK = 6,
    TA_BOTTOM = 8,
    TA_BASELINE = 24,
    TA_VMASK = 24,
};
enum : std::uint32_t { ETO_OPAQUE = 2, ETO_CLIPPED = 4 };
// Binary raster operations (SetROP2) and flood fill modes.
enum : int {
    R2_BLACK = 1,
    R2_NOTMERGEPEN = 2,
    R2_MASKNOTPEN = 3,
    R2_NOTCOPYPEN = 4,
    R2_MASKPENNOT = 5,
    R2_NOT = 6,
    R2_XORPEN = 7,
    R2_NOTMASKPEN = 8,
    R2_MASKPEN = 9,
    R2_NOTXORPEN = 10,
    R2_NOP = 11,
    R2_MERGENOTPEN = 12,
    R2_COPYPEN = 13,
    R2_MERGEPENNOT = 14,
    R2_MERGEPEN = 15,
    R2_WHITE = 16,
};
enum : int { FLOODFILLBORDER = 0, FLOODFILLSURFACE = 1 };
// Ternary raster operations of the blits.
enum : std::uint32_t { SRCCOPY = 0x00CC0020 };
enum : int { RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5 };

struct TPen {
    std::uint32_t Style = PS_SOLID;
    double Width = 0;     // logical units; 0 draws one output pixel
    bool Cosmetic = true; // one output pixel whatever the width
    TColor Color;
    std::vector<double> UserDashes; // PS_USERSTYLE, in logical units
};

struct TBrush {
    std::uint32_t Style = BS_SOLID;
    TColor Color{1, 1, 1}; // a device context starts with the white brush
    std::uint32_t Hatch = 0;
    std::shared_ptr<const TBitmap> Pattern; // BS_PATTERN / BS_DIBPATTERN

    // A brush from a logical-brush record (both formats): styles other than
    // solid, null and hatched need a bitmap that such a record lacks, so they
    // paint solid.
    static TBrush FromLogBrush(std::uint32_t style, std::uint32_t colorRef, std::uint32_t hatch)
    {
        TBrush brush;
        brush.Style = style == BS_SOLID || style == BS_NULL || style == BS_HATCHED ? style : BS_SOLID;
        brush.Color = TColor::FromColorRef(colorRef);
        brush.Hatch = hatch;
        return brush;
    }
};

struct TFont {
    int Height = 0;     // < 0: character height, > 0: cell height, 0: default
    int Escapement = 0; // tenths of a degree, counterclockwise
    int Weight = 400;
    bool Italic = false, Underline = false, StrikeOut = false;
    int Charset = 1;
    std::string Face; // UTF-8
};

// A region as a union of rectangles: EMF region data is in device units,
// WMF region objects in logical units.
struct TRegion {
    std::vector<TRect> Rects;
    bool Logical = false;
};

// Palettes and other objects that take a slot but are not drawn with.
struct TOtherObject {};

using TGdiObject = std::variant<TOtherObject, TPen, TBrush, TFont, TRegion>;

// A corner of a gradient: logical position and colour.
struct TGradientVertex {
    TPoint At;
    TColor Color;
};

// PolyDraw point types.
enum : std::uint8_t { PT_CLOSEFIGURE = 1, PT_LINETO = 2, PT_BEZIERTO = 4, PT_MOVETO = 6 };

// A limit on save-DC nesting; deeper saves are ignored.
inline constexpr std::size_t MaxSavedStates = 1024;

class TFontCache;

class TGdiCanvas {
public:
    // deviceToOutput maps device units to output pixels; devicePixelsPerMm
    // serves the metric and English map modes. What is drawn only
    // approximately is counted in tally against the record being played.
    TGdiCanvas(cairo_t* cr, const cairo_matrix_t& deviceToOutput, double devicePixelsPerMm, TRecordTally& tally);
    ~TGdiCanvas();
    TGdiCanvas(const TGdiCanvas&) = delete;
    TGdiCanvas& operator=(const TGdiCanvas&) = delete;

    // Objects.
    void SelectPen(const TPen& pen) { dc_.Pen = pen; }
    void SelectBrush(const TBrush& brush) { dc_.Brush = brush; }
    void SelectFont(const TFont& font) { dc_.Font = font; }
    void SelectObject(const TGdiObject& object);
    int CurrentCharset() const { return dc_.Font.Charset; }
    const TBrush& CurrentBrush() const { return dc_.Brush; }

    // Attributes.
    void SetTextColor(TColor c) { dc_.TextColor = c; }
    void SetBkColor(TColor c) { dc_.BkColor = c; }
    void SetBkMode(int mode) { dc_.BkMode = mode; }
    void SetPolyFillMode(int mode) { dc_.PolyFillMode = mode; }
    void SetTextAlign(std::uint32_t align) { dc_.TextAlign = align; }
    void SetArcDirection(int dir) { dc_.ArcClockwise = dir == 2; }
    void SetMiterLimit(double limit) { dc_.MiterLimit = limit; }
    // How pens and brushes combine with what is drawn (R2_*); shapes drawn
    // under any mode but R2_COPYPEN are worked out on the visible part.
    void SetROP2(int mode);

    // Mapping.
    void SetMapMode(int mode);
    void SetWindowOrg(double x, double y) { dc_.WinOrg = {x, y}; }
    void SetWindowExt(double x, double y);
    void SetViewportOrg(double x, double y) { dc_.VpOrg = {x, y}; }
    void SetViewportExt(double x, double y);
    void OffsetWindowOrg(double dx, double dy)
    {
        dc_.WinOrg.X += dx;
        dc_.WinOrg.Y += dy;
    }
    void OffsetViewportOrg(double dx, double dy)
    {
        dc_.VpOrg.X += dx;
        dc_.VpOrg.Y += dy;
    }
    void ScaleWindowExt(double xNum, double xDenom, double yNum, double yDenom);
    void ScaleViewportExt(double xNum, double xDenom, double yNum, double yDenom);
    void SetWorldTransform(const cairo_matrix_t& m) { dc_.World = m; }
    // EMF ModifyWorldTransform: 1 identity, 2 left-multiply, 3 right-multiply, 4 set.
    void ModifyWorldTransform(const cairo_matrix_t& m, std::uint32_t mode);

    // Device context stack (bounded by MaxSavedStates).
    void SaveDC();
    void RestoreDC(int which);

    // Clipping; rectangles in logical units. AND and COPY clip exactly; OR,
    // XOR and DIFF combine masks of the visible part, at whole output pixels.
    void IntersectClipRect(const TRect& r);
    void ExcludeClipRect(const TRect& r);
    void SelectClipRegion(const TRegion& region, int mode);
    void ResetClip();
    // Moves the clip by a logical offset; what lay outside the visible part
    // does not move in.
    void OffsetClip(double dx, double dy);

    // Drawing.
    void MoveTo(TPoint p);
    void LineTo(TPoint p);
    void Polyline(const std::vector<TPoint>& pts);
    void PolylineTo(const std::vector<TPoint>& pts);
    void PolyBezier(const std::vector<TPoint>& pts);
    void PolyBezierTo(const std::vector<TPoint>& pts);
    void Polygon(const std::vector<TPoint>& pts) { PolyPolygon({pts}); }
    void PolyPolygon(const std::vector<std::vector<TPoint>>& polys);
    void PolyPolyline(const std::vector<std::vector<TPoint>>& polys);
    // Lines and Béziers from the current position by point type; a sequence
    // that breaks the rules of the types draws nothing.
    void PolyDraw(const std::vector<TPoint>& pts, const std::vector<std::uint8_t>& types);
    void Rectangle(const TRect& r);
    void RoundRect(const TRect& r, double cornerWidth, double cornerHeight);
    void Ellipse(const TRect& r);
    enum class TArcKind { Arc, ArcTo, Chord, Pie };
    void Arc(TArcKind kind, const TRect& box, TPoint start, TPoint end);
    void SetPixel(TPoint p, TColor c);
    void FillRect(const TRect& r, const TBrush& brush);
    // Regions: filled with a brush (FillRgn, PaintRgn), framed with a brush
    // of the given logical width and height (FrameRgn), inverted (InvertRgn).
    void FillRegion(const TRegion& region, const TBrush& brush);
    void FrameRegion(const TRegion& region, const TBrush& brush, double width, double height);
    void InvertRegion(const TRegion& region);
    // GradientFill: a rectangle shaded between two corners, left to right or
    // top to bottom; a triangle shaded between its three corners.
    void GradientRect(const TGradientVertex& a, const TGradientVertex& b, bool vertical);
    void GradientTriangle(const TGradientVertex& a, const TGradientVertex& b, const TGradientVertex& c);
    // PatBlt and the bitmap-less blits: the brush combined with what is
    // there by the raster operation (PATCOPY, PATINVERT, DSTINVERT,
    // BLACKNESS, WHITENESS and any other).
    void PatBlt(const TRect& r, std::uint32_t rop);
    // Fills from a point with the brush: up to the border colour
    // (FLOODFILLBORDER) or over the given colour (FLOODFILLSURFACE).
    void FloodFill(TPoint p, TColor color, int mode);

    // Paths.
    void BeginPath();
    void EndPath();
    void AbortPath();
    void CloseFigure();
    void FillPath();
    void StrokePath();
    void StrokeAndFillPath();
    void SelectClipPath(int mode);
    // WidenPath: the saved path stands for the outline of its stroke with the
    // current pen; filling it paints the stroke, clipping to it is skipped.
    void WidenPath();

    // Text: code points at (x, y) with optional advances (logical units) and
    // an optional rectangle for ETO_OPAQUE / ETO_CLIPPED.
    void TextOut(TPoint p, const std::u32string& text, const std::vector<double>& dx, std::uint32_t options,
                 const TRect* rect);

    // A bitmap stretched into a logical rectangle; source rectangle in pixels
    // of the bitmap (top-down).
    void DrawBitmap(const TRect& dest, const TBitmap& bitmap, const TRect& source);
    // The same combined with what is there by a raster operation (SRCAND,
    // SRCPAINT, SRCINVERT and the others that read the source).
    void DrawBitmap(const TRect& dest, const TBitmap& bitmap, const TRect& source, std::uint32_t rop);

    // The output-space rectangle the visible part covers (for bounding work).
    TRect VisibleOutput() const;
    cairo_matrix_t LogicalToOutput() const;

private:
    void DrawSavedPath(bool fill, bool stroke);
    // Output pixels [X0, X1) x [Y0, Y1).
    struct TPixelBox {
        int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
        bool Empty() const { return X1 <= X0 || Y1 <= Y0; }
    };
    void PaintPath(void (*op)(cairo_t*));
    TPixelBox PathBox(bool stroke) const;
    TSurface Layer(cairo_pattern_t* pattern, const TPixelBox& box) const;
    TSurface RectLayer(const TRect& r, const TBrush* brush, TPixelBox& box);
    void ApplyRaster(cairo_surface_t* layer, cairo_surface_t* source, std::uint8_t table, const TPixelBox& box);
    void AppendFigures(const std::vector<std::vector<TPoint>>& polys, bool closed);
    struct TDcState {
        TPen Pen;
        TBrush Brush;
        TFont Font;
        TColor TextColor{0, 0, 0};
        TColor BkColor{1, 1, 1};
        int BkMode = OPAQUE;
        int PolyFillMode = ALTERNATE;
        std::uint32_t TextAlign = 0;
        bool ArcClockwise = false;
        double MiterLimit = 10;
        int Rop2 = R2_COPYPEN;
        int MapMode = MM_TEXT;
        TPoint WinOrg{0, 0}, WinExt{1, 1}, VpOrg{0, 0}, VpExt{1, 1};
        cairo_matrix_t World{1, 0, 0, 1, 0, 0};
        TPoint Current{0, 0};
        bool Clipped = false; // a clip is set (cairo's clip is not the whole surface)
    };

    void ApplyLogical();
    void BeginShape();
    void EndShape(bool fill, bool stroke);
    bool SetBrushSource(const TBrush& brush);
    void StrokeCurrentPath(const TBrush* paintWith = nullptr);
    void FillCurrentPath(const TBrush& brush);
    void AddArcPath(const TRect& box, TPoint start, TPoint end, bool moveToStart, bool& empty);
    void ClipToCurrentPath(int mode, bool evenOdd);
    void AddRegionPath(const TRegion& region);
    TSurface ClipMask();
    void ClipToMask(cairo_surface_t* mask);
    TSurface RegionMask(const TRegion& region, int margin);

    cairo_t* cr_;
    cairo_matrix_t deviceToOutput_;
    double devicePixelsPerMm_;
    TDcState dc_;
    std::vector<TDcState> saved_;
    bool inPath_ = false;
    TPath path_;           // the path closed by EndPath, in output space
    bool widened_ = false; // path_ stands for its stroke
    std::unique_ptr<TFontCache> fonts_;
    TRecordTally& tally_;
};

} // namespace mirt::metafile
