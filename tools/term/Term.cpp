#include "tools/term/Term.h"

#include "app/CommandLine.h"
#include "app/MainBlock.h"
#include "app/UnitCommon.h"
#include "platform/gui/Application.h"
#include "platform/gui/terminal/Terminal.h"

#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

namespace mirt::tools {
namespace {

const TProgramInfo Program{
    "mirt-term",
    "Plays a picture story on a text terminal: Enter shows the next line, c takes the offered choice, q quits.",
    {{"--pictures", "", "also draw each picture in coloured half blocks (needs a 24-bit colour terminal)"}},
    "Exit status: 0 when the story or the input ends, 1 when the story cannot start, 2 usage error."};

// Whether the terminal on stdout shows 24-bit colour, as its COLORTERM says.
bool TrueColourTerminal()
{
    const char* colours = std::getenv("COLORTERM");
    return colours && (std::strcmp(colours, "truecolor") == 0 || std::strcmp(colours, "24bit") == 0);
}

int TerminalColumns()
{
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    if (const char* columns = std::getenv("COLUMNS"); columns && std::atoi(columns) > 0) return std::atoi(columns);
    return 80;
}

} // namespace

int PlayOnTerminal(std::istream& in, std::ostream& out, bool drawPictures, int columns)
{
    gui::terminal::TTerminalBackend backend(in, out);
    backend.PictureName = [] { return LastImageName; };
    backend.DrawPictures = drawPictures;
    backend.Columns = columns;
    return gui::RunProgram(backend, MainBlock);
}

int TermMain(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err)
{
    TCommandLine commandLine;
    if (auto done = ParseCommandLine(Program, args, commandLine, out, err)) return *done;
    try {
        TStoryScope scope(commandLine);
        const bool pictures = commandLine.Has("--pictures");
        if (pictures && !TrueColourTerminal())
            err << "mirt-term: --pictures needs a 24-bit colour terminal (COLORTERM=truecolor); pictures are not "
                   "drawn\n";
        return PlayOnTerminal(in, out, pictures && TrueColourTerminal(), TerminalColumns());
    } catch (const Exception& error) {
        out << "error: " << error.ClassName() << ": " << error.what() << "\n";
        return 1;
    }
}

} // namespace mirt::tools
