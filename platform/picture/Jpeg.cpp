#include "platform/picture/Decoders.h"

#include "platform/picture/PictureBytes.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace mirt {

namespace {

constexpr std::size_t kChunk = 16 * 1024;

// Memory libjpeg may use. A baseline picture cropped to the visible part
// needs little; a progressive one keeps every coefficient of the whole
// picture (a 6000 x 4000 colour photo about 144 MB), and bigger ones are
// refused.
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
    bool MultiScan = false;             // scans are read in full, into the coefficients of the whole picture
    int LastScan = 0;                   // the last scan counted in ScanCoefficients
    std::uint64_t ScanCoefficients = 0; // coefficients walked by the scans so far
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
        ctx.ScanCoefficients += blocks * static_cast<unsigned>(std::max(d->Se - d->Ss + 1, 16));
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
        const bool inverted = d.saw_Adobe_marker;
        for (int x = 0; x < ctx.Bitmap.Width; ++x, p += 4) {
            unsigned c = p[0], m = p[1], yl = p[2], k = p[3];
            if (!inverted) c = 255 - c, m = 255 - m, yl = 255 - yl, k = 255 - k;
            out[x] = picture::OpaqueArgb((c * k + 127) / 255, (m * k + 127) / 255, (yl * k + 127) / 255);
        }
    } else {
        for (int x = 0; x < ctx.Bitmap.Width; ++x, p += 3) out[x] = picture::OpaqueArgb(p[0], p[1], p[2]);
    }
}

// Runs inside the setjmp frame's callee: holds nothing that needs destroying.
void ReadImage(TJpegContext& ctx)
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
        // All coefficients of the picture are kept while the scans arrive.
        std::uint64_t bytes = 0;
        for (int i = 0; i < d.num_components; ++i)
            bytes += std::uint64_t{d.comp_info[i].width_in_blocks} * d.comp_info[i].height_in_blocks * sizeof(JBLOCK);
        if (bytes > std::uint64_t(kMaxMemory)) {
            ctx.Error = "progressive picture of " + std::to_string(d.image_width) + " x " +
                        std::to_string(d.image_height) + " is too large to decode";
            std::longjmp(ctx.Escape, 1);
        }
    }
    const bool cmyk = d.jpeg_color_space == JCS_CMYK || d.jpeg_color_space == JCS_YCCK;
    d.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&d);

    ctx.Bitmap = picture::MakeBitmap(static_cast<int>(d.image_width), static_cast<int>(d.image_height), ctx.Limit);
    if (ctx.Bitmap.Width == 0 || ctx.Bitmap.Height == 0) return;
    // Only the visible columns: libjpeg widens the crop to whole blocks.
    JDIMENSION xOffset = 0, width = static_cast<JDIMENSION>(ctx.Bitmap.Width);
    jpeg_crop_scanline(&d, &xOffset, &width);
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

bool ReadImageGuarded(TJpegContext& ctx)
{
    if (setjmp(ctx.Escape)) return false;
    ReadImage(ctx);
    return true;
}

} // namespace

TBitmap DecodeJpeg(TByteSource& source, TDecodeLimit limit)
{
    auto ctx = std::make_unique<TJpegContext>();
    ctx->Source = &source;
    ctx->Limit = limit;
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

    if (!ReadImageGuarded(*ctx)) {
        if (ctx->ReadFailure) std::rethrow_exception(ctx->ReadFailure);
        throw EPictureError("Bad JPEG picture: " + ctx->Error);
    }
    return std::move(ctx->Bitmap);
}

} // namespace mirt
