// Byte strings in the ANSI code page, and the range-checked string array.
#pragma once

#include "Errors.h"

#include <cstddef>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace mirt {

// A byte string in the system's ANSI code page. Value semantics; positions in
// the script routines are 1-based byte positions.
using AnsiString = std::string;

// A growable 0-based array of strings whose indexing is range-checked:
// an index outside 0 .. Length()-1 raises ERangeError.
class TStringDynArray {
public:
    TStringDynArray() = default;
    TStringDynArray(std::initializer_list<AnsiString> items) : items_(items) {}

    int Length() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }

    const AnsiString& operator[](int index) const { return items_[Check(index)]; }
    AnsiString& operator[](int index) { return items_[Check(index)]; }

    void Append(AnsiString item) { items_.push_back(std::move(item)); }
    void Clear() { items_.clear(); }

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    bool operator==(const TStringDynArray&) const = default;

private:
    std::size_t Check(int index) const
    {
        if (index < 0 || static_cast<std::size_t>(index) >= items_.size())
            throw ERangeError("Range check error: index " + std::to_string(index) + " outside an array of " +
                              std::to_string(items_.size()));
        return static_cast<std::size_t>(index);
    }

    std::vector<AnsiString> items_;
};

} // namespace mirt
