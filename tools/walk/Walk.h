// mirt-walk: plays a story on the headless backend through the player's own
// main window, taking at each page either a click on the picture ("p") or,
// while it is offered, the choice ("c"), and reports what the paths reach.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace mirt::tools {

struct TWalkOptions {
    std::size_t MaxStates = 100000;    // breadth-first: stop after this many states
    std::optional<std::uint64_t> Seed; // set: play Runs random paths instead
    std::size_t Runs = 1;
};

struct TWalkReport {
    struct TEnding {
        int Line = 0;      // file line of the #end, or of the file's last line
        bool AtEnd = true; // #end; false: the end of the file
        std::string Path;  // the first path found that reaches it
    };
    struct TErrorBox {
        std::string Message; // UTF-8
        std::string Path;    // the first path that meets it
    };
    struct TTrap {
        int Line = 0;     // the text line shown when it is reached; 0 after an error box
        std::string Path; // how to get there
    };
    std::string StartError; // the story could not start (then nothing else is set)
    std::size_t States = 0;
    bool Complete = true;               // every state explored (false: the limit stopped it, or random runs)
    int TextLines = 0;                  // text lines in the story
    std::vector<int> Shown, NeverShown; // file lines
    std::vector<std::string> LabelsReached, LabelsNotReached; // UTF-8
    std::vector<TEnding> Endings;
    std::vector<TErrorBox> ErrorBoxes;
    std::size_t TrapStates = 0;
    std::vector<TTrap> Traps; // the first few, by path length
    std::string LongestPath;  // the longest path from the start to an ending that repeats no state (loops left out)
};

// Walks dat\story.txt of the current directory under the current code page.
TWalkReport WalkStory(const TWalkOptions& options);

void PrintReport(const TWalkReport& report, std::ostream& out);
void PrintJson(const TWalkReport& report, std::ostream& out);

// The program: args without the program name.
int WalkMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace mirt::tools
