// The command line of mirt's programs: one optional story folder (the folder
// holding dat\), --help (or -h), --version, --code-page unless a program goes
// without it, and the options a program declares. Usage errors go to stderr
// with exit code 2.
#pragma once

#include "platform/runtime/CodePage.h"

#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace mirt {

struct TOption {
    std::string Name;     // with its dashes: "--seed"
    std::string Value;    // what its value is called in the help ("N"); empty for a flag
    std::string Help;     // one line for --help
    bool Numeric = false; // the value must be a whole number, 0 or more
};

// What a program accepts and how it describes itself.
struct TProgramInfo {
    std::string Name;    // "mirt-check": printed by --version and in messages
    std::string Summary; // one line: what the program does
    std::vector<TOption> Options;
    // The last paragraph of --help.
    std::string ExitStatus = "Exit status: 0 fine, 1 errors found, 2 usage error.";
    // A paragraph of --help before the exit status (the player's keys); empty: none.
    std::string Notes{};
    // Whether --code-page is accepted: the player follows the locale only.
    bool TakesCodePage = true;
};

struct TCommandLine {
    std::filesystem::path Folder = ".";        // the story folder
    std::optional<int> CodePage;               // --code-page; otherwise the locale decides
    std::map<std::string, std::string> Values; // options given, by name; flags map to ""

    bool Has(const std::string& name) const { return Values.count(name) != 0; }
    std::string Value(const std::string& name, const std::string& otherwise = "") const;
    // A --numeric option's value, or otherwise when it was not given.
    unsigned long long Number(const std::string& name, unsigned long long otherwise) const;
};

// The code pages --code-page accepts.
const std::vector<int>& KnownCodePages();
// The code page --code-page NUMBER selects; ERangeError for any other number.
TCodePage CommandLineCodePage(int number);

// Reads args (without the program name). Returns the exit code when the
// program is done already: 2 after a usage error anywhere on the line (the
// error and the usage on err), else 0 after --help or --version, whichever
// came first (printed on out). An empty folder name is a usage error.
std::optional<int> ParseCommandLine(const TProgramInfo& program, const std::vector<std::string>& args,
                                    TCommandLine& result, std::ostream& out, std::ostream& err);

// The usage: "usage: NAME [OPTION]... [FOLDER]"; a program with no options
// beyond --help and --version gets two lines, "usage: NAME [FOLDER]" and
// "       NAME --help | --version". No final newline.
std::string UsageLine(const TProgramInfo& program);

// While it lives: the current directory is the story folder and the code page
// is the one chosen; both are put back afterwards. Raises EInOutError when the
// folder cannot be entered.
class TStoryScope {
public:
    explicit TStoryScope(const TCommandLine& commandLine);
    ~TStoryScope();
    TStoryScope(const TStoryScope&) = delete;
    TStoryScope& operator=(const TStoryScope&) = delete;

private:
    std::filesystem::path previousDirectory_;
    TCodePage previousCodePage_;
};

} // namespace mirt
