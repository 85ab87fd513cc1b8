#include "app/CommandLine.h"

#include "platform/runtime/Errors.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <unistd.h>

namespace mirt {

namespace {

const TOption CodePageOption{"--code-page", "CP", "read the story in code page CP (932, 1252, 936, 949, 950)", true};

std::optional<int> UsageError(const TProgramInfo& program, const std::string& message, std::ostream& err)
{
    err << program.Name << ": " << message << "\n" << UsageLine(program) << "\n";
    err << "Try '" << program.Name << " --help' for more information.\n";
    return 2;
}

void PrintHelp(const TProgramInfo& program, std::ostream& out)
{
    out << UsageLine(program) << "\n" << program.Summary << "\n\n";
    out << "FOLDER is the story folder, the one holding dat\\story.txt (default: the current directory).\n\n";
    std::vector<TOption> options = program.Options;
    if (program.TakesCodePage) options.push_back(CodePageOption);
    options.push_back({"-h, --help", "", "print this help and exit"});
    options.push_back({"--version", "", "print the version and exit"});
    for (const TOption& option : options) {
        std::string left = "  " + option.Name + (option.Value.empty() ? "" : " " + option.Value);
        if (left.size() < 22) left.resize(22, ' ');
        else left += "  ";
        out << left << option.Help << "\n";
    }
    if (!program.Notes.empty()) out << "\n" << program.Notes << "\n";
    out << "\n" << program.ExitStatus << "\n";
}

bool ParseWholeNumber(const std::string& text, unsigned long long& value)
{
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

} // namespace

std::string TCommandLine::Value(const std::string& name, const std::string& otherwise) const
{
    const auto found = Values.find(name);
    return found == Values.end() ? otherwise : found->second;
}

unsigned long long TCommandLine::Number(const std::string& name, unsigned long long otherwise) const
{
    const auto found = Values.find(name);
    unsigned long long value = otherwise;
    if (found != Values.end() && !ParseWholeNumber(found->second, value))
        throw ERangeError("Not a whole number for " + name + ": " + found->second);
    return value;
}

const std::vector<int>& KnownCodePages()
{
    static const std::vector<int> pages{932, 1252, 936, 949, 950};
    return pages;
}

TCodePage CommandLineCodePage(int number)
{
    const auto& known = KnownCodePages();
    if (std::find(known.begin(), known.end(), number) == known.end())
        throw ERangeError("Unknown code page " + std::to_string(number));
    return CodePageByNumber(number);
}

std::string UsageLine(const TProgramInfo& program)
{
    if (program.Options.empty() && !program.TakesCodePage)
        return "usage: " + program.Name + " [FOLDER]\n       " + program.Name + " --help | --version";
    return "usage: " + program.Name + " [OPTION]... [FOLDER]";
}

std::optional<int> ParseCommandLine(const TProgramInfo& program, const std::vector<std::string>& args,
                                    TCommandLine& result, std::ostream& out, std::ostream& err)
{
    result = TCommandLine{};
    bool folderGiven = false;
    bool optionsEnded = false;
    // --help and --version wait for the rest of the line: a usage error
    // anywhere on it wins over them.
    enum class TRequest { None, Help, Version } request = TRequest::None;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            if (arg.empty()) return UsageError(program, "empty story folder name", err);
            if (folderGiven) return UsageError(program, "more than one story folder: '" + arg + "'", err);
            result.Folder = arg;
            folderGiven = true;
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h" || arg == "--version") {
            if (request == TRequest::None) request = arg == "--version" ? TRequest::Version : TRequest::Help;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const TOption* option = program.TakesCodePage && name == CodePageOption.Name ? &CodePageOption : nullptr;
        for (const TOption& o : program.Options)
            if (o.Name == name) option = &o;
        if (!option) return UsageError(program, "unknown option '" + arg + "'", err);
        std::string value;
        if (option->Value.empty()) {
            if (equals != std::string::npos) return UsageError(program, name + " takes no value", err);
        } else if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return UsageError(program, name + " needs a value " + option->Value, err);
        }
        unsigned long long number = 0;
        if (option->Numeric && !ParseWholeNumber(value, number))
            return UsageError(program, name + " needs a whole number, not '" + value + "'", err);
        if (option == &CodePageOption) {
            const auto& known = KnownCodePages();
            if (std::find(known.begin(), known.end(), static_cast<long long>(number)) == known.end())
                return UsageError(program, "unknown code page " + value + " (932, 1252, 936, 949 or 950)", err);
            result.CodePage = static_cast<int>(number);
            continue;
        }
        result.Values[name] = value;
    }
    if (request == TRequest::None) return std::nullopt;
    if (request == TRequest::Help) PrintHelp(program, out);
    else out << program.Name << " " << MIRT_VERSION << "\n";
    return 0;
}

TStoryScope::TStoryScope(const TCommandLine& commandLine)
    : previousDirectory_(std::filesystem::current_path()), previousCodePage_(SysCodePage())
{
    if (::chdir(commandLine.Folder.c_str()) != 0)
        ThrowOsError("Cannot enter the story folder " + commandLine.Folder.string(), errno);
    if (commandLine.CodePage) SetSysCodePage(CommandLineCodePage(*commandLine.CodePage));
}

TStoryScope::~TStoryScope()
{
    SetSysCodePage(previousCodePage_);
    std::error_code ignored;
    std::filesystem::current_path(previousDirectory_, ignored);
}

} // namespace mirt
