// mirt-check: loads a story as the player does and reports what is wrong
// with it, compiler style: "dat\story.txt:LINE: error: ...".
#pragma once

#include "platform/runtime/Strings.h"

#include <ostream>
#include <string>
#include <vector>

namespace mirt::tools {

enum class TSeverity { Error, Warning, Note };

struct TDiagnostic {
    int Line = 0; // 1-based file line; 0 for the file as a whole
    TSeverity Severity = TSeverity::Error;
    std::string Text; // UTF-8
};

// Checks dat\story.txt of the current directory under the current code page;
// the diagnostics are sorted by line (errors before warnings before notes on
// one line, otherwise in the order found).
std::vector<TDiagnostic> CheckStory();

// "dat\story.txt:12: warning: TEXT", as UTF-8.
std::string FormatDiagnostic(const TDiagnostic& diagnostic);

// The program: args without the program name.
int CheckMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace mirt::tools
