// mirt-walk's full exploration, in states per second: on the demo story and
// on a generated story of 9999 lines with 1000 choices (each choice skips the
// rest of its block, so every block can be read or skipped).
#include "platform/runtime/CodePage.h"
#include "tools/walk/Walk.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

using namespace mirt;

constexpr int kLines = 9999;
constexpr int kChoices = 1000;

// A story of exactly kLines lines with kChoices #button lines.
std::filesystem::path MakeChoiceStory()
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "mirt-bench-walk";
    std::filesystem::create_directories(dir / "dat");
    std::ofstream out(dir / "dat" / "story.txt", std::ios::binary | std::ios::trunc);
    int written = 0;
    auto line = [&](const std::string& text) {
        out << text << "\r\n";
        ++written;
    };
    // Blocks of 9 or 10 lines: text, choice, text, text ... label.
    const int blockLines = (kLines - 2) / kChoices;
    for (int block = 0; block < kChoices; ++block) {
        const std::string label = "@b" + std::to_string(block);
        line("Block " + std::to_string(block) + " begins.");
        line("#button Skip " + label);
        const int extra = block == kChoices - 1 ? kLines - 2 - written - 1 : blockLines - 3;
        for (int i = 0; i < extra; ++i) line("Block " + std::to_string(block) + ", line " + std::to_string(i) + ".");
        line(label);
    }
    line("The end.");
    line("#end");
    if (written != kLines) throw std::logic_error("the generated story has " + std::to_string(written) + " lines");
    return dir;
}

void Walk(benchmark::State& state, const std::filesystem::path& folder, const char* locale)
{
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    SetSysCodePage(CodePageForLocale(locale));
    std::size_t states = 0;
    for (auto _ : state) {
        const tools::TWalkReport report = tools::WalkStory(tools::TWalkOptions{});
        if (!report.Complete || !report.StartError.empty()) state.SkipWithError("the walk did not finish");
        states = report.States;
        benchmark::DoNotOptimize(report.States);
    }
    state.counters["states"] = static_cast<double>(states);
    state.counters["states_per_s"] = benchmark::Counter(
        static_cast<double>(states) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    std::filesystem::current_path(previous);
}

void BM_WalkDemo(benchmark::State& state) { Walk(state, MIRT_DEMO_DIR, "ja_JP"); }
void BM_WalkChoices9999(benchmark::State& state)
{
    static const std::filesystem::path story = MakeChoiceStory();
    Walk(state, story, "en_US");
}

BENCHMARK(BM_WalkDemo)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkChoices9999)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
