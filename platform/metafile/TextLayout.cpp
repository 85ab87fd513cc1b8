#include "platform/metafile/TextLayout.h"

namespace mirt::metafile {

TTextDirection TextDirection(int graphicsMode, int escapement, int orientation, bool xLeft, bool yUp)
{
    TTextDirection d;
    if (graphicsMode == GM_ADVANCED) {
        d.Baseline = escapement;
        d.Glyphs = orientation;
        return d;
    }
    // Turned upright, the logical baseline (cos e, -sin e) keeps its angle
    // when y points down and changes its sign when y points up.
    d.FlipX = xLeft;
    d.FlipY = yUp;
    d.Baseline = d.Glyphs = yUp ? -escapement : escapement;
    return d;
}

std::vector<double> SpacedAdvances(const std::u32string& text, const std::vector<double>& natural,
                                   const TTextSpacing& spacing)
{
    std::vector<double> advances(text.size(), 0.0);
    const double perBreak = spacing.BreakCount > 0 ? spacing.BreakExtra / spacing.BreakCount : 0.0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        advances[i] = (i < natural.size() ? natural[i] : 0.0) + spacing.CharExtra;
        if (text[i] == U' ') advances[i] += perBreak;
    }
    return advances;
}

} // namespace mirt::metafile
