// Load time of pictures of 6000 x 4000 next to 200 x 200 ones, decoded into
// the 200 x 200 part the picture control shows, from files as the program
// reads them. The pictures are written at start into MIRT_BENCH_DIR (kept)
// or a temporary folder (removed). Each benchmark reports the process's peak
// resident memory; run.sh runs each in its own process so that figure is its own.
#include "platform/picture/Decoders.h"
#include "platform/runtime/Files.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <sys/resource.h>

namespace {

namespace fs = std::filesystem;

fs::path gDir;

// A photo-like test card: smooth gradients with some texture, so the JPEG
// has a realistic amount of data.
void FillRow(std::vector<unsigned char>& rgb, int width, int y)
{
    for (int x = 0; x < width; ++x) {
        unsigned noise = (static_cast<unsigned>(x) * 2654435761u ^ static_cast<unsigned>(y) * 40503u) >> 27;
        rgb[3 * x] = static_cast<unsigned char>((x / 24 + noise) & 0xFF);
        rgb[3 * x + 1] = static_cast<unsigned char>((y / 16 + noise) & 0xFF);
        rgb[3 * x + 2] = static_cast<unsigned char>(((x + y) / 40) & 0xFF);
    }
}

void WriteJpeg(const fs::path& path, int width, int height)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::exit(1);
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(3 * width);
    while (info.next_scanline < info.image_height) {
        FillRow(row, width, static_cast<int>(info.next_scanline));
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&info, &p, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

void Put(std::ofstream& out, std::uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.put(static_cast<char>(v >> 8 * i & 0xFF));
}

void WriteBmp(const fs::path& path, int width, int height)
{
    const std::uint32_t stride = (width * 3 + 3) / 4 * 4;
    std::ofstream out(path, std::ios::binary);
    out.put('B'), out.put('M');
    Put(out, 54 + stride * height, 4), Put(out, 0, 4), Put(out, 54, 4);
    Put(out, 40, 4), Put(out, width, 4), Put(out, height, 4), Put(out, 1, 2), Put(out, 24, 2);
    Put(out, 0, 4), Put(out, stride * height, 4), Put(out, 2835, 4), Put(out, 2835, 4), Put(out, 0, 4), Put(out, 0, 4);
    std::vector<unsigned char> rgb(3 * width), row(stride, 0);
    for (int y = height - 1; y >= 0; --y) { // bottom-up
        FillRow(rgb, width, y);
        for (int x = 0; x < width; ++x)
            row[3 * x] = rgb[3 * x + 2], row[3 * x + 1] = rgb[3 * x + 1], row[3 * x + 2] = rgb[3 * x];
        out.write(reinterpret_cast<const char*>(row.data()), stride);
    }
}

double PeakRssMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

void Load(benchmark::State& state, const char* name, mirt::TBitmap (*decode)(mirt::TByteSource&, mirt::TDecodeLimit))
{
    const std::string path = (gDir / name).string();
    for (auto _ : state) {
        mirt::TFileSource file(path, name);
        mirt::TBitmap bitmap = decode(file, mirt::TDecodeLimit{200, 200});
        benchmark::DoNotOptimize(bitmap.Pixels.data());
    }
    state.counters["peak_rss_MB"] = PeakRssMb();
}

BENCHMARK_CAPTURE(Load, jpeg_200x200, "small.jpg", mirt::DecodeJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Load, jpeg_6000x4000, "big.jpg", mirt::DecodeJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Load, bmp_200x200, "small.bmp", mirt::DecodeBmp)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Load, bmp_6000x4000, "big.bmp", mirt::DecodeBmp)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    const char* keep = std::getenv("MIRT_BENCH_DIR");
    gDir = keep ? fs::path(keep) : fs::temp_directory_path() / ("mirt-bench-" + std::to_string(getpid()));
    fs::create_directories(gDir);
    if (!fs::exists(gDir / "small.jpg")) WriteJpeg(gDir / "small.jpg", 200, 200);
    if (!fs::exists(gDir / "big.jpg")) WriteJpeg(gDir / "big.jpg", 6000, 4000);
    if (!fs::exists(gDir / "small.bmp")) WriteBmp(gDir / "small.bmp", 200, 200);
    if (!fs::exists(gDir / "big.bmp")) WriteBmp(gDir / "big.bmp", 6000, 4000);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!keep) fs::remove_all(gDir);
    return 0;
}
