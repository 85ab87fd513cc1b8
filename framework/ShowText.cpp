#include "framework/ShowText.h"

#include "platform/gui/Application.h"

namespace mirt {

void ShowText(const AnsiString& Text) { gui::Application->MessageBox(Text); }

} // namespace mirt
