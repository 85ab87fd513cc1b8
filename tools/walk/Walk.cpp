#include "tools/walk/Walk.h"

#include "app/CommandLine.h"
#include "app/UnitCommon.h"
#include "app/UnitForm.h"
#include "platform/gui/Application.h"
#include "platform/gui/headless/Headless.h"
#include "platform/runtime/Encoding.h"
#include "tools/common/StoryLines.h"
#include "tools/term/Term.h"

#include <algorithm>
#include <deque>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <unordered_map>

namespace mirt::tools {
namespace {

const TProgramInfo Program{
    "mirt-walk",
    "Plays every path of a picture story (or random ones) and reports coverage, endings, errors and traps.",
    {{"--max-states", "N", "explore at most N states (default 100000)", true},
     {"--seed", "S", "play random paths chosen with seed S instead of every path", true},
     {"--runs", "N", "with --seed: how many random paths (default 1)", true},
     {"--replay", "PATH", "replay one path of p (picture) and c (choice) and print its transcript"},
     {"--json", "", "print the report as JSON"}}};

constexpr std::size_t TrapsShown = 5;

// Everything that decides what the next click does.
struct TSnapshot {
    TVoskScript::TRunState Run;
    AnsiString Choice;
    bool ChoiceShown = false;
    AnsiString Message;

    std::string Key() const
    {
        std::string key = std::to_string(Run.Cursor) + ',' + std::to_string(Run.LineCount) + ',' +
                          std::to_string(static_cast<int>(Run.Finished)) + ',' +
                          std::to_string(static_cast<int>(Run.PageFull)) + ',' + (ChoiceShown ? '1' : '0');
        key += '\0' + Choice + '\0' + Message;
        return key;
    }
};

TSnapshot Save() { return {Story->SaveState(), ChoiceLabel, FormMain->Button1->Visible(), CurrentMessage}; }

void Restore(const TSnapshot& snapshot)
{
    Story->RestoreState(snapshot.Run);
    ChoiceLabel = snapshot.Choice;
    FormMain->Button1->SetVisible(snapshot.ChoiceShown);
    CurrentMessage = snapshot.Message;
}

struct TState {
    TSnapshot Snapshot;
    int Parent = -1;
    char Step = 0;  // the action that led here from Parent
    int Shows = -1; // stored index of the text line the next click shows
    bool Ending = false;
    std::vector<std::pair<int, char>> Next; // the states each step leads to
};

class TWalker {
public:
    TWalker(gui::headless::THeadlessBackend& backend, TWalkReport& report) : backend_(backend), report_(report)
    {
        // While a message box is open the runner has not moved on yet: the
        // line before the cursor is the one shown, when it holds that text.
        backend_.WhileBoxOpen = [this](const gui::headless::TBox& box) {
            const int index = Story->CurrentCursor() - 1;
            if (index >= 0 && LineKind(*Story, index) == TLineKind::Text &&
                Story->CurrentLines()[static_cast<std::size_t>(index)] == box.Text)
                shown_.insert(index);
        };
    }

    void Explore(std::size_t maxStates)
    {
        MarkLabels(0);
        Add(-1, 0, false);
        for (std::size_t at = 0; at < states_.size(); ++at) {
            if (states_[at].Ending) continue;
            for (char step : {'p', 'c'}) {
                if (states_.size() >= maxStates) {
                    report_.Complete = false;
                    return;
                }
                if (step == 'c' && !states_[at].Snapshot.ChoiceShown) continue;
                Take(static_cast<int>(at), step);
            }
        }
    }

    void Random(std::uint64_t seed, std::size_t runs, std::size_t maxStates)
    {
        report_.Complete = false;
        std::mt19937_64 generator(seed);
        MarkLabels(0);
        Add(-1, 0, false);
        const std::size_t stepLimit = 10 * Story->CurrentLines().size() + 100;
        for (std::size_t run = 0; run < runs; ++run) {
            int at = 0;
            for (std::size_t steps = 0; steps < stepLimit && !states_[static_cast<std::size_t>(at)].Ending; ++steps) {
                if (states_.size() >= maxStates) return;
                const bool choice = states_[static_cast<std::size_t>(at)].Snapshot.ChoiceShown;
                const char step = choice && generator() % 2 ? 'c' : 'p';
                at = Take(at, step);
            }
        }
    }

    void Finish()
    {
        report_.States = states_.size();
        Coverage();
        Traps();
        for (const auto& [line, ending] : endings_) report_.Endings.push_back(ending);
        report_.LongestPath = LongestPath();
    }

private:
    // Takes step from state `from` and returns the state reached.
    int Take(int from, char step)
    {
        const TState& origin = states_[static_cast<std::size_t>(from)];
        Restore(origin.Snapshot);
        const int cursor = Story->CurrentCursor();
        if (step == 'p') {
            MarkLabels(cursor);
        } else {
            // The jump's page, then the page read after its line is shown.
            bool wrapped = false;
            const int target = Story->FindLabel(cursor, ChoiceLabel, wrapped);
            const int shown = MarkLabels(target >= 0 ? target : cursor);
            if (shown >= 0) MarkLabels(shown + 1);
        }
        const std::size_t errors = backend_.Errors.size();
        if (step == 'p') FormMain->Image1->UserClick();
        else FormMain->Button1->UserClick();
        backend_.Messages.clear();
        const bool failed = backend_.Errors.size() > errors;
        const int to = Add(from, step, failed);
        if (failed) {
            for (std::size_t e = errors; e < backend_.Errors.size(); ++e) {
                const std::string message = AnsiToUtf8(backend_.Errors[e].Text);
                if (errorsSeen_.insert(message).second) report_.ErrorBoxes.push_back({message, Path(to)});
            }
            backend_.Errors.clear();
        }
        return to;
    }

    // The labels the runner passes when a page starts fetching at index;
    // returns the text line the page stops at, or -1.
    int MarkLabels(int index)
    {
        const TFetch fetch = FetchFrom(*Story, index);
        for (int label : fetch.Labels) labelsReached_.insert(label);
        return fetch.Text;
    }

    int Add(int parent, char step, bool failed)
    {
        TSnapshot snapshot = Save();
        auto [found, added] = index_.emplace(snapshot.Key(), static_cast<int>(states_.size()));
        if (parent >= 0) {
            auto& next = states_[static_cast<std::size_t>(parent)].Next;
            const std::pair<int, char> edge{found->second, step};
            if (std::find(next.begin(), next.end(), edge) == next.end()) next.push_back(edge);
        }
        if (!added) return found->second;
        TState state;
        state.Snapshot = std::move(snapshot);
        state.Parent = parent;
        state.Step = step;
        state.Ending = Story->IsFinished();
        const int cursor = Story->CurrentCursor();
        if (state.Ending) {
            const int index = std::max(0, cursor - 1);
            const bool atEnd = LineKind(*Story, index) == TLineKind::End;
            const int line = Story->CurrentFileLines()[static_cast<std::size_t>(index)];
            states_.push_back(std::move(state));
            if (!endings_.count(line)) endings_[line] = {line, atEnd, Path(static_cast<int>(states_.size()) - 1)};
            return static_cast<int>(states_.size()) - 1;
        }
        if (!failed && cursor > 0 && LineKind(*Story, cursor - 1) == TLineKind::Text) state.Shows = cursor - 1;
        states_.push_back(std::move(state));
        return static_cast<int>(states_.size()) - 1;
    }

    std::string Path(int state) const
    {
        std::string path;
        for (int at = state; at > 0; at = states_[static_cast<std::size_t>(at)].Parent)
            path += states_[static_cast<std::size_t>(at)].Step;
        std::reverse(path.begin(), path.end());
        return path;
    }

    void Coverage()
    {
        const std::set<int>& shown = shown_;
        const auto& fileLines = Story->CurrentFileLines();
        const int count = static_cast<int>(Story->CurrentLines().size());
        std::set<AnsiString> labels, reached;
        for (int index : labelsReached_) reached.insert(Story->CurrentLines()[static_cast<std::size_t>(index)]);
        for (int i = 0; i < count; ++i) {
            const TLineKind kind = LineKind(*Story, i);
            if (kind == TLineKind::Label && !EndsStory(*Story, i)) labels.insert(Story->CurrentLines()[i]);
            if (kind != TLineKind::Text || EndsStory(*Story, i)) continue;
            ++report_.TextLines;
            (shown.count(i) ? report_.Shown : report_.NeverShown).push_back(fileLines[static_cast<std::size_t>(i)]);
        }
        for (const AnsiString& label : labels)
            (reached.count(label) ? report_.LabelsReached : report_.LabelsNotReached).push_back(AnsiToUtf8(label));
    }

    // The longest path from the start to an ending that takes no step back
    // into a loop: a depth-first search drops the steps that close a cycle,
    // and the rest of the graph is measured from the leaves up.
    std::string LongestPath() const
    {
        const std::size_t n = states_.size();
        enum : char { New, Open, Done };
        std::vector<char> mark(n, New);
        std::vector<int> order; // post-order: successors first
        std::vector<std::vector<bool>> back(n);
        std::vector<std::pair<int, std::size_t>> stack{{0, 0}};
        mark[0] = Open;
        for (std::size_t i = 0; i < n; ++i) back[i].assign(states_[i].Next.size(), false);
        while (!stack.empty()) {
            auto& [at, edge] = stack.back();
            const auto& next = states_[static_cast<std::size_t>(at)].Next;
            if (edge == next.size()) {
                mark[static_cast<std::size_t>(at)] = Done;
                order.push_back(at);
                stack.pop_back();
                continue;
            }
            const int to = next[edge].first;
            if (mark[static_cast<std::size_t>(to)] == Open) back[static_cast<std::size_t>(at)][edge] = true;
            ++edge;
            if (mark[static_cast<std::size_t>(to)] == New) {
                mark[static_cast<std::size_t>(to)] = Open;
                stack.push_back({to, 0});
            }
        }
        constexpr int None = -1;
        std::vector<int> length(n, None), best(n, None);
        for (int at : order) {
            const std::size_t a = static_cast<std::size_t>(at);
            if (states_[a].Ending) {
                length[a] = 0;
                continue;
            }
            for (std::size_t e = 0; e < states_[a].Next.size(); ++e) {
                const int to = states_[a].Next[e].first;
                if (back[a][e] || length[static_cast<std::size_t>(to)] == None) continue;
                if (length[static_cast<std::size_t>(to)] + 1 > length[a]) {
                    length[a] = length[static_cast<std::size_t>(to)] + 1;
                    best[a] = static_cast<int>(e);
                }
            }
        }
        std::string path;
        for (std::size_t at = 0; length[at] > 0;) {
            const auto& [to, step] = states_[at].Next[static_cast<std::size_t>(best[at])];
            path += step;
            at = static_cast<std::size_t>(to);
        }
        return path;
    }

    // States from which no ending can be reached, found backwards from the
    // endings; states not fully expanded (a limit stopped the walk, or a
    // random run took only one step) are unknown and count as able to end.
    void Traps()
    {
        std::vector<std::vector<int>> previous(states_.size());
        // Expanded: every step the state offers has been taken.
        std::vector<bool> tookPicture(states_.size(), false), tookChoice(states_.size(), false);
        for (std::size_t i = 0; i < states_.size(); ++i)
            for (const auto& [n, step] : states_[i].Next) {
                previous[static_cast<std::size_t>(n)].push_back(static_cast<int>(i));
                (step == 'p' ? tookPicture : tookChoice)[i] = true;
            }
        auto expanded = [&](std::size_t i) {
            return tookPicture[i] && (tookChoice[i] || !states_[i].Snapshot.ChoiceShown);
        };
        std::vector<bool> canEnd(states_.size(), false);
        std::deque<int> queue;
        for (std::size_t i = 0; i < states_.size(); ++i)
            if (states_[i].Ending || (!expanded(i) && !report_.Complete)) {
                canEnd[i] = true;
                queue.push_back(static_cast<int>(i));
            }
        while (!queue.empty()) {
            const int at = queue.front();
            queue.pop_front();
            for (int p : previous[static_cast<std::size_t>(at)])
                if (!canEnd[static_cast<std::size_t>(p)]) {
                    canEnd[static_cast<std::size_t>(p)] = true;
                    queue.push_back(p);
                }
        }
        for (std::size_t i = 0; i < states_.size(); ++i) {
            if (canEnd[i]) continue;
            ++report_.TrapStates;
            if (report_.Traps.size() < TrapsShown) {
                const int shows = states_[i].Shows;
                report_.Traps.push_back({shows >= 0 ? Story->CurrentFileLines()[static_cast<std::size_t>(shows)] : 0,
                                         Path(static_cast<int>(i))});
            }
        }
    }

    gui::headless::THeadlessBackend& backend_;
    TWalkReport& report_;
    std::vector<TState> states_;
    std::unordered_map<std::string, int> index_;
    std::map<int, TWalkReport::TEnding> endings_;
    std::set<std::string> errorsSeen_;
    std::set<int> labelsReached_; // stored indexes of label lines passed
    std::set<int> shown_;         // stored indexes of text lines shown
};

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') out += {'\\', static_cast<char>(c)};
        else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else out += static_cast<char>(c);
    }
    return out + "\"";
}

template <class T, class F>
std::string JsonList(const std::vector<T>& items, F item)
{
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + item(items[i]);
    return out + "]";
}

std::string LineList(const std::vector<int>& lines)
{
    std::string out;
    for (int line : lines) out += (out.empty() ? "" : " ") + std::to_string(line);
    return out;
}

std::string ShowPath(const std::string& path) { return path.empty() ? "(at the start)" : path; }

} // namespace

TWalkReport WalkStory(const TWalkOptions& options)
{
    TWalkReport report;
    gui::headless::THeadlessBackend backend;
    gui::TApplication application(backend);
    application.Title = "mirt";
    try {
        application.CreateForm(FormMain);
    } catch (const Exception& error) {
        report.StartError = AnsiToUtf8(std::string(error.ClassName()) + ": " + error.what());
        return report;
    }
    application.Run(); // shows the window; no queued action, so it returns at once
    TWalker walker(backend, report);
    if (options.Seed) walker.Random(*options.Seed, options.Runs, options.MaxStates);
    else walker.Explore(options.MaxStates);
    walker.Finish();
    return report;
}

void PrintReport(const TWalkReport& report, std::ostream& out)
{
    if (!report.StartError.empty()) {
        out << "error: " << report.StartError << "\n";
        return;
    }
    out << "states: " << report.States << (report.Complete ? " (all)" : " (not all: limit or random runs)") << "\n";
    const std::size_t shown = report.Shown.size();
    out << "text lines shown: " << shown << " of " << report.TextLines;
    if (report.TextLines > 0) out << " (" << shown * 100 / static_cast<std::size_t>(report.TextLines) << "%)";
    out << "\n";
    if (!report.NeverShown.empty()) out << "never shown: lines " << LineList(report.NeverShown) << "\n";
    out << "labels reached: " << report.LabelsReached.size() << " of "
        << report.LabelsReached.size() + report.LabelsNotReached.size() << "\n";
    for (const std::string& label : report.LabelsNotReached) out << "label never reached: " << label << "\n";
    for (const auto& ending : report.Endings)
        out << "ending: line " << ending.Line << (ending.AtEnd ? " (#end)" : " (end of file)") << " by "
            << ShowPath(ending.Path) << "\n";
    if (report.Endings.empty()) out << "ending: none reached\n";
    for (const auto& box : report.ErrorBoxes) out << "error box: " << box.Message << " by " << box.Path << "\n";
    if (report.TrapStates > 0) {
        out << "traps: " << report.TrapStates << " states from which no ending can be reached\n";
        for (const auto& trap : report.Traps)
            out << "trap: " << (trap.Line > 0 ? "line " + std::to_string(trap.Line) : "after an error box") << " by "
                << ShowPath(trap.Path) << "\n";
    }
    if (!report.Endings.empty())
        out << "longest path to an ending: " << report.LongestPath.size() << " steps: " << ShowPath(report.LongestPath)
            << "\n";
}

void PrintJson(const TWalkReport& report, std::ostream& out)
{
    auto number = [](int n) { return std::to_string(n); };
    out << "{";
    if (!report.StartError.empty()) {
        out << "\"startError\":" << JsonString(report.StartError) << "}\n";
        return;
    }
    out << "\"states\":" << report.States << ",\"complete\":" << (report.Complete ? "true" : "false")
        << ",\"textLines\":" << report.TextLines << ",\"shown\":" << JsonList(report.Shown, number)
        << ",\"neverShown\":" << JsonList(report.NeverShown, number)
        << ",\"labelsReached\":" << JsonList(report.LabelsReached, JsonString)
        << ",\"labelsNotReached\":" << JsonList(report.LabelsNotReached, JsonString) << ",\"endings\":"
        << JsonList(report.Endings,
                    [](const TWalkReport::TEnding& e) {
                        return "{\"line\":" + std::to_string(e.Line) +
                               ",\"kind\":" + (e.AtEnd ? "\"#end\"" : "\"end of file\"") +
                               ",\"path\":" + JsonString(e.Path) + "}";
                    })
        << ",\"errorBoxes\":"
        << JsonList(report.ErrorBoxes,
                    [](const TWalkReport::TErrorBox& e) {
                        return "{\"message\":" + JsonString(e.Message) + ",\"path\":" + JsonString(e.Path) + "}";
                    })
        << ",\"trapStates\":" << report.TrapStates << ",\"traps\":"
        << JsonList(report.Traps,
                    [](const TWalkReport::TTrap& t) {
                        return "{\"line\":" + std::to_string(t.Line) + ",\"path\":" + JsonString(t.Path) + "}";
                    })
        << ",\"longestPath\":" << JsonString(report.LongestPath) << "}\n";
}

int WalkMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    TCommandLine commandLine;
    if (auto done = ParseCommandLine(Program, args, commandLine, out, err)) return *done;
    if (commandLine.Has("--replay")) {
        const std::string path = commandLine.Value("--replay");
        if (path.find_first_not_of("pc") != std::string::npos) {
            err << "mirt-walk: a path is made of p and c only, not '" << path << "'\n" << UsageLine(Program) << "\n";
            return 2;
        }
        std::string input;
        for (char step : path) input += step == 'p' ? "\n" : "c\n";
        std::istringstream in(input);
        try {
            TStoryScope scope(commandLine);
            return PlayOnTerminal(in, out);
        } catch (const Exception& error) {
            out << "error: " << error.ClassName() << ": " << error.what() << "\n";
            return 1;
        }
    }
    TWalkOptions options;
    options.MaxStates = commandLine.Number("--max-states", options.MaxStates);
    if (commandLine.Has("--seed")) options.Seed = commandLine.Number("--seed", 0);
    options.Runs = commandLine.Number("--runs", options.Runs);
    TWalkReport report;
    try {
        TStoryScope scope(commandLine);
        report = WalkStory(options);
    } catch (const Exception& error) {
        report.StartError = std::string(error.ClassName()) + ": " + error.what();
    }
    if (commandLine.Has("--json")) PrintJson(report, out);
    else PrintReport(report, out);
    const bool failed = !report.StartError.empty() || !report.ErrorBoxes.empty() || report.TrapStates > 0;
    return failed ? 1 : 0;
}

} // namespace mirt::tools
