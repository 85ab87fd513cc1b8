#include "platform/fonts/FontResolver.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <tuple>

namespace mirt::fonts {
namespace {

struct TPatternDeleter {
    void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
struct TFontSetDeleter {
    void operator()(FcFontSet* s) const { FcFontSetDestroy(s); }
};
struct TCharSetDeleter {
    void operator()(FcCharSet* s) const { FcCharSetDestroy(s); }
};
using TPattern = std::unique_ptr<FcPattern, TPatternDeleter>;
using TFontSet = std::unique_ptr<FcFontSet, TFontSetDeleter>;
using TCharSet = std::unique_ptr<FcCharSet, TCharSetDeleter>;

// Families that stand in for the Windows Japanese faces, nearest first; the
// face itself is always asked for first, so an installed original wins.
struct TFaceAliases {
    std::string_view Face;
    std::initializer_list<const char*> Families;
};

const TFaceAliases kAliases[] = {
    {"ＭＳ Ｐゴシック", {"MS PGothic", "IPAPGothic", "VL PGothic", "Noto Sans CJK JP", "sans-serif"}},
    {"MS PGothic", {"IPAPGothic", "VL PGothic", "Noto Sans CJK JP", "sans-serif"}},
    {"ＭＳ ゴシック", {"MS Gothic", "IPAGothic", "VL Gothic", "Noto Sans Mono CJK JP", "monospace"}},
    {"MS Gothic", {"IPAGothic", "VL Gothic", "Noto Sans Mono CJK JP", "monospace"}},
    {"ＭＳ Ｐ明朝", {"MS PMincho", "IPAPMincho", "Noto Serif CJK JP", "serif"}},
    {"MS PMincho", {"IPAPMincho", "Noto Serif CJK JP", "serif"}},
    {"ＭＳ 明朝", {"MS Mincho", "IPAMincho", "Noto Serif CJK JP", "serif"}},
    {"MS Mincho", {"IPAMincho", "Noto Serif CJK JP", "serif"}},
};

// The language whose glyphs a Windows character set needs.
const char* LanguageOfCharset(int charset)
{
    switch (charset) {
    case 128: return "ja";    // Shift-JIS
    case 129: return "ko";    // Hangul
    case 130: return "ko";    // Johab
    case 134: return "zh-cn"; // GB2312
    case 136: return "zh-tw"; // Big5
    default: return nullptr;
    }
}

bool IsJapanese(char32_t c)
{
    return (c >= 0x3000 && c <= 0x30FF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xFF00 && c <= 0xFFEF);
}

int FcWeightOf(int windowsWeight)
{
    if (windowsWeight <= 0) return FC_WEIGHT_REGULAR;
    return static_cast<int>(FcWeightFromOpenTypeDouble(std::clamp(windowsWeight, 1, 1000)));
}

// The fonts fontconfig ranks for one request, nearest first. Sorting is slow,
// so each distinct request is sorted once and kept; the kept sorts are
// dropped together when there are a few hundred (callers that draw hostile
// files bound how many distinct requests one file makes).
struct TCandidates {
    TPattern Pattern;
    TFontSet Sorted;
};

using TKey = std::tuple<std::string, std::string, int, bool>;

std::map<TKey, TCandidates>& Cache()
{
    static std::map<TKey, TCandidates> cache;
    return cache;
}

TCandidates& Candidates(const TFontRequest& request, const char* language)
{
    std::map<TKey, TCandidates>& cache = Cache();
    TKey key{request.Face, language ? language : "", FcWeightOf(request.Weight), request.Italic};
    auto found = cache.find(key);
    if (found != cache.end()) return found->second;
    if (cache.size() >= 256) cache.clear();

    TPattern pattern(FcPatternCreate());
    const std::string& face = std::get<0>(key);
    if (!face.empty()) FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(face.c_str()));
    for (const TFaceAliases& alias : kAliases)
        if (alias.Face == face)
            for (const char* family : alias.Families)
                FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    if (language) FcPatternAddString(pattern.get(), FC_LANG, reinterpret_cast<const FcChar8*>(language));
    FcPatternAddInteger(pattern.get(), FC_WEIGHT, std::get<2>(key));
    FcPatternAddInteger(pattern.get(), FC_SLANT, std::get<3>(key) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    TFontSet sorted(FcFontSort(nullptr, pattern.get(), FcTrue, nullptr, &result));
    return cache[key] = TCandidates{std::move(pattern), std::move(sorted)};
}

std::string StringOf(FcPattern* p, const char* object)
{
    FcChar8* value = nullptr;
    if (FcPatternGetString(p, object, 0, &value) == FcResultMatch && value) return reinterpret_cast<const char*>(value);
    return {};
}

} // namespace

TResolvedFont ResolveFont(const TFontRequest& request, std::u32string_view text)
{
    const char* language = LanguageOfCharset(request.Charset);
    if (!language)
        for (char32_t c : text)
            if (IsJapanese(c)) language = "ja";

    TCandidates& candidates = Candidates(request, language);
    TResolvedFont resolved;
    if (!candidates.Sorted || candidates.Sorted->nfont == 0) return resolved;

    TCharSet needed(FcCharSetCreate());
    for (char32_t c : text)
        if (c > 0x20) FcCharSetAddChar(needed.get(), c);
    FcPattern* chosen = candidates.Sorted->fonts[0];
    for (int i = 0; i < candidates.Sorted->nfont; ++i) {
        FcCharSet* have = nullptr;
        if (FcPatternGetCharSet(candidates.Sorted->fonts[i], FC_CHARSET, 0, &have) == FcResultMatch &&
            FcCharSetIsSubset(needed.get(), have)) {
            chosen = candidates.Sorted->fonts[i];
            break;
        }
    }

    resolved.File = StringOf(chosen, FC_FILE);
    resolved.Family = StringOf(chosen, FC_FAMILY);
    FcPatternGetInteger(chosen, FC_INDEX, 0, &resolved.Index);
    int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
    FcPatternGetInteger(chosen, FC_WEIGHT, 0, &weight);
    FcPatternGetInteger(chosen, FC_SLANT, 0, &slant);
    resolved.Weight = static_cast<int>(std::lround(FcWeightToOpenTypeDouble(weight)));
    resolved.Italic = slant != FC_SLANT_ROMAN;
    return resolved;
}

void ReleaseResolverCache() { Cache().clear(); }

} // namespace mirt::fonts
