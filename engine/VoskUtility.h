// String helpers shared by the engine and the application.
#pragma once

#include "platform/runtime/Strings.h"

namespace mirt {

// Fills Parts with the pieces of Text between occurrences of Delimiter
// (double-byte aware, Text ends at its first NUL). An empty Delimiter leaves
// Parts untouched.
void SplitString(const AnsiString& Text, const AnsiString& Delimiter, TStringDynArray& Parts);

// The first Count bytes of Text (all of it if shorter; empty if Count <= 0).
AnsiString LeftCopy(const AnsiString& Text, int Count);

} // namespace mirt
