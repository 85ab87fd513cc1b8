#include "Encoding.h"

#include "CodePage.h"

#include <cerrno>
#include <iconv.h>
#include <memory>

namespace mirt {
namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD"; // U+FFFD

// Code-page text without a converter: ASCII kept, every other byte replaced.
std::string AsciiOnly(std::string_view text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x80) out += static_cast<char>(c);
        else out += kReplacement;
    }
    return out;
}

} // namespace

bool IsValidUtf8(const std::string& text)
{
    const std::size_t n = text.size();
    auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    auto cont = [&](std::size_t i) { return i < n && (at(i) & 0xC0) == 0x80; };
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = at(i);
        if (c < 0x80) {
            ++i;
        } else if (c >= 0xC2 && c <= 0xDF) {
            if (!cont(i + 1)) return false;
            i += 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            if (!cont(i + 1) || !cont(i + 2)) return false;
            const unsigned char c1 = at(i + 1);
            if (c == 0xE0 && c1 < 0xA0) return false;  // overlong
            if (c == 0xED && c1 >= 0xA0) return false; // surrogates
            i += 3;
        } else if (c >= 0xF0 && c <= 0xF4) {
            if (!cont(i + 1) || !cont(i + 2) || !cont(i + 3)) return false;
            const unsigned char c1 = at(i + 1);
            if (c == 0xF0 && c1 < 0x90) return false;  // overlong
            if (c == 0xF4 && c1 >= 0x90) return false; // beyond U+10FFFF
            i += 4;
        } else {
            return false;
        }
    }
    return true;
}

std::string AnsiToUtf8(const AnsiString& text)
{
    bool ascii = true;
    for (unsigned char c : text) ascii = ascii && c < 0x80;
    // ASCII reads the same in every code page we support, and as UTF-8.
    if (ascii || IsValidUtf8(text)) return text;
    return CodePageToUtf8(text);
}

std::string CodePageToUtf8(const AnsiString& text)
{
    // One converter for the code page in use, kept open: the case-insensitive
    // comparison converts character by character. The program runs on one thread.
    static std::unique_ptr<TCharsetConverter> converter;
    static std::string charset;
    const char* wanted = SysCodePage().WindowsCharset;
    if (!converter || charset != wanted) {
        converter = std::make_unique<TCharsetConverter>(wanted);
        charset = wanted;
    }
    return converter->ToUtf8(text);
}

TCharsetConverter::TCharsetConverter(const char* charset) : handle_(iconv_open("UTF-8", charset)) {}

TCharsetConverter::~TCharsetConverter()
{
    if (handle_ != reinterpret_cast<iconv_t>(-1)) iconv_close(static_cast<iconv_t>(handle_));
}

std::string TCharsetConverter::ToUtf8(std::string_view text)
{
    if (handle_ == reinterpret_cast<iconv_t>(-1)) return AsciiOnly(text);
    iconv_t cd = static_cast<iconv_t>(handle_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);

    std::string out;
    out.reserve(text.size() * 3 / 2 + 4);
    char buffer[256];
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    while (inLeft > 0) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        const std::size_t r = iconv(cd, &in, &inLeft, &dst, &dstLeft);
        const int err = errno;
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (r != static_cast<std::size_t>(-1)) break;
        if (err == E2BIG) continue;
        // An illegal or incomplete sequence: one replacement character for
        // its first byte, then go on with the next byte.
        out += kReplacement;
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
}

} // namespace mirt
