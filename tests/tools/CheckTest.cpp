#include "tools/check/Check.h"
#include "tests/app/StoryFiles.h"
#include "tests/support/CodePageScope.h"
#include "tests/tools/ToolRun.h"

#include <gtest/gtest.h>

namespace mirt {
namespace {

using tools::CheckMain;

// Shift-JIS for "森" (forest) and "森だ。"; the second byte of 森 is "X".
const std::string Mori = "\x90X";
const std::string MoriDa = "\x90X\x82\xBE\x81\x42";

struct TCheckCase {
    const char* Name;
    const char* Locale;
    std::vector<std::string> Story;                         // dat/story.txt, CR LF line ends; empty: no story file
    std::vector<std::string> Bmps;                          // 2 x 2 pictures written under these names in dat/
    std::vector<std::pair<std::string, std::string>> Files; // more files in dat/: name, bytes
    std::string Expected;                                   // the whole output
    int ExitCode;
};

const std::string Summary0 = "dat\\story.txt: 0 errors, 0 warnings, 0 notes\n";

// A 200 x 200 EMF whose first record is a PLGBLT, which the player skips,
// before a rectangle it draws.
std::string EmfWithSkippedRecord()
{
    std::string bytes;
    auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes += static_cast<char>(v >> (8 * i) & 0xFF);
    };
    const std::uint32_t total = 88 + 140 + 24 + 20;
    // Header: bounds, frame (hundredths of a millimetre), signature, version,
    // size, records; handles and reserved (16 bits each), description,
    // palette, device size in pixels and millimetres.
    for (std::uint32_t v : {1u, 88u, 0u, 0u, 199u, 199u, 0u, 0u, 5291u, 5291u, 0x464D4520u, 0x10000u, total, 4u})
        u32(v);
    for (std::uint32_t v : {1u, 0u, 0u, 0u, 1024u, 768u, 270u, 203u}) u32(v); // one handle, no reserved bits
    u32(79);                                                                  // EMR_PLGBLT, its fields all zero
    u32(140);
    bytes.append(132, '\0');
    for (std::uint32_t v : {43u, 24u, 10u, 10u, 100u, 100u}) u32(v); // EMR_RECTANGLE
    for (std::uint32_t v : {14u, 20u, 0u, 16u, 20u}) u32(v);         // EMR_EOF
    return bytes;
}

std::vector<TCheckCase> Cases()
{
    return {
        {"a clean story",
         "en_US",
         {"#image a.bmp", "Hello.", "#button Go @there", "Choose.", "@there", "Bye.", "#end"},
         {"a.bmp"},
         {},
         Summary0,
         0},
        {"no story file",
         "en_US",
         {},
         {},
         {},
         "dat\\story.txt: error: story file not found: dat\\story.txt\n"
         "dat\\story.txt: 1 error, 0 warnings, 0 notes\n",
         1},
        {"#goto with no label",
         "en_US",
         {"One.", "#goto", "Two.", "#end"},
         {},
         {},
         "dat\\story.txt:2: error: #goto with no label\n"
         "dat\\story.txt: 1 error, 0 warnings, 0 notes\n",
         1},
        {"a jump cycle without text",
         "en_US",
         {"One.", "@a", "#goto @b", "@b", "#goto @a", "#end"},
         {},
         {},
         "dat\\story.txt:3: error: these jumps go round in a cycle that passes no text line\n"
         "dat\\story.txt:5: warning: #goto @a: @a is only found by wrapping around to the top (line 2)\n"
         "dat\\story.txt: 1 error, 1 warning, 0 notes\n",
         1},
        {"pictures missing, of an unknown kind and broken",
         "en_US",
         {"#image gone.jpg", "#image a.gif", "#image bad.bmp", "One.", "#end"},
         {},
         {{"a.gif", "GIF89a"}, {"bad.bmp", "BM?"}},
         "dat\\story.txt:1: error: picture not found: dat\\gone.jpg\n"
         "dat\\story.txt:2: error: cannot show dat\\a.gif: Unknown picture file extension (.gif) in dat\\a.gif\n"
         "dat\\story.txt:3: error: cannot show dat\\bad.bmp: Not a BMP file (no \"BM\" header) (dat\\bad.bmp)\n"
         "dat\\story.txt: 3 errors, 0 warnings, 0 notes\n",
         1},
        {"a metafile with a record the player skips",
         "en_US",
         {"#image pic.emf", "One.", "#end"},
         {},
         {{"pic.emf", EmfWithSkippedRecord()}},
         "dat\\story.txt:1: note: dat\\pic.emf: skipped 1 EMR_PLGBLT record (not supported)\n"
         "dat\\story.txt: 0 errors, 0 warnings, 1 note\n",
         0},
        {"the story ends before any text",
         "en_US",
         {"#image a.bmp", "#end", "Never."},
         {"a.bmp"},
         {},
         "dat\\story.txt:2: error: the story ends here before any text line is shown\n"
         "dat\\story.txt:3: warning: text on the file's last line is never shown; end the story with #end or an "
         "empty line\n"
         "dat\\story.txt: 1 error, 1 warning, 0 notes\n",
         1},
        {"labels without @ or without a line",
         "en_US",
         {"One.", "#goto there", "#button Go nowhere", "Two.", "#button Go @nowhere", "Three.", "#end"},
         {},
         {},
         "dat\\story.txt:2: warning: #goto there: a label starts with '@'; this jump does nothing (write @there)\n"
         "dat\\story.txt:3: warning: #button nowhere: a label starts with '@'; this jump does nothing (write "
         "@nowhere)\n"
         "dat\\story.txt:5: warning: #button @nowhere: no line @nowhere to jump to; this jump does nothing\n"
         "dat\\story.txt: 0 errors, 3 warnings, 0 notes\n",
         0},
        {"a #button without a label",
         "en_US",
         {"One.", "#button Go", "Two.", "#end"},
         {},
         {},
         "dat\\story.txt:2: warning: #button needs a caption and a label; this one is ignored\n"
         "dat\\story.txt: 0 errors, 1 warning, 0 notes\n",
         0},
        {"text that can never be shown",
         "en_US",
         {"One.", "#goto @on", "Skipped.", "@on", "Two.", "#end", "Last."},
         {},
         {},
         "dat\\story.txt:3: warning: this text line can never be shown: no path of the story reaches it\n"
         "dat\\story.txt:7: warning: text on the file's last line is never shown; end the story with #end or an "
         "empty line\n"
         "dat\\story.txt: 0 errors, 2 warnings, 0 notes\n",
         0},
        {"a jump onto the next line", "en_US", {"One.", "#goto @next", "@next", "Two.", "#end"}, {}, {}, Summary0, 0},
        {"a label defined twice, one never jumped to",
         "en_US",
         {"One.", "#goto @a", "@a", "Two.", "@a", "@b", "Three.", "#end"},
         {},
         {},
         // The jump skips the @a on the next line and lands on the second one.
         "dat\\story.txt:4: warning: this text line can never be shown: no path of the story reaches it\n"
         "dat\\story.txt:5: warning: label @a is defined twice (first on line 3); jumps go to the next one below "
         "them\n"
         "dat\\story.txt:6: note: label @b is never jumped to\n"
         "dat\\story.txt: 0 errors, 2 warnings, 1 note\n",
         0},
        {"a picture found by ignoring case",
         "en_US",
         {"#image Pics\\A.BMP", "One.", "#end"},
         {"pics/a.bmp"},
         {},
         "dat\\story.txt:1: warning: dat\\Pics\\A.BMP is found only by ignoring letter case, as dat\\pics\\a.bmp "
         "(plays here, may not elsewhere)\n"
         "dat\\story.txt: 0 errors, 1 warning, 0 notes\n",
         0},
        {"a Shift-JIS picture name stored as UTF-8",
         "ja_JP",
         {"#image " + Mori + ".bmp", MoriDa, "#end"},
         {"\xE6\xA3\xAE.bmp"},
         {},
         "dat\\story.txt:1: warning: dat\\\xE6\xA3\xAE.bmp is found only under its UTF-8 file name, no file has its "
         "code-page name (plays here, may not elsewhere)\n"
         "dat\\story.txt: 0 errors, 1 warning, 0 notes\n",
         0},
        {"a UTF-8 story read as Shift-JIS",
         "ja_JP",
         {"\xE6\xA3\xAE\xE3\x81\xA0.", "#end"},
         {},
         {},
         "dat\\story.txt:1: warning: the file looks like UTF-8, but code page 932 reads it as double-byte text; "
         "play it with: mirt-term --code-page 1252 (or mirt under LANG=en_US.UTF-8)\n"
         "dat\\story.txt: 0 errors, 1 warning, 0 notes\n",
         0},
        {"a Shift-JIS story read as western",
         "en_US",
         {MoriDa, "#end"},
         {},
         {},
         "dat\\story.txt:1: warning: the file looks like Shift-JIS, but code page 1252 reads it as single-byte "
         "text; play it with: mirt-term --code-page 932 (or mirt under LANG=ja_JP.UTF-8)\n"
         "dat\\story.txt: 0 errors, 1 warning, 0 notes\n",
         0},
        {"the same Shift-JIS story read as Shift-JIS", "ja_JP", {MoriDa, "#end"}, {}, {}, Summary0, 0},
        {"a lone lead byte before //",
         "ja_JP",
         {"One.", "Two\x81 // note", "#end"},
         {},
         {},
         "dat\\story.txt:2: error: the player cannot read this line: a lone lead byte 0x81 stands before ' ' and "
         "code page 932 reads the two as one character, hiding the '//' comment mark (Range check error: index 0 "
         "outside an array of 0)\n"
         "dat\\story.txt: 1 error, 0 warnings, 0 notes\n",
         1},
        {"the same line read as western", "en_US", {"One.", "Two\x81 // note", "#end"}, {}, {}, Summary0, 0},
        {"a lone lead byte at the end of a line",
         "ja_JP",
         {"One.", "Two\x81", "#end"},
         {},
         {},
         "dat\\story.txt:2: error: the player cannot read this line: the line ends with a lone lead byte 0x81 under "
         "code page 932 (Range check error: index 0 outside an array of 0)\n"
         "dat\\story.txt: 1 error, 0 warnings, 0 notes\n",
         1},
    };
}

TEST(Check, PrintsExactlyTheseDiagnostics)
{
    for (const TCheckCase& c : Cases()) {
        SCOPED_TRACE(c.Name);
        test::TCodePageScope codePages;
        test::TCodePageScope::Use(c.Locale);
        test::TStoryFolder folder;
        if (!c.Story.empty()) folder.Story(c.Story);
        for (const std::string& name : c.Bmps) folder.Bmp(name, 2, 2, 0x336699);
        for (const auto& [name, bytes] : c.Files) folder.Write(name, bytes);
        const test::TToolRun run = test::RunTool(CheckMain, {});
        EXPECT_EQ(run.Out, c.Expected);
        EXPECT_EQ(run.ExitCode, c.ExitCode);
        EXPECT_EQ(run.Err, "");
    }
}

// Stories at the line limit: generated, so kept out of the table above.
TEST(Check, KnowsTheLineLimit)
{
    test::TCodePageScope codePages;
    test::TCodePageScope::Use("en_US");
    struct TLimitCase {
        int Lines;
        std::string Expected;
        int ExitCode;
    };
    const TLimitCase cases[] = {
        {9899, Summary0, 0},
        {9900,
         "dat\\story.txt:9900: note: the story has 9900 lines, within 100 of the limit of 9999\n"
         "dat\\story.txt: 0 errors, 0 warnings, 1 note\n",
         0},
        {10000,
         "dat\\story.txt:10000: error: the story has more than 9999 lines; the player refuses it (The script store "
         "is full: more than 10000 lines)\n"
         "dat\\story.txt: 1 error, 0 warnings, 0 notes\n",
         1},
    };
    for (const TLimitCase& c : cases) {
        SCOPED_TRACE(c.Lines);
        test::TStoryFolder folder;
        std::vector<std::string> lines(static_cast<std::size_t>(c.Lines - 1), "Line.");
        lines.push_back("#end");
        folder.Story(lines);
        const test::TToolRun run = test::RunTool(CheckMain, {});
        EXPECT_EQ(run.Out, c.Expected);
        EXPECT_EQ(run.ExitCode, c.ExitCode);
    }
}

TEST(Check, CodePageOptionOverridesTheLocale)
{
    test::TCodePageScope codePages;
    test::TCodePageScope::Use("en_US");
    test::TStoryFolder folder;
    folder.Story({MoriDa, "#end"});
    EXPECT_EQ(test::RunTool(CheckMain, {"--code-page", "932"}).Out, Summary0);
    EXPECT_EQ(SysCodePage().Number, 1252); // put back after the run
    EXPECT_EQ(test::RunTool(CheckMain, {"--code-page", "1252"}).ExitCode, 0);
    EXPECT_NE(test::RunTool(CheckMain, {"--code-page", "1252"}).Out, Summary0);
}

TEST(Check, ReadsTheFolderGiven)
{
    test::TCodePageScope codePages;
    test::TCodePageScope::Use("en_US");
    test::TTempDir dir;
    test::TTempDir::Write("book/dat/story.txt", "One.\r\n#goto\r\nTwo.\r\n#end\r\n");
    const test::TToolRun run = test::RunTool(CheckMain, {"book"});
    EXPECT_EQ(run.Out, "dat\\story.txt:2: error: #goto with no label\n"
                       "dat\\story.txt: 1 error, 0 warnings, 0 notes\n");
    EXPECT_EQ(run.ExitCode, 1);
}

} // namespace
} // namespace mirt
