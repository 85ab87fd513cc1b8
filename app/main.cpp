// mirt: plays dat\story.txt from the current directory in a window.
#include "app/MainBlock.h"
#include "platform/gui/Application.h"
#include "platform/gui/fltk/Fltk.h"

int main()
{
    mirt::gui::fltk::TFltkBackend backend;
    return mirt::gui::RunProgram(backend, mirt::MainBlock);
}
