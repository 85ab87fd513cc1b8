// Load-and-draw time of each metafile fixture and of generated files with
// 100 000 records; prints the peak resident memory at the end.
#include "platform/metafile/Metafile.h"
#include "tests/metafile/MetafileBuilder.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::vector<unsigned char> Fixture(const std::string& name)
{
    std::ifstream in(std::string(MIRT_METAFILE_FIXTURES) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void Decode(benchmark::State& state, const std::vector<unsigned char>& bytes, bool emf)
{
    for (auto _ : state) {
        mirt::TMemorySource source(bytes);
        mirt::TBitmap b = emf ? mirt::DecodeEmf(source, mirt::TDecodeLimit{200, 200}) : mirt::DecodeWmf(source, {});
        benchmark::DoNotOptimize(b.Pixels.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes.size());
}

// 100 000 records: brush and pen changes with rectangles, ellipses and
// polylines spread over (and beyond) the visible part.
std::vector<unsigned char> ManyWmfRecords()
{
    mirt::test::TWmfBuilder b(400, 96, 8);
    b.Record(0x02FC, {0, 0x3366, 0x0099, 0}).Record(0x02FA, {0, 1, 0, 0x0000, 0});
    b.Record(0x012D, {0}).Record(0x012D, {1});
    for (int i = 0; i < 99996 / 4; ++i) {
        int x = (i * 37) % 380, y = (i * 53) % 380;
        b.Record(0x0201, {i & 0xFFFF, 0});
        b.Record(0x041B, {y + 15, x + 15, y, x});
        b.Record(0x0418, {y + 12, x + 12, y + 2, x + 2});
        b.Record(0x0325, {3, x, y, x + 10, y + 5, x + 3, y + 14});
    }
    return b.Finish();
}

std::vector<unsigned char> ManyEmfRecords()
{
    mirt::test::TEmfBuilder b(400, 8);
    b.Record(39, {1, 0, 0x990033, 0}).Record(37, {1});
    for (int i = 0; i < 99998 / 4; ++i) {
        std::uint32_t x = (i * 37) % 380, y = (i * 53) % 380;
        b.Record(25, {std::uint32_t(i)});
        b.Record(43, {x, y, x + 15, y + 15});
        b.Record(42, {x + 2, y + 2, x + 12, y + 12});
        b.Record(87, {0, 0, 0, 0, 3, x | y << 16, (x + 10) | (y + 5) << 16, (x + 3) | (y + 14) << 16});
    }
    return b.Finish();
}

// 100 000 records drawn through raster operations: rectangles and ellipses
// under an XOR pen, and inverting pattern blits, the work done pixel by pixel.
std::vector<unsigned char> ManyRasterRecords()
{
    mirt::test::TEmfBuilder b(400, 8);
    b.Record(39, {1, 0, 0x990033, 0}).Record(37, {1}).Record(20, {7});
    for (int i = 0; i < 99997 / 3; ++i) {
        std::uint32_t x = (i * 37) % 380, y = (i * 53) % 380;
        b.Record(43, {x, y, x + 15, y + 15});
        b.Record(42, {x + 2, y + 2, x + 12, y + 12});
        b.Record(76,
                 {0, 0, 0, 0, x, y, 20, 20, 0x00550009, 0, 0, 0x3F800000, 0, 0, 0x3F800000, 0, 0, 0, 0, 0, 0, 0, 0});
    }
    return b.Finish();
}

} // namespace

int main(int argc, char** argv)
{
    for (const char* name :
         {"shapes.wmf", "shapes.emf", "words.wmf", "words.emf", "text.emf", "bitmap.wmf", "bitmap.emf"}) {
        std::string n = name;
        benchmark::RegisterBenchmark(("Fixture/" + n).c_str(), [n](benchmark::State& s) {
            Decode(s, Fixture(n), n.ends_with(".emf"));
        })->Unit(benchmark::kMillisecond);
    }
    static auto wmf = ManyWmfRecords();
    static auto emf = ManyEmfRecords();
    benchmark::RegisterBenchmark("Generated/wmf_100000_records", [](benchmark::State& s) {
        Decode(s, wmf, false);
    })->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Generated/emf_100000_records", [](benchmark::State& s) {
        Decode(s, emf, true);
    })->Unit(benchmark::kMillisecond);
    static auto raster = ManyRasterRecords();
    benchmark::RegisterBenchmark("Generated/emf_raster_100000_records", [](benchmark::State& s) {
        Decode(s, raster, true);
    })->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory: %.1f MB (the generated files held in memory, %.1f MB)\n",
                usage.ru_maxrss / 1024.0, (wmf.size() + emf.size() + raster.size()) / 1048576.0);
    return 0;
}
