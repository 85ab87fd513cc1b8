// The ANSI code page of the user's locale and the double-byte-aware string
// routines built on it.
#pragma once

#include "Strings.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace mirt {

struct TCodePage {
    int Number = 0;                  // Windows code page: 932, 936, 949, 950, 1252, ...
    const char* WindowsCharset = ""; // iconv name used to show text: "CP932", ..., "CP1252"
    std::array<bool, 256> Lead{};    // lead bytes of double-byte characters
};

// A Windows code page by number, with its lead bytes: the double-byte pages
// 932, 936, 949, 950 and 1361 (Johab), the single-byte Windows pages
// 874 and 1250-1258, 437 (OEM) and 10000 (Mac Roman). Any other number gives
// 1252.
TCodePage CodePageByNumber(int number);

// The code page of a font's character set (the charset byte of a Windows
// font: 128 Shift-JIS, 129 Hangul, 134 GB2312, 136 Big5, 161 Greek, ...).
// ANSI (0), DEFAULT (1) and any set without a code page of its own follow the
// system's code page; SYMBOL (2) reads as 1252.
TCodePage CodePageForFontCharset(int charset);

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

// The text before its first NUL byte: all that the searches look at.
std::string_view BeforeNul(std::string_view text);

// The search of AnsiPos over all of text (cut it with BeforeNul first),
// starting at a 0-based byte offset that counts as the start of a character;
// returns the 0-based index of the match, or npos.
std::size_t AnsiFind(std::string_view text, std::string_view pattern, std::size_t from);

// Whether text[index] is the second byte of a double-byte character: an odd
// number of consecutive lead-byte values stand directly before it.
bool IsSecondByte(std::string_view text, std::size_t index);

// Locale-aware comparison of the whole length of both strings that ignores
// letter case only (full-width letters never equal half-width ones).
bool AnsiSameText(const AnsiString& A, const AnsiString& B);

} // namespace mirt
