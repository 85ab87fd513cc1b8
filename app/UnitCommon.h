// The story layer: runs dat\story.txt on the script engine, one line per
// page, with the story commands #image and #button acting on the main window.
#pragma once

#include "engine/VoskScript.h"
#include "platform/runtime/Strings.h"

#include <memory>

namespace mirt {

// The story's engine object, from StartStory to StopStory.
extern std::unique_ptr<TVoskScript> Story;
// The text the next click shows.
extern AnsiString CurrentMessage;
// The name the last #image asked for ("dat\NAME"); Image1 shows it when
// that load succeeded.
extern AnsiString LastImageName;

// Loads dat\story.txt into a new engine object set up as the player runs
// it (one line per page, the story commands registered); nothing runs yet.
std::unique_ptr<TVoskScript> LoadStory();

// Creates and configures Story and reads the first page: the commands before
// the first text line run now, and that line becomes CurrentMessage.
void StartStory();
void StopStory();

// Page handler: the page's line becomes CurrentMessage; an empty page (the
// script ended before any line) leaves it unchanged.
void OnStoryPage(const TStringDynArray& Page);
// #image name: loads dat\name into Image1; the old picture stays on failure.
void OnImageCommand(const TStringDynArray& Tokens);
// #button caption @label: shows Button1 at a random place inside the picture
// with that caption and remembers the label as the choice.
void OnButtonCommand(const TStringDynArray& Tokens);

} // namespace mirt
