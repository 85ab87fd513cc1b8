// Writes test JPEGs into memory with libjpeg.
#pragma once

#include "PictureTestSupport.h"

#include <cstdio> // jpeglib.h needs FILE
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace mirt::test {

// A width x height picture of channels samples per pixel in space.
// configure(info) sets the compression up after libjpeg's defaults (quality,
// sampling, scans; whatever it points libjpeg at must outlive the call), and
// sample(x, y, channel) gives each sample.
template <class TConfigure, class TSample>
TBytes WriteJpeg(int width, int height, int channels, J_COLOR_SPACE space, TConfigure configure, TSample sample)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = channels;
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    configure(info);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(width) * channels);
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                row[static_cast<std::size_t>(x) * channels + c] = static_cast<unsigned char>(sample(x, y, c));
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&info, &p, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    TBytes bytes(out, out + size);
    std::free(out);
    return bytes;
}

} // namespace mirt::test
