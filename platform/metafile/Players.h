// What the WMF and EMF players share: reading the file, the output surface
// and the bitmaps inside records.
#pragma once

#include "platform/metafile/CanvasCairo.h"
#include "platform/metafile/RecordReader.h"
#include "platform/picture/Bitmap.h"
#include "platform/runtime/Files.h"

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace mirt::metafile {

// Metafiles larger than this are refused rather than read.
inline constexpr std::uint64_t MaxMetafileBytes = 32u << 20;
// Natural sizes larger than this (in pixels, either way) are refused.
inline constexpr double MaxNaturalSize = 65535;

// The whole file; raises EPictureError when it is larger than MaxMetafileBytes.
std::vector<unsigned char> ReadMetafile(TByteSource& source, const char* kind);

// The visible part of a picture of the given natural size as a transparent
// ARGB32 surface of min(natural, limit) pixels. The size in pixels is rounded;
// one that is empty or over MaxNaturalSize fails through the header's reader.
class TOutputSurface {
public:
    TOutputSurface(double naturalWidth, double naturalHeight, TDecodeLimit limit, const TRecordReader& header);
    cairo_t* Cairo() const { return cr_.get(); }
    // The pixels drawn; the surface is finished and cannot be drawn on again.
    TBitmap Take();

private:
    TBitmap bitmap_;
    TSurface surface_; // over bitmap_'s pixels
    TCairo cr_;
};

// A device-independent bitmap held in a record (header and colour table in
// one span, bits in another), decoded for drawing; null when it cannot be.
// maxPixels bounds what is decoded.
std::shared_ptr<const TBitmap> DecodeRecordBitmap(std::span<const unsigned char> info,
                                                  std::span<const unsigned char> bits);

TBitmap PlayWmf(std::span<const unsigned char> bytes, TDecodeLimit limit);
TBitmap PlayEmf(std::span<const unsigned char> bytes, TDecodeLimit limit);

} // namespace mirt::metafile
