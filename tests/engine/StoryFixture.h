// Story files written into a scratch directory, with the code page, the
// alert sound and the quit request under the test's control.
#pragma once

#include "engine/VoskScript.h"
#include "platform/runtime/CodePage.h"
#include "platform/runtime/System.h"
#include "tests/support/CodePageScope.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mirt::test {

inline const char* const kStoryName = "dat\\story.txt";

class TStoryTest : public ::testing::Test, protected TCodePageScope {
protected:
    void SetUp() override
    {
        UseLocale("ja_JP.UTF-8");
        SetAlertSoundHandler([this] { ++alerts_; });
        SetQuitRequestHandler([this] { ++quits_; });
    }
    void TearDown() override
    {
        SetAlertSoundHandler(nullptr);
        SetQuitRequestHandler(nullptr);
    }

    static void UseLocale(const char* locale) { Use(locale); }

    // Writes the story bytes as dat/story.txt.
    static void WriteStory(const std::string& bytes) { TTempDir::Write("dat/story.txt", bytes); }

    // Lines joined with CR LF, the way the stories were written.
    static std::string Story(const std::vector<std::string>& lines)
    {
        std::string bytes;
        for (const std::string& line : lines) bytes += line + "\r\n";
        return bytes;
    }

    TTempDir dir_;
    int alerts_ = 0;
    int quits_ = 0;
};

} // namespace mirt::test
