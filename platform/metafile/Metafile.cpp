#include "platform/metafile/Metafile.h"

#include "platform/runtime/Errors.h"

namespace mirt {

TBitmap DecodeWmf(TByteSource&, TDecodeLimit)
{
    throw EPictureError("Metafile pictures (.wmf) cannot be shown yet");
}

TBitmap DecodeEmf(TByteSource&, TDecodeLimit)
{
    throw EPictureError("Metafile pictures (.emf) cannot be shown yet");
}

} // namespace mirt
