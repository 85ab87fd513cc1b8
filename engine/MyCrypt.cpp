#include "MyCrypt.h"

namespace mirt {
namespace {

// The cipher key. Below 0x20, so control bytes (line ends, tab, 0x1A) are
// left alone and every other byte stays at 0x20 or above.
constexpr unsigned char kCipherKey = 0x17;

} // namespace

AnsiString XorText(const AnsiString& Text)
{
    AnsiString out = Text;
    for (char& c : out) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b >= 0x20) c = static_cast<char>(b ^ kCipherKey);
    }
    return out;
}

} // namespace mirt
