// Arbitrary bytes as a story: loaded (plain or scrambled) under a Shift-JIS
// or a western code page and stepped through in page or text mode until it
// ends, fails, or a bounded number of steps has been taken.
//
// Input: byte 0 the page size (-2 .. 5), byte 1 flags (bit 0 scrambled,
// bit 1 text mode, bit 2 western code page, bit 3 follow choices), then the
// story file's bytes.
#include "engine/VoskScript.h"
#include "platform/runtime/CodePage.h"
#include "platform/runtime/Errors.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace mirt;

constexpr int kMaxSteps = 64;

std::string StoryPath;

void OnPage(const TStringDynArray&) {}
void OnText(const AnsiString&) {}
void OnClear() {}
void OnImage(const TStringDynArray& tokens) { (void)tokens[1]; }
void OnButton(const TStringDynArray& tokens) { ChoiceLabel = tokens[2]; }
void OnFail(const TStringDynArray&) { throw EPictureError("Cannot load picture"); }

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // One scratch directory per run; every input overwrites story.txt in it.
    static char dir[] = "/tmp/mirt-fuzz-XXXXXX";
    if (!mkdtemp(dir)) std::abort();
    StoryPath = std::string(dir) + "/story.txt";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    const int pageSize = data[0] % 8 - 2;
    const std::uint8_t flags = data[1];
    SetSysCodePage(CodePageForLocale(flags & 4 ? "en_US" : "ja_JP"));

    std::FILE* f = std::fopen(StoryPath.c_str(), "wb");
    if (!f) std::abort();
    if (size > 2 && std::fwrite(data + 2, 1, size - 2, f) != size - 2) std::abort();
    std::fclose(f);

    // The early stop of a limited split must give the first tokens of the
    // full split, whatever the line.
    const AnsiString line(reinterpret_cast<const char*>(data + 2), std::min<std::size_t>(size - 2, 512));
    TStringDynArray full, limited;
    TVoskScript::SplitLine(line, full);
    for (int k = 1; k <= 3; ++k) {
        TVoskScript::SplitLine(line, limited, k);
        if (limited.Length() != std::min(k, full.Length())) __builtin_trap();
        for (int i = 0; i < limited.Length(); ++i)
            if (limited[i] != full[i]) __builtin_trap();
    }

    ChoiceLabel.clear();
    try {
        TVoskScript script(StoryPath, flags & 1);
        script.SetPageSize(pageSize);
        if (flags & 2) script.SetTextHandlers(OnText, OnClear);
        else script.SetPageHandler(OnPage);
        script.AddCommand("#image", OnImage);
        script.AddCommand("#button", OnButton);
        script.AddCommand("#fail", OnFail);
        for (int step = 0; step < kMaxSteps && !script.IsFinished(); ++step) {
            try {
                if ((flags & 8) && step % 3 == 2) script.JumpToChoice();
                else script.Advance();
            } catch (const Exception&) {
                // A failing line is dropped; stepping goes on with the next one.
            }
        }
    } catch (const Exception&) {
        // The story could not be loaded.
    }
    return 0;
}
