#include "platform/picture/PngReader.h"

#include "platform/picture/PictureBytes.h"

#include <png.h>

#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace mirt::picture {

namespace {

// Sides beyond this are not an icon's: refused before anything is allocated.
constexpr png_uint_32 kMaxSide = 4096;
// Largest chunk (or decompressed text or profile) libpng may hold in memory.
constexpr png_alloc_size_t kMaxChunk = 4 * 1024 * 1024;

// Everything that must outlive a longjmp out of libpng lives here, on the
// heap, never in the frame that called setjmp: locals changed after setjmp are
// unreliable once it returns a second time, and objects with destructors in
// the frames that the jump skips would never be destroyed.
struct TPngContext {
    TByteSource* Source = nullptr;
    std::uint64_t Position = 0;
    TDecodeLimit Limit;
    std::string Error;
    std::exception_ptr ReadFailure; // an EInOutError from the source, rethrown after the jump
    TBitmap Bitmap;
    std::vector<unsigned char> Rows; // the visible rows, RGBA
    std::vector<unsigned char> Scratch;
};

void OnError(png_structp png, png_const_charp message)
{
    auto* ctx = static_cast<TPngContext*>(png_get_error_ptr(png));
    ctx->Error = message;
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void OnRead(png_structp png, png_bytep data, png_size_t length)
{
    auto* ctx = static_cast<TPngContext*>(png_get_io_ptr(png));
    std::size_t got = 0;
    try {
        got = ctx->Source->ReadAt(ctx->Position, std::span(data, length));
    } catch (...) {
        ctx->ReadFailure = std::current_exception();
    }
    if (ctx->ReadFailure) png_error(png, "read error");
    ctx->Position += got;
    if (got != length) png_error(png, "the image data ends early");
}

// Runs inside the setjmp frame's callee: holds nothing that needs destroying.
void ReadImage(png_structp png, png_infop info, TPngContext& ctx)
{
    png_set_user_limits(png, kMaxSide, kMaxSide);
    // A chunk's length is allocated before its data is read, and libpng's cap
    // does not cover text chunks: a 400-byte file could ask for a gigabyte.
    // Only IHDR, PLTE, tRNS, IDAT and IEND matter here; every other chunk is
    // skipped unread.
    png_set_chunk_malloc_max(png, kMaxChunk);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // A fuzzer cannot keep checksums right; without this it never gets past
    // the first chunk it changes.
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    const int colourType = png_get_color_type(png, info);

    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    if (!(colourType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    if (rowBytes != std::size_t{width} * 4) png_error(png, "unexpected row layout");

    ctx.Bitmap = MakeBitmap(static_cast<int>(width), static_cast<int>(height), ctx.Limit);
    const int w = ctx.Bitmap.Width, h = ctx.Bitmap.Height;
    ctx.Rows.assign(rowBytes * h, 0);
    if (passes > 1) {
        // Every pass but the last must be read to its end: keep the visible
        // rows, let the rest pass through. The last pass (every odd row, half
        // of the data) stops after the visible rows.
        ctx.Scratch.assign(rowBytes, 0);
        for (int pass = 0; pass < passes; ++pass) {
            const png_uint_32 rows = pass + 1 == passes ? png_uint_32(h) : height;
            for (png_uint_32 y = 0; y < rows; ++y)
                png_read_row(png, y < png_uint_32(h) ? ctx.Rows.data() + y * rowBytes : ctx.Scratch.data(), nullptr);
        }
    } else {
        for (int y = 0; y < h; ++y) png_read_row(png, ctx.Rows.data() + y * rowBytes, nullptr);
    }
    for (int y = 0; y < h; ++y) {
        const unsigned char* p = ctx.Rows.data() + y * rowBytes;
        std::uint32_t* out = ctx.Bitmap.Pixels.data() + static_cast<std::size_t>(y) * w;
        for (int x = 0; x < w; ++x, p += 4) out[x] = PremultipliedArgb(p[3], p[0], p[1], p[2]);
    }
}

bool ReadImageGuarded(png_structp png, png_infop info, TPngContext& ctx)
{
    if (setjmp(png_jmpbuf(png))) return false;
    ReadImage(png, info, ctx);
    return true;
}

struct TPngReadStruct {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    ~TPngReadStruct() { png_destroy_read_struct(&Png, Info ? &Info : nullptr, nullptr); }
};

} // namespace

bool HasPngSignature(const unsigned char* bytes, std::size_t length)
{
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return length >= 8 && std::memcmp(bytes, signature, 8) == 0;
}

TBitmap DecodePngFrom(TByteSource& source, TDecodeLimit limit)
{
    auto ctx = std::make_unique<TPngContext>();
    ctx->Source = &source;
    ctx->Limit = limit;
    TPngReadStruct reader;
    reader.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, ctx.get(), OnError, OnWarning);
    if (reader.Png) reader.Info = png_create_info_struct(reader.Png);
    if (!reader.Png || !reader.Info) throw EPictureError("Not enough memory to decode a PNG image");
    png_set_read_fn(reader.Png, ctx.get(), OnRead);
    if (!ReadImageGuarded(reader.Png, reader.Info, *ctx)) {
        if (ctx->ReadFailure) std::rethrow_exception(ctx->ReadFailure);
        throw EPictureError("Bad PNG image in icon: " + ctx->Error);
    }
    return std::move(ctx->Bitmap);
}

} // namespace mirt::picture
