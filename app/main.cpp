// mirt: plays dat\story.txt in a window, from the current directory or from
// the story folder named on the command line.
#include "app/MainBlock.h"
#include "platform/gui/Application.h"
#include "platform/gui/fltk/Fltk.h"
#include "platform/runtime/Errors.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include <unistd.h>

namespace {

constexpr const char* Usage = "usage: mirt [FOLDER]\n"
                              "       mirt --help | --version\n";

constexpr const char* Help = "Plays the picture story in FOLDER (the folder that holds dat/story.txt),\n"
                             "or in the current directory when no folder is given.\n"
                             "\n"
                             "  --help     show this help and exit\n"
                             "  --version  show the version and exit\n"
                             "\n"
                             "Keys: Enter or Space takes the shown choice, else shows the next line;\n"
                             "Page Down, Right and Down show the next line.\n";

struct TArguments {
    enum TAction { Play, ShowHelp, ShowVersion, BadUsage } Action = Play;
    std::string Folder;  // empty: the current directory
    std::string Problem; // for BadUsage
};

TArguments ParseArguments(int argc, char** argv)
{
    TArguments result;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            if (result.Action == TArguments::Play) result.Action = TArguments::ShowHelp;
        } else if (!optionsEnded && arg == "--version") {
            if (result.Action == TArguments::Play) result.Action = TArguments::ShowVersion;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            return {TArguments::BadUsage, {}, "unknown option " + std::string(arg)};
        } else if (!result.Folder.empty() || arg.empty()) {
            return {TArguments::BadUsage, {}, arg.empty() ? "empty folder name" : "more than one folder"};
        } else {
            result.Folder = arg;
        }
    }
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    const TArguments arguments = ParseArguments(argc, argv);
    switch (arguments.Action) {
    case TArguments::ShowHelp:
        std::fputs(Usage, stdout);
        std::fputs(Help, stdout);
        return 0;
    case TArguments::ShowVersion: std::printf("mirt %s\n", MIRT_VERSION); return 0;
    case TArguments::BadUsage: std::fprintf(stderr, "mirt: %s\n%s", arguments.Problem.c_str(), Usage); return 2;
    case TArguments::Play: break;
    }

    // A story folder is played as if mirt had been started in it, so the
    // story's pictures resolve against it too. One that cannot be entered
    // fails like a missing story: one error box, exit code 1.
    int folderError = 0;
    if (!arguments.Folder.empty() && chdir(arguments.Folder.c_str()) != 0) folderError = errno;

    mirt::gui::fltk::TFltkBackend backend;
    if (folderError) {
        return mirt::gui::RunProgram(backend, [&] {
            throw mirt::EScriptError("Story folder not found: " + arguments.Folder + " (" + std::strerror(folderError) +
                                     ")");
        });
    }
    return mirt::gui::RunProgram(backend, mirt::MainBlock);
}
