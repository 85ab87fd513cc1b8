// libFuzzer target for one metafile format (MIRT_FUZZ_EMF picks EMF).
#include "platform/metafile/Metafile.h"
#include "platform/runtime/Errors.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    mirt::TMemorySource source({data, size});
    try {
#ifdef MIRT_FUZZ_EMF
        mirt::DecodeEmf(source, {});
#else
        mirt::DecodeWmf(source, {});
#endif
    } catch (const mirt::EPictureError&) {
    }
    return 0;
}
