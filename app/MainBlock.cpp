#include "app/MainBlock.h"

#include "app/UnitForm.h"
#include "platform/gui/Application.h"

namespace mirt {

void MainBlock()
{
    gui::Application->Title = "mirt";
    gui::Application->CreateForm(FormMain);
    gui::Application->Run();
}

} // namespace mirt
