// String helpers shared by the engine and the application.
#pragma once

#include "platform/runtime/Strings.h"

#include <limits>

namespace mirt {

// Fills Parts with the pieces of Text between occurrences of Delimiter
// (double-byte aware, Text ends at its first NUL). An empty Delimiter leaves
// Parts untouched. MaxParts stops the split early: Parts then holds the
// first MaxParts pieces of the full split (and is empty exactly when that is).
void SplitString(const AnsiString& Text, const AnsiString& Delimiter, TStringDynArray& Parts,
                 int MaxParts = std::numeric_limits<int>::max());

// The first Count bytes of Text (all of it if shorter; empty if Count <= 0).
AnsiString LeftCopy(const AnsiString& Text, int Count);

} // namespace mirt
