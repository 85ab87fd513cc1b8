// Little-endian fields of one metafile record, read with every offset checked
// against the record's own bytes.
#pragma once

#include "platform/runtime/Errors.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <utility>

namespace mirt::metafile {

class TRecordReader {
public:
    // where names the record for error messages, e.g. "EMF record 12 at byte 340".
    TRecordReader(std::span<const unsigned char> bytes, std::string where) : bytes_(bytes), where_(std::move(where)) {}
    // The same, named by the record's name (a literal, "" for none), its
    // format, index and offset in the file; the message is only put
    // together on failure, as records are read by the hundred thousand.
    TRecordReader(std::span<const unsigned char> bytes, const char* name, const char* format, std::size_t index,
                  std::size_t offset)
        : bytes_(bytes), name_(name), format_(format), index_(index), offset_(offset)
    {
    }

    std::size_t Size() const { return bytes_.size(); }
    std::span<const unsigned char> Bytes() const { return bytes_; }

    bool Has(std::size_t offset, std::size_t count) const
    {
        return offset <= bytes_.size() && count <= bytes_.size() - offset;
    }

    // The bytes [offset, offset + count); raises EPictureError past the end.
    std::span<const unsigned char> Span(std::size_t offset, std::size_t count) const
    {
        if (!Has(offset, count)) Short(offset, count);
        return bytes_.subspan(offset, count);
    }

    // Same for a (offset, count) pair read from the file as 32-bit values.
    std::span<const unsigned char> Span32(std::uint32_t offset, std::uint64_t count) const
    {
        if (count > bytes_.size() || !Has(offset, static_cast<std::size_t>(count)))
            Short(offset, static_cast<std::size_t>(count > bytes_.size() ? bytes_.size() + 1 : count));
        return bytes_.subspan(offset, static_cast<std::size_t>(count));
    }

    std::uint8_t U8(std::size_t offset) const { return Span(offset, 1)[0]; }
    std::uint16_t U16(std::size_t offset) const
    {
        auto s = Span(offset, 2);
        return static_cast<std::uint16_t>(s[0] | s[1] << 8);
    }
    std::int16_t I16(std::size_t offset) const { return static_cast<std::int16_t>(U16(offset)); }
    std::uint32_t U32(std::size_t offset) const
    {
        auto s = Span(offset, 4);
        return static_cast<std::uint32_t>(s[0]) | static_cast<std::uint32_t>(s[1]) << 8 |
               static_cast<std::uint32_t>(s[2]) << 16 | static_cast<std::uint32_t>(s[3]) << 24;
    }
    std::int32_t I32(std::size_t offset) const { return static_cast<std::int32_t>(U32(offset)); }
    float F32(std::size_t offset) const
    {
        std::uint32_t bits = U32(offset);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }

    [[noreturn]] void Fail(const std::string& what) const { throw EPictureError(what + " (" + Where() + ")"); }

    std::string Where() const
    {
        if (!name_) return where_;
        std::string place =
            std::string(format_) + " record " + std::to_string(index_) + " at byte " + std::to_string(offset_);
        return *name_ ? std::string(name_) + " (" + place + ")" : place;
    }

private:
    [[noreturn]] void Short(std::size_t offset, std::size_t count) const
    {
        Fail("Record too short: needs " + std::to_string(count) + " bytes at offset " + std::to_string(offset) +
             " of " + std::to_string(bytes_.size()));
    }

    std::span<const unsigned char> bytes_;
    std::string where_;
    const char* name_ = nullptr;
    const char* format_ = "";
    std::size_t index_ = 0, offset_ = 0;
};

} // namespace mirt::metafile
