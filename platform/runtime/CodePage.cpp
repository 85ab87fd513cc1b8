#include "CodePage.h"

#include "Encoding.h"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace mirt {
namespace {

struct TLeadRange {
    unsigned char First, Last;
};

struct TCodePageInfo {
    int Number;
    const char* Iconv;
    TLeadRange Lead[3]; // unused ranges are {0, 0}
};

// Every code page the program reads text in, and its lead bytes.
const TCodePageInfo kCodePages[] = {
    {1252, "CP1252", {}},
    {932, "CP932", {{0x81, 0x9F}, {0xE0, 0xFC}}},
    {936, "CP936", {{0x81, 0xFE}}},
    {949, "CP949", {{0x81, 0xFE}}},
    {950, "CP950", {{0x81, 0xFE}}},
    {1361, "JOHAB", {{0x84, 0xD3}, {0xD8, 0xDE}, {0xE0, 0xF9}}},
    {874, "CP874", {}},
    {1250, "CP1250", {}},
    {1251, "CP1251", {}},
    {1253, "CP1253", {}},
    {1254, "CP1254", {}},
    {1255, "CP1255", {}},
    {1256, "CP1256", {}},
    {1257, "CP1257", {}},
    {1258, "CP1258", {}},
    {437, "CP437", {}},
    {10000, "MACINTOSH", {}},
};

TCodePage Western() { return CodePageByNumber(1252); }

std::optional<TCodePage>& Current()
{
    static std::optional<TCodePage> current;
    return current;
}

TCodePage FromEnvironment()
{
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return CodePageForLocale(value);
    }
    return Western();
}

// Case folding of single bytes: ASCII letters everywhere, and on the western
// code page the accented letters and the four extra pairs of that code page.
unsigned char FoldByte(unsigned char b, int codePage)
{
    if (b >= 'A' && b <= 'Z') return static_cast<unsigned char>(b + 0x20);
    if (codePage == 1252) {
        if (b >= 0xC0 && b <= 0xDE && b != 0xD7) return static_cast<unsigned char>(b + 0x20);
        switch (b) {
        case 0x8A: return 0x9A;
        case 0x8C: return 0x9C;
        case 0x8E: return 0x9E;
        case 0x9F: return 0xFF;
        default: break;
        }
    }
    return b;
}

// The code point of the first character of UTF-8 text (U+FFFD when malformed).
char32_t FirstCodePoint(const std::string& s)
{
    std::size_t pos = 0;
    return s.empty() ? kReplacementChar : DecodeUtf8(s, pos);
}

// Lower case of the letters a double-byte code page carries in pairs:
// full-width Latin, Greek and Cyrillic. Full-width stays full-width.
char32_t FoldWide(char32_t c)
{
    if (c >= 0xFF21 && c <= 0xFF3A) return c + 0x20;                // Ａ..Ｚ
    if (c >= 0x0391 && c <= 0x03A9 && c != 0x03A2) return c + 0x20; // Α..Ω
    if (c >= 0x0410 && c <= 0x042F) return c + 0x20;                // А..Я
    if (c >= 0x0400 && c <= 0x040F) return c + 0x50;                // Ё and the rest
    return c;
}

bool SameWideChar(const char* a, const char* b)
{
    char32_t ca = FirstCodePoint(CodePageToUtf8(AnsiString(a, 2)));
    char32_t cb = FirstCodePoint(CodePageToUtf8(AnsiString(b, 2)));
    if (ca == 0xFFFD || cb == 0xFFFD) return false;
    return FoldWide(ca) == FoldWide(cb);
}

} // namespace

TCodePage CodePageByNumber(int number)
{
    const TCodePageInfo* info = &kCodePages[0];
    for (const TCodePageInfo& c : kCodePages)
        if (c.Number == number) info = &c;
    TCodePage cp;
    cp.Number = info->Number;
    cp.WindowsCharset = info->Iconv;
    for (const TLeadRange& r : info->Lead)
        if (r.First != 0)
            for (int b = r.First; b <= r.Last; ++b) cp.Lead[static_cast<std::size_t>(b)] = true;
    return cp;
}

TCodePage CodePageForFontCharset(int charset)
{
    switch (charset) {
    case 2: return CodePageByNumber(1252);   // SYMBOL: shown as Latin text
    case 77: return CodePageByNumber(10000); // MAC
    case 128: return CodePageByNumber(932);  // SHIFTJIS
    case 129: return CodePageByNumber(949);  // HANGUL
    case 130: return CodePageByNumber(1361); // JOHAB
    case 134: return CodePageByNumber(936);  // GB2312
    case 136: return CodePageByNumber(950);  // CHINESEBIG5
    case 161: return CodePageByNumber(1253); // GREEK
    case 162: return CodePageByNumber(1254); // TURKISH
    case 163: return CodePageByNumber(1258); // VIETNAMESE
    case 177: return CodePageByNumber(1255); // HEBREW
    case 178: return CodePageByNumber(1256); // ARABIC
    case 186: return CodePageByNumber(1257); // BALTIC
    case 204: return CodePageByNumber(1251); // RUSSIAN
    case 222: return CodePageByNumber(874);  // THAI
    case 238: return CodePageByNumber(1250); // EASTEUROPE
    case 255: return CodePageByNumber(437);  // OEM
    default: return SysCodePage();           // ANSI, DEFAULT and unknown sets
    }
}

TCodePage CodePageForLocale(std::string_view localeName)
{
    // language[_territory][.charset][@modifier]
    std::string_view head = localeName.substr(0, localeName.find_first_of(".@"));
    std::string_view language = head.substr(0, head.find('_'));
    std::string_view territory;
    if (auto underscore = head.find('_'); underscore != std::string_view::npos) territory = head.substr(underscore + 1);

    if (language == "ja") return CodePageByNumber(932);
    if (language == "ko") return CodePageByNumber(949);
    if (language == "zh") {
        if (territory == "CN" || territory == "SG") return CodePageByNumber(936);
        if (territory == "TW" || territory == "HK") return CodePageByNumber(950);
    }
    return Western();
}

const TCodePage& SysCodePage()
{
    if (!Current()) Current() = FromEnvironment();
    return *Current();
}

void SetSysCodePage(const TCodePage& codePage) { Current() = codePage; }

bool IsLeadByte(unsigned char b) { return SysCodePage().Lead[b]; }

int AnsiPos(const AnsiString& Sub, const AnsiString& S)
{
    std::size_t pos = AnsiFind(BeforeNul(S), Sub, 0);
    return pos == AnsiString::npos ? 0 : static_cast<int>(pos + 1);
}

std::string_view BeforeNul(std::string_view text)
{
    const void* nul = std::memchr(text.data(), 0, text.size());
    return nul ? text.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - text.data())) : text;
}

std::size_t AnsiFind(std::string_view text, std::string_view pattern, std::size_t from)
{
    if (pattern.empty() || from > text.size() || pattern.size() > text.size() - from) return AnsiString::npos;

    const TCodePage& cp = SysCodePage();
    if (cp.Number == 1252) return text.find(pattern, from);

    // Candidates come from memchr on the pattern's first byte. A candidate is
    // the second byte of a character when an odd run of lead bytes stands
    // before it; the run is counted back only to the last position known to
    // start a character, so the whole search stays linear.
    const std::size_t last = text.size() - pattern.size();
    const char* const data = text.data();
    std::size_t boundary = from; // starts a character
    for (std::size_t i = from; i <= last;) {
        const void* hit = std::memchr(data + i, pattern.front(), last + 1 - i);
        if (!hit) break;
        const std::size_t c = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
        std::size_t run = 0;
        while (c - run > boundary && cp.Lead[static_cast<unsigned char>(data[c - run - 1])]) ++run;
        if (run % 2 == 1) { // second byte: the next character starts after it
            boundary = c + 1;
            i = c + 1;
            continue;
        }
        if (text.compare(c, pattern.size(), pattern) == 0) return c;
        boundary = c;
        i = c + 1;
    }
    return AnsiString::npos;
}

bool IsSecondByte(std::string_view text, std::size_t index)
{
    // An odd run of lead-byte values directly before the byte makes it the
    // second byte of a double-byte character.
    const TCodePage& cp = SysCodePage();
    std::size_t run = 0;
    while (run < index && cp.Lead[static_cast<unsigned char>(text[index - run - 1])]) ++run;
    return run % 2 == 1;
}

bool AnsiSameText(const AnsiString& A, const AnsiString& B)
{
    if (A.size() != B.size()) return false;
    const TCodePage& cp = SysCodePage();
    const std::size_t n = A.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char a = static_cast<unsigned char>(A[i]);
        const unsigned char b = static_cast<unsigned char>(B[i]);
        if (cp.Lead[a] && i + 1 < n) {
            if (a != b || A[i + 1] != B[i + 1]) {
                if (!cp.Lead[b] || !SameWideChar(A.data() + i, B.data() + i)) return false;
            }
            i += 2;
            continue;
        }
        if (a != b && FoldByte(a, cp.Number) != FoldByte(b, cp.Number)) return false;
        ++i;
    }
    return true;
}

} // namespace mirt
