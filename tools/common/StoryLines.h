// How the player's runner treats each stored line of a loaded story, read
// through the engine's own line preparation (SplitLine, IsLabel) and its
// registered commands. Shared by the checker and the walker.
#pragma once

#include "engine/VoskScript.h"

#include <optional>
#include <vector>

namespace mirt::tools {

enum class TLineKind { Break, Label, Text, End, Goto, Image, Button, Command };

// The kind of stored line index of the story's current unit.
TLineKind LineKind(const TVoskScript& story, int index);

// Whether fetching stored line index ends the story (the file's last line
// and its stored copy).
bool EndsStory(const TVoskScript& story, int index);

// What the runner meets when a page starts fetching at stored line index:
// the text line it stops at (-1 when the story ends first, at End), the label
// of the last choice offered on the way, the label lines it passed, and the
// #goto met a second time when the jumps go round in a cycle.
struct TFetch {
    int Text = -1;
    int End = -1;
    std::optional<AnsiString> Choice;
    std::vector<int> Labels;
    int CycleAt = -1;
};
TFetch FetchFrom(const TVoskScript& story, int index);

} // namespace mirt::tools
