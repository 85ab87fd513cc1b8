#include "platform/metafile/MetafileText.h"

#include "platform/runtime/CodePage.h"
#include "platform/runtime/Encoding.h"

#include <algorithm>

namespace mirt::metafile {

namespace {

constexpr char32_t Replacement = kReplacementChar;

} // namespace

TDecodedText DecodeCharsetText(std::span<const unsigned char> bytes, int charset,
                               const std::vector<double>& byteAdvances)
{
    // Fonts of a fixed charset convert from its code page; ANSI and DEFAULT from the system's.
    const TCodePage codePage = CodePageForFontCharset(charset);
    TCharsetConverter converter(codePage.WindowsCharset);
    auto lead = [&](unsigned char b) { return codePage.Lead[b]; };

    TDecodedText result;
    bool advances = !byteAdvances.empty();
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t len = lead(bytes[i]) && i + 1 < bytes.size() ? 2 : 1;
        std::size_t before = result.Text.size();
        auto ch = bytes.subspan(i, len);
        // A character that does not convert shows as one replacement character.
        std::string utf8 = converter.ToUtf8({reinterpret_cast<const char*>(ch.data()), ch.size()});
        if (utf8.find("\xEF\xBF\xBD") == std::string::npos) result.Text += DecodeUtf8(utf8);
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
