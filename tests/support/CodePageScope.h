// Lets a test choose the process code page and gives back the one it found.
#pragma once

#include "platform/runtime/CodePage.h"

namespace mirt::test {

class TCodePageScope {
public:
    TCodePageScope() : saved_(SysCodePage()) {}
    ~TCodePageScope() { SetSysCodePage(saved_); }
    TCodePageScope(const TCodePageScope&) = delete;
    TCodePageScope& operator=(const TCodePageScope&) = delete;

    static void Use(const char* locale) { SetSysCodePage(CodePageForLocale(locale)); }

private:
    TCodePage saved_;
};

} // namespace mirt::test
