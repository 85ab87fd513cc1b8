// What the WMF and EMF players share about records: the table entry that
// ties a record type to its handler, and the tally of records that were
// skipped or drawn only approximately.
#pragma once

#include "platform/metafile/RecordReader.h"
#include "platform/runtime/Errors.h"

#include <compare>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace mirt::metafile {

class TGdiCanvas;
// The box around the points a picture draws at (SharedRecords.h).
struct TExtent;

// One record type: its name, the fewest bytes (record header included) its
// fixed fields take, and how it is played. A null handler marks a record
// that is understood and changes nothing we draw (palettes, colour
// management, comments).
//
// A drawing record may also say where it draws: AddExtent adds the points
// it draws at to a box, from which a WMF with neither a frame nor a window
// extent takes its size. It is written beside the handler and reads the
// record the same way.
template <class TPlayer>
struct TRecordHandler {
    std::uint32_t Type;
    const char* Name;
    std::size_t MinSize;
    void (*Play)(TPlayer&, const TRecordReader&, TGdiCanvas&);
    void (*AddExtent)(const TRecordReader&, TExtent&) = nullptr;
};

// The table's entry for a record type, or null for a type it does not know.
template <class TPlayer, std::size_t N>
const TRecordHandler<TPlayer>* FindHandler(const TRecordHandler<TPlayer> (&handlers)[N], std::uint32_t type)
{
    static const auto byType = [&] {
        std::unordered_map<std::uint32_t, const TRecordHandler<TPlayer>*> m;
        for (const TRecordHandler<TPlayer>& h : handlers) m.emplace(h.Type, &h);
        return m;
    }();
    auto it = byType.find(type);
    return it != byType.end() ? it->second : nullptr;
}

// Counts, by record name and reason, the records a player skipped or drew
// only approximately; each kind becomes one line of the picture's notes.
class TRecordTally {
public:
    // The record being played (a name from the table), named in what the
    // canvas reports.
    void SetCurrent(const char* name) { current_ = name; }
    const char* Current() const { return current_; }

    void Skipped(const std::string& record, const std::string& why) { ++counts_[{"skipped", record, why}]; }
    void Approximated(const std::string& how) { ++counts_[{"approximated", current_, how}]; }

    // "skipped 2 EMR_PLGBLT records (not supported)", one line per kind.
    std::vector<std::string> Notes() const
    {
        std::vector<std::string> notes;
        for (const auto& [kind, count] : counts_)
            notes.push_back(kind.What + " " + std::to_string(count) + " " + kind.Record + " record" +
                            (count == 1 ? "" : "s") + " (" + kind.Why + ")");
        return notes;
    }

private:
    struct TKind {
        std::string What, Record, Why;
        auto operator<=>(const TKind&) const = default;
    };
    const char* current_ = "";
    std::map<TKind, std::size_t> counts_;
};

// Adds where a record draws to extent. A record that is too short, or
// whose points run past its end, adds nothing, as it draws nothing.
template <class TPlayer>
void AddRecordExtent(const TRecordHandler<TPlayer>& handler, const TRecordReader& r, TExtent& extent)
{
    if (!handler.AddExtent || r.Size() < handler.MinSize) return;
    try {
        handler.AddExtent(r, extent);
    } catch (const EPictureError&) {
    }
}

// Plays one record through its handler and returns whether it was played.
// Like Windows, a player skips a record that is malformed in itself
// (shorter than its fixed fields, or with counts or offsets that run past
// its own end) and draws the rest: the error stops at this record and is
// counted. Only a broken file structure refuses the picture, and that is
// checked before a record gets here.
template <class TPlayer>
bool PlayRecord(const TRecordHandler<TPlayer>& handler, TPlayer& player, const TRecordReader& r, TGdiCanvas& canvas,
                TRecordTally& tally)
{
    tally.SetCurrent(handler.Name);
    if (r.Size() < handler.MinSize) {
        tally.Skipped(handler.Name, "malformed");
        return false;
    }
    if (!handler.Play) return true;
    try {
        handler.Play(player, r, canvas);
        return true;
    } catch (const EPictureError&) {
        tally.Skipped(handler.Name, "malformed");
        return false;
    }
}

} // namespace mirt::metafile
