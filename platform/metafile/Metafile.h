// Windows metafiles (WMF, with or without the placeable header, and EMF),
// drawn at their natural size into the top-left part that the limit allows.
#pragma once

#include "platform/picture/Bitmap.h"
#include "platform/runtime/Files.h"

namespace mirt {

TBitmap DecodeWmf(TByteSource& source, TDecodeLimit limit);
TBitmap DecodeEmf(TByteSource& source, TDecodeLimit limit);

} // namespace mirt
