// Text of metafile records as code points: bytes in the character set of
// the selected font, or UTF-16 in EMF's wide-character records.
#pragma once

#include "platform/runtime/Encoding.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace mirt::metafile {

struct TDecodedText {
    std::u32string Text;
    std::vector<double> Advances; // one per code point, when the record gives advances
};

// Bytes in the font's character set: SHIFTJIS_CHARSET (128) and the other
// double-byte and Windows code-page sets by their code page, ANSI (0) and
// DEFAULT (1) by the system's code page. byteAdvances (one per byte, may be
// empty) are summed per character. Bytes that do not convert become U+FFFD.
TDecodedText DecodeCharsetText(std::span<const unsigned char> bytes, int charset,
                               const std::vector<double>& byteAdvances);

// UTF-16LE; unitAdvances (one per 16-bit unit, may be empty) summed per code point.
TDecodedText DecodeUtf16Text(std::span<const unsigned char> bytes, const std::vector<double>& unitAdvances);

} // namespace mirt::metafile

namespace mirt::metafile {

// Names and text of records as UTF-8, through the runtime's one encoder.
inline std::string ToUtf8(const std::u32string& text) { return EncodeUtf8(text); }

} // namespace mirt::metafile
