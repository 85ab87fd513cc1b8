// What the WMF and EMF players share about records: the table entry that
// ties a record type to its handler.
#pragma once

#include "platform/metafile/RecordReader.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace mirt::metafile {

class TGdiCanvas;

// One record type: its name, the fewest bytes (record header included) its
// fixed fields take, and how it is played. A null handler marks a record
// that is understood and changes nothing we draw (palettes, colour
// management, comments).
template <class TPlayer>
struct TRecordHandler {
    std::uint32_t Type;
    const char* Name;
    std::size_t MinSize;
    void (*Play)(TPlayer&, const TRecordReader&, TGdiCanvas&);
};

} // namespace mirt::metafile
