// Where metafile text goes: the direction of its baseline and of its glyphs,
// and the advances GDI gives its characters.
#pragma once

#include <string>
#include <vector>

namespace mirt::metafile {

constexpr int GM_COMPATIBLE = 1, GM_ADVANCED = 2;

// Angles in tenths of a degree, counterclockwise as seen with the y axis
// pointing down, in the space the canvas draws text in: the logical space,
// turned upright first in the compatible mode.
struct TTextDirection {
    bool FlipX = false; // draw in the logical space with its x axis turned over
    bool FlipY = false; // ... and its y axis
    double Baseline = 0;
    double Glyphs = 0;
};

// GDI measures the escapement from the logical x axis as if the y axis
// pointed down: its baseline runs along (cos e, -sin e) in logical units, so
// a mapping whose y axis points up turns the text the other way on the
// output (a chart's axis title at 2700 then reads bottom to top).
// - Compatible mode keeps glyphs upright and unmirrored on the output,
//   turned with the baseline, and writes left to right even when the
//   mapping turns the x axis over; the orientation is ignored.
// - Advanced mode draws everything through the transformation, glyphs
//   included, turned by the orientation on a baseline turned by the
//   escapement.
// xLeft, yUp: the logical x axis points left, the y axis up on the output.
TTextDirection TextDirection(int graphicsMode, int escapement, int orientation, bool xLeft, bool yUp);

// GDI's spacing for text drawn without explicit advances: each character's
// own advance plus the character extra, and each break (space) character a
// share of the justification's extra space. Explicit advances are the
// positions the program recorded and are kept as they are.
struct TTextSpacing {
    double CharExtra = 0;  // logical units added to every character
    double BreakExtra = 0; // logical units shared among BreakCount breaks
    int BreakCount = 0;
};
std::vector<double> SpacedAdvances(const std::u32string& text, const std::vector<double>& natural,
                                   const TTextSpacing& spacing);

} // namespace mirt::metafile
