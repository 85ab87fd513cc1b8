// Frees the font resolver's, cairo's and fontconfig's caches when a test
// program ends, so the leak checker sees only what the code under test kept.
// Include it in one source file of a test program that draws text.
#pragma once

#include "platform/fonts/FontResolver.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

namespace mirt::test {

class TReleaseFontCaches : public ::testing::Environment {
public:
    void TearDown() override
    {
        fonts::ReleaseResolverCache();
        cairo_debug_reset_static_data();
        FcFini();
    }
};

inline const auto* const ReleaseFontCaches = ::testing::AddGlobalTestEnvironment(new TReleaseFontCaches);

} // namespace mirt::test
