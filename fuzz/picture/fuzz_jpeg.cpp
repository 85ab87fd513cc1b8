// Feeds arbitrary bytes to the JPEG decoder: a picture error is the only
// acceptable failure.
#include "platform/picture/Decoders.h"
#include "platform/runtime/Errors.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    mirt::TMemorySource source(std::span(data, size));
    try {
        mirt::DecodeJpeg(source, mirt::TDecodeLimit{200, 200});
    } catch (const mirt::EPictureError&) {
    }
    return 0;
}
