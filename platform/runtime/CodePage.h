// The ANSI code page of the user's locale and the double-byte-aware string
// routines built on it.
#pragma once

#include "Strings.h"

#include <array>
#include <string_view>

namespace mirt {

struct TCodePage {
    int Number = 0;                    // 932, 936, 949, 950; 1252 for every other locale
    const char* WindowsCharset = "";   // iconv name used to show text: "CP932", ..., "CP1252"
    std::array<bool, 256> Lead{};      // lead bytes of double-byte characters
};

// The code page for a locale name such as "ja_JP.UTF-8" or "de_DE": its
// language decides, whatever the charset ("ja" 932, "zh_CN" 936,
// "zh_TW"/"zh_HK" 950, "ko" 949, anything else 1252 with no lead bytes).
TCodePage CodePageForLocale(std::string_view localeName);

// The code page of this process: read once from LC_ALL, else LC_CTYPE, else
// LANG, on first use. Tests choose one explicitly with SetSysCodePage.
const TCodePage& SysCodePage();
void SetSysCodePage(const TCodePage& codePage);

bool IsLeadByte(unsigned char b);

// 1-based position of the first occurrence of Sub in S that does not begin on
// the second byte of a double-byte character, looking only at S up to its
// first NUL byte; 0 if none.
int AnsiPos(const AnsiString& Sub, const AnsiString& S);

// Locale-aware comparison of the whole length of both strings that ignores
// letter case only (full-width letters never equal half-width ones).
bool AnsiSameText(const AnsiString& A, const AnsiString& B);

} // namespace mirt
