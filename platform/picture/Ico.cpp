#include "platform/picture/Decoders.h"

#include "platform/picture/DibReader.h"
#include "platform/picture/PictureBytes.h"
#include "platform/picture/PngReader.h"
#include "platform/runtime/Checked.h"

#include <array>
#include <string>
#include <vector>

namespace mirt {

namespace {

struct TIconEntry {
    unsigned Width = 0; // 1..256 (0 in the directory means 256)
    unsigned Height = 0;
    unsigned Depth = 0; // bits per pixel from the directory, 0 when it does not say
    std::uint32_t Size = 0;
    std::uint32_t Offset = 0;
};

// An entry's real depth, from its own header, for directories that leave it 0.
unsigned StoredDepth(TByteSource& source, const TIconEntry& entry)
{
    std::array<unsigned char, 26> head{};
    std::size_t got =
        source.ReadAt(entry.Offset, std::span(head).first(std::min<std::size_t>(head.size(), entry.Size)));
    if (picture::HasPngSignature(head.data(), got)) {
        if (got < 26) return 0;
        static const unsigned channels[7] = {1, 0, 3, 1, 2, 0, 4}; // by PNG colour type
        unsigned type = head[25];
        return type < 7 ? head[24] * channels[type] : 0;
    }
    if (got < 16) return 0;
    return picture::Le32(head.data()) == 12 ? picture::Le16(head.data() + 10) : picture::Le16(head.data() + 14);
}

} // namespace

// An icon file: a 6-byte header (0, type 1 or 2, image count), a directory
// of 16-byte entries (width, height, colours, reserved, planes, bits per
// pixel, byte size, offset), then the images: each a DIB whose height counts
// the colour bits and the AND mask, or a PNG file. The largest image is
// shown, the deepest among equally large ones.
TBitmap DecodeIco(TByteSource& source, TDecodeLimit limit)
{
    std::array<unsigned char, 6> header{};
    if (source.ReadAt(0, header) != header.size() || picture::Le16(header.data()) != 0 ||
        (picture::Le16(header.data() + 2) != 1 && picture::Le16(header.data() + 2) != 2))
        throw EPictureError("Not an icon file (bad icon header)");
    const unsigned count = picture::Le16(header.data() + 4);
    if (count == 0) throw EPictureError("Icon file holds no images");
    const std::uint64_t directoryEnd = 6 + 16 * std::uint64_t{count};
    if (directoryEnd > source.Size()) throw EPictureError("Icon directory runs past the end of the file");

    std::vector<unsigned char> directory(16 * std::size_t{count});
    picture::ReadExact(source, 6, directory, "icon directory");
    std::vector<TIconEntry> entries(count);
    for (unsigned i = 0; i < count; ++i) {
        const unsigned char* d = directory.data() + 16 * i;
        TIconEntry& e = entries[i];
        e.Width = d[0] ? d[0] : 256;
        e.Height = d[1] ? d[1] : 256;
        e.Depth = picture::Le16(d + 6);
        e.Size = picture::Le32(d + 8);
        e.Offset = picture::Le32(d + 12);
        const std::string where = "Icon image " + std::to_string(i + 1) + " (" + std::to_string(e.Size) +
                                  " bytes at offset " + std::to_string(e.Offset) + ")";
        if (e.Size == 0) throw EPictureError(where + " is empty");
        if (e.Offset < directoryEnd) throw EPictureError(where + " overlaps the icon directory");
        if (CheckedAdd<std::uint64_t>(e.Offset, e.Size) > source.Size())
            throw EPictureError(where + " runs past the end of the file");
    }

    std::size_t best = 0;
    unsigned bestDepth = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TIconEntry& e = entries[i];
        const unsigned area = e.Width * e.Height, bestArea = entries[best].Width * entries[best].Height;
        if (i > 0 && area < bestArea) continue;
        const unsigned depth = e.Depth ? e.Depth : StoredDepth(source, e);
        if (i == 0 || area > bestArea || depth > bestDepth) {
            best = i;
            bestDepth = depth;
        }
    }

    const TIconEntry& chosen = entries[best];
    picture::TWindowSource image(source, chosen.Offset, chosen.Size);
    std::array<unsigned char, 8> start{};
    std::size_t got = image.ReadAt(0, start);
    if (picture::HasPngSignature(start.data(), got)) return picture::DecodePngFrom(image, limit);
    picture::TDibPlacement where;
    where.IconImage = true;
    return picture::DecodeDibFrom(image, where, limit);
}

} // namespace mirt
