// Every file of the fuzz corpora (seeds and the malformed files fuzzing has
// found) decodes or fails with a picture error, never anything worse; the
// files named malformed-* must fail.
#include "platform/picture/Decoders.h"
#include "platform/runtime/Errors.h"

#include "PictureTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace mirt::test {
namespace {

TEST(FuzzCorpus, EveryFileDecodesOrFailsCleanly)
{
    const struct {
        const char* Folder;
        TBitmap (*Decode)(TByteSource&, TDecodeLimit);
    } corpora[] = {{"bmp", DecodeBmp}, {"ico", DecodeIco}, {"jpeg", DecodeJpeg}};
    for (const auto& corpus : corpora) {
        const std::filesystem::path folder = std::filesystem::path(MIRT_FUZZ_CORPUS) / corpus.Folder;
        ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
        int files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            SCOPED_TRACE(entry.path().string());
            const TBytes bytes = ReadBytes(entry.path().string());
            const bool malformed = entry.path().filename().string().starts_with("malformed-");
            TMemorySource source(bytes);
            try {
                corpus.Decode(source, TDecodeLimit{200, 200});
                EXPECT_FALSE(malformed) << "a malformed file decoded";
            } catch (const EPictureError&) {
            }
            ++files;
        }
        EXPECT_GT(files, 0) << folder;
    }
}

} // namespace
} // namespace mirt::test
