// The story's message box.
#pragma once

#include "platform/runtime/Strings.h"

namespace mirt {

// Shows Text in the application's modal message box (caption: the
// application title, one OK button, no icon) and waits until it is closed.
void ShowText(const AnsiString& Text);

} // namespace mirt
