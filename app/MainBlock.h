// The program's main block, run by the GUI platform on its backend.
#pragma once

namespace mirt {

// Titles the application "mirt", creates the main window and runs the
// message loop until the story ends or the window is closed.
void MainBlock();

} // namespace mirt
