#include "platform/picture/Decoders.h"

#include "platform/picture/DibReader.h"
#include "platform/picture/PictureBytes.h"

#include <array>

namespace mirt {

// A BMP file: the 14-byte file header ("BM", file size, reserved words, the
// offset of the pixel bits), then a DIB whose bits start at that offset.
TBitmap DecodeBmp(TByteSource& source, TDecodeLimit limit)
{
    std::array<unsigned char, 14> header{};
    if (source.ReadAt(0, header) != header.size() || header[0] != 'B' || header[1] != 'M')
        throw EPictureError("Not a BMP file (no \"BM\" header)");
    picture::TDibPlacement where;
    where.HeaderOffset = header.size();
    where.BitsOffset = picture::Le32(header.data() + 10);
    return picture::DecodeDibFrom(source, where, limit);
}

} // namespace mirt
