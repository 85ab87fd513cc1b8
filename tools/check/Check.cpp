#include "tools/check/Check.h"

#include "app/CommandLine.h"
#include "app/UnitCommon.h"
#include "engine/VoskScript.h"
#include "platform/picture/Picture.h"
#include "platform/runtime/Encoding.h"
#include "platform/runtime/Files.h"
#include "tools/common/StoryLines.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>

namespace mirt::tools {
namespace {

const char* const StoryName = "dat\\story.txt";
constexpr int LineLimit = 9999;

const TProgramInfo Program{
    "mirt-check", "Checks a picture story: prints its errors, warnings and notes by line, then a summary.", {}};

std::string Hex(unsigned char byte)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

// Why the loader may reject a raw file line: a lead byte without its second
// byte (at the end of the line, or before a byte that cannot be one), or a
// NUL byte.
std::string LeadByteReason(const AnsiString& raw)
{
    const std::string cp = std::to_string(SysCodePage().Number);
    const std::string_view text = BeforeNul(raw);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (!IsLeadByte(c)) continue;
        if (i + 1 >= text.size()) return "the line ends with a lone lead byte " + Hex(c) + " under code page " + cp;
        const unsigned char next = static_cast<unsigned char>(text[i + 1]);
        if (next < 0x40) {
            std::string reason = "a lone lead byte " + Hex(c) + " stands before '" +
                                 std::string(1, static_cast<char>(next)) + "' and code page " + cp +
                                 " reads the two as one character";
            if (text.find("//", i) != std::string_view::npos) reason += ", hiding the '//' comment mark";
            return reason;
        }
        ++i;
    }
    if (text.size() < raw.size()) return "the line holds a NUL byte";
    return "";
}

// Splits an engine message "TEXT (dat\story.txt, line N)" into TEXT and N.
int TakeLine(std::string& message)
{
    const std::string marker = std::string(" (") + StoryName + ", line ";
    const std::size_t at = message.rfind(marker);
    if (at == std::string::npos || message.back() != ')') return 0;
    const int line = std::atoi(message.c_str() + at + marker.size());
    message.erase(at);
    return line;
}

// Whether all bytes above 0x7F pair up as Shift-JIS double-byte characters
// (or stand alone as half-width katakana).
bool LooksLikeShiftJis(const std::string& bytes)
{
    const TCodePage japanese = CodePageByNumber(932);
    bool high = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) continue;
        high = true;
        if (c >= 0xA1 && c <= 0xDF) continue;
        if (!japanese.Lead[c] || i + 1 >= bytes.size()) return false;
        const unsigned char t = static_cast<unsigned char>(bytes[++i]);
        if (t < 0x40 || t == 0x7F || t > 0xFC) return false;
    }
    return high;
}

bool HasHighBytes(const std::string& bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

class TChecker {
public:
    explicit TChecker(const TVoskScript& story)
        : story_(story), lines_(story.CurrentLines()), fileLines_(story.CurrentFileLines()),
          count_(static_cast<int>(lines_.size()))
    {
    }

    std::vector<TDiagnostic> Run()
    {
        for (int i = 0; i + 1 < count_; ++i) CheckLine(i);
        CheckLabels();
        CheckReach();
        return std::move(found_);
    }

private:
    using TKind = TLineKind;

    // text is in the code page; diagnostics are kept as UTF-8.
    void Add(int index, TSeverity severity, const AnsiString& text)
    {
        found_.push_back({FileLine(index), severity, AnsiToUtf8(text)});
    }
    int FileLine(int index) const { return index >= 0 && index < count_ ? fileLines_[index] : 0; }

    TKind Kind(int index) const
    {
        const TKind kind = LineKind(story_, index);
        return kind == TKind::Label ? TKind::Break : kind;
    }
    TStringDynArray Tokens(int index) const
    {
        TStringDynArray tokens;
        TVoskScript::SplitLine(lines_[static_cast<std::size_t>(index)], tokens);
        return tokens;
    }
    bool EndsStory(int index) const { return tools::EndsStory(story_, index); }

    TFetch Fetch(int index) const { return FetchFrom(story_, index); }

    // The next text line at or after index without following jumps; -1 if none.
    int NextText(int index) const
    {
        for (int i = index; i < count_ - 2; ++i)
            if (Kind(i) == TKind::Text) return i;
        return -1;
    }

    void CheckJump(int index, const AnsiString& command, const AnsiString& label, int from)
    {
        referenced_.insert(label);
        if (!TVoskScript::IsLabel(label, 1)) {
            Add(index, TSeverity::Warning,
                command + " " + label + ": a label starts with '@'; this jump does nothing (write @" + label + ")");
            return;
        }
        bool wrapped = false;
        const int target = story_.FindLabel(from, label, wrapped);
        // A jump to the very next line is not taken, but the runner reads on
        // into that label all the same.
        const bool nextLine = from < count_ && lines_[static_cast<std::size_t>(from)] == label;
        if (target < 0 && nextLine) return;
        if (target < 0) {
            Add(index, TSeverity::Warning,
                command + " " + label + ": no line " + label + " to jump to; this jump does nothing");
        } else if (wrapped) {
            Add(index, TSeverity::Warning,
                command + " " + label + ": " + label + " is only found by wrapping around to the top (line " +
                    std::to_string(FileLine(target)) + ")");
        }
    }

    void CheckLine(int index)
    {
        switch (Kind(index)) {
        case TKind::Goto: {
            const TStringDynArray tokens = Tokens(index);
            if (tokens.Length() < 2) Add(index, TSeverity::Error, "#goto with no label");
            else CheckJump(index, "#goto", tokens[1], index + 1);
            const TFetch fetch = Fetch(index);
            if (fetch.CycleAt == index && cycles_.insert(CycleKey(index)).second)
                Add(index, TSeverity::Error, "these jumps go round in a cycle that passes no text line");
            break;
        }
        case TKind::Button: {
            const TStringDynArray tokens = Tokens(index);
            if (tokens.Length() < 3) {
                Add(index, TSeverity::Warning, "#button needs a caption and a label; this one is ignored");
                break;
            }
            // The choice is taken while the next text line is shown.
            const int shown = NextText(index + 1);
            CheckJump(index, "#button", tokens[2], shown >= 0 ? shown + 1 : index + 1);
            break;
        }
        case TKind::Image: CheckImage(index); break;
        case TKind::Text:
            if (index == count_ - 2)
                Add(index, TSeverity::Warning,
                    "text on the file's last line is never shown; end the story with #end or an empty line");
            break;
        default: break;
        }
    }

    // The smallest #goto index of the cycle through index, so each cycle is
    // reported once.
    int CycleKey(int index) const
    {
        int smallest = index;
        for (int i = index;;) {
            const TStringDynArray tokens = Tokens(i);
            bool wrapped = false;
            const int target = tokens.Length() >= 2 ? story_.FindLabel(i + 1, tokens[1], wrapped) : -1;
            int next = target >= 0 ? target : i + 1;
            while (next < count_ && Kind(next) != TKind::Goto) ++next;
            if (next >= count_ || next == index) return smallest;
            smallest = std::min(smallest, next);
            i = next;
        }
    }

    void CheckImage(int index)
    {
        const TStringDynArray tokens = Tokens(index);
        if (tokens.Length() < 2) {
            Add(index, TSeverity::Warning, "#image with no file name is ignored");
            return;
        }
        const AnsiString name = "dat\\" + tokens[1];
        if (!FileExists(name)) {
            Add(index, TSeverity::Error, "picture not found: " + name);
            return;
        }
        auto cached = pictures_.find(name);
        if (cached == pictures_.end()) {
            TPictureResult result;
            try {
                TPicture picture;
                picture.LoadFromFile(name, TDecodeLimit{200, 200});
                result.Notes = picture.Bitmap()->Notes;
            } catch (const Exception& error) {
                result.Error = "cannot show " + name + ": " + error.what();
            }
            result.Resolution = ResolutionWarning(name);
            cached = pictures_.emplace(name, std::move(result)).first;
        }
        const TPictureResult& result = cached->second;
        if (!result.Error.empty()) Add(index, TSeverity::Error, result.Error);
        if (!result.Resolution.empty()) found_.push_back({FileLine(index), TSeverity::Warning, result.Resolution});
        for (const std::string& note : result.Notes) Add(index, TSeverity::Note, name + ": " + note);
    }

    // As UTF-8: how name resolves when not exactly as written.
    static std::string ResolutionWarning(const AnsiString& name)
    {
        AnsiString written = name;
        for (std::size_t i = 0; i < written.size(); ++i)
            if (written[i] == '\\' && !IsSecondByte(written, i)) written[i] = '/';
        std::string found = ResolveFileName(name);
        if (found == written) return "";
        std::replace(found.begin(), found.end(), '/', '\\'); // shown as the story names files
        const std::string shown = AnsiToUtf8(name);
        if (HasHighBytes(name) && HasHighBytes(found) && IsValidUtf8(found) && !IsValidUtf8(name))
            return shown + " is found only under its UTF-8 file name, no file has its code-page name (plays here, may "
                           "not elsewhere)";
        return shown + " is found only by ignoring letter case, as " + found + " (plays here, may not elsewhere)";
    }

    void CheckLabels()
    {
        std::map<AnsiString, int> first;
        for (int i = 0; i + 1 < count_; ++i) {
            const AnsiString& line = lines_[static_cast<std::size_t>(i)];
            if (!TVoskScript::IsLabel(line, 1)) continue;
            const auto [at, added] = first.emplace(line, i);
            if (!added)
                Add(i, TSeverity::Warning,
                    "label " + line + " is defined twice (first on line " + std::to_string(FileLine(at->second)) +
                        "); jumps go to the next one below them");
        }
        for (const auto& [label, index] : first)
            if (!referenced_.count(label)) Add(index, TSeverity::Note, "label " + label + " is never jumped to");
    }

    // Plays every branch statically: which text lines can be shown.
    void CheckReach()
    {
        const TFetch start = Fetch(0);
        if (start.Text < 0 && start.CycleAt < 0)
            Add(start.End, TSeverity::Error, "the story ends here before any text line is shown");
        std::set<int> shown;
        std::set<std::pair<int, AnsiString>> seen;
        std::vector<int> starts{0};
        std::set<int> started{0};
        while (!starts.empty()) {
            const int from = starts.back();
            starts.pop_back();
            const TFetch fetch = Fetch(from);
            if (fetch.Text < 0) continue;
            shown.insert(fetch.Text);
            std::vector<int> next{fetch.Text + 1};
            if (fetch.Choice) {
                bool wrapped = false;
                const int target = story_.FindLabel(fetch.Text + 1, *fetch.Choice, wrapped);
                if (target >= 0) next.push_back(target);
            }
            for (int n : next)
                if (started.insert(n).second) starts.push_back(n);
        }
        for (int i = 0; i < count_ - 2; ++i)
            if (Kind(i) == TKind::Text && !shown.count(i))
                Add(i, TSeverity::Warning, "this text line can never be shown: no path of the story reaches it");
    }

    struct TPictureResult {
        AnsiString Error;
        std::string Resolution; // UTF-8
        std::vector<std::string> Notes;
    };

    const TVoskScript& story_;
    const std::vector<AnsiString>& lines_;
    const std::vector<int>& fileLines_;
    const int count_;
    std::vector<TDiagnostic> found_;
    std::set<AnsiString> referenced_;
    std::set<int> cycles_;
    std::map<AnsiString, TPictureResult> pictures_;
};

// Warnings about the file's bytes against the code page that reads them.
void CheckEncoding(std::vector<TDiagnostic>& found)
{
    std::ifstream file(ResolveFileName(StoryName), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (!HasHighBytes(bytes)) return;
    const TCodePage& cp = SysCodePage();
    const bool doubleByte = std::any_of(cp.Lead.begin(), cp.Lead.end(), [](bool lead) { return lead; });
    const std::string number = std::to_string(cp.Number);
    if (doubleByte && IsValidUtf8(bytes))
        found.push_back({1, TSeverity::Warning,
                         "the file looks like UTF-8, but code page " + number +
                             " reads it as double-byte text; play it with: mirt-term --code-page 1252 (or mirt "
                             "under LANG=en_US.UTF-8)"});
    else if (!doubleByte && !IsValidUtf8(bytes) && LooksLikeShiftJis(bytes))
        found.push_back({1, TSeverity::Warning,
                         "the file looks like Shift-JIS, but code page " + number +
                             " reads it as single-byte text; play it with: mirt-term --code-page 932 (or mirt "
                             "under LANG=ja_JP.UTF-8)"});
}

} // namespace

std::vector<TDiagnostic> CheckStory()
{
    std::vector<TDiagnostic> found;
    std::unique_ptr<TVoskScript> story;
    try {
        story = LoadStory();
    } catch (const Exception& error) {
        std::string message = error.what();
        const int line = TakeLine(message);
        if (line > LineLimit)
            message = "the story has more than " + std::to_string(LineLimit) + " lines; the player refuses it (" +
                      message + ")";
        if (line > 0) {
            const std::vector<AnsiString> raw = ReadTextLines(ResolveFileName(StoryName), StoryName);
            if (static_cast<std::size_t>(line) <= raw.size()) {
                const std::string reason = LeadByteReason(raw[static_cast<std::size_t>(line) - 1]);
                if (!reason.empty()) message = "the player cannot read this line: " + reason + " (" + message + ")";
            }
        }
        found.push_back({line, TSeverity::Error, AnsiToUtf8(message)});
        return found;
    }
    if (story->UnitCount() == 0) {
        found.push_back({0, TSeverity::Error, std::string("story file not found: ") + StoryName});
        return found;
    }
    CheckEncoding(found);
    std::vector<TDiagnostic> lines = TChecker(*story).Run();
    found.insert(found.end(), lines.begin(), lines.end());
    const int fileLines = story->CurrentFileLines().empty() ? 0 : story->CurrentFileLines().back();
    if (fileLines > LineLimit - 100)
        found.push_back({fileLines, TSeverity::Note,
                         "the story has " + std::to_string(fileLines) + " lines, within 100 of the limit of " +
                             std::to_string(LineLimit)});
    std::stable_sort(found.begin(), found.end(), [](const TDiagnostic& a, const TDiagnostic& b) {
        return a.Line != b.Line ? a.Line < b.Line : a.Severity < b.Severity;
    });
    return found;
}

std::string FormatDiagnostic(const TDiagnostic& diagnostic)
{
    static const char* const names[] = {"error", "warning", "note"};
    std::string where = StoryName;
    if (diagnostic.Line > 0) where += ":" + std::to_string(diagnostic.Line);
    return where + ": " + names[static_cast<int>(diagnostic.Severity)] + ": " + diagnostic.Text;
}

int CheckMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    TCommandLine commandLine;
    if (auto done = ParseCommandLine(Program, args, commandLine, out, err)) return *done;
    std::vector<TDiagnostic> found;
    try {
        TStoryScope scope(commandLine);
        found = CheckStory();
    } catch (const Exception& error) {
        found = {{0, TSeverity::Error, AnsiToUtf8(error.what())}};
    }
    int counts[3] = {0, 0, 0};
    for (const TDiagnostic& diagnostic : found) {
        out << FormatDiagnostic(diagnostic) << "\n";
        ++counts[static_cast<int>(diagnostic.Severity)];
    }
    auto count = [](int n, const char* what) { return std::to_string(n) + " " + what + (n == 1 ? "" : "s"); };
    out << StoryName << ": " << count(counts[0], "error") << ", " << count(counts[1], "warning") << ", "
        << count(counts[2], "note") << "\n";
    return counts[0] > 0 ? 1 : 0;
}

} // namespace mirt::tools
