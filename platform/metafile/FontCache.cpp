#include "platform/metafile/FontCache.h"

#include "platform/fonts/FontResolver.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <memory>
#include <utility>

namespace mirt::metafile {

cairo_font_face_t* TFontCache::Face(const TFont& requested, const std::u32string& text)
{
    // Each new font costs fontconfig a ranking of all installed fonts: a file
    // naming very many draws the ones beyond the first 64 with one of those.
    const std::string request = requested.Face + '\n' + std::to_string(requested.Charset) + '\n' +
                                std::to_string(requested.Weight) + (requested.Italic ? "i" : "r");
    if (requests_.size() >= 64 && !requests_.count(request)) return Face(requests_.begin()->second, text);
    const TFont& font = requests_.emplace(request, requested).first->second;
    const fonts::TResolvedFont resolved = fonts::ResolveFont({font.Face, font.Charset, font.Weight, font.Italic}, text);
    const bool slant = font.Italic && !resolved.Italic;
    const std::string key = resolved.File + '\n' + std::to_string(resolved.Index) + (slant ? "s" : "");
    if (auto found = faces_.find(key); found != faces_.end()) return found->second.get();

    TFontFace face;
    if (!resolved.File.empty()) {
        std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> pattern(FcPatternCreate(), &FcPatternDestroy);
        FcPatternAddString(pattern.get(), FC_FILE, reinterpret_cast<const FcChar8*>(resolved.File.c_str()));
        FcPatternAddInteger(pattern.get(), FC_INDEX, resolved.Index);
        face.reset(cairo_ft_font_face_create_for_pattern(pattern.get()));
    }
    if (!face || cairo_font_face_status(face.get()) != CAIRO_STATUS_SUCCESS) {
        face.reset(cairo_toy_font_face_create("sans-serif",
                                              font.Italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                                              font.Weight >= 600 ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL));
    }
    cairo_font_face_t* const kept = face.get();
    faces_[key] = std::move(face);
    needsSlant_[kept] = slant;
    return kept;
}

bool TFontCache::NeedsSlant(cairo_font_face_t* face) const
{
    auto it = needsSlant_.find(face);
    return it != needsSlant_.end() && it->second;
}

double EmPerCellHeight(cairo_scaled_font_t* font)
{
    if (cairo_scaled_font_get_type(font) != CAIRO_FONT_TYPE_FT) return 1;
    FT_Face face = cairo_ft_scaled_font_lock_face(font);
    if (!face) return 1;
    double ratio = 1;
    const double unitsPerEm = face->units_per_EM;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    double cell = 0;
    if (os2 && os2->version != 0xFFFF) cell = static_cast<double>(os2->usWinAscent) + os2->usWinDescent;
    if (!(cell > 0)) cell = static_cast<double>(face->ascender) - face->descender; // descender is negative
    if (unitsPerEm > 0 && cell > 0) ratio = unitsPerEm / cell;
    cairo_ft_scaled_font_unlock_face(font);
    return ratio;
}

} // namespace mirt::metafile
