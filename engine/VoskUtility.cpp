#include "VoskUtility.h"

#include "platform/runtime/CodePage.h"

namespace mirt {

void SplitString(const AnsiString& Text, const AnsiString& Delimiter, TStringDynArray& Parts)
{
    if (Delimiter.empty()) return;
    Parts.Clear();
    // The delimiter is appended so the last piece ends with one too; each
    // search starts afresh after the previous match, as if the text before it
    // had been deleted.
    AnsiString work;
    work.reserve(Text.size() + Delimiter.size());
    work += Text;
    work += Delimiter;
    std::size_t start = 0;
    for (;;) {
        const std::size_t hit = AnsiFind(work, Delimiter, start);
        if (hit == AnsiString::npos) return;
        Parts.Append(work.substr(start, hit - start));
        start = hit + Delimiter.size();
    }
}

AnsiString LeftCopy(const AnsiString& Text, int Count)
{
    if (Count <= 0) return {};
    return Text.substr(0, static_cast<std::size_t>(Count));
}

} // namespace mirt
