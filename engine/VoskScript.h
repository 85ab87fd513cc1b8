// The script engine: loads story scripts into line stores and steps through
// them page by page, running built-in and registered commands.
#pragma once

#include "platform/runtime/Strings.h"

#include <cstdint>
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
    void SetPageHandler(TPageHandler Handler);       // selects page mode
    void SetTextHandlers(TTextHandler Text, TClearHandler Clear); // selects text mode
    void AddCommand(const AnsiString& Word, TArgHandler Handler);

    void Advance();
    void JumpToChoice();

    // Line preparation; they read no field of the object.
    static void SplitLine(const AnsiString& Line, TStringDynArray& Tokens);
    static bool IsLabel(const AnsiString& Text, int Pos);
    static bool MatchCommand(const AnsiString& Line, const AnsiString& Word, TStringDynArray& Tokens);

    // State, for callers and tests.
    bool IsFinished() const;
    int UnitCount() const;
    // Lines and cursor of the current (last) unit.
    const std::vector<AnsiString>& CurrentLines() const;
    int CurrentCursor() const;

    // ... the rest (units, fields of the runner, internal steps) is the engine's own.
};

} // namespace mirt
