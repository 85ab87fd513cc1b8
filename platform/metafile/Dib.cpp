#include "platform/metafile/Players.h"

namespace mirt::metafile {

std::shared_ptr<const TBitmap> DecodeRecordBitmap(std::span<const unsigned char>, std::span<const unsigned char>)
{
    // Bitmaps in records wait for the shared DIB decoder; until then they are skipped.
    return nullptr;
}

} // namespace mirt::metafile
