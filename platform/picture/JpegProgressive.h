// Progressive JPEG pictures in memory that depends on the visible part: the
// scans are entropy-decoded here, keeping full coefficients only for the
// blocks the visible part needs, and those blocks are handed back as a small
// baseline JPEG for libjpeg to decode as usual. Internal to the JPEG decoder.
#pragma once

#include "platform/picture/Bitmap.h"
#include "platform/runtime/Files.h"

#include <cstdint>
#include <cstdio> // jpeglib.h needs FILE
#include <optional>
#include <vector>

#include <jpeglib.h>

namespace mirt::jpeg {

// Memory libjpeg may use. A baseline picture cropped to the visible part
// needs little; libjpeg's own decoding of a progressive one keeps every
// coefficient of the whole picture (a 6000 x 4000 colour photo about 144 MB),
// and bigger ones are refused.
constexpr long kMaxMemory = 160L * 1024 * 1024;
// Scans of a progressive picture; real files have about ten, a hostile one
// could have thousands that each walk the whole picture.
constexpr int kMaxScans = 100;
// Coefficients walked by all scans of a multi-scan picture together. A scan
// walks its band of coefficients in every block of its components however
// few bytes it has (a refinement scan of a large picture takes a hundred
// bytes and a tenth of a second), so the scan count alone does not bound the
// time. Real progressive files walk each coefficient two or three times
// (counted as below); this allows four walks of the largest picture
// kMaxMemory can hold.
constexpr std::uint64_t kMaxScanCoefficients = 4 * (kMaxMemory / sizeof(JCOEF));

// What a scan over these components and this band of coefficients adds to
// the count bounded by kMaxScanCoefficients: visiting a block costs about as
// much as walking 16 coefficients, so a narrow band counts as 16.
inline std::uint64_t ScanWalk(std::uint64_t blocks, int ss, int se)
{
    return blocks * static_cast<unsigned>(se - ss + 1 > 16 ? se - ss + 1 : 16);
}

// Whether the scans of the picture whose header libjpeg has just read (up to
// and including its first SOS marker) can be decoded here: progressive
// Huffman coding, 8-bit samples, sampling factors of 1 or 2, and a colour
// space the rest of the decoder knows.
bool DecodesHere(const jpeg_decompress_struct& header);

// Reads every scan, the first one's entropy-coded data starting at
// dataOffset, and returns a baseline JPEG holding the top-left part of the
// picture that covers visibleWidth x visibleHeight pixels and the neighbours
// libjpeg's upsampling looks at (one MCU more to the right and below, within
// the picture).
// Returns nothing when the file needs libjpeg's own handling (corrupt or
// unusual data, where libjpeg would warn or smooth blocks, or coefficients
// too large for a baseline file), raises
// EPictureError when the scans exceed the limits above and EInOutError when
// the source cannot be read.
std::optional<std::vector<unsigned char>> DecodeVisibleCoefficients(TByteSource& source, std::uint64_t dataOffset,
                                                                    jpeg_decompress_struct& header, int visibleWidth,
                                                                    int visibleHeight);

// The two ways DecodeJpeg can take, for comparing them. The first is libjpeg
// reading every scan into the coefficients of the whole picture; the second
// reads the scans here and returns nothing where DecodeJpeg would fall back
// to the first (a single-scan picture, unusual or corrupt data).
TBitmap DecodeWithLibjpegAlone(TByteSource& source, TDecodeLimit limit);
std::optional<TBitmap> DecodeVisibleScans(TByteSource& source, TDecodeLimit limit);

} // namespace mirt::jpeg
