// Builds small WMF and EMF files record by record, for the tests, the fuzz
// seeds and the benchmarks.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace mirt::test {

class TBytes {
public:
    std::vector<unsigned char> Bytes;
    void U8(unsigned v) { Bytes.push_back(static_cast<unsigned char>(v)); }
    void U16(unsigned v)
    {
        U8(v & 0xFF);
        U8(v >> 8 & 0xFF);
    }
    void U32(std::uint32_t v)
    {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void Raw(const std::string& s) { Bytes.insert(Bytes.end(), s.begin(), s.end()); }
    void SetU32(std::size_t at, std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i) Bytes[at + i] = static_cast<unsigned char>(v >> (8 * i));
    }
};

// A placeable WMF: box (0, 0, size, size) at 96 units per inch, so one unit is
// one pixel. objects is the header's object count.
class TWmfBuilder {
public:
    explicit TWmfBuilder(int size = 200, unsigned inch = 96, unsigned objects = 16, bool placeable = true)
    {
        if (placeable) {
            b_.U32(0x9AC6CDD7);
            b_.U16(0);
            for (int v : {0, 0, size, size}) b_.U16(static_cast<unsigned>(v));
            b_.U16(inch);
            b_.U32(0);
            unsigned sum = 0;
            for (std::size_t i = 0; i < 20; i += 2) sum ^= b_.Bytes[i] | b_.Bytes[i + 1] << 8;
            b_.U16(sum);
        }
        headerAt_ = b_.Bytes.size();
        for (unsigned v : {1u, 9u, 0x300u}) b_.U16(v);
        b_.U32(0); // size, set by Finish
        b_.U16(objects);
        b_.U32(0);
        b_.U16(0);
    }
    // A record of 16-bit parameters (as stored) and optional extra bytes.
    TWmfBuilder& Record(unsigned function, std::initializer_list<int> words, const std::string& extra = {})
    {
        std::size_t extraWords = (extra.size() + 1) / 2;
        b_.U32(static_cast<std::uint32_t>(3 + words.size() + extraWords));
        b_.U16(function);
        for (int w : words) b_.U16(static_cast<unsigned>(w) & 0xFFFF);
        b_.Raw(extra);
        if (extra.size() % 2) b_.U8(0);
        return *this;
    }
    // A raw record header with any size.
    TWmfBuilder& RawRecord(std::uint32_t sizeWords, unsigned function)
    {
        b_.U32(sizeWords);
        b_.U16(function);
        return *this;
    }
    std::vector<unsigned char> Finish(bool eof = true)
    {
        if (eof) Record(0, {});
        b_.SetU32(headerAt_ + 6, static_cast<std::uint32_t>((b_.Bytes.size() - headerAt_) / 2));
        return b_.Bytes;
    }

private:
    TBytes b_;
    std::size_t headerAt_ = 0;
};

// An EMF whose frame is size x size pixels at 96 dpi on a 96-dpi reference
// device, so one device unit is one pixel.
class TEmfBuilder {
public:
    explicit TEmfBuilder(int size = 200, unsigned handles = 16, int frameHundredthsMm = -1)
    {
        int frame = frameHundredthsMm >= 0 ? frameHundredthsMm : size * 2540 / 96;
        b_.U32(1);
        b_.U32(88);
        for (int v : {0, 0, size, size, 0, 0, frame, frame}) b_.U32(static_cast<std::uint32_t>(v));
        b_.U32(0x464D4520);
        b_.U32(0x10000);
        b_.U32(0); // bytes
        b_.U32(0); // records
        b_.U16(handles);
        b_.U16(0);
        for (int i = 0; i < 3; ++i) b_.U32(0);
        // Reference device: 960 x 960 pixels on 254 x 254 mm, 96 dpi.
        for (int v : {960, 960, 254, 254}) b_.U32(static_cast<std::uint32_t>(v));
    }
    // Grows the header record by bytes (a description, a pixel format, the
    // later header fields) and sets header fields at the given offsets;
    // call before the first record.
    TEmfBuilder& HeaderTail(const std::string& bytes,
                            std::initializer_list<std::pair<std::size_t, std::uint32_t>> fields)
    {
        b_.Raw(bytes);
        while (b_.Bytes.size() % 4) b_.U8(0);
        b_.SetU32(4, static_cast<std::uint32_t>(b_.Bytes.size()));
        for (auto [at, value] : fields) b_.SetU32(at, value);
        return *this;
    }
    TEmfBuilder& Record(std::uint32_t type, std::initializer_list<std::uint32_t> values, const std::string& extra = {})
    {
        b_.U32(type);
        b_.U32(static_cast<std::uint32_t>(8 + 4 * values.size() + (extra.size() + 3) / 4 * 4));
        for (std::uint32_t v : values) b_.U32(v);
        b_.Raw(extra);
        while (b_.Bytes.size() % 4) b_.U8(0);
        return *this;
    }
    TEmfBuilder& RawRecord(std::uint32_t type, std::uint32_t size)
    {
        b_.U32(type);
        b_.U32(size);
        return *this;
    }
    std::vector<unsigned char> Finish(bool eof = true)
    {
        if (eof) Record(14, {0, 16, 0});
        b_.SetU32(48, static_cast<std::uint32_t>(b_.Bytes.size()));
        return b_.Bytes;
    }

private:
    TBytes b_;
};

} // namespace mirt::test
