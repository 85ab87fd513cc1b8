#include "platform/metafile/Metafile.h"

#include "platform/metafile/Players.h"
#include "platform/runtime/Errors.h"

#include <cmath>
#include <cstring>
#include <string>

namespace mirt {

namespace metafile {

std::vector<unsigned char> ReadMetafile(TByteSource& source, const char* kind)
{
    std::uint64_t size = source.Size();
    if (size > MaxMetafileBytes)
        throw EPictureError(std::string("Metafile too large: ") + kind + " of " + std::to_string(size) +
                            " bytes (at most " + std::to_string(MaxMetafileBytes) + " are read)");
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    std::size_t got = source.ReadAt(0, bytes);
    bytes.resize(got);
    return bytes;
}

TOutputSurface::TOutputSurface(double width, double height, TDecodeLimit limit, const TRecordReader& header)
{
    if (width > MaxNaturalSize || height > MaxNaturalSize)
        header.Fail("Metafile too large: " + std::to_string(std::lround(width)) + " x " +
                    std::to_string(std::lround(height)) + " pixels");
    const int naturalWidth = static_cast<int>(std::lround(width));
    const int naturalHeight = static_cast<int>(std::lround(height));
    if (naturalWidth < 1 || naturalHeight < 1) header.Fail("Metafile has an empty picture frame");
    bitmap_.NaturalWidth = naturalWidth;
    bitmap_.NaturalHeight = naturalHeight;
    bitmap_.Width = std::max(0, std::min(naturalWidth, limit.Width));
    bitmap_.Height = std::max(0, std::min(naturalHeight, limit.Height));
    bitmap_.Pixels.assign(static_cast<std::size_t>(bitmap_.Width) * static_cast<std::size_t>(bitmap_.Height), 0);
    // cairo needs a stride of 4 * width for ARGB32, which is what TBitmap keeps.
    surface_ = BitmapSurface(bitmap_);
    cr_ = DrawOn(surface_);
}

TBitmap TOutputSurface::Take()
{
    cairo_surface_flush(surface_.get());
    cr_.reset();
    cairo_surface_finish(surface_.get());
    surface_.reset();
    return std::move(bitmap_);
}

} // namespace metafile

TBitmap DecodeWmf(TByteSource& source, TDecodeLimit limit)
{
    std::vector<unsigned char> bytes = metafile::ReadMetafile(source, "WMF");
    return metafile::PlayWmf(bytes, limit);
}

TBitmap DecodeEmf(TByteSource& source, TDecodeLimit limit)
{
    std::vector<unsigned char> bytes = metafile::ReadMetafile(source, "EMF");
    return metafile::PlayEmf(bytes, limit);
}

} // namespace mirt
