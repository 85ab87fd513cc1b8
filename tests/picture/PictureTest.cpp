// The picture container: the format chosen by extension, errors that name the
// file or the extension, and the old picture kept when a load fails.
#include "PictureTestSupport.h"

#include "platform/picture/Picture.h"
#include "platform/runtime/Errors.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace mirt::test {
namespace {

void CopyFixture(const char* fixture, const std::string& to)
{
    TBytes bytes = ReadBytes(FixturePath(fixture));
    TTempDir::Write(to, std::string(bytes.begin(), bytes.end()));
}

TEST(Picture, FormatIsChosenByTheExtensionIgnoringCase)
{
    TTempDir dir;
    const struct {
        const char* WindowsName;
        const char* Fixture;
        const char* OnDisk;
        int Width;
    } cases[] = {
        {"dat\\a.bmp", "quad-24.bmp", "dat/a.bmp", 40},
        {"dat\\A.BMP", "quad-24.bmp", "dat/A.BMP", 40},
        {"dat\\sub\\pic.BMP", "quad-8.bmp", "dat/sub/pic.BMP", 40},
        {"dat\\v1.0\\icon.Ico", "quad-png.ico", "dat/v1.0/icon.Ico", 24},
        {"dat\\photo.jpg", "quad-baseline.jpg", "dat/photo.jpg", 40},
        {"dat\\PHOTO2.JPEG", "quad-progressive.jpg", "dat/PHOTO2.JPEG", 40},
        // A file named in other letter case is found all the same.
        {"dat\\Mixed.Jpg", "quad-grey.jpg", "dat/mixed.jpg", 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.WindowsName);
        CopyFixture(c.Fixture, c.OnDisk);
        TPicture picture;
        picture.LoadFromFile(c.WindowsName, TDecodeLimit{200, 200});
        ASSERT_FALSE(picture.Empty());
        EXPECT_EQ(picture.Bitmap()->NaturalWidth, c.Width);
    }
}

TEST(Picture, UnknownExtensionIsNamedAsWritten)
{
    TTempDir dir;
    const struct {
        const char* WindowsName;
        const char* Message;
    } cases[] = {
        {"dat\\notes.txt", "Unknown picture file extension (.txt) in dat\\notes.txt"},
        {"dat\\PIC.Png", "(.Png)"},
        {"dat\\noext", "(none)"},
        {"dat\\v1.0\\noext", "(none)"},  // a "." in a directory name is no extension
        {"dat\\a.bmp:stream", "(none)"}, // nor one before a ":"
        {"dat\\trailing.", "(none)"},
        {"dat\\a.bmp.bak", "(.bak)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.WindowsName);
        // The file exists: the extension alone decides.
        TTempDir::Write("dat/notes.txt", "not a picture");
        TPicture picture;
        try {
            picture.LoadFromFile(c.WindowsName, TDecodeLimit{200, 200});
            ADD_FAILURE() << "loaded";
        } catch (const EPictureError& e) {
            EXPECT_NE(std::string(e.what()).find(c.Message), std::string::npos) << e.what();
        }
        EXPECT_TRUE(picture.Empty());
    }
}

TEST(Picture, FailedLoadKeepsTheOldPicture)
{
    TTempDir dir;
    CopyFixture("quad-24.bmp", "dat/good.bmp");
    TTempDir::Write("dat/bad.bmp", "BM but nothing more");
    TTempDir::Write("dat/empty.wmf", "");
    TPicture picture;
    picture.LoadFromFile("dat\\good.bmp", TDecodeLimit{200, 200});
    const TBitmap* shown = picture.Bitmap();
    ASSERT_NE(shown, nullptr);

    try {
        picture.LoadFromFile("dat\\bad.bmp", TDecodeLimit{200, 200});
        ADD_FAILURE() << "loaded";
    } catch (const EPictureError& e) {
        EXPECT_NE(std::string(e.what()).find("(dat\\bad.bmp)"), std::string::npos) << e.what();
    }
    EXPECT_EQ(picture.Bitmap(), shown);

    try {
        picture.LoadFromFile("dat\\missing.jpg", TDecodeLimit{200, 200});
        ADD_FAILURE() << "loaded";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), ENOENT);
        EXPECT_NE(std::string(e.what()).find("dat\\missing.jpg"), std::string::npos) << e.what();
    }
    EXPECT_EQ(picture.Bitmap(), shown);

    EXPECT_THROW(picture.LoadFromFile("dat\\notes.txt", TDecodeLimit{200, 200}), EPictureError);
    EXPECT_THROW(picture.LoadFromFile("dat\\empty.wmf", TDecodeLimit{200, 200}),
                 EPictureError); // metafiles have their own decoder
    EXPECT_EQ(picture.Bitmap(), shown);

    picture.LoadFromFile("dat\\good.bmp", {10, 10});
    EXPECT_NE(picture.Bitmap(), shown);
    EXPECT_EQ(picture.Bitmap()->Width, 10);
}

} // namespace
} // namespace mirt::test
