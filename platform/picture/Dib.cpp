#include "platform/picture/Dib.h"

#include "platform/picture/DibReader.h"
#include "platform/picture/PictureBytes.h"
#include "platform/runtime/Checked.h"

#include <algorithm>
#include <array>
#include <bit>
#include <string>
#include <vector>

namespace mirt {

namespace picture {

TBitmap MakeBitmap(int naturalWidth, int naturalHeight, TDecodeLimit limit)
{
    TBitmap bitmap;
    bitmap.NaturalWidth = naturalWidth;
    bitmap.NaturalHeight = naturalHeight;
    bitmap.Width = std::clamp(limit.Width, 0, naturalWidth);
    bitmap.Height = std::clamp(limit.Height, 0, naturalHeight);
    bitmap.Pixels.assign(CheckedMul<std::size_t>(bitmap.Width, bitmap.Height), 0);
    return bitmap;
}

namespace {

// Sides beyond this are taken for a damaged header rather than a picture.
constexpr std::int64_t kMaxSide = 1 << 20;

enum : std::uint32_t { BiRgb = 0, BiRle8 = 1, BiRle4 = 2, BiBitfields = 3, BiAlphaBitfields = 6 };

std::string Num(std::uint64_t n) { return std::to_string(n); }

// One colour channel stored under a bit mask, scaled to 0..255.
struct TChannel {
    std::uint32_t Mask = 0;
    int Shift = 0;
    std::uint32_t Max = 0;

    explicit TChannel(std::uint32_t mask = 0) : Mask(mask)
    {
        if (mask) {
            Shift = std::countr_zero(mask);
            Max = mask >> Shift;
        }
    }
    unsigned Get(std::uint32_t v) const
    {
        if (!Mask) return 0;
        std::uint32_t c = (v & Mask) >> Shift;
        if (Max == 255) return c;
        return static_cast<unsigned>((std::uint64_t{c} * 255 + Max / 2) / Max);
    }
};

struct THeader {
    std::uint32_t Size = 0;
    bool Core = false; // 12-byte header: 3-byte colour table entries, 16-bit sides
    std::int64_t Width = 0;
    std::int64_t Height = 0; // rows of colour bits (an icon's half of the stored height)
    bool TopDown = false;
    unsigned Bpp = 0;
    std::uint32_t Compression = BiRgb;
    std::uint32_t ColoursUsed = 0;
    std::array<std::uint32_t, 4> Masks{}; // red, green, blue, alpha
    bool AlphaGiven = false;
    std::uint64_t MasksAfterHeader = 0; // bytes of masks that follow a 40-byte header
};

THeader ReadHeader(TByteSource& source, const TDibPlacement& where)
{
    std::array<unsigned char, 124> h{};
    ReadExact(source, where.HeaderOffset, std::span(h).first(4), "bitmap header");
    THeader hd;
    hd.Size = Le32(h.data());
    switch (hd.Size) {
    case 12:
    case 40:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124: break;
    default: throw EPictureError("Unsupported bitmap header size (" + Num(hd.Size) + " bytes)");
    }
    ReadExact(source, where.HeaderOffset, std::span(h).first(hd.Size), "bitmap header");

    std::int64_t storedHeight;
    if (hd.Size == 12) {
        hd.Core = true;
        hd.Width = Le16(h.data() + 4);
        storedHeight = Le16(h.data() + 6);
        hd.Bpp = Le16(h.data() + 10);
    } else {
        hd.Width = Le32s(h.data() + 4);
        storedHeight = Le32s(h.data() + 8);
        hd.Bpp = Le16(h.data() + 14);
        hd.Compression = Le32(h.data() + 16);
        hd.ColoursUsed = Le32(h.data() + 32);
        if (hd.Size == 64 && (hd.Compression == 3 || hd.Compression == 4))
            throw EPictureError(hd.Compression == 3 ? "OS/2 Huffman-compressed bitmaps are not supported"
                                                    : "OS/2 RLE24-compressed bitmaps are not supported");
        if (hd.Compression == BiBitfields || hd.Compression == BiAlphaBitfields) {
            if (hd.Size == 40) {
                hd.MasksAfterHeader = hd.Compression == BiAlphaBitfields ? 16 : 12;
                std::array<unsigned char, 16> m{};
                ReadExact(source, CheckedAdd<std::uint64_t>(where.HeaderOffset, 40),
                          std::span(m).first(hd.MasksAfterHeader), "bitmap colour masks");
                for (std::size_t i = 0; i < hd.MasksAfterHeader / 4; ++i) hd.Masks[i] = Le32(m.data() + 4 * i);
            } else if (hd.Size != 64) {
                for (int i = 0; i < 3; ++i) hd.Masks[i] = Le32(h.data() + 40 + 4 * i);
                if (hd.Size >= 56) hd.Masks[3] = Le32(h.data() + 52);
            }
            hd.AlphaGiven = hd.Masks[3] != 0;
        }
    }

    if (hd.Width <= 0 || hd.Width > kMaxSide)
        throw EPictureError("Bitmap width " + std::to_string(hd.Width) + " is not a usable size");
    if (storedHeight < 0 && !hd.Core) {
        hd.TopDown = true;
        storedHeight = -storedHeight;
    }
    hd.Height = where.IconImage ? storedHeight / 2 : storedHeight;
    if (hd.Height <= 0 || hd.Height > kMaxSide)
        throw EPictureError("Bitmap height " + std::to_string(storedHeight) + " is not a usable size");

    switch (hd.Bpp) {
    case 1:
    case 4:
    case 8:
    case 24: break;
    case 16:
    case 32:
        if (!hd.Core) break;
        [[fallthrough]];
    default: throw EPictureError("Unsupported bitmap depth (" + Num(hd.Bpp) + " bits per pixel)");
    }
    switch (hd.Compression) {
    case BiRgb: break;
    case BiRle8:
    case BiRle4:
        if (hd.Bpp != (hd.Compression == BiRle8 ? 8u : 4u))
            throw EPictureError("Bitmap compression RLE" + Num(hd.Bpp == 8 ? 4 : 8) + " does not fit " + Num(hd.Bpp) +
                                " bits per pixel");
        if (where.IconImage) throw EPictureError("Compressed icon images are not supported");
        break;
    case BiBitfields:
    case BiAlphaBitfields:
        if (hd.Bpp != 16 && hd.Bpp != 32)
            throw EPictureError("Bitmap colour masks need 16 or 32 bits per pixel, not " + Num(hd.Bpp));
        break;
    default: throw EPictureError("Unsupported bitmap compression (" + Num(hd.Compression) + ")");
    }
    return hd;
}

// The decoder for one DIB: header read, colour table loaded, bits located.
class TDibDecoder {
public:
    TDibDecoder(TByteSource& source, const TDibPlacement& where, TDecodeLimit limit)
        : source_(source), where_(where), hd_(ReadHeader(source, where)),
          bitmap_(MakeBitmap(static_cast<int>(hd_.Width), static_cast<int>(hd_.Height), limit))
    {
        LoadColourTable();
    }

    TBitmap Decode()
    {
        if (hd_.Compression == BiRle8 || hd_.Compression == BiRle4) DecodeRle();
        else DecodeRows();
        return std::move(bitmap_);
    }

private:
    void LoadColourTable()
    {
        const std::uint64_t entrySize = hd_.Core ? 3 : 4;
        const std::uint64_t start = CheckedAdd<std::uint64_t>(where_.HeaderOffset, hd_.Size + hd_.MasksAfterHeader);
        std::uint64_t count = 0; // entries stored
        std::uint64_t used = 0;  // entries decoded
        if (hd_.Bpp <= 8) {
            const std::uint64_t most = 1u << hd_.Bpp;
            if (hd_.Core) {
                // The core header has no count: the table fills the room up to the bits.
                count = most;
                if (where_.BitsOffset) {
                    if (*where_.BitsOffset < start)
                        throw EPictureError("Bitmap pixel data offset " + Num(*where_.BitsOffset) +
                                            " lies inside its header");
                    count = std::min(most, (*where_.BitsOffset - start) / entrySize);
                }
            } else {
                count = hd_.ColoursUsed ? hd_.ColoursUsed : most;
                if (count > most)
                    throw EPictureError("Bitmap colour table of " + Num(count) + " entries is too large for " +
                                        Num(hd_.Bpp) + " bits per pixel");
            }
            if (count == 0) throw EPictureError("Bitmap has no colour table");
            used = count;
        } else {
            count = hd_.ColoursUsed; // an optional table that pixels of this depth do not use
        }
        const std::uint64_t end = CheckedAdd(start, CheckedMul(count, entrySize));
        if (end > source_.Size())
            throw EPictureError("Bitmap colour table of " + Num(count) + " entries runs past the end of the file");
        if (where_.BitsOffset && *where_.BitsOffset < end)
            throw EPictureError("Bitmap pixel data offset " + Num(*where_.BitsOffset) + " overlaps the colour table");
        bitsStart_ = where_.BitsOffset ? *where_.BitsOffset : end;

        palette_.fill(OpaqueArgb(0, 0, 0)); // indices past the table show black
        std::array<unsigned char, 256 * 4> raw{};
        ReadExact(source_, start, std::span(raw).first(used * entrySize), "bitmap colour table");
        for (std::uint64_t i = 0; i < used; ++i) {
            const unsigned char* e = raw.data() + i * entrySize;
            palette_[i] = OpaqueArgb(e[2], e[1], e[0]);
        }
    }

    // Uncompressed bits: only the visible rows are read, and of each row only
    // the bytes of the visible columns.
    void DecodeRows()
    {
        const std::uint64_t stride =
            CheckedMul<std::uint64_t>((CheckedMul<std::uint64_t>(hd_.Width, hd_.Bpp) + 31) / 32, 4);
        const std::uint64_t bitsSize = CheckedMul<std::uint64_t>(stride, hd_.Height);
        const std::uint64_t bitsEnd = CheckedAdd(bitsStart_, bitsSize);
        if (bitsEnd > source_.Size())
            throw EPictureError("Truncated bitmap: its pixel data needs " + Num(bitsSize) + " bytes at offset " +
                                Num(bitsStart_) + ", the file has " + Num(source_.Size()));

        const int w = bitmap_.Width, h = bitmap_.Height;
        std::vector<unsigned char> row((static_cast<std::size_t>(w) * hd_.Bpp + 7) / 8);

        // 16/32-bit pixels: the masks given, or the defaults (5-5-5 and 8-8-8).
        const bool masked = hd_.Compression == BiBitfields || hd_.Compression == BiAlphaBitfields;
        std::array<std::uint32_t, 4> masks = hd_.Masks;
        if (!masked) {
            masks = hd_.Bpp == 16 ? std::array<std::uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                                  : std::array<std::uint32_t, 4>{0xFF0000, 0xFF00, 0xFF, 0};
            if (where_.IconImage && hd_.Bpp == 32) masks[3] = 0xFF000000u;
        }
        const bool alpha = hd_.Bpp == 32 && masks[3] != 0 && (hd_.AlphaGiven || where_.IconImage);
        const TChannel red(masks[0]), green(masks[1]), blue(masks[2]), alphaChannel(alpha ? masks[3] : 0);

        bool anyAlpha = false;
        for (int y = 0; y < h; ++y) {
            const std::uint64_t fileRow = hd_.TopDown ? y : hd_.Height - 1 - y;
            ReadExact(source_, bitsStart_ + fileRow * stride, row, "bitmap row");
            std::uint32_t* out = bitmap_.Pixels.data() + static_cast<std::size_t>(y) * w;
            const unsigned char* p = row.data();
            switch (hd_.Bpp) {
            case 1:
            case 4:
            case 8: {
                const unsigned bpp = hd_.Bpp, perByte = 8 / bpp, mask = (1u << bpp) - 1;
                for (int x = 0; x < w; ++x) {
                    unsigned shift = 8 - bpp * (x % perByte + 1);
                    out[x] = palette_[(p[x / perByte] >> shift) & mask];
                }
                break;
            }
            case 24:
                for (int x = 0; x < w; ++x, p += 3) out[x] = OpaqueArgb(p[2], p[1], p[0]);
                break;
            case 16:
            case 32:
                for (int x = 0; x < w; ++x) {
                    std::uint32_t v = hd_.Bpp == 16 ? Le16(p + 2 * x) : Le32(p + 4 * x);
                    unsigned a = alpha ? alphaChannel.Get(v) : 255;
                    anyAlpha |= a != 0;
                    // Straight alpha here: whether the channel is meant at all is known
                    // only once every row is read; the pixels are premultiplied below.
                    out[x] = a << 24 | red.Get(v) << 16 | green.Get(v) << 8 | blue.Get(v);
                }
                break;
            }
        }

        // Alpha that is zero all over the decoded part was never meant (writers that fill the
        // channel with zeros): the picture is opaque, and an icon then relies on
        // its AND mask, as older icons do.
        if (alpha && !anyAlpha)
            for (auto& px : bitmap_.Pixels) px |= 0xFF000000u;
        if (where_.IconImage && (!alpha || !anyAlpha)) ApplyAndMask(bitsEnd);
        if (alpha && anyAlpha)
            for (auto& px : bitmap_.Pixels)
                px = PremultipliedArgb(px >> 24, px >> 16 & 0xFF, px >> 8 & 0xFF, px & 0xFF);
    }

    // An icon's 1-bit AND mask follows its colour bits; a set bit is transparent.
    void ApplyAndMask(std::uint64_t maskStart)
    {
        const std::uint64_t stride = (static_cast<std::uint64_t>(hd_.Width) + 31) / 32 * 4;
        const int w = bitmap_.Width, h = bitmap_.Height;
        std::vector<unsigned char> row((static_cast<std::size_t>(w) + 7) / 8);
        for (int y = 0; y < h; ++y) {
            const std::uint64_t fileRow = hd_.TopDown ? y : hd_.Height - 1 - y;
            ReadExact(source_, CheckedAdd(maskStart, fileRow * stride), row, "icon mask");
            std::uint32_t* out = bitmap_.Pixels.data() + static_cast<std::size_t>(y) * w;
            for (int x = 0; x < w; ++x)
                if (row[x / 8] >> (7 - x % 8) & 1) out[x] = 0;
        }
    }

    // Run-length bits must be walked from their start. Only the visible part
    // is stored; the walk stops once the visible rows are complete (top-down
    // bitmaps) or at the last row (bottom-up ones, whose visible rows come last).
    void DecodeRle()
    {
        TRleReader in(source_, bitsStart_);
        const bool four = hd_.Compression == BiRle4;
        const std::int64_t width = hd_.Width, height = hd_.Height;
        const int w = bitmap_.Width, h = bitmap_.Height;
        std::fill(bitmap_.Pixels.begin(), bitmap_.Pixels.end(), palette_[0]);

        std::int64_t x = 0, row = 0; // row counts in file order from the first stored row
        auto visibleRow = [&]() -> std::uint32_t* {
            std::int64_t y = hd_.TopDown ? row : height - 1 - row;
            return y >= 0 && y < h ? bitmap_.Pixels.data() + y * w : nullptr;
        };
        auto startRun = [&](std::int64_t n) {
            if (row >= height) throw EPictureError("Bitmap run-length data goes past the last row");
            if (x + n > width)
                throw EPictureError("Bitmap run-length data goes past the right edge in row " + Num(row));
        };
        auto finished = [&]() { return hd_.TopDown ? row >= h : row >= height; };

        while (!finished()) {
            unsigned count = in.Next(), value = in.Next();
            if (count > 0) {
                startRun(count);
                if (std::uint32_t* out = visibleRow())
                    for (std::int64_t i = x; i < std::min<std::int64_t>(x + count, w); ++i)
                        out[i] = palette_[four ? ((i - x) % 2 ? value & 15 : value >> 4) : value];
                x += count;
                continue;
            }
            switch (value) {
            case 0: // end of line
                x = 0;
                ++row;
                break;
            case 1: // end of bitmap
                return;
            case 2: { // delta: right and on to later rows
                unsigned dx = in.Next(), dy = in.Next();
                x += dx;
                row += dy;
                if (x > width || row > height) throw EPictureError("Bitmap run-length delta moves outside the bitmap");
                break;
            }
            default: { // literal pixels, padded to an even number of bytes
                startRun(value);
                std::uint32_t* out = visibleRow();
                unsigned bytes = four ? (value + 1) / 2 : value;
                unsigned pixel = 0;
                for (unsigned b = 0; b < bytes; ++b) {
                    unsigned byte = in.Next();
                    for (unsigned half = 0; half < (four ? 2u : 1u) && pixel < value; ++half, ++pixel) {
                        unsigned index = four ? (half ? byte & 15 : byte >> 4) : byte;
                        if (out && x + pixel < w) out[x + pixel] = palette_[index];
                    }
                }
                if (bytes % 2) in.Next();
                x += value;
                break;
            }
            }
            if (row > height) throw EPictureError("Bitmap run-length data goes past the last row");
        }
    }

    // Reads run-length data in chunks rather than byte by byte.
    class TRleReader {
    public:
        TRleReader(TByteSource& source, std::uint64_t start) : source_(source), next_(start) {}
        unsigned Next()
        {
            if (pos_ == len_) {
                buffer_.resize(64 * 1024);
                len_ = source_.ReadAt(next_, buffer_);
                next_ += len_;
                pos_ = 0;
                if (len_ == 0) throw EPictureError("Truncated bitmap: run-length data ends before the bitmap does");
            }
            return buffer_[pos_++];
        }

    private:
        TByteSource& source_;
        std::uint64_t next_;
        std::vector<unsigned char> buffer_;
        std::size_t pos_ = 0, len_ = 0;
    };

    TByteSource& source_;
    TDibPlacement where_;
    THeader hd_;
    TBitmap bitmap_;
    std::array<std::uint32_t, 256> palette_{};
    std::uint64_t bitsStart_ = 0;
};

} // namespace

TBitmap DecodeDibFrom(TByteSource& source, const TDibPlacement& where, TDecodeLimit limit)
{
    return TDibDecoder(source, where, limit).Decode();
}

} // namespace picture

TBitmap DecodeDib(std::span<const unsigned char> packedDib, TDecodeLimit limit)
{
    TMemorySource source(packedDib);
    return picture::DecodeDibFrom(source, {}, limit);
}

} // namespace mirt
