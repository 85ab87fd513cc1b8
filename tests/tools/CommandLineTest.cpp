#include "app/CommandLine.h"
#include "tests/support/CodePageScope.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sstream>

namespace mirt {
namespace {

const TProgramInfo Tool{
    "mirt-tool",
    "Does a thing to a story.",
    {{"--json", "", "print JSON"}, {"--seed", "S", "a seed", true}, {"--replay", "PATH", "a path"}}};

// Like the player: no options of its own, no --code-page, a keys paragraph.
const TProgramInfo Player{.Name = "mirt-player",
                          .Summary = "Plays a story.",
                          .Options = {},
                          .ExitStatus = "Exit status: as the window.",
                          .Notes = "Keys: Enter goes on.",
                          .TakesCodePage = false};

struct TParseCase {
    const char* Name;
    std::vector<std::string> Args;
    int ExitCode;    // -1: the program goes on
    const char* Out; // nullptr: the help
    const char* ErrStart;
};

TEST(CommandLine, ParsesOrStopsWithTheRightCode)
{
    const TParseCase cases[] = {
        {"no arguments", {}, -1, "", ""},
        {"version", {"--version"}, 0, "mirt-tool 1.1.0\n", ""},
        {"unknown option",
         {"--bogus"},
         2,
         "",
         "mirt-tool: unknown option '--bogus'\nusage: mirt-tool [OPTION]... [FOLDER]\n"},
        {"two folders", {"a", "b"}, 2, "", "mirt-tool: more than one story folder: 'b'\n"},
        {"value missing", {"--seed"}, 2, "", "mirt-tool: --seed needs a value S\n"},
        {"not a number", {"--seed", "x1"}, 2, "", "mirt-tool: --seed needs a whole number, not 'x1'\n"},
        {"negative number", {"--seed=-3"}, 2, "", "mirt-tool: --seed needs a whole number, not '-3'\n"},
        {"flag with a value", {"--json=yes"}, 2, "", "mirt-tool: --json takes no value\n"},
        {"unknown code page", {"--code-page", "437"}, 2, "", "mirt-tool: unknown code page 437"},
        {"options after the folder", {"story", "--json", "--seed=4"}, -1, "", ""},
        {"a folder that starts with a dash", {"--", "-odd"}, -1, "", ""},
        {"a lone dash is a folder", {"-"}, -1, "", ""},
        {"empty folder", {""}, 2, "", "mirt-tool: empty story folder name\n"},
        {"empty folder after --", {"--", ""}, 2, "", "mirt-tool: empty story folder name\n"},
        {"-h is --help", {"-h"}, 0, nullptr, ""},
        {"--help after --", {"--", "--help"}, -1, "", ""},
        {"an error after --help wins", {"--help", "--bogus"}, 2, "", "mirt-tool: unknown option '--bogus'\n"},
        {"an error after --version wins", {"--version", "a", "b"}, 2, "", "mirt-tool: more than one story folder"},
        {"the first of --version and --help wins", {"--version", "--help"}, 0, "mirt-tool 1.1.0\n", ""},
    };
    for (const TParseCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::ostringstream out, err;
        TCommandLine line;
        const std::optional<int> code = ParseCommandLine(Tool, c.Args, line, out, err);
        EXPECT_EQ(code.value_or(-1), c.ExitCode);
        if (c.Out) EXPECT_EQ(out.str(), c.Out);
        else EXPECT_EQ(out.str().rfind("usage: mirt-tool ", 0), 0u) << out.str();
        EXPECT_EQ(err.str().substr(0, std::string(c.ErrStart).size()), c.ErrStart);
    }
}

TEST(CommandLine, AProgramWithoutCodePageTakesOnlyAFolder)
{
    const TParseCase cases[] = {
        {"no arguments", {}, -1, "", ""},
        {"a folder", {"story"}, -1, "", ""},
        {"version", {"--version"}, 0, "mirt-player 1.1.0\n", ""},
        {"code page",
         {"--code-page", "932"},
         2,
         "",
         "mirt-player: unknown option '--code-page'\nusage: mirt-player [FOLDER]\n       mirt-player --help | "
         "--version\nTry 'mirt-player --help' for more information.\n"},
        {"code page with =", {"--code-page=932"}, 2, "", "mirt-player: unknown option '--code-page=932'\n"},
        {"another program's option", {"--json"}, 2, "", "mirt-player: unknown option '--json'\n"},
        {"short option", {"-x"}, 2, "", "mirt-player: unknown option '-x'\n"},
        {"two folders", {"a", "b"}, 2, "", "mirt-player: more than one story folder: 'b'\n"},
        {"empty folder", {""}, 2, "", "mirt-player: empty story folder name\n"},
    };
    for (const TParseCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::ostringstream out, err;
        TCommandLine line;
        const std::optional<int> code = ParseCommandLine(Player, c.Args, line, out, err);
        EXPECT_EQ(code.value_or(-1), c.ExitCode);
        EXPECT_EQ(out.str(), c.Out);
        EXPECT_EQ(err.str().substr(0, std::string(c.ErrStart).size()), c.ErrStart);
        EXPECT_FALSE(line.CodePage);
    }
}

TEST(CommandLine, HelpOfAProgramWithoutCodePage)
{
    for (const char* flag : {"--help", "-h"}) {
        SCOPED_TRACE(flag);
        std::ostringstream out, err;
        TCommandLine line;
        EXPECT_EQ(ParseCommandLine(Player, {flag}, line, out, err), 0);
        const std::string help = out.str();
        EXPECT_EQ(help.rfind("usage: mirt-player [FOLDER]\n       mirt-player --help | --version\nPlays a story.\n", 0),
                  0u)
            << help;
        EXPECT_EQ(help.find("--code-page"), std::string::npos) << help;
        EXPECT_NE(help.find("-h, --help"), std::string::npos) << help;
        EXPECT_TRUE(help.ends_with("\n\nKeys: Enter goes on.\n\nExit status: as the window.\n")) << help;
        EXPECT_EQ(err.str(), "");
    }
}

TEST(CommandLine, KeepsFolderOptionsAndCodePage)
{
    std::ostringstream out, err;
    TCommandLine line;
    ASSERT_FALSE(ParseCommandLine(Tool, {"--code-page=932", "stories/one", "--json", "--seed", "42", "--replay", "pc"},
                                  line, out, err));
    EXPECT_EQ(line.Folder, "stories/one");
    EXPECT_EQ(line.CodePage, 932);
    EXPECT_TRUE(line.Has("--json"));
    EXPECT_FALSE(line.Has("--bogus"));
    EXPECT_EQ(line.Number("--seed", 0), 42u);
    EXPECT_EQ(line.Number("--runs", 7), 7u);
    EXPECT_EQ(line.Value("--replay"), "pc");

    ASSERT_FALSE(ParseCommandLine(Tool, {"--", "-odd"}, line, out, err));
    EXPECT_EQ(line.Folder, "-odd");
    EXPECT_FALSE(line.CodePage);
}

TEST(CommandLine, HelpListsEveryOption)
{
    std::ostringstream out, err;
    TCommandLine line;
    EXPECT_EQ(ParseCommandLine(Tool, {"--help"}, line, out, err), 0);
    for (const char* option : {"--json", "--seed S", "--replay PATH", "--code-page CP", "--help", "--version"})
        EXPECT_NE(out.str().find(option), std::string::npos) << option;
    EXPECT_EQ(out.str().rfind("usage: mirt-tool [OPTION]... [FOLDER]\nDoes a thing to a story.\n", 0), 0u);
    EXPECT_EQ(err.str(), "");

    TProgramInfo player = Tool;
    player.ExitStatus = "Exit status: as the window.";
    std::ostringstream playerOut;
    EXPECT_EQ(ParseCommandLine(player, {"--help"}, line, playerOut, err), 0);
    EXPECT_TRUE(playerOut.str().ends_with("\n\nExit status: as the window.\n")) << playerOut.str();
}

TEST(CommandLine, StoryScopeEntersTheFolderAndPutsEverythingBack)
{
    test::TCodePageScope codePages;
    test::TCodePageScope::Use("en_US");
    test::TTempDir dir;
    std::filesystem::create_directory("story");
    const auto before = std::filesystem::current_path();
    TCommandLine line;
    line.Folder = "story";
    line.CodePage = 932;
    {
        TStoryScope scope(line);
        EXPECT_EQ(std::filesystem::current_path(), before / "story");
        EXPECT_EQ(SysCodePage().Number, 932);
    }
    EXPECT_EQ(std::filesystem::current_path(), before);
    EXPECT_EQ(SysCodePage().Number, 1252);

    line.Folder = "missing";
    EXPECT_THROW(TStoryScope{line}, EInOutError);
    EXPECT_EQ(std::filesystem::current_path(), before);
}

TEST(CommandLine, EveryKnownCodePageHasItsNumber)
{
    for (int number : KnownCodePages()) EXPECT_EQ(CommandLineCodePage(number).Number, number);
    EXPECT_THROW(CommandLineCodePage(437), ERangeError);
}

} // namespace
} // namespace mirt
