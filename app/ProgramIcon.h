// The program's 32 x 32 icon: a framed landscape, drawn at start-up.
#pragma once

#include "platform/picture/Bitmap.h"

#include <memory>

namespace mirt {

std::shared_ptr<const TBitmap> ProgramIcon();

} // namespace mirt
