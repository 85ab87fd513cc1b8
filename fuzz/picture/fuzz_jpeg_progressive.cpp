// Differential target for progressive JPEG pictures: the scans read keeping
// only the visible part, against libjpeg reading every scan, on the same
// bytes. The rule:
// - when the visible-scans path gives pixels, libjpeg must give the same
//   pixels. libjpeg may warn on the way (stray bytes before a marker, say):
//   the visible-scans path declines all data on which libjpeg's warnings
//   change pixels, so any warning left must not change them;
// - when it raises a picture error (the limits on scans), libjpeg must fail
//   too: the limits are counted the same way;
// - when it declines (data it leaves to libjpeg), there is nothing to compare;
//   the fuzz_jpeg target covers that path.
#include "platform/picture/JpegProgressive.h"
#include "platform/runtime/Errors.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

[[noreturn]] void Differ(const char* what)
{
    std::fprintf(stderr, "visible scans and libjpeg differ: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const mirt::TDecodeLimit limit{200, 200};
    mirt::TMemorySource source(std::span(data, size));
    std::optional<mirt::TBitmap> visible;
    bool visibleFailed = false;
    try {
        visible = mirt::jpeg::DecodeVisibleScans(source, limit);
    } catch (const mirt::EPictureError&) {
        visibleFailed = true;
    }
    if (!visible && !visibleFailed) return 0;

    std::optional<mirt::TBitmap> whole;
    try {
        whole = mirt::jpeg::DecodeWithLibjpegAlone(source, limit);
    } catch (const mirt::EPictureError&) {
    }
    if (visibleFailed) {
        if (whole) Differ("only the visible-scans path failed");
        return 0;
    }
    if (!whole) Differ("only libjpeg failed");
    if (visible->NaturalWidth != whole->NaturalWidth || visible->NaturalHeight != whole->NaturalHeight ||
        visible->Width != whole->Width || visible->Height != whole->Height)
        Differ("sizes");
    if (visible->Pixels != whole->Pixels) Differ("pixels");
    return 0;
}
