// The script engine: loads story scripts into line stores and steps through
// them page by page, running built-in and registered commands.
#pragma once

#include "platform/runtime/Strings.h"

#include <cstdint>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

namespace mirt {

using TTextHandler = void (*)(const AnsiString& Text);
using TClearHandler = void (*)();
using TPageHandler = void (*)(const TStringDynArray& Page);
using TPlainHandler = void (*)();
using TArgHandler = void (*)(const TStringDynArray& Tokens);

// The label of the choice last offered; JumpToChoice jumps to it.
extern AnsiString ChoiceLabel;

class TVoskScript {
public:
    // Loads FileName (a Windows name such as "dat\story.txt"); a missing file
    // sounds the alert and leaves no unit loaded.
    TVoskScript(const AnsiString& FileName, bool Scrambled);

    bool LoadScript(const AnsiString& FileName, bool Scrambled);
    void ClearUnits();

    void SetPageSize(int N);
    void SetPageHandler(TPageHandler Handler);                    // selects page mode
    void SetTextHandlers(TTextHandler Text, TClearHandler Clear); // selects text mode
    void AddCommand(const AnsiString& Word, TArgHandler Handler);

    void Advance();
    void JumpToChoice();

    // Line preparation; they read no field of the object.
    // MaxTokens (at least 1) stops early: Tokens then holds the first
    // MaxTokens tokens of the full split, and is empty exactly when that is.
    static void SplitLine(const AnsiString& Line, TStringDynArray& Tokens,
                          int MaxTokens = std::numeric_limits<int>::max());
    static bool IsLabel(const AnsiString& Text, int Pos);
    static bool MatchCommand(const AnsiString& Line, const AnsiString& Word, TStringDynArray& Tokens);

    // State, for callers and tests.
    bool IsFinished() const;
    int UnitCount() const;
    // Lines and cursor of the current (last) unit.
    const std::vector<AnsiString>& CurrentLines() const;
    int CurrentCursor() const;
    // 1-based file line of each of CurrentLines().
    const std::vector<int>& CurrentFileLines() const;
    // Whether Word is a registered command (compared ignoring case).
    bool HasCommand(const AnsiString& Word) const;

    // Where a jump to Label goes when the cursor of the current unit stands
    // at From: the first line equal to Label below From, else the first one
    // from the top (Wrapped is then set); the line at From itself is never
    // looked at. -1 when Label is not a label or no such line qualifies.
    // The runner's #goto and choice jumps go through it.
    int FindLabel(int From, const AnsiString& Label, bool& Wrapped) const;

    // Everything the runner keeps between two calls of Advance: a saved state
    // restored later makes the next Advance behave exactly as it would have
    // then (registered commands and loaded units are not part of it).
    struct TRunState;
    TRunState SaveState() const;
    void RestoreState(const TRunState& State);

private:
    // One loaded script file.
    struct TScriptUnit {
        std::vector<AnsiString> Lines; // stored lines, at most kMaxLines
        std::vector<int> FileLines;    // 1-based file line of each stored line
        std::int32_t Count = 0;        // number of stored lines
        std::int32_t Cursor = 0;       // index of the next line to fetch, 0..Count
        AnsiString FileName;           // as given, for messages
        // Indexes of the lines that start with "@" (labels), by line, ascending.
        std::unordered_map<AnsiString, std::vector<std::int32_t>> LabelLines;
    };

    // Which handler a registered command calls.
    enum class TCommandKind : std::uint8_t { Plain = 0, Args = 1 };
    // Where a page goes: line by line to the text handlers, or whole to the page handler.
    enum class TMode : std::uint8_t { Text = 0, Page = 1 };
    enum class TFinished : std::uint8_t { Running = 0, Finished = 1 };
    enum class TPageFull : std::uint8_t { Open = 0, Full = 1 };

    // One registered command.
    struct TCommandIndex {
        AnsiString Name; // command word, compared ignoring case
        TCommandKind Kind = TCommandKind::Args;
        TPlainHandler PlainHandler = nullptr;
        TArgHandler ArgHandler = nullptr;
    };

    static constexpr std::int32_t kMaxLines = 10000;

    void AddLine(AnsiString Line, int FileLine);
    // Throws EScriptError when no unit is loaded, naming the file that was not found.
    void RequireUnit() const;
    // The current (last) unit, after RequireUnit.
    TScriptUnit& Current();
    void FetchLine(AnsiString& Line);
    bool AtEnd();
    void GotoLabel(const AnsiString& Label);
    void Finish();
    void NextLine(AnsiString& Line);
    void ReadText(AnsiString& Text);
    void ReadPage(TStringDynArray& Page);
    std::string Where(std::int32_t Index);

    std::vector<TScriptUnit> Units;
    std::int32_t PageSize = 0;
    TMode Mode = TMode::Text;
    TTextHandler TextHandler = nullptr;
    TClearHandler ClearHandler = nullptr;
    TPageHandler PageHandler = nullptr;
    std::vector<TCommandIndex> Commands;
    std::int32_t LineCount = 0; // text lines delivered on the current page
    TFinished Finished = TFinished::Running;
    TPageFull PageFull = TPageFull::Open;
    AnsiString MissingName; // the last script file that was not found

public:
    struct TRunState {
        std::int32_t Cursor = 0; // of the current unit
        std::int32_t LineCount = 0;
        decltype(TVoskScript::Finished) Finished{};
        decltype(TVoskScript::PageFull) PageFull{};
        bool operator==(const TRunState&) const = default;
    };
};

} // namespace mirt
