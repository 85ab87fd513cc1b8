#include "VoskScript.h"

#include "MyCrypt.h"
#include "VoskUtility.h"
#include "platform/runtime/Checked.h"
#include "platform/runtime/CodePage.h"
#include "platform/runtime/Files.h"
#include "platform/runtime/System.h"

#include <algorithm>
#include <cstring>

namespace mirt {

AnsiString ChoiceLabel;

namespace {

bool IsBlank(unsigned char c) { return c <= 0x20; }

} // namespace

// ---------------------------------------------------------------------------
// Line preparation

void TVoskScript::SplitLine(const AnsiString& Line, TStringDynArray& Tokens, int MaxTokens)
{
    // One pass over the text before its first NUL: full-width spaces and tabs
    // become spaces, and each run of spaces becomes one. Only characters are
    // looked at, never the second byte of a double-byte character. Whatever
    // follows a NUL is copied unchanged (the split below never reaches it).
    const TCodePage& cp = SysCodePage();
    const void* nul = std::memchr(Line.data(), 0, Line.size());
    const std::size_t limit = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - Line.data()) : Line.size();
    AnsiString work(Line.size(), '\0');
    char* out = work.data();
    bool afterSpace = false;
    // With a token limit the pass stops early: once MaxTokens separating
    // spaces stand after the first non-blank byte and another non-blank byte
    // follows them, the first MaxTokens tokens are known (no trimming can
    // reach back to them).
    bool content = false; // a byte above 0x20 has been written
    int separators = 0;   // separating spaces written after it
    std::size_t cut = AnsiString::npos;
    std::size_t i = 0;
    while (i < limit) {
        const unsigned char c = static_cast<unsigned char>(Line[i]);
        const bool fullWidthSpace = c == 0x81 && i + 1 < limit && Line[i + 1] == 0x40;
        if (fullWidthSpace || c == ' ' || c == '\t') {
            if (!afterSpace) {
                if (content && cut == AnsiString::npos && separators < MaxTokens && ++separators == MaxTokens)
                    cut = static_cast<std::size_t>(out - work.data());
                *out++ = ' ';
            }
            afterSpace = true;
            i += fullWidthSpace ? 2 : 1;
            continue;
        }
        if (c > 0x20) {
            if (cut != AnsiString::npos) break;
            content = true;
        }
        afterSpace = false;
        *out++ = static_cast<char>(c);
        ++i;
        if (cp.Lead[c] && i < limit) *out++ = Line[i++]; // the second byte goes with it
    }
    if (cut != AnsiString::npos && i < limit) {
        // Stopped early: drop the leading blanks and split the part before
        // the last separator counted.
        std::size_t first = 0;
        while (first < cut && IsBlank(static_cast<unsigned char>(work[first]))) ++first;
        SplitString(work.substr(first, cut - first), " ", Tokens, MaxTokens);
        return;
    }
    out = std::copy(Line.begin() + static_cast<std::ptrdiff_t>(i), Line.end(), out);
    work.resize(static_cast<std::size_t>(out - work.data()));

    // Trim spaces and control bytes at both ends.
    std::size_t first = 0;
    std::size_t last = work.size();
    while (first < last && IsBlank(static_cast<unsigned char>(work[first]))) ++first;
    while (last > first && IsBlank(static_cast<unsigned char>(work[last - 1]))) --last;
    SplitString(work.substr(first, last - first), " ", Tokens, MaxTokens);
}

bool TVoskScript::IsLabel(const AnsiString& Text, int Pos)
{
    if (Pos < 1 || static_cast<std::size_t>(Pos) > Text.size()) return false;
    const std::size_t index = static_cast<std::size_t>(Pos) - 1;
    return Text[index] == '@' && !IsLeadByte('@') && !IsSecondByte(Text, index);
}

bool TVoskScript::MatchCommand(const AnsiString& Line, const AnsiString& Word, TStringDynArray& Tokens)
{
    SplitLine(Line, Tokens);
    return AnsiSameText(Tokens[0], Word);
}

// ---------------------------------------------------------------------------
// Store and loader

TVoskScript::TVoskScript(const AnsiString& FileName, bool Scrambled)
{
    ClearUnits();
    LoadScript(FileName, Scrambled);
}

bool TVoskScript::LoadScript(const AnsiString& FileName, bool Scrambled)
{
    if (!FileExists(FileName)) {
        AlertSound();
        MissingName = FileName;
        return false;
    }
    Units.emplace_back();
    Units.back().FileName = FileName;

    std::vector<AnsiString> fileLines = ReadTextLines(ResolveFileName(FileName), FileName);
    Units.back().Lines.reserve(std::min<std::size_t>(fileLines.size() + 1, kMaxLines));
    Units.back().FileLines.reserve(std::min<std::size_t>(fileLines.size() + 1, kMaxLines));

    auto where = [&](std::size_t fileLine) { return " (" + FileName + ", line " + std::to_string(fileLine) + ")"; };
    AnsiString line;
    TStringDynArray parts;
    std::size_t fileLine = 0;
    for (AnsiString& raw : fileLines) {
        ++fileLine;
        try {
            line = Scrambled ? XorText(raw) : std::move(raw);
            // Only the first piece and the first token are used: the rest is
            // not split.
            SplitString(line, "//", parts, 1); // everything from "//" on is a comment
            line = std::move(parts[0]);
            SplitLine(line, parts, 1);
            if (IsLabel(parts[0], 1)) line = std::move(parts[0]); // a label is stored bare
            AddLine(line, static_cast<int>(fileLine));
        } catch (Exception& e) {
            e.AppendContext(where(fileLine));
            throw;
        }
    }
    // The last line is stored twice (one empty line for an empty file): the
    // runner ends the script when it fetches the file's last line.
    try {
        AddLine(line, static_cast<int>(std::max<std::size_t>(fileLine, 1)));
    } catch (Exception& e) {
        e.AppendContext(where(fileLine));
        throw;
    }
    return true;
}

void TVoskScript::AddLine(AnsiString Line, int FileLine)
{
    TScriptUnit& unit = Units.back();
    if (unit.Count > kMaxLines - 1)
        throw ERangeError("The script store is full: more than " + std::to_string(kMaxLines) + " lines");
    if (!Line.empty() && Line[0] == '@') unit.LabelLines[Line].push_back(unit.Count);
    unit.Lines.push_back(std::move(Line));
    unit.FileLines.push_back(FileLine);
    unit.Count = CheckedAdd(unit.Count, 1);
}

void TVoskScript::ClearUnits() { Units.clear(); }

// ---------------------------------------------------------------------------
// Runner

void TVoskScript::SetPageSize(int N) { PageSize = N; }

void TVoskScript::SetPageHandler(TPageHandler Handler)
{
    Mode = TMode::Page;
    PageHandler = Handler;
}

void TVoskScript::SetTextHandlers(TTextHandler Text, TClearHandler Clear)
{
    Mode = TMode::Text;
    TextHandler = Text;
    ClearHandler = Clear;
}

void TVoskScript::AddCommand(const AnsiString& Word, TArgHandler Handler)
{
    TCommandIndex entry;
    entry.Name = Word;
    entry.Kind = TCommandKind::Args;
    entry.ArgHandler = Handler;
    Commands.push_back(std::move(entry));
}

void TVoskScript::RequireUnit() const
{
    if (!Units.empty()) return;
    if (MissingName.empty()) throw EScriptError("No story file is loaded");
    throw EScriptError("Story file not found: " + MissingName);
}

TVoskScript::TScriptUnit& TVoskScript::Current()
{
    RequireUnit();
    return Units.back();
}

std::string TVoskScript::Where(std::int32_t Index)
{
    const TScriptUnit& unit = Current();
    if (unit.FileLines.empty()) return " (" + unit.FileName + ")";
    const std::size_t i =
        std::min<std::size_t>(static_cast<std::size_t>(std::max(Index, 0)), unit.FileLines.size() - 1);
    return " (" + unit.FileName + ", line " + std::to_string(unit.FileLines[i]) + ")";
}

void TVoskScript::FetchLine(AnsiString& Line)
{
    TScriptUnit& unit = Current();
    if (unit.Cursor >= unit.Count) {
        Line = "#end";
        return;
    }
    Line = unit.Lines[static_cast<std::size_t>(unit.Cursor)];
    unit.Cursor = CheckedAdd(unit.Cursor, 1);
}

bool TVoskScript::AtEnd()
{
    const TScriptUnit& unit = Current();
    return unit.Count - 1 <= unit.Cursor;
}

void TVoskScript::Finish()
{
    RequestQuit();
    Finished = TFinished::Finished;
}

int TVoskScript::FindLabel(int From, const AnsiString& Label, bool& Wrapped) const
{
    Wrapped = false;
    if (!IsLabel(Label, 1) || Units.empty()) return -1;
    const TScriptUnit& unit = Units.back();
    // Only lines starting with "@" can equal a label, and those are indexed.
    const auto found = unit.LabelLines.find(Label);
    if (found == unit.LabelLines.end()) return -1;
    const std::vector<std::int32_t>& at = found->second;
    const auto below = std::upper_bound(at.begin(), at.end(), From);
    if (below != at.end() && *below < unit.Count) return *below;
    if (at.front() < From) {
        Wrapped = true;
        return at.front();
    }
    return -1;
}

void TVoskScript::GotoLabel(const AnsiString& Label)
{
    TScriptUnit& unit = Current();
    bool wrapped = false;
    const int target = FindLabel(unit.Cursor, Label, wrapped);
    if (target >= 0) unit.Cursor = target;
}

void TVoskScript::NextLine(AnsiString& Line)
{
    Line.clear();
    if (Finished == TFinished::Finished) return;
    if (PageFull == TPageFull::Full) {
        if (Mode == TMode::Text && ClearHandler) ClearHandler();
        LineCount = 0;
        PageFull = TPageFull::Open;
    }
    if (LineCount >= PageSize) {
        PageFull = TPageFull::Full;
        return;
    }

    // Until a text line is found nothing but the cursor changes, so a #goto
    // taken twice in one call, or more fetches than the unit has lines, means
    // the jumps go round in a cycle that would never end.
    std::int32_t fetches = 0;
    std::int32_t lastJump = -1;
    std::vector<bool> jumpedFrom;
    AnsiString line;
    TStringDynArray tokens;
    for (;;) {
        const std::int32_t index = Current().Cursor;
        FetchLine(line);
        if (AtEnd()) {
            Finish();
            return;
        }
        fetches = CheckedAdd(fetches, 1);
        if (fetches > Current().Count)
            throw EScriptError("The script jumps in a cycle without reaching a text line" +
                               Where(lastJump >= 0 ? lastJump : index));
        try {
            if (line.empty() || IsLabel(line, 1)) {
                if (LineCount == 0) continue; // skipped at the start of a page
                PageFull = TPageFull::Full;   // closes a page that has text
                return;
            }
            // Every command word is compared with the first token; the whole
            // line is tokenised only for a command that runs.
            SplitLine(line, tokens, 1);
            const AnsiString word = tokens[0];
            if (AnsiSameText(word, "#end")) {
                Finish();
                return;
            }
            if (AnsiSameText(word, "#goto")) {
                const std::size_t at = static_cast<std::size_t>(index);
                if (jumpedFrom.empty()) jumpedFrom.resize(static_cast<std::size_t>(Current().Count));
                if (at < jumpedFrom.size() && jumpedFrom[at])
                    throw EScriptError("The script jumps in a cycle without reaching a text line");
                if (at < jumpedFrom.size()) jumpedFrom[at] = true;
                lastJump = index;
                SplitLine(line, tokens, 2);
                GotoLabel(tokens[1]);
                continue;
            }
            auto command = std::find_if(Commands.begin(), Commands.end(),
                                        [&](const TCommandIndex& c) { return AnsiSameText(word, c.Name); });
            if (command != Commands.end()) {
                // Copied: a handler may register further commands.
                const TCommandIndex entry = *command;
                SplitLine(line, tokens);
                if (entry.Kind == TCommandKind::Args) {
                    if (entry.ArgHandler) entry.ArgHandler(tokens);
                } else if (entry.PlainHandler) {
                    entry.PlainHandler();
                }
                continue;
            }
            Line = line;
            LineCount = CheckedAdd(LineCount, 1);
            return;
        } catch (Exception& e) {
            e.AppendContext(Where(index));
            throw;
        }
    }
}

void TVoskScript::ReadText(AnsiString& Text)
{
    for (;;) {
        if (Finished == TFinished::Finished) return;
        if (PageSize <= 0)
            throw EScriptError("Text mode needs a page size of at least 1; the script would loop" +
                               Where(Current().Cursor));
        AnsiString line;
        NextLine(line);
        if (PageFull == TPageFull::Full) continue;
        Text = line;
        return;
    }
}

void TVoskScript::ReadPage(TStringDynArray& Page)
{
    Page.Clear();
    while (Finished != TFinished::Finished) {
        AnsiString line;
        NextLine(line);
        if (PageFull == TPageFull::Full) break;
        Page.Append(line);
    }
}

void TVoskScript::Advance()
{
    RequireUnit();
    if (Mode == TMode::Page) {
        TStringDynArray page;
        ReadPage(page);
        if (PageHandler) PageHandler(page);
    } else {
        AnsiString text;
        ReadText(text);
        if (TextHandler) TextHandler(text);
    }
}

void TVoskScript::JumpToChoice()
{
    RequireUnit();
    GotoLabel(ChoiceLabel);
    Advance();
}

bool TVoskScript::IsFinished() const { return Finished == TFinished::Finished; }

int TVoskScript::UnitCount() const { return static_cast<int>(Units.size()); }

const std::vector<AnsiString>& TVoskScript::CurrentLines() const
{
    static const std::vector<AnsiString> none;
    return Units.empty() ? none : Units.back().Lines;
}

int TVoskScript::CurrentCursor() const { return Units.empty() ? 0 : Units.back().Cursor; }

const std::vector<int>& TVoskScript::CurrentFileLines() const
{
    static const std::vector<int> none;
    return Units.empty() ? none : Units.back().FileLines;
}

bool TVoskScript::HasCommand(const AnsiString& Word) const
{
    return std::any_of(Commands.begin(), Commands.end(),
                       [&](const TCommandIndex& c) { return AnsiSameText(Word, c.Name); });
}

TVoskScript::TRunState TVoskScript::SaveState() const
{
    TRunState state;
    state.Cursor = Units.empty() ? 0 : Units.back().Cursor;
    state.LineCount = LineCount;
    state.Finished = Finished;
    state.PageFull = PageFull;
    return state;
}

void TVoskScript::RestoreState(const TRunState& State)
{
    if (!Units.empty()) Units.back().Cursor = std::clamp(State.Cursor, 0, Units.back().Count);
    LineCount = State.LineCount;
    Finished = State.Finished;
    PageFull = State.PageFull;
}

} // namespace mirt
