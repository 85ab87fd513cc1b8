#include "tools/common/StoryLines.h"

#include "platform/runtime/CodePage.h"

#include <algorithm>
#include <set>

namespace mirt::tools {

TLineKind LineKind(const TVoskScript& story, int index)
{
    const AnsiString& line = story.CurrentLines()[static_cast<std::size_t>(index)];
    if (line.empty()) return TLineKind::Break;
    if (TVoskScript::IsLabel(line, 1)) return TLineKind::Label;
    TStringDynArray tokens;
    TVoskScript::SplitLine(line, tokens, 1);
    const AnsiString& word = tokens[0];
    if (AnsiSameText(word, "#end")) return TLineKind::End;
    if (AnsiSameText(word, "#goto")) return TLineKind::Goto;
    if (!story.HasCommand(word)) return TLineKind::Text;
    if (AnsiSameText(word, "#image")) return TLineKind::Image;
    if (AnsiSameText(word, "#button")) return TLineKind::Button;
    return TLineKind::Command;
}

bool EndsStory(const TVoskScript& story, int index)
{
    return index >= static_cast<int>(story.CurrentLines().size()) - 2;
}

TFetch FetchFrom(const TVoskScript& story, int index)
{
    TFetch result;
    const int count = static_cast<int>(story.CurrentLines().size());
    std::set<int> jumped;
    TStringDynArray tokens;
    for (int i = index;;) {
        if (i >= count || EndsStory(story, i)) {
            result.End = std::min(i, count - 1);
            return result;
        }
        switch (LineKind(story, i)) {
        case TLineKind::Text: result.Text = i; return result;
        case TLineKind::End: result.End = i; return result;
        case TLineKind::Label: result.Labels.push_back(i); break;
        case TLineKind::Goto: {
            if (!jumped.insert(i).second) {
                result.CycleAt = i;
                return result;
            }
            TVoskScript::SplitLine(story.CurrentLines()[static_cast<std::size_t>(i)], tokens, 2);
            bool wrapped = false;
            const int target = tokens.Length() >= 2 ? story.FindLabel(i + 1, tokens[1], wrapped) : -1;
            i = target >= 0 ? target : i + 1;
            continue;
        }
        case TLineKind::Button:
            TVoskScript::SplitLine(story.CurrentLines()[static_cast<std::size_t>(i)], tokens);
            if (tokens.Length() >= 3) result.Choice = tokens[2];
            break;
        default: break;
        }
        ++i;
    }
}

} // namespace mirt::tools
