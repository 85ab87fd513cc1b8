// The picture container: loads a file by its extension and keeps the old
// picture when a load fails.
#pragma once

#include "platform/picture/Bitmap.h"
#include "platform/runtime/Strings.h"

#include <memory>

namespace mirt {

class TPicture {
public:
    // Loads windowsName (resolved with ResolveFileName). The format is chosen
    // by the extension, ignoring case: bmp, ico, wmf, emf, jpeg, jpg; any
    // other, or none, raises EPictureError naming the extension as written.
    // On any failure the current picture stays.
    void LoadFromFile(const AnsiString& windowsName, TDecodeLimit limit);

    bool Empty() const { return !bitmap_; }
    const TBitmap* Bitmap() const { return bitmap_.get(); }

private:
    std::shared_ptr<const TBitmap> bitmap_;
};

} // namespace mirt
