#include "Encoding.h"

#include "CodePage.h"

#include <cerrno>
#include <iconv.h>
#include <memory>

namespace mirt {
namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD"; // U+FFFD as UTF-8

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

char32_t DecodeUtf8(std::string_view text, std::size_t& pos)
{
    const std::size_t n = text.size();
    auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    auto cont = [&](std::size_t i) { return i < n && (at(i) & 0xC0) == 0x80; };
    const unsigned char c = at(pos);
    const std::size_t start = pos++;
    if (c < 0x80) return c;
    std::size_t length = 0;
    char32_t cp = 0, least = 0;
    if (c >= 0xC2 && c <= 0xDF) length = 2, cp = c & 0x1Fu, least = 0x80;
    else if (c >= 0xE0 && c <= 0xEF) length = 3, cp = c & 0x0Fu, least = 0x800;
    else if (c >= 0xF0 && c <= 0xF4) length = 4, cp = c & 0x07u, least = 0x10000;
    else return kReplacementChar;
    for (std::size_t k = 1; k < length; ++k) {
        if (!cont(start + k)) return kReplacementChar;
        cp = cp << 6 | (at(start + k) & 0x3Fu);
    }
    if (cp < least || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return kReplacementChar;
    pos = start + length;
    return cp;
}

std::u32string DecodeUtf8(std::string_view text)
{
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) out += DecodeUtf8(text, pos);
    return out;
}

void AppendUtf8(std::string& out, char32_t c)
{
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacementChar;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string EncodeUtf8(std::u32string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) AppendUtf8(out, c);
    return out;
}

bool IsValidUtf8(std::string_view text)
{
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t start = pos;
        // U+FFFD itself is valid; a replacement for bad bytes consumes only one.
        if (DecodeUtf8(text, pos) == kReplacementChar && pos == start + 1 &&
            static_cast<unsigned char>(text[start]) >= 0x80)
            return false;
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
