// The line cipher of scrambled scripts: the same call scrambles and unscrambles.
#pragma once

#include "platform/runtime/Strings.h"

namespace mirt {

AnsiString XorText(const AnsiString& Text);

} // namespace mirt
