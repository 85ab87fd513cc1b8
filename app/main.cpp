// mirt: plays dat\story.txt in a window, from the current directory or from
// the story folder named on the command line.
#include "app/CommandLine.h"
#include "app/MainBlock.h"
#include "platform/gui/Application.h"
#include "platform/gui/fltk/Fltk.h"
#include "platform/runtime/Errors.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// The player follows the locale's code page, so it takes no --code-page.
const mirt::TProgramInfo Program{
    .Name = "mirt",
    .Summary = "Plays a picture story in a window.",
    .Options = {},
    .ExitStatus = "Exit status: 0 when the story ends or the window is closed, 1 when the story cannot start\n"
                  "or the display cannot be opened or is lost, 2 usage error.",
    .Notes = "Keys: Enter or Space takes the shown choice, else shows the next line;\n"
             "Page Down, Right and Down show the next line.",
    .TakesCodePage = false,
};

} // namespace

int main(int argc, char** argv)
{
    mirt::TCommandLine commandLine;
    if (auto done = mirt::ParseCommandLine(Program, std::vector<std::string>(argv + 1, argv + argc), commandLine,
                                           std::cout, std::cerr))
        return *done;

    // A story folder is played as if mirt had been started in it, so the
    // story's pictures resolve against it too. One that cannot be entered
    // fails like a missing story: one error box, exit code 1.
    const std::string folder = commandLine.Folder.string();
    int folderError = 0;
    if (chdir(folder.c_str()) != 0) folderError = errno;

    mirt::gui::fltk::TFltkBackend backend;
    if (folderError) {
        return mirt::gui::RunProgram(backend, [&] {
            throw mirt::EScriptError("Story folder not found: " + folder + " (" + std::strerror(folderError) + ")");
        });
    }
    return mirt::gui::RunProgram(backend, mirt::MainBlock);
}
