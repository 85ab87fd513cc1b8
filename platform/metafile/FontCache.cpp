#include "platform/metafile/FontCache.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>

#include <memory>

namespace mirt::metafile {

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

// The fontconfig pattern a face was made from, kept on the face.
const cairo_user_data_key_t PatternKey{};

bool IsJapanese(char32_t c)
{
    return (c >= 0x3000 && c <= 0x30FF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xFF00 && c <= 0xFFEF);
}

int FcWeight(int gdiWeight)
{
    if (gdiWeight <= 0) return FC_WEIGHT_REGULAR;
    return static_cast<int>(FcWeightFromOpenTypeDouble(gdiWeight));
}

} // namespace

TFontCache::~TFontCache()
{
    for (auto& [key, face] : faces_) cairo_font_face_destroy(face);
}

cairo_font_face_t* TFontCache::Face(const TFont& font, const std::u32string& text)
{
    bool japanese = font.Charset == 128;
    for (char32_t c : text) japanese = japanese || IsJapanese(c);
    int weight = FcWeight(font.Weight);
    std::string key = font.Face + '\n' + std::to_string(weight) + (font.Italic ? "i" : "r") + (japanese ? "ja" : "");
    // Text with characters outside what the cached face covers gets its own entry.
    std::unique_ptr<FcCharSet, TCharSetDeleter> needed(FcCharSetCreate());
    for (char32_t c : text)
        if (c > 0x20) FcCharSetAddChar(needed.get(), c);
    auto found = faces_.find(key);
    // Font look-ups are slow: a file with very many fonts reuses the first.
    if (found == faces_.end() && faces_.size() >= 64) return faces_.begin()->second;
    if (found != faces_.end()) {
        FcPattern* p = nullptr;
        // cairo keeps the pattern the face was made from; reuse when it covers the text.
        FcCharSet* have = nullptr;
        p = static_cast<FcPattern*>(cairo_font_face_get_user_data(found->second, &PatternKey));
        if (p && FcPatternGetCharSet(p, FC_CHARSET, 0, &have) == FcResultMatch && FcCharSetIsSubset(needed.get(), have))
            return found->second;
        if (faces_.size() >= 64) return found->second; // bound the work on odd files
        key += '\n';
        for (char32_t c : text) key += std::to_string(static_cast<unsigned>(c)) + ',';
        found = faces_.find(key);
        if (found != faces_.end()) return found->second;
    }

    std::unique_ptr<FcPattern, TPatternDeleter> pattern(FcPatternCreate());
    if (!font.Face.empty())
        FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(font.Face.c_str()));
    FcPatternAddInteger(pattern.get(), FC_WEIGHT, weight);
    FcPatternAddInteger(pattern.get(), FC_SLANT, font.Italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    if (japanese) FcPatternAddString(pattern.get(), FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());

    FcResult result;
    std::unique_ptr<FcFontSet, TFontSetDeleter> sorted(FcFontSort(nullptr, pattern.get(), FcTrue, nullptr, &result));
    FcPattern* chosen = nullptr;
    if (sorted) {
        for (int i = 0; i < sorted->nfont && !chosen; ++i) {
            FcCharSet* cs = nullptr;
            if (FcPatternGetCharSet(sorted->fonts[i], FC_CHARSET, 0, &cs) == FcResultMatch &&
                FcCharSetIsSubset(needed.get(), cs))
                chosen = sorted->fonts[i];
        }
        if (!chosen && sorted->nfont > 0) chosen = sorted->fonts[0];
    }
    std::unique_ptr<FcPattern, TPatternDeleter> final;
    if (chosen) final.reset(FcFontRenderPrepare(nullptr, pattern.get(), chosen));
    else final.reset(FcFontMatch(nullptr, pattern.get(), &result));

    cairo_font_face_t* face;
    bool slant = false;
    if (final) {
        int gotSlant = FC_SLANT_ROMAN;
        FcPatternGetInteger(final.get(), FC_SLANT, 0, &gotSlant);
        slant = font.Italic && gotSlant == FC_SLANT_ROMAN;
        face = cairo_ft_font_face_create_for_pattern(final.get());
        // The face keeps its own reference to the pattern for the coverage test above.
        FcPattern* kept = final.release();
        cairo_font_face_set_user_data(face, &PatternKey, kept,
                                      [](void* p) { FcPatternDestroy(static_cast<FcPattern*>(p)); });
    } else {
        face = cairo_toy_font_face_create("sans-serif", font.Italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                                          font.Weight >= 600 ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    }
    faces_[key] = face;
    needsSlant_[face] = slant;
    return face;
}

bool TFontCache::NeedsSlant(cairo_font_face_t* face) const
{
    auto it = needsSlant_.find(face);
    return it != needsSlant_.end() && it->second;
}

} // namespace mirt::metafile
