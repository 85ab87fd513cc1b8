// Progressive JPEG pictures read scan by scan keeping only the visible part:
// the pixels must be exactly libjpeg's own full decode cropped to that part,
// and pictures that path cannot take must reach libjpeg unchanged.
#include "JpegWriter.h"
#include "PictureTestSupport.h"

#include "platform/picture/Decoders.h"
#include "platform/picture/JpegProgressive.h"
#include "platform/runtime/Errors.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace mirt::test {
namespace {

enum class TColour { Grey, YCbCr, Rgb, Cmyk };

struct TEncoding {
    int Width = 64, Height = 64;
    TColour Colour = TColour::YCbCr;
    int H = 2, V = 2;        // luma sampling factors (chroma 1 x 1)
    int RestartRows = 0;     // restart marker every so many MCU rows
    int RestartMcus = 0;     // or every so many MCUs
    bool ManyScans = false;  // a script of many small scans with successive approximation
    bool Arithmetic = false; // arithmetic coding
    bool OptimiseTables = true;
    int Quality = 90;
};

// Photo-like content: gradients, texture and a few hard edges, so that every
// band of coefficients carries data.
unsigned char Sample(int x, int y, int channel)
{
    unsigned noise = (static_cast<unsigned>(x) * 2654435761u ^ static_cast<unsigned>(y + 7 * channel) * 40503u) >> 26;
    int v = (x * (3 + channel)) / 5 + (y * (5 - channel)) / 7 + static_cast<int>(noise);
    if ((x / 23 + y / 17 + channel) % 5 == 0) v += 90;
    return static_cast<unsigned char>(v & 0xFF);
}

// The scans of a many-small-scans script: DC first at half precision, AC in
// narrow bands at reduced precision, then every refinement.
std::vector<jpeg_scan_info> ManyScansScript(int components)
{
    std::vector<jpeg_scan_info> s;
    auto scan = [&](int comps, int first, int ss, int se, int ah, int al) {
        jpeg_scan_info i{};
        i.comps_in_scan = comps;
        for (int c = 0; c < comps; ++c) i.component_index[c] = first + c;
        i.Ss = ss, i.Se = se, i.Ah = ah, i.Al = al;
        s.push_back(i);
    };
    scan(components, 0, 0, 0, 0, 1);
    for (int c = 0; c < components; ++c) {
        scan(1, c, 1, 2, 0, 2);
        scan(1, c, 3, 9, 0, 1);
        scan(1, c, 10, 30, 0, 2);
        scan(1, c, 31, 63, 0, 1);
    }
    scan(components, 0, 0, 0, 1, 0);
    for (int c = 0; c < components; ++c) {
        scan(1, c, 1, 2, 2, 1);
        scan(1, c, 1, 2, 1, 0);
        scan(1, c, 3, 9, 1, 0);
        scan(1, c, 10, 30, 2, 1);
        scan(1, c, 10, 30, 1, 0);
        scan(1, c, 31, 63, 1, 0);
    }
    return s;
}

TBytes Encode(const TEncoding& e)
{
    const int channels = e.Colour == TColour::Grey ? 1 : e.Colour == TColour::Cmyk ? 4 : 3;
    std::vector<jpeg_scan_info> script; // must outlive the compression
    auto configure = [&](jpeg_compress_struct& info) {
        if (e.Colour == TColour::Rgb) jpeg_set_colorspace(&info, JCS_RGB);
        jpeg_set_quality(&info, e.Quality, TRUE);
        info.comp_info[0].h_samp_factor = e.H;
        info.comp_info[0].v_samp_factor = e.V;
        for (int c = 1; c < info.num_components; ++c)
            info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
        if (e.Colour == TColour::Cmyk) info.comp_info[3].h_samp_factor = e.H, info.comp_info[3].v_samp_factor = e.V;
        info.restart_in_rows = e.RestartRows;
        info.restart_interval = static_cast<unsigned>(e.RestartMcus);
        info.optimize_coding = e.OptimiseTables ? TRUE : FALSE;
        info.arith_code = e.Arithmetic ? TRUE : FALSE;
        if (e.ManyScans) {
            script = ManyScansScript(info.num_components);
            info.scan_info = script.data();
            info.num_scans = static_cast<int>(script.size());
        } else {
            jpeg_simple_progression(&info);
        }
    };
    return WriteJpeg(e.Width, e.Height, channels,
                     channels == 1   ? JCS_GRAYSCALE
                     : channels == 4 ? JCS_CMYK
                                     : JCS_RGB,
                     configure, Sample);
}

// libjpeg's decode of the whole picture (no cropping inside libjpeg), the
// top-left w x h kept, as the decoder's ARGB: CMYK with the Adobe marker is
// stored inverted.
TBitmap LibjpegWholeCropped(const TBytes& bytes, int w, int h)
{
    jpeg_decompress_struct d{};
    jpeg_error_mgr errors{};
    d.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, bytes.data(), bytes.size());
    jpeg_read_header(&d, TRUE);
    const bool cmyk = d.jpeg_color_space == JCS_CMYK || d.jpeg_color_space == JCS_YCCK;
    d.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&d);
    TBitmap b;
    b.NaturalWidth = static_cast<int>(d.image_width);
    b.NaturalHeight = static_cast<int>(d.image_height);
    b.Width = std::min(w, b.NaturalWidth);
    b.Height = std::min(h, b.NaturalHeight);
    std::vector<unsigned char> row(std::size_t{d.output_width} * d.output_components);
    while (d.output_scanline < d.output_height) {
        const int y = static_cast<int>(d.output_scanline);
        JSAMPROW p = row.data();
        jpeg_read_scanlines(&d, &p, 1);
        if (y >= b.Height) continue;
        for (int x = 0; x < b.Width; ++x) {
            const unsigned char* s = &row[static_cast<std::size_t>(x) * d.output_components];
            if (cmyk) {
                unsigned c = s[0], m = s[1], yl = s[2], k = s[3];
                if (!d.saw_Adobe_marker) c = 255 - c, m = 255 - m, yl = 255 - yl, k = 255 - k;
                b.Pixels.push_back(0xFF000000u | (c * k + 127) / 255 << 16 | (m * k + 127) / 255 << 8 |
                                   (yl * k + 127) / 255);
            } else {
                b.Pixels.push_back(0xFF000000u | unsigned(s[0]) << 16 | unsigned(s[1]) << 8 | s[2]);
            }
        }
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return b;
}

// Same size, same pixels; names the first pixel that differs.
::testing::AssertionResult SameBitmap(const TBitmap& got, const TBitmap& want)
{
    if (got.NaturalWidth != want.NaturalWidth || got.NaturalHeight != want.NaturalHeight || got.Width != want.Width ||
        got.Height != want.Height)
        return ::testing::AssertionFailure() << "size " << got.Width << "x" << got.Height << " of " << got.NaturalWidth
                                             << "x" << got.NaturalHeight << ", expected " << want.Width << "x"
                                             << want.Height << " of " << want.NaturalWidth << "x" << want.NaturalHeight;
    for (std::size_t i = 0; i < want.Pixels.size(); ++i)
        if (got.Pixels.at(i) != want.Pixels[i])
            return ::testing::AssertionFailure() << "pixel " << i % want.Width << "," << i / want.Width << " is "
                                                 << std::hex << got.Pixels[i] << ", libjpeg gives " << want.Pixels[i];
    return ::testing::AssertionSuccess();
}

std::optional<TBitmap> VisibleScans(const TBytes& bytes, TDecodeLimit limit)
{
    TMemorySource source(bytes);
    return jpeg::DecodeVisibleScans(source, limit);
}

TBitmap Jpeg(const TBytes& bytes, TDecodeLimit limit)
{
    TMemorySource source(bytes);
    return DecodeJpeg(source, limit);
}

TEST(JpegProgressive, VisiblePartMatchesLibjpegPixelForPixel)
{
    const struct {
        const char* Name;
        TEncoding Encoding;
        TDecodeLimit Limit;
    } cases[] = {
        {"1 x 1 grey", {.Width = 1, .Height = 1, .Colour = TColour::Grey, .H = 1, .V = 1}, {200, 200}},
        {"1 x 1 4:2:0", {.Width = 1, .Height = 1}, {200, 200}},
        {"17 x 9 4:4:4", {.Width = 17, .Height = 9, .H = 1, .V = 1}, {200, 200}},
        {"333 x 251 4:2:0", {.Width = 333, .Height = 251}, {200, 200}},
        {"333 x 251 4:2:2, restart every 3 MCUs", {.Width = 333, .Height = 251, .V = 1, .RestartMcus = 3}, {200, 200}},
        {"4:4:0", {.Width = 203, .Height = 301, .H = 1, .V = 2}, {200, 200}},
        {"640 x 480 4:4:4, restart every MCU row",
         {.Width = 640, .Height = 480, .H = 1, .V = 1, .RestartRows = 1},
         {200, 200}},
        {"grey, restart every 7 blocks",
         {.Width = 401, .Height = 299, .Colour = TColour::Grey, .H = 1, .V = 1, .RestartMcus = 7},
         {200, 200}},
        {"RGB without colour transform",
         {.Width = 250, .Height = 230, .Colour = TColour::Rgb, .H = 1, .V = 1},
         {200, 200}},
        {"CMYK", {.Width = 300, .Height = 220, .Colour = TColour::Cmyk, .H = 1, .V = 1}, {200, 200}},
        {"many small scans 4:2:0", {.Width = 357, .Height = 263, .ManyScans = true}, {200, 200}},
        {"many small scans grey, restarts",
         {.Width = 257, .Height = 213, .Colour = TColour::Grey, .H = 1, .V = 1, .RestartMcus = 5, .ManyScans = true},
         {200, 200}},
        {"many small scans CMYK",
         {.Width = 230, .Height = 210, .Colour = TColour::Cmyk, .H = 1, .V = 1, .ManyScans = true},
         {200, 200}},
        {"standard tables (EOB runs across many blocks)",
         {.Width = 900, .Height = 700, .OptimiseTables = false},
         {200, 200}},
        {"picture a little larger than the visible part", {.Width = 216, .Height = 209}, {200, 200}},
        {"visible part not on MCU boundaries", {.Width = 300, .Height = 300}, {37, 53}},
        // The last visible column and row are upsampled from the MCU after them.
        {"visible part ending on MCU boundaries 4:2:0", {.Width = 300, .Height = 300}, {192, 160}},
        {"visible part ending on MCU boundaries 4:2:2", {.Width = 300, .Height = 300, .V = 1}, {64, 72}},
        {"low quality (long EOB runs)", {.Width = 1200, .Height = 900, .Quality = 20}, {200, 200}},
        {"8000 x 6000 grey",
         {.Width = 8000, .Height = 6000, .Colour = TColour::Grey, .H = 1, .V = 1, .Quality = 50},
         {200, 200}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const TBytes bytes = Encode(c.Encoding);
        const TBitmap want = LibjpegWholeCropped(bytes, c.Limit.Width, c.Limit.Height);
        std::optional<TBitmap> got = VisibleScans(bytes, c.Limit);
        ASSERT_TRUE(got.has_value()) << "left to libjpeg";
        EXPECT_TRUE(SameBitmap(*got, want));
    }
}

// Files made by the encoders installed here (tests/picture/make_fixtures.sh).
TEST(JpegProgressive, EncodersFilesMatchLibjpeg)
{
    for (const char* name :
         {"photo-cjpeg-progressive.jpg", "photo-cjpeg-scans.jpg", "photo-cjpeg-restart.jpg", "photo-magick-plane.jpg",
          "photo-magick-grey.jpg", "photo-magick-cmyk.jpg", "photo-jpegtran-progressive.jpg", "quad-progressive.jpg"}) {
        SCOPED_TRACE(name);
        const TBytes bytes = ReadBytes(FixturePath(name));
        const TBitmap want = LibjpegWholeCropped(bytes, 200, 200);
        std::optional<TBitmap> got = VisibleScans(bytes, {200, 200});
        ASSERT_TRUE(got.has_value()) << "left to libjpeg";
        EXPECT_TRUE(SameBitmap(*got, want));
    }
}

TEST(JpegProgressive, PicturesItCannotTakeReachLibjpegUnchanged)
{
    const TBytes complete = Encode({.Width = 300, .Height = 200});
    TBytes cut = complete;
    cut.resize(cut.size() * 2 / 3);
    TBytes corrupt = complete;
    for (std::size_t i = corrupt.size() / 2; i < corrupt.size() / 2 + 40; ++i) corrupt[i] = 0x5A;
    const struct {
        const char* Name;
        TBytes Bytes;
    } cases[] = {
        // libjpeg smooths blocks whose low coefficients were never refined.
        {"cut after some scans", cut},
        {"arithmetic coding", Encode({.Width = 300, .Height = 200, .Arithmetic = true, .OptimiseTables = false})},
        {"baseline 4:2:0", ReadBytes(FixturePath("photo-baseline.jpg"))},
        {"corrupt entropy data", corrupt},
        // A Huffman table changed by fuzzing: AC coefficients beyond what a
        // baseline file can code, which libjpeg would write as broken codes.
        {"coefficients too large for a baseline copy", ReadBytes(FixturePath("large-coefficients.jpg"))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_FALSE(VisibleScans(c.Bytes, {200, 200}).has_value());
        EXPECT_TRUE(SameBitmap(Jpeg(c.Bytes, {200, 200}), LibjpegWholeCropped(c.Bytes, 200, 200)));
    }
}

} // namespace
} // namespace mirt::test
