// Loading (and stepping through) a story of 9999 lines of 300 bytes, against
// the floor of reading the same file and cutting it into lines with memchr.
// Each iteration times both, so the counters compare them in the same run:
// loader_MBps, floor_MBps and ratio (loader time / floor time).
#include "engine/MyCrypt.h"
#include "engine/VoskScript.h"
#include "platform/runtime/CodePage.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace mirt;
using Clock = std::chrono::steady_clock;

constexpr int kLines = 9999;
constexpr int kLineBytes = 300;

enum Kind { kAscii, kShiftJis };

std::string MakeLine(Kind kind, int n)
{
    std::string line;
    if (kind == kAscii) {
        line = "Line " + std::to_string(n) + ": ";
        while (line.size() < kLineBytes) line += "the quick brown fox jumps over the lazy dog ";
    } else {
        // Hiragana, kanji with 0x5C and 0x40 second bytes, full-width spaces.
        static const char* const chars[] = {"\x82\xA0", "\x82\xA2", "\x95\x5C", "\x8E\xA6", "\x81\x40",
                                            "\x93\xFA", "\x96\x7B", "\x8C\xEA", "\x83\x40", "\x82\xF0"};
        for (int i = 0; line.size() < kLineBytes; ++i) line += chars[(n + i) % 10];
    }
    line.resize(kLineBytes);
    return line;
}

std::string WriteStory(Kind kind, bool scrambled)
{
    // One scratch directory for the run, removed at exit.
    struct TScratch {
        std::filesystem::path path;
        TScratch()
        {
            std::string pattern = (std::filesystem::temp_directory_path() / "mirt-bench-XXXXXX").string();
            if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
            path = pattern;
        }
        ~TScratch()
        {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static const TScratch scratch;
    const std::filesystem::path& dir = scratch.path;
    const std::filesystem::path path =
        dir / ((kind == kAscii ? std::string("ascii") : std::string("sjis")) + (scrambled ? "-x" : "") + ".txt");
    if (!std::filesystem::exists(path)) {
        std::ofstream out(path, std::ios::binary);
        for (int n = 0; n < kLines; ++n) {
            const std::string line = MakeLine(kind, n);
            out << (scrambled ? XorText(line) : line) << "\r\n";
        }
    }
    return path.string();
}

std::vector<std::string> Floor(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw std::runtime_error("cannot open " + path);
    std::string bytes(std::filesystem::file_size(path), '\0');
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    std::vector<std::string> lines;
    const char* p = bytes.data();
    const char* end = p + got;
    while (p < end) {
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        const char* stop = lf ? lf : end;
        lines.emplace_back(p, stop);
        p = lf ? lf + 1 : end;
    }
    return lines;
}

void OnPage(const TStringDynArray& page) { benchmark::DoNotOptimize(page.Length()); }

void BM_Story(benchmark::State& state)
{
    const Kind kind = static_cast<Kind>(state.range(0));
    const bool scrambled = state.range(1) != 0;
    const bool step = state.range(2) != 0;
    SetSysCodePage(CodePageForLocale("ja_JP.UTF-8"));
    const std::string path = WriteStory(kind, scrambled);
    const double bytes = static_cast<double>(std::filesystem::file_size(path));

    double floorSeconds = 0, loaderSeconds = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        auto lines = Floor(path);
        benchmark::DoNotOptimize(lines.data());
        const auto t1 = Clock::now();
        TVoskScript script(path, scrambled);
        if (step) {
            script.SetPageSize(1);
            script.SetPageHandler(OnPage);
            while (!script.IsFinished()) script.Advance();
        }
        benchmark::DoNotOptimize(script.CurrentLines().data());
        const auto t2 = Clock::now();
        floorSeconds += std::chrono::duration<double>(t1 - t0).count();
        loaderSeconds += std::chrono::duration<double>(t2 - t1).count();
        if (script.CurrentLines().size() != kLines + 1) state.SkipWithError("store has the wrong size");
    }
    const double total = bytes * static_cast<double>(state.iterations()) / 1e6;
    state.counters["loader_MBps"] = total / loaderSeconds;
    state.counters["floor_MBps"] = total / floorSeconds;
    state.counters["ratio"] = loaderSeconds / floorSeconds;
    state.SetLabel(std::string(kind == kAscii ? "ascii" : "shift-jis") + (scrambled ? " scrambled" : " plain") +
                   (step ? " load+step" : " load"));
}

BENCHMARK(BM_Story)
    ->ArgsProduct({{kAscii, kShiftJis}, {0, 1}, {0, 1}})
    ->ArgNames({"sjis", "scrambled", "step"})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
