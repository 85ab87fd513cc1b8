// The program's fonts on this system: a design's Windows face goes through the
// program's one font resolver (the same one metafile text uses) and is
// registered with FLTK the first time text in it is drawn.
#pragma once

#include "platform/gui/Controls.h"

#include <FL/Enumerations.H>

namespace mirt::gui::fltk {

Fl_Font FontFor(const TFont& font);

} // namespace mirt::gui::fltk
