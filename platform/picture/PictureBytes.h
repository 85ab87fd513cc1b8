// Helpers shared by the decoders (not part of the library's interface):
// exact reads that turn a short file into a picture error, little-endian
// fields, a window onto part of a source, and premultiplied ARGB pixels.
#pragma once

#include "platform/picture/Bitmap.h"
#include "platform/runtime/Errors.h"
#include "platform/runtime/Files.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace mirt::picture {

// Reads exactly dst.size() bytes at offset; raises EPictureError naming what
// was being read when the source ends first.
inline void ReadExact(TByteSource& source, std::uint64_t offset, std::span<unsigned char> dst, const char* what)
{
    if (source.ReadAt(offset, dst) != dst.size())
        throw EPictureError(std::string("Truncated picture file: ") + what + " runs past the end");
}

inline std::uint16_t Le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
inline std::uint32_t Le32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
inline std::int32_t Le32s(const unsigned char* p) { return static_cast<std::int32_t>(Le32(p)); }

// The bytes [Offset, Offset + Length) of another source, seen as a source of
// their own: reads never leave the window.
class TWindowSource final : public TByteSource {
public:
    TWindowSource(TByteSource& base, std::uint64_t offset, std::uint64_t length)
        : base_(base), offset_(offset), length_(length)
    {
    }
    std::uint64_t Size() const override { return length_; }
    std::size_t ReadAt(std::uint64_t offset, std::span<unsigned char> dst) override
    {
        if (offset >= length_) return 0;
        std::uint64_t room = length_ - offset;
        if (dst.size() > room) dst = dst.first(static_cast<std::size_t>(room));
        return base_.ReadAt(offset_ + offset, dst);
    }

private:
    TByteSource& base_;
    std::uint64_t offset_;
    std::uint64_t length_;
};

inline std::uint32_t OpaqueArgb(unsigned r, unsigned g, unsigned b) { return 0xFF000000u | r << 16 | g << 8 | b; }

// Straight (not premultiplied) components to premultiplied ARGB32.
inline std::uint32_t PremultipliedArgb(unsigned a, unsigned r, unsigned g, unsigned b)
{
    if (a == 255) return OpaqueArgb(r, g, b);
    auto mul = [a](unsigned c) { return (c * a + 127) / 255; };
    return a << 24 | mul(r) << 16 | mul(g) << 8 | mul(b);
}

// A bitmap of natural size w x h whose decoded part is what the limit allows
// (a limit of 0 or less leaves that side empty); the pixels start fully
// transparent.
TBitmap MakeBitmap(int naturalWidth, int naturalHeight, TDecodeLimit limit);

} // namespace mirt::picture
