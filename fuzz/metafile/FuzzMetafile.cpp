// libFuzzer target for one metafile format (MIRT_FUZZ_EMF picks EMF).
#include "platform/metafile/Metafile.h"
#include "platform/runtime/Errors.h"

#include <cstddef>
#include <cstdint>

// fontconfig and cairo keep fonts in process-wide caches that fill as inputs
// use new fonts, and fontconfig's internal references are invisible to the
// leak checker. The unit tests free those caches and check our own leaks.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\nleak:libcairo.so\n"; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    mirt::TMemorySource source({data, size});
    try {
#ifdef MIRT_FUZZ_EMF
        mirt::DecodeEmf(source, mirt::TDecodeLimit{200, 200});
#else
        mirt::DecodeWmf(source, mirt::TDecodeLimit{200, 200});
#endif
    } catch (const mirt::EPictureError&) {
    }
    return 0;
}
