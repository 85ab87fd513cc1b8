// The picture decoders. Each treats its input as hostile and raises
// EPictureError (or EInOutError for an OS read error) on anything it cannot
// decode; none reads or allocates beyond what the limit needs.
#pragma once

#include "platform/picture/Bitmap.h"
#include "platform/runtime/Files.h"

namespace mirt {

TBitmap DecodeBmp(TByteSource& source, TDecodeLimit limit);
TBitmap DecodeIco(TByteSource& source, TDecodeLimit limit);
TBitmap DecodeJpeg(TByteSource& source, TDecodeLimit limit);

} // namespace mirt
