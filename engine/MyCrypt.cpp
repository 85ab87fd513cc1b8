#include "MyCrypt.h"

#include <cstdint>
#include <cstring>

namespace mirt {
namespace {

// The cipher key. Below 0x20, so control bytes (line ends, tab, 0x1A) are
// left alone and every other byte stays at 0x20 or above.
constexpr unsigned char kCipherKey = 0x17;

} // namespace

AnsiString XorText(const AnsiString& Text)
{
    AnsiString out = Text;
    char* p = out.data();
    const std::size_t n = out.size();
    std::size_t i = 0;
    // Eight bytes at a time: bit 7 of each byte of `high` is set where the
    // byte is 0x20 or more (one of its bits 5..7 set), and only those bytes
    // get the key.
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        const std::uint64_t high = (w | (w << 1) | (w << 2)) & 0x8080808080808080ull;
        w ^= (high >> 7) * kCipherKey;
        std::memcpy(p + i, &w, 8);
    }
    for (; i < n; ++i) {
        const unsigned char b = static_cast<unsigned char>(p[i]);
        if (b >= 0x20) p[i] = static_cast<char>(b ^ kCipherKey);
    }
    return out;
}

} // namespace mirt
