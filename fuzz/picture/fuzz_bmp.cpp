// Feeds arbitrary bytes to the BMP decoder: a picture error is the only
// acceptable failure.
#include "platform/picture/Decoders.h"
#include "platform/picture/Dib.h"
#include "platform/runtime/Errors.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    mirt::TMemorySource source(std::span(data, size));
    try {
        mirt::DecodeBmp(source, mirt::TDecodeLimit{200, 200});
    } catch (const mirt::EPictureError&) {
    }
    // The same bytes as a packed DIB, as metafiles carry them.
    try {
        mirt::DecodeDib(std::span(data, size), mirt::TDecodeLimit{200, 200});
    } catch (const mirt::EPictureError&) {
    }
    return 0;
}
