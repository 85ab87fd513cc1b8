#include "platform/picture/Decoders.h"

#include "platform/picture/JpegProgressive.h"
#include "platform/picture/PictureBytes.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace mirt {

namespace {

constexpr std::size_t kChunk = 16 * 1024;

using jpeg::kMaxMemory;
using jpeg::kMaxScanCoefficients;
using jpeg::kMaxScans;

// The picture a small baseline copy was made from (see JpegProgressive.h):
// the bitmap takes its size, and its colours are read as the original's.
struct TOriginal {
    int Width = 0, Height = 0;
    J_COLOR_SPACE ColorSpace = JCS_UNKNOWN;
    bool Adobe = false;
};

// Everything that must outlive a longjmp out of libjpeg lives here, on the
// heap, never in the frame that called setjmp: locals changed after setjmp are
// unreliable once it returns a second time, and objects with destructors in
// the frames that the jump skips would never be destroyed.
struct TJpegContext {
    jpeg_decompress_struct Info{};
    jpeg_error_mgr Errors{};
    jpeg_source_mgr Input{};
    jpeg_progress_mgr Progress{};
    std::jmp_buf Escape;
    std::string Error;
    std::exception_ptr ReadFailure; // an EInOutError from the source, rethrown after the jump
    TByteSource* Source = nullptr;
    std::uint64_t Position = 0;
    std::vector<unsigned char> Chunk;
    std::vector<unsigned char> Row;
    TDecodeLimit Limit;
    TBitmap Bitmap;
    const TOriginal* Original = nullptr; // set when decoding a baseline copy
    bool EndedEarly = false;             // the source ran out and an end marker was made up
    bool MultiScan = false;              // scans are read in full, into the coefficients of the whole picture
    int LastScan = 0;                    // the last scan counted in ScanCoefficients
    std::uint64_t ScanCoefficients = 0;  // coefficients walked by the scans so far
};

TJpegContext& ContextOf(j_common_ptr info) { return *static_cast<TJpegContext*>(info->client_data); }

void OnErrorExit(j_common_ptr info)
{
    TJpegContext& ctx = ContextOf(info);
    char message[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, message);
    ctx.Error = message;
    std::longjmp(ctx.Escape, 1);
}

void OnOutputMessage(j_common_ptr) {}

void OnInitSource(j_decompress_ptr) {}

boolean OnFillInput(j_decompress_ptr info)
{
    TJpegContext& ctx = ContextOf(reinterpret_cast<j_common_ptr>(info));
    std::size_t got = 0;
    try {
        got = ctx.Source->ReadAt(ctx.Position, ctx.Chunk);
    } catch (...) {
        ctx.ReadFailure = std::current_exception();
    }
    if (ctx.ReadFailure) std::longjmp(ctx.Escape, 1);
    ctx.Position += got;
    if (got == 0) {
        // Out of data: an end-of-image marker lets libjpeg finish what it has
        // (with a warning), as a truncated file ends.
        static const JOCTET eoi[2] = {0xFF, JPEG_EOI};
        ctx.EndedEarly = true;
        WARNMS(info, JWRN_JPEG_EOF);
        info->src->next_input_byte = eoi;
        info->src->bytes_in_buffer = 2;
        return TRUE;
    }
    info->src->next_input_byte = ctx.Chunk.data();
    info->src->bytes_in_buffer = got;
    return TRUE;
}

void OnSkipInput(j_decompress_ptr info, long count)
{
    if (count <= 0) return;
    jpeg_source_mgr* src = info->src;
    auto n = static_cast<std::size_t>(count);
    if (n <= src->bytes_in_buffer) {
        src->next_input_byte += n;
        src->bytes_in_buffer -= n;
        return;
    }
    TJpegContext& ctx = ContextOf(reinterpret_cast<j_common_ptr>(info));
    ctx.Position += n - src->bytes_in_buffer;
    src->bytes_in_buffer = 0;
    src->next_input_byte = nullptr;
}

void OnTermSource(j_decompress_ptr) {}

// Called between steps of the decode, so at least once for every scan once
// its header has been read and before its data is. A single-scan picture is
// read only as far as its visible rows; the scans of a multi-scan one are
// read in full.
void OnProgress(j_common_ptr info)
{
    auto* d = reinterpret_cast<j_decompress_ptr>(info);
    TJpegContext& ctx = ContextOf(info);
    if (d->input_scan_number > kMaxScans) {
        ctx.Error = "too many scans (more than " + std::to_string(kMaxScans) + ")";
        std::longjmp(ctx.Escape, 1);
    }
    if (ctx.MultiScan && d->input_scan_number != ctx.LastScan) {
        ctx.LastScan = d->input_scan_number;
        std::uint64_t blocks = 0;
        for (int i = 0; i < d->comps_in_scan; ++i)
            blocks += std::uint64_t{d->cur_comp_info[i]->width_in_blocks} * d->cur_comp_info[i]->height_in_blocks;
        // Visiting a block costs about as much as walking 16 coefficients, so
        // a narrow band counts as 16.
        ctx.ScanCoefficients += jpeg::ScanWalk(blocks, d->Ss, d->Se);
        if (ctx.ScanCoefficients > kMaxScanCoefficients) {
            ctx.Error = "its scans walk the " + std::to_string(d->image_width) + " x " +
                        std::to_string(d->image_height) + " picture too many times";
            std::longjmp(ctx.Escape, 1);
        }
    }
}

// Straight from libjpeg's output rows into the bitmap, for RGB output (grey
// pictures are expanded by libjpeg) and for CMYK.
void StoreRow(TJpegContext& ctx, int y)
{
    const jpeg_decompress_struct& d = ctx.Info;
    const unsigned char* p = ctx.Row.data();
    std::uint32_t* out = ctx.Bitmap.Pixels.data() + static_cast<std::size_t>(y) * ctx.Bitmap.Width;
    if (d.out_color_space == JCS_CMYK) {
        // Adobe applications write CMYK inverted (0 = full ink), and nearly
        // every CMYK JPEG comes from one; a file without the Adobe marker is
        // taken as plain CMYK.
        const bool inverted = ctx.Original ? ctx.Original->Adobe : d.saw_Adobe_marker;
        for (int x = 0; x < ctx.Bitmap.Width; ++x, p += 4) {
            unsigned c = p[0], m = p[1], yl = p[2], k = p[3];
            if (!inverted) c = 255 - c, m = 255 - m, yl = 255 - yl, k = 255 - k;
            out[x] = picture::OpaqueArgb((c * k + 127) / 255, (m * k + 127) / 255, (yl * k + 127) / 255);
        }
    } else {
        for (int x = 0; x < ctx.Bitmap.Width; ++x, p += 3) out[x] = picture::OpaqueArgb(p[0], p[1], p[2]);
    }
}

// The two steps below run inside the setjmp frame's callee: they hold
// nothing that needs destroying.
void ReadHeader(TJpegContext& ctx)
{
    jpeg_decompress_struct& d = ctx.Info;
    jpeg_read_header(&d, TRUE);
    if (d.image_width == 0 || d.image_height == 0 || d.image_width > JPEG_MAX_DIMENSION ||
        d.image_height > JPEG_MAX_DIMENSION) {
        ctx.Error = "bad picture size";
        std::longjmp(ctx.Escape, 1);
    }
    ctx.MultiScan = jpeg_has_multiple_scans(&d);
    if (ctx.MultiScan) {
        // libjpeg keeps all coefficients of the picture while the scans arrive.
        std::uint64_t bytes = 0;
        for (int i = 0; i < d.num_components; ++i)
            bytes += std::uint64_t{d.comp_info[i].width_in_blocks} * d.comp_info[i].height_in_blocks * sizeof(JBLOCK);
        if (bytes > std::uint64_t(kMaxMemory)) {
            ctx.Error = "progressive picture of " + std::to_string(d.image_width) + " x " +
                        std::to_string(d.image_height) + " is too large to decode";
            std::longjmp(ctx.Escape, 1);
        }
    }
    if (ctx.Original) d.jpeg_color_space = ctx.Original->ColorSpace;
}

void ReadRows(TJpegContext& ctx)
{
    jpeg_decompress_struct& d = ctx.Info;
    const bool cmyk = d.jpeg_color_space == JCS_CMYK || d.jpeg_color_space == JCS_YCCK;
    d.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&d);

    if (ctx.Original) {
        ctx.Bitmap = picture::MakeBitmap(ctx.Original->Width, ctx.Original->Height, ctx.Limit);
    } else {
        ctx.Bitmap = picture::MakeBitmap(static_cast<int>(d.image_width), static_cast<int>(d.image_height), ctx.Limit);
    }
    if (ctx.Bitmap.Width == 0 || ctx.Bitmap.Height == 0) return;
    // Only the visible columns and one MCU more: libjpeg upsamples the last
    // column of a crop as the picture's edge, so the visible part's right
    // edge needs its neighbours. A baseline copy is already that narrow.
    if (!ctx.Original) {
        const JDIMENSION mcuWidth = 8 * static_cast<JDIMENSION>(d.max_h_samp_factor);
        JDIMENSION xOffset = 0, width = std::min(d.image_width, static_cast<JDIMENSION>(ctx.Bitmap.Width) + mcuWidth);
        jpeg_crop_scanline(&d, &xOffset, &width);
    }
    ctx.Row.assign(std::size_t{d.output_width} * d.output_components, 0);
    JSAMPROW row = ctx.Row.data();
    while (d.output_scanline < JDIMENSION(ctx.Bitmap.Height)) {
        int y = static_cast<int>(d.output_scanline);
        if (jpeg_read_scanlines(&d, &row, 1) != 1) {
            ctx.Error = "no more rows";
            std::longjmp(ctx.Escape, 1);
        }
        StoreRow(ctx, y);
    }
}

bool Guarded(TJpegContext& ctx, void (*step)(TJpegContext&))
{
    if (setjmp(ctx.Escape)) return false;
    step(ctx);
    return true;
}

[[noreturn]] void Fail(TJpegContext& ctx)
{
    if (ctx.ReadFailure) std::rethrow_exception(ctx.ReadFailure);
    throw EPictureError("Bad JPEG picture: " + ctx.Error);
}

enum class TPath {
    Any,          // the visible scans where they can be read here, else libjpeg alone
    LibjpegAlone, // libjpeg reads every scan into the whole picture's coefficients
    VisibleScans, // only the visible scans; nothing when they cannot be read here
};

// Decodes with libjpeg. A progressive picture's scans are read by the
// decoder in JpegProgressive.h, which keeps only what the visible part needs,
// and libjpeg decodes the baseline copy it makes; when it declines, libjpeg
// reads the whole picture.
std::optional<TBitmap> Decode(TByteSource& source, TDecodeLimit limit, const TOriginal* original, TPath path)
{
    auto ctx = std::make_unique<TJpegContext>();
    ctx->Source = &source;
    ctx->Limit = limit;
    ctx->Original = original;
    ctx->Chunk.resize(kChunk);

    jpeg_decompress_struct& d = ctx->Info;
    d.err = jpeg_std_error(&ctx->Errors);
    ctx->Errors.error_exit = OnErrorExit;
    ctx->Errors.output_message = OnOutputMessage;
    d.client_data = ctx.get();
    if (setjmp(ctx->Escape)) throw EPictureError("Bad JPEG picture: " + ctx->Error);
    jpeg_create_decompress(&d);
    struct TDestroy {
        jpeg_decompress_struct& D;
        ~TDestroy() { jpeg_destroy_decompress(&D); } // also abandons a decode stopped at the last visible row
    } destroy{d};
    d.mem->max_memory_to_use = kMaxMemory;

    ctx->Input.init_source = OnInitSource;
    ctx->Input.fill_input_buffer = OnFillInput;
    ctx->Input.skip_input_data = OnSkipInput;
    ctx->Input.resync_to_restart = jpeg_resync_to_restart;
    ctx->Input.term_source = OnTermSource;
    d.src = &ctx->Input;
    ctx->Progress.progress_monitor = OnProgress;
    d.progress = &ctx->Progress;

    if (!Guarded(*ctx, ReadHeader)) Fail(*ctx);
    if (path != TPath::LibjpegAlone && ctx->MultiScan && !ctx->EndedEarly && jpeg::DecodesHere(d) && limit.Width > 0 &&
        limit.Height > 0) {
        const int width = static_cast<int>(std::min<JDIMENSION>(d.image_width, JDIMENSION(limit.Width)));
        const int height = static_cast<int>(std::min<JDIMENSION>(d.image_height, JDIMENSION(limit.Height)));
        const std::uint64_t dataOffset = ctx->Position - d.src->bytes_in_buffer;
        if (auto copy = jpeg::DecodeVisibleCoefficients(source, dataOffset, d, width, height)) {
            const TOriginal from{static_cast<int>(d.image_width), static_cast<int>(d.image_height), d.jpeg_color_space,
                                 d.saw_Adobe_marker != FALSE};
            TMemorySource bytes(*copy);
            return Decode(bytes, limit, &from, TPath::LibjpegAlone);
        }
        if (path == TPath::VisibleScans) return std::nullopt;
        return Decode(source, limit, nullptr, TPath::LibjpegAlone);
    }
    if (path == TPath::VisibleScans) return std::nullopt;
    if (!Guarded(*ctx, ReadRows)) Fail(*ctx);
    return std::move(ctx->Bitmap);
}

} // namespace

TBitmap DecodeJpeg(TByteSource& source, TDecodeLimit limit) { return *Decode(source, limit, nullptr, TPath::Any); }

namespace jpeg {

TBitmap DecodeWithLibjpegAlone(TByteSource& source, TDecodeLimit limit)
{
    return *Decode(source, limit, nullptr, TPath::LibjpegAlone);
}

std::optional<TBitmap> DecodeVisibleScans(TByteSource& source, TDecodeLimit limit)
{
    return Decode(source, limit, nullptr, TPath::VisibleScans);
}

} // namespace jpeg

} // namespace mirt
