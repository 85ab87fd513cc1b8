// mirt-term: plays a story on a text terminal with the player's own main
// window, driven by lines of input.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace mirt::tools {

// Plays dat\story.txt of the current directory on the terminal backend,
// reading input lines from in and printing the transcript on out, exactly as
// mirt plays it in a window. Returns mirt's exit code.
int PlayOnTerminal(std::istream& in, std::ostream& out, bool drawPictures = false, int columns = 80);

// The program: args without the program name.
int TermMain(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

} // namespace mirt::tools
