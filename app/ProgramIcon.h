// The program's icon: a framed landscape. The window shows it at 32 x 32,
// drawn at start-up; the installed 32 and 48 px theme icons are drawn by the
// same routine at build time.
#pragma once

#include "platform/picture/Bitmap.h"

#include <memory>

namespace mirt {

// The icon at size x size pixels (at least 1), premultiplied ARGB, opaque.
std::shared_ptr<const TBitmap> ProgramIcon(int size = 32);

} // namespace mirt
