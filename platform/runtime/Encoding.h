// Text in the ANSI code page shown as UTF-8.
#pragma once

#include "platform/runtime/Strings.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace mirt {

// UTF-8, written once for the whole program. A malformed sequence (cut
// short, overlong, a surrogate, beyond U+10FFFF, a stray continuation byte)
// decodes as U+FFFD for its first byte, and decoding goes on at the next byte.
constexpr char32_t kReplacementChar = 0xFFFD;

// The code point starting at text[pos]; pos moves past it. pos < text.size().
char32_t DecodeUtf8(std::string_view text, std::size_t& pos);
std::u32string DecodeUtf8(std::string_view text);

// Appends one code point; surrogates and values beyond U+10FFFF become U+FFFD.
void AppendUtf8(std::string& out, char32_t c);
std::string EncodeUtf8(std::u32string_view text);

bool IsValidUtf8(std::string_view text);

// Text as UTF-8 for display and for matching names stored as UTF-8: a text
// that is already valid UTF-8 with non-ASCII bytes is returned as it is; any
// other is converted from the code page's Windows charset
// (SysCodePage().WindowsCharset) with iconv; bytes that do not convert become
// U+FFFD. Never fails.
std::string AnsiToUtf8(const AnsiString& text);

// Converts from the code page's Windows charset only (no UTF-8 pass-through).
std::string CodePageToUtf8(const AnsiString& text);

// Converts text in one named charset (an iconv name such as "CP932") to
// UTF-8; an illegal or incomplete sequence becomes one U+FFFD for its first
// byte. Without a converter for the charset, ASCII is kept and every other
// byte becomes U+FFFD. Reusable for many texts.
class TCharsetConverter {
public:
    explicit TCharsetConverter(const char* charset);
    ~TCharsetConverter();
    TCharsetConverter(const TCharsetConverter&) = delete;
    TCharsetConverter& operator=(const TCharsetConverter&) = delete;

    std::string ToUtf8(std::string_view text);

private:
    void* handle_; // iconv_t
};

} // namespace mirt
