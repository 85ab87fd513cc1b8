#include "platform/metafile/MetafileText.h"

#include "platform/runtime/CodePage.h"
#include "platform/runtime/Encoding.h"

#include <algorithm>

namespace mirt::metafile {

namespace {

constexpr char32_t Replacement = 0xFFFD;

struct TCharsetInfo {
    int Charset;
    const char* Iconv;
    bool (*Lead)(unsigned char);
};

bool NoLead(unsigned char) { return false; }
bool Cp932Lead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool DbcsLead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

// Font character sets with a fixed code page; ANSI and DEFAULT follow the system.
const TCharsetInfo Charsets[] = {
    {2, "CP1252", NoLead},     // SYMBOL: shown as Latin text
    {77, "MACINTOSH", NoLead}, // MAC
    {128, "CP932", Cp932Lead}, // SHIFTJIS
    {129, "CP949", DbcsLead},  // HANGUL
    {130, "JOHAB", DbcsLead},  // JOHAB
    {134, "CP936", DbcsLead},  // GB2312
    {136, "CP950", DbcsLead},  // CHINESEBIG5
    {161, "CP1253", NoLead},   // GREEK
    {162, "CP1254", NoLead},   // TURKISH
    {163, "CP1258", NoLead},   // VIETNAMESE
    {177, "CP1255", NoLead},   // HEBREW
    {178, "CP1256", NoLead},   // ARABIC
    {186, "CP1257", NoLead},   // BALTIC
    {204, "CP1251", NoLead},   // RUSSIAN
    {222, "CP874", NoLead},    // THAI
    {238, "CP1250", NoLead},   // EASTEUROPE
    {255, "CP437", NoLead},    // OEM
};

// Appends the code points of UTF-8 text (already valid, from iconv).
void AppendUtf8(std::u32string& out, const std::string& utf8)
{
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t cp = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
        for (int k = 1; k < n; ++k)
            cp = cp << 6 | (i + k < utf8.size() ? static_cast<unsigned char>(utf8[i + k]) & 0x3F : 0);
        out += cp;
        i += static_cast<std::size_t>(n);
    }
}

} // namespace

TDecodedText DecodeCharsetText(std::span<const unsigned char> bytes, int charset,
                               const std::vector<double>& byteAdvances)
{
    const TCharsetInfo* info = nullptr;
    for (const TCharsetInfo& c : Charsets)
        if (c.Charset == charset) info = &c;

    // Fonts of a fixed charset convert from it; ANSI and DEFAULT from the system's code page.
    TCharsetConverter converter(info ? info->Iconv : SysCodePage().WindowsCharset);
    bool (*lead)(unsigned char) = info ? info->Lead : [](unsigned char b) { return IsLeadByte(b); };

    TDecodedText result;
    bool advances = !byteAdvances.empty();
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t len = lead(bytes[i]) && i + 1 < bytes.size() ? 2 : 1;
        std::size_t before = result.Text.size();
        auto ch = bytes.subspan(i, len);
        // A character that does not convert shows as one replacement character.
        std::string utf8 = converter.ToUtf8({reinterpret_cast<const char*>(ch.data()), ch.size()});
        if (utf8.find("\xEF\xBF\xBD") == std::string::npos) AppendUtf8(result.Text, utf8);
        if (result.Text.size() == before) result.Text += Replacement;
        if (advances) {
            double sum = 0;
            for (std::size_t k = i; k < i + len && k < byteAdvances.size(); ++k) sum += byteAdvances[k];
            result.Advances.push_back(sum);
            result.Advances.resize(result.Text.size(), 0);
        }
        i += len;
    }
    return result;
}

TDecodedText DecodeUtf16Text(std::span<const unsigned char> bytes, const std::vector<double>& unitAdvances)
{
    TDecodedText result;
    std::size_t units = bytes.size() / 2;
    auto unit = [&](std::size_t i) { return static_cast<char32_t>(bytes[2 * i] | bytes[2 * i + 1] << 8); };
    auto advance = [&](std::size_t i) { return i < unitAdvances.size() ? unitAdvances[i] : 0.0; };
    for (std::size_t i = 0; i < units;) {
        char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) <= 0xDFFF) {
            result.Text += 0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00);
            if (!unitAdvances.empty()) result.Advances.push_back(advance(i) + advance(i + 1));
            i += 2;
            continue;
        }
        result.Text += (u >= 0xD800 && u <= 0xDFFF) ? Replacement : u;
        if (!unitAdvances.empty()) result.Advances.push_back(advance(i));
        ++i;
    }
    return result;
}

} // namespace mirt::metafile

namespace mirt::metafile {

std::string ToUtf8(const std::u32string& text)
{
    std::string out;
    for (char32_t c : text) {
        if (c < 0x80) out += static_cast<char>(c);
        else if (c < 0x800) {
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
    return out;
}

} // namespace mirt::metafile
