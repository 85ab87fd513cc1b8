// One answer to "which installed font draws this Windows font": buttons, text
// boxes and metafile text all ask here, so the same face name, character set,
// weight and slant give the same font file everywhere.
#pragma once

#include <string>
#include <string_view>

namespace mirt::fonts {

struct TFontRequest {
    std::string Face; // the Windows face name, UTF-8; may be empty
    int Charset = 1;  // the Windows font charset (128 Shift-JIS, 129 Hangul, ...)
    int Weight = 400; // 100..900; 0 means regular
    bool Italic = false;
};

struct TResolvedFont {
    std::string File;    // empty when fontconfig knows no font at all
    int Index = 0;       // face index inside the file
    std::string Family;  // the family name fontconfig gives the file
    int Weight = 400;    // OpenType weight of the file found
    bool Italic = false; // whether the file itself is italic or oblique
};

// The installed font nearest the request that has glyphs for every character
// of text (controls and spaces aside); when no installed font covers all of
// it, the nearest font regardless. The Windows Japanese faces fall back to
// the free families drawn to the same design (proportional to proportional),
// and a double-byte charset, or Japanese characters in text, ask for a font
// of that language.
TResolvedFont ResolveFont(const TFontRequest& request, std::u32string_view text = {});

// Frees what the resolver keeps between calls (fontconfig's ranked fonts per
// request), for a program or test that shuts fontconfig down with FcFini.
void ReleaseResolverCache();

} // namespace mirt::fonts
