// The program's fonts on this system: a design's Windows face is matched
// through fontconfig to the nearest installed font for its character set and
// registered with FLTK the first time text in it is drawn.
#pragma once

#include "platform/gui/Controls.h"

#include <FL/Enumerations.H>

namespace mirt::gui::fltk {

Fl_Font FontFor(const TFont& font);

} // namespace mirt::gui::fltk
