#include "platform/metafile/Players.h"

#include "platform/picture/Dib.h"
#include "platform/runtime/Errors.h"

namespace mirt::metafile {

namespace {

// A bitmap in a record is stretched into its destination, so more than the
// visible 200 x 200 may show; its top-left part up to this size is decoded.
constexpr TDecodeLimit RecordBitmapLimit{2048, 2048};

} // namespace

std::shared_ptr<const TBitmap> DecodeRecordBitmap(std::span<const unsigned char> info,
                                                  std::span<const unsigned char> bits)
{
    // The shared decoder reads a packed DIB: header and colours, then bits.
    std::vector<unsigned char> packed;
    std::span<const unsigned char> whole = info;
    if (!bits.empty()) {
        packed.reserve(info.size() + bits.size());
        packed.insert(packed.end(), info.begin(), info.end());
        packed.insert(packed.end(), bits.begin(), bits.end());
        whole = packed;
    }
    try {
        auto bitmap = std::make_shared<TBitmap>(DecodeDib(whole, RecordBitmapLimit));
        if (bitmap->Width <= 0 || bitmap->Height <= 0) return nullptr;
        return bitmap;
    } catch (const EPictureError&) {
        return nullptr; // a broken bitmap is not drawn; the rest of the picture is
    }
}

} // namespace mirt::metafile
