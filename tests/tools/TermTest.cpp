#include "tools/term/Term.h"
#include "platform/gui/terminal/Terminal.h"
#include "platform/picture/Bitmap.h"
#include "tests/app/StoryFiles.h"
#include "tests/support/CodePageScope.h"

#include <gtest/gtest.h>

#include <sstream>

namespace mirt {
namespace {

// Shift-JIS: "森だ。" (it is a forest.), "はい" (yes) and "奥へ" (further in).
const std::string MoriDa = "\x90X\x82\xBE\x81\x42";
const std::string Hai = "\x82\xCD\x82\xA2";
const std::string Okue = "\x89\x9C\x82\xD6";

struct TTermCase {
    const char* Name;
    const char* Locale;
    std::vector<std::string> Story; // empty: no story file
    std::string Input;
    std::string Transcript;
    int ExitCode;
};

std::vector<TTermCase> Cases()
{
    const std::vector<std::string> choice{"#image a.bmp", "Start.", "#button Left @left", "Which way?", "Straight on.",
                                          "#end",         "@left",  "Left it is.",        "#end"};
    // The choice appears once the line before it has been shown, and a
    // choice taken skips the line still waiting.
    return {
        {"clicks to the end", "en_US", choice, "\n\n\n\n",
         "[picture dat\\a.bmp, 3 x 2]\nStart.\n[choice: Left]\nWhich way?\nStraight on.\n", 0},
        {"c takes the choice", "en_US", choice, "\nc\n",
         "[picture dat\\a.bmp, 3 x 2]\nStart.\n[choice: Left]\nLeft it is.\n", 0},
        {"the caption takes the choice too", "en_US", choice, "\nLeft\n",
         "[picture dat\\a.bmp, 3 x 2]\nStart.\n[choice: Left]\nLeft it is.\n", 0},
        {"c without a choice, and other input, print a hint", "en_US", choice, "c\nxyz\n\n\n",
         "[picture dat\\a.bmp, 3 x 2]\n(Enter: next line, q: quit; no choice is offered now)\n"
         "(Enter: next line, q: quit; no choice is offered now)\nStart.\n[choice: Left]\nWhich way?\n",
         0},
        {"a wrong word while the choice is shown", "en_US", choice, "\nright\nc\n",
         "[picture dat\\a.bmp, 3 x 2]\nStart.\n[choice: Left]\n(Enter: next line, c: Left, q: quit)\nLeft it is.\n", 0},
        {"q quits", "en_US", choice, "\nq\n\n", "[picture dat\\a.bmp, 3 x 2]\nStart.\n[choice: Left]\n", 0},
        {"end of input closes the window", "en_US", choice, "", "[picture dat\\a.bmp, 3 x 2]\n", 0},
        {"CR LF input lines", "en_US", choice, "\r\nc\r\n",
         "[picture dat\\a.bmp, 3 x 2]\nStart.\n[choice: Left]\nLeft it is.\n", 0},
        // The failed page leaves the old message, so the next click shows it again.
        {"an error box and play goes on",
         "en_US",
         {"One.", "#image gone.bmp", "Two.", "Three.", "#end"},
         "\n\n\n",
         "One.\nerror: Cannot open file dat\\gone.bmp: No such file or directory (dat\\story.txt, line 2)\nOne.\n"
         "Two.\n",
         0},
        {"no story: the start-up error, exit 1",
         "en_US",
         {},
         "\n",
         "error: EScriptError: Story file not found: dat\\story.txt.\n",
         1},
        {"Shift-JIS under code page 932",
         "ja_JP",
         {MoriDa, "#button " + Okue + " @in", Hai, "@in", MoriDa, "#end"},
         "\nc\n",
         "\xE6\xA3\xAE\xE3\x81\xA0\xE3\x80\x82\n[choice: \xE5\xA5\xA5\xE3\x81\xB8]\n"
         "\xE6\xA3\xAE\xE3\x81\xA0\xE3\x80\x82\n",
         0},
        {"the caption in UTF-8 takes a Shift-JIS choice",
         "ja_JP",
         {MoriDa, "#button " + Okue + " @in", Hai, "@in", "In.", "#end"},
         "\n\xE5\xA5\xA5\xE3\x81\xB8\n",
         "\xE6\xA3\xAE\xE3\x81\xA0\xE3\x80\x82\n[choice: \xE5\xA5\xA5\xE3\x81\xB8]\nIn.\n",
         0},
        // Under 1252 the same bytes are western letters (0x90 and 0x81 are
        // none), and "X", the second byte of the first character, stands alone.
        {"Shift-JIS under code page 1252",
         "en_US",
         {MoriDa, "#button " + Okue + " @in", Hai, "@in", MoriDa, "#end"},
         "\nc\n",
         "\xEF\xBF\xBDX\xE2\x80\x9A\xC2\xBE\xEF\xBF\xBD"
         "B\n[choice: \xE2\x80\xB0\xC5\x93\xE2\x80\x9A\xC3\x96]\n"
         "\xEF\xBF\xBDX\xE2\x80\x9A\xC2\xBE\xEF\xBF\xBD"
         "B\n",
         0},
    };
}

TEST(Term, PlaysAStoryFromItsInput)
{
    for (const TTermCase& c : Cases()) {
        SCOPED_TRACE(c.Name);
        test::TCodePageScope codePages;
        test::TCodePageScope::Use(c.Locale);
        test::TStoryFolder folder;
        if (!c.Story.empty()) folder.Story(c.Story);
        folder.Bmp("a.bmp", 3, 2, 0xFF0000);
        std::istringstream in(c.Input);
        std::ostringstream out, err;
        EXPECT_EQ(tools::TermMain({}, in, out, err), c.ExitCode);
        EXPECT_EQ(out.str(), c.Transcript);
        EXPECT_EQ(err.str(), "");
    }
}

TEST(Term, HalfBlocksPairPixelRowsOverWhite)
{
    TBitmap bitmap;
    bitmap.NaturalWidth = bitmap.Width = 2;
    bitmap.NaturalHeight = bitmap.Height = 3;
    // Opaque red, opaque green / transparent, opaque blue / half-covered black, opaque white.
    bitmap.Pixels = {0xFFFF0000, 0xFF00FF00, 0x00000000, 0xFF0000FF, 0x80000000, 0xFFFFFFFF};
    const std::vector<std::string> lines = gui::terminal::HalfBlockLines(bitmap, 80);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "\x1b[38;2;255;0;0m\x1b[48;2;255;255;255m\u2580"
                        "\x1b[38;2;0;255;0m\x1b[48;2;0;0;255m\u2580\x1b[0m");
    // The odd last row has white below it.
    EXPECT_EQ(lines[1], "\x1b[38;2;127;127;127m\x1b[48;2;255;255;255m\u2580"
                        "\x1b[38;2;255;255;255m\x1b[48;2;255;255;255m\u2580\x1b[0m");
}

TEST(Term, HalfBlocksScaleDownToTheColumns)
{
    TBitmap bitmap;
    bitmap.NaturalWidth = bitmap.Width = 200;
    bitmap.NaturalHeight = bitmap.Height = 100;
    bitmap.Pixels.assign(200 * 100, 0xFF000000);
    const std::vector<std::string> lines = gui::terminal::HalfBlockLines(bitmap, 40);
    EXPECT_EQ(lines.size(), 10u); // 40 x 20 pixels, two rows a line
    std::size_t blocks = 0;
    for (std::size_t at = lines[0].find("\u2580"); at != std::string::npos; at = lines[0].find("\u2580", at + 1))
        ++blocks;
    EXPECT_EQ(blocks, 40u);
    bitmap.Pixels.clear(); // fewer pixels than its size claims: nothing drawn
    EXPECT_TRUE(gui::terminal::HalfBlockLines(bitmap, 40).empty());
}

} // namespace
} // namespace mirt
