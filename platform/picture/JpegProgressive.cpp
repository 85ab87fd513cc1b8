#include "platform/picture/JpegProgressive.h"

#include "platform/runtime/Checked.h"
#include "platform/runtime/Errors.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <csetjmp>
#include <cstdlib>
#include <memory>
#include <string>

namespace mirt::jpeg {

namespace {

// Raised inside this file when the data needs libjpeg's own handling; caught
// at the top, where it becomes "not decoded here".
struct TNeedsLibjpeg {};

[[noreturn]] void Decline() { throw TNeedsLibjpeg{}; }

// Zigzag index to position in the block. Like libjpeg, runs past the end of
// a block land on its last coefficient (hence the 16 extra entries).
constexpr std::array<int, 80> kNatural = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13,
    6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31,
    39, 46, 53, 60, 61, 54, 47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

constexpr int kMarkerEnd = 0x100; // the file ended where a marker was expected

// The source read forwards in large chunks.
class TByteReader {
public:
    TByteReader(TByteSource& source, std::uint64_t position) : source_(source), position_(position), buffer_(kChunk) {}

    // The next byte, or -1 at the end of the file.
    int Next()
    {
        if (at_ == end_ && !Refill()) return -1;
        return buffer_[at_++];
    }

    int Must()
    {
        int b = Next();
        if (b < 0) Decline(); // a marker segment cut by the end of the file
        return b;
    }

    unsigned Be16()
    {
        int hi = Must();
        return static_cast<unsigned>(hi << 8 | Must());
    }

    void Skip(unsigned n)
    {
        while (n > 0) {
            if (at_ == end_ && !Refill()) Decline();
            std::size_t step = std::min<std::size_t>(n, end_ - at_);
            at_ += step;
            n -= static_cast<unsigned>(step);
        }
    }

    // Skips to the next marker as libjpeg does (bytes that are not a marker
    // are passed over) and returns its code, or kMarkerEnd.
    int NextMarker()
    {
        for (;;) {
            int c = Next();
            while (c >= 0 && c != 0xFF) c = Next();
            do c = Next();
            while (c == 0xFF);
            if (c < 0) return kMarkerEnd;
            if (c != 0) return c;
        }
    }

private:
    static constexpr std::size_t kChunk = 64 * 1024;

    bool Refill()
    {
        std::size_t got = source_.ReadAt(position_, buffer_);
        position_ += got;
        at_ = 0;
        end_ = got;
        return got > 0;
    }

    TByteSource& source_;
    std::uint64_t position_;
    std::vector<unsigned char> buffer_;
    std::size_t at_ = 0, end_ = 0;
};

// The entropy-coded bits of one segment (a scan, or the part of one between
// restart markers), most significant bit first, 0xFF 0x00 unstuffed. At a
// marker or the end of the file it supplies zero bits and counts them: a
// segment that used any of them was cut short.
class TBitReader {
public:
    explicit TBitReader(TByteReader& in) : in_(in) {}

    void Fill()
    {
        while (bits_ <= 56) {
            if (marker_ >= 0) {
                bits_ += 8;
                padding_ += 8;
                continue;
            }
            int b = in_.Next();
            if (b == 0xFF) {
                int c = in_.Next();
                while (c == 0xFF) c = in_.Next();
                if (c != 0) {
                    marker_ = c < 0 ? kMarkerEnd : c;
                    continue;
                }
            } else if (b < 0) {
                marker_ = kMarkerEnd;
                continue;
            }
            acc_ |= std::uint64_t(static_cast<unsigned>(b)) << (56 - bits_);
            bits_ += 8;
        }
    }

    // At least 32 bits ready: a Huffman code and its extra bits.
    void Ensure()
    {
        if (bits_ < 32) Fill();
    }

    unsigned Peek(int n) const { return static_cast<unsigned>(acc_ >> (64 - n)); }
    void Drop(int n)
    {
        acc_ <<= n;
        bits_ -= n;
    }
    // n bits (1..16) as an unsigned number; needs Ensure() first.
    unsigned Take(int n)
    {
        unsigned v = Peek(n);
        Drop(n);
        return v;
    }
    // n bits of any count, discarded.
    void Discard(std::uint64_t n)
    {
        while (n > 0) {
            Ensure();
            int step = static_cast<int>(std::min<std::uint64_t>(n, 32));
            Drop(step);
            n -= static_cast<unsigned>(step);
        }
    }

    // Ends the segment: true when it used only bits that were in the file.
    // The marker that follows is read (or skipped to) and returned.
    bool End(int& marker)
    {
        bool whole = bits_ >= padding_;
        if (marker_ < 0) marker_ = in_.NextMarker();
        marker = marker_;
        acc_ = 0;
        bits_ = padding_ = 0;
        marker_ = -1;
        return whole;
    }

private:
    TByteReader& in_;
    std::uint64_t acc_ = 0;
    int bits_ = 0;
    int padding_ = 0;
    int marker_ = -1;
};

// A Huffman table with a 9-bit lookup for the common short codes.
class THuffman {
public:
    static constexpr int kLookup = 9;

    // Builds from a DHT table's counts and symbols; declines the tables
    // libjpeg refuses.
    void Build(const std::uint8_t counts[17], const std::uint8_t* symbols, bool dc)
    {
        int total = 0;
        for (int l = 1; l <= 16; ++l) total += counts[l];
        if (total > 256) Decline();
        symbols_.assign(symbols, symbols + total);
        if (dc)
            for (int s : symbols_)
                if (s > 15) Decline();
        lookup_.fill(0);
        int code = 0, k = 0;
        for (int l = 1; l <= 16; ++l) {
            first_[l] = k - code; // symbol index = first_[l] + code
            for (int i = 0; i < counts[l]; ++i, ++k, ++code) {
                if (code >= (1 << l) - 1) Decline(); // more codes than the length allows, or the all-ones code
                if (l <= kLookup) {
                    int spread = 1 << (kLookup - l);
                    for (int j = 0; j < spread; ++j)
                        lookup_[code << (kLookup - l) | j] = static_cast<std::uint16_t>(l << 8 | symbols_[k]);
                }
            }
            // Codes of length l are below this (exclusive) bound.
            end_[l] = code;
            code <<= 1;
        }
        ready_ = true;
    }

    bool Ready() const { return ready_; }

    int Decode(TBitReader& bits) const
    {
        unsigned e = lookup_[bits.Peek(kLookup)];
        if (e != 0) {
            bits.Drop(static_cast<int>(e >> 8));
            return static_cast<int>(e & 0xFF);
        }
        unsigned peek = bits.Peek(16);
        for (int l = kLookup + 1; l <= 16; ++l) {
            int code = static_cast<int>(peek >> (16 - l));
            if (code < end_[l]) {
                bits.Drop(l);
                return symbols_[static_cast<std::size_t>(first_[l] + code)];
            }
        }
        Decline(); // no such code: libjpeg warns and goes on with zeros
    }

private:
    std::array<std::uint16_t, 1 << kLookup> lookup_{};
    std::array<int, 17> first_{};
    std::array<int, 17> end_{};
    std::vector<std::uint8_t> symbols_;
    bool ready_ = false;
};

// Bits set in x. std::popcount becomes a library call on x86-64 without
// -mpopcnt, and refinement scans count bits for nearly every block.
inline unsigned CountBits(std::uint64_t x)
{
    x -= (x >> 1) & 0x5555555555555555u;
    x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<unsigned>((x * 0x0101010101010101u) >> 56);
}

inline int Extend(unsigned v, int s) { return v < (1u << (s - 1)) ? static_cast<int>(v) - (1 << s) + 1 : int(v); }

inline JCOEF Shifted(int v, int al) { return static_cast<JCOEF>(static_cast<unsigned>(v) << al); }

struct TComponent {
    int Id = 0;
    int H = 1, V = 1;
    int WidthInBlocks = 0, HeightInBlocks = 0; // as libjpeg counts them
    // The top-left blocks kept in full, natural order, 64 per block.
    int KeptWidth = 0, KeptHeight = 0;
    std::vector<JCOEF> Kept;
    // For every block of the component, which coefficients (by zigzag index)
    // are non-zero: what refinement scans need. Only once an AC scan comes.
    std::vector<std::uint64_t> NonZero;
    std::array<int, 64> CoefBits; // bits still unknown, as libjpeg tracks them; -1: never seen
    int Dc = 0;                   // DC prediction

    JCOEF* KeptBlock(int bx, int by)
    {
        if (bx >= KeptWidth || by >= KeptHeight) return nullptr;
        return Kept.data() + (static_cast<std::size_t>(by) * KeptWidth + bx) * 64;
    }
};

struct TScan {
    int Count = 0;
    std::array<int, 4> Comp{}; // indexes into the components
    std::array<int, 4> Dc{}, Ac{};
    int Ss = 0, Se = 0, Ah = 0, Al = 0;
};

class TDecoder {
public:
    TDecoder(TByteSource& source, std::uint64_t offset, jpeg_decompress_struct& d, int visibleWidth, int visibleHeight)
        : in_(source, offset), bits_(in_), d_(d)
    {
        const int hmax = d.max_h_samp_factor, vmax = d.max_v_samp_factor;
        mcuWidth_ = 8 * hmax;
        mcuHeight_ = 8 * vmax;
        mcusPerRow_ = static_cast<int>((d.image_width + mcuWidth_ - 1) / mcuWidth_);
        mcuRows_ = static_cast<int>((d.image_height + mcuHeight_ - 1) / mcuHeight_);
        // The visible part rounded to whole MCUs, and one more MCU right and
        // below: the neighbours libjpeg's smooth upsampling looks at.
        auto crop = [](int visible, int mcu, unsigned whole) {
            long long c = (static_cast<long long>(visible) + mcu - 1) / mcu * mcu + mcu;
            return static_cast<int>(std::min<long long>(c, whole));
        };
        cropWidth_ = crop(visibleWidth, mcuWidth_, d.image_width);
        cropHeight_ = crop(visibleHeight, mcuHeight_, d.image_height);
        comps_.resize(static_cast<std::size_t>(d.num_components));
        for (int i = 0; i < d.num_components; ++i) {
            const jpeg_component_info& ci = d.comp_info[i];
            TComponent& c = comps_[static_cast<std::size_t>(i)];
            c.Id = ci.component_id;
            c.H = ci.h_samp_factor;
            c.V = ci.v_samp_factor;
            c.WidthInBlocks = static_cast<int>(ci.width_in_blocks);
            c.HeightInBlocks = static_cast<int>(ci.height_in_blocks);
            c.KeptWidth = RoundUp(BlocksOf(cropWidth_, c.H, hmax), c.H);
            c.KeptHeight = RoundUp(BlocksOf(cropHeight_, c.V, vmax), c.V);
            c.Kept.assign(CheckedMul<std::size_t>(CheckedMul<std::size_t>(c.KeptWidth, c.KeptHeight), 64), 0);
            c.CoefBits.fill(-1);
        }
        for (int i = 0; i < NUM_HUFF_TBLS; ++i) {
            if (d.dc_huff_tbl_ptrs[i]) dc_[i].Build(d.dc_huff_tbl_ptrs[i]->bits, d.dc_huff_tbl_ptrs[i]->huffval, true);
            if (d.ac_huff_tbl_ptrs[i]) ac_[i].Build(d.ac_huff_tbl_ptrs[i]->bits, d.ac_huff_tbl_ptrs[i]->huffval, false);
        }
        restartInterval_ = d.restart_interval;
    }

    int CropWidth() const { return cropWidth_; }
    int CropHeight() const { return cropHeight_; }
    const std::vector<TComponent>& Components() const { return comps_; }

    // Every scan to the end of the image.
    void Run()
    {
        TScan first;
        first.Count = d_.comps_in_scan;
        for (int i = 0; i < first.Count; ++i) {
            const jpeg_component_info* ci = d_.cur_comp_info[i];
            first.Comp[i] = static_cast<int>(ci - d_.comp_info);
            first.Dc[i] = ci->dc_tbl_no;
            first.Ac[i] = ci->ac_tbl_no;
        }
        first.Ss = d_.Ss, first.Se = d_.Se, first.Ah = d_.Ah, first.Al = d_.Al;
        int marker = DecodeScan(first);
        for (;;) {
            switch (marker) {
            case kMarkerEnd:
            case 0xD9: // EOI
                FinishChecks();
                return;
            case 0xDA: // SOS
                marker = DecodeScan(ReadScanHeader());
                continue;
            case 0xC4: // DHT
                ReadHuffmanTables();
                break;
            case 0xDD: // DRI
                if (in_.Be16() != 4) Decline();
                restartInterval_ = in_.Be16();
                break;
            case 0xFE: in_.Skip(SegmentBody()); break;
            default:
                if (marker >= 0xE0 && marker <= 0xEF) {
                    in_.Skip(SegmentBody());
                    break;
                }
                // New quantisation tables, DNL, another frame, stray
                // restart markers: libjpeg's own path.
                Decline();
            }
            marker = in_.NextMarker();
        }
    }

private:
    static int RoundUp(int v, int m) { return (v + m - 1) / m * m; }
    static int BlocksOf(int pixels, int f, int fmax)
    {
        long long samples = (static_cast<long long>(pixels) * f + fmax - 1) / fmax;
        return static_cast<int>((samples + 7) / 8);
    }

    unsigned SegmentBody()
    {
        unsigned length = in_.Be16();
        if (length < 2) Decline();
        return length - 2;
    }

    void ReadHuffmanTables()
    {
        unsigned left = SegmentBody();
        while (left > 0) {
            if (left < 17) Decline();
            int index = in_.Must();
            std::uint8_t counts[17] = {};
            unsigned total = 0;
            for (int l = 1; l <= 16; ++l) total += counts[l] = static_cast<std::uint8_t>(in_.Must());
            left -= 17;
            if (total > 256 || total > left) Decline();
            std::uint8_t symbols[256] = {};
            for (unsigned i = 0; i < total; ++i) symbols[i] = static_cast<std::uint8_t>(in_.Must());
            left -= total;
            const bool ac = index & 0x10;
            const int slot = index & 0x0F;
            if ((index & ~0x1F) != 0 || slot >= NUM_HUFF_TBLS) Decline();
            (ac ? ac_ : dc_)[slot].Build(counts, symbols, !ac);
        }
    }

    TScan ReadScanHeader()
    {
        unsigned length = in_.Be16();
        TScan s;
        s.Count = in_.Must();
        if (s.Count < 1 || s.Count > MAX_COMPS_IN_SCAN || length != 6u + 2u * s.Count) Decline();
        for (int i = 0; i < s.Count; ++i) {
            int id = in_.Must(), tables = in_.Must();
            auto it = std::find_if(comps_.begin(), comps_.end(), [&](const TComponent& c) { return c.Id == id; });
            if (it == comps_.end()) Decline();
            s.Comp[i] = static_cast<int>(it - comps_.begin());
            for (int j = 0; j < i; ++j)
                if (s.Comp[j] == s.Comp[i]) Decline();
            s.Dc[i] = tables >> 4;
            s.Ac[i] = tables & 15;
        }
        s.Ss = in_.Must();
        s.Se = in_.Must();
        int a = in_.Must();
        s.Ah = a >> 4;
        s.Al = a & 15;
        return s;
    }

    // The progression checks libjpeg makes: where it would fail or warn,
    // decline. Then the bits of the band become known down to Al.
    void CheckProgression(const TScan& s)
    {
        const bool dcBand = s.Ss == 0;
        bool bad = dcBand ? s.Se != 0 : s.Ss > s.Se || s.Se > 63 || s.Count != 1;
        if (s.Ah != 0 && s.Al != s.Ah - 1) bad = true;
        if (s.Al > 13) bad = true;
        if (bad) Decline();
        if (s.Count > 1) {
            int blocks = 0;
            for (int i = 0; i < s.Count; ++i) {
                const TComponent& c = comps_[static_cast<std::size_t>(s.Comp[i])];
                blocks += c.H * c.V;
            }
            if (blocks > D_MAX_BLOCKS_IN_MCU) Decline();
        }
        for (int i = 0; i < s.Count; ++i) {
            TComponent& c = comps_[static_cast<std::size_t>(s.Comp[i])];
            if (!dcBand && c.CoefBits[0] < 0) Decline();
            for (int k = s.Ss; k <= s.Se; ++k) {
                int expected =
                    c.CoefBits[static_cast<std::size_t>(k)] < 0 ? 0 : c.CoefBits[static_cast<std::size_t>(k)];
                if (s.Ah != expected) Decline();
                c.CoefBits[static_cast<std::size_t>(k)] = s.Al;
            }
            // A missing table: libjpeg substitutes or fails.
            if (s.Dc[i] < 0 || s.Dc[i] >= NUM_HUFF_TBLS || s.Ac[i] < 0 || s.Ac[i] >= NUM_HUFF_TBLS) Decline();
            if (dcBand ? s.Ah == 0 && !dc_[s.Dc[i]].Ready() : !ac_[s.Ac[i]].Ready()) Decline();
            if (!dcBand && c.NonZero.empty())
                c.NonZero.assign(CheckedMul<std::size_t>(static_cast<std::size_t>(c.WidthInBlocks), c.HeightInBlocks),
                                 0);
        }
    }

    void CountWork(const TScan& s)
    {
        if (++scans_ > kMaxScans)
            throw EPictureError("Bad JPEG picture: too many scans (more than " + std::to_string(kMaxScans) + ")");
        std::uint64_t blocks = 0;
        for (int i = 0; i < s.Count; ++i) {
            const TComponent& c = comps_[static_cast<std::size_t>(s.Comp[i])];
            blocks += std::uint64_t(static_cast<unsigned>(c.WidthInBlocks)) * static_cast<unsigned>(c.HeightInBlocks);
        }
        walked_ += ScanWalk(blocks, s.Ss, s.Se);
        if (walked_ > kMaxScanCoefficients)
            throw EPictureError("Bad JPEG picture: its scans walk the " + std::to_string(d_.image_width) + " x " +
                                std::to_string(d_.image_height) + " picture too many times");
    }

    // Decodes one scan; returns the marker that follows it.
    int DecodeScan(const TScan& s)
    {
        CountWork(s);
        CheckProgression(s);
        eobRun_ = 0;
        for (int i = 0; i < s.Count; ++i) comps_[static_cast<std::size_t>(s.Comp[i])].Dc = 0;
        if (s.Count > 1) DecodeInterleaved(s);
        else if (s.Ss == 0) DecodeSingle(s, [&](TComponent& c, int bx, int by) { DcBlock(s, 0, c, bx, by); });
        else if (s.Ah == 0) DecodeAcFirst(s);
        else DecodeAcRefine(s);
        int marker = 0;
        if (!bits_.End(marker)) Decline();
        return marker;
    }

    // Between segments: the expected restart marker, then fresh state.
    void Restart(const TScan& s)
    {
        int marker = 0;
        if (!bits_.End(marker) || marker != 0xD0 + restartCount_) Decline();
        restartCount_ = (restartCount_ + 1) & 7;
        eobRun_ = 0;
        for (int i = 0; i < s.Count; ++i) comps_[static_cast<std::size_t>(s.Comp[i])].Dc = 0;
    }

    void DcBlock(const TScan& s, int i, TComponent& c, int bx, int by)
    {
        bits_.Ensure();
        JCOEF* block = c.KeptBlock(bx, by);
        if (s.Ah == 0) {
            int n = dc_[s.Dc[i]].Decode(bits_);
            int diff = n ? Extend(bits_.Take(n), n) : 0;
            if ((c.Dc >= 0 && diff > INT_MAX - c.Dc) || (c.Dc < 0 && diff < INT_MIN - c.Dc)) Decline();
            c.Dc += diff;
            if (block) block[0] = Shifted(c.Dc, s.Al);
        } else if (bits_.Take(1) && block) {
            block[0] = static_cast<JCOEF>(block[0] | (1 << s.Al));
        }
    }

    void DecodeInterleaved(const TScan& s)
    {
        restartCount_ = 0;
        const long long total = static_cast<long long>(mcusPerRow_) * mcuRows_;
        long long mcu = 0;
        for (int my = 0; my < mcuRows_; ++my)
            for (int mx = 0; mx < mcusPerRow_; ++mx, ++mcu) {
                if (restartInterval_ && mcu > 0 && mcu % restartInterval_ == 0 && mcu < total) Restart(s);
                for (int i = 0; i < s.Count; ++i) {
                    TComponent& c = comps_[static_cast<std::size_t>(s.Comp[i])];
                    for (int v = 0; v < c.V; ++v)
                        for (int h = 0; h < c.H; ++h) DcBlock(s, i, c, mx * c.H + h, my * c.V + v);
                }
            }
    }

    // A scan of one component walks its blocks row by row, each its own MCU.
    template <class F>
    void DecodeSingle(const TScan& s, F&& block)
    {
        restartCount_ = 0;
        TComponent& c = comps_[static_cast<std::size_t>(s.Comp[0])];
        long long mcu = 0;
        for (int by = 0; by < c.HeightInBlocks; ++by)
            for (int bx = 0; bx < c.WidthInBlocks; ++bx, ++mcu) {
                if (restartInterval_ && mcu > 0 && mcu % restartInterval_ == 0) Restart(s);
                block(c, bx, by);
            }
    }

    void DecodeAcFirst(const TScan& s)
    {
        restartCount_ = 0;
        TComponent& c = comps_[static_cast<std::size_t>(s.Comp[0])];
        const THuffman& table = ac_[s.Ac[0]];
        const long long total = static_cast<long long>(c.WidthInBlocks) * c.HeightInBlocks;
        const long long interval = restartInterval_ ? restartInterval_ : total;
        for (long long mcu = 0; mcu < total;) {
            if (mcu > 0 && mcu % interval == 0) Restart(s);
            const long long segmentEnd = std::min(total, (mcu / interval + 1) * interval);
            int by = static_cast<int>(mcu / c.WidthInBlocks), bx = static_cast<int>(mcu % c.WidthInBlocks);
            while (mcu < segmentEnd) {
                if (eobRun_ > 0) {
                    // A run of empty bands: skip all its blocks at once.
                    long long n = std::min<long long>(eobRun_, segmentEnd - mcu);
                    eobRun_ -= static_cast<unsigned>(n);
                    mcu += n;
                    by = static_cast<int>(mcu / c.WidthInBlocks), bx = static_cast<int>(mcu % c.WidthInBlocks);
                    continue;
                }
                JCOEF* block = c.KeptBlock(bx, by);
                std::uint64_t& nz = c.NonZero[static_cast<std::size_t>(mcu)];
                for (int k = s.Ss; k <= s.Se; ++k) {
                    bits_.Ensure();
                    int rs = table.Decode(bits_);
                    int r = rs >> 4, n = rs & 15;
                    if (n) {
                        k += r;
                        JCOEF v = Shifted(Extend(bits_.Take(n), n), s.Al);
                        const int pos = kNatural[static_cast<std::size_t>(k)];
                        if (block) block[pos] = v;
                        const int zz = std::min(k, 63);
                        nz = v ? nz | std::uint64_t{1} << zz : nz & ~(std::uint64_t{1} << zz);
                    } else if (r == 15) {
                        k += 15;
                    } else {
                        eobRun_ = 1u << r;
                        if (r) eobRun_ += bits_.Take(r);
                        --eobRun_;
                        break;
                    }
                }
                ++mcu;
                if (++bx == c.WidthInBlocks) bx = 0, ++by;
            }
        }
    }

    void DecodeAcRefine(const TScan& s)
    {
        restartCount_ = 0;
        TComponent& c = comps_[static_cast<std::size_t>(s.Comp[0])];
        const THuffman& table = ac_[s.Ac[0]];
        const long long total = static_cast<long long>(c.WidthInBlocks) * c.HeightInBlocks;
        const long long interval = restartInterval_ ? restartInterval_ : total;
        const int p1 = 1 << s.Al, m1 = -p1;
        const std::uint64_t band =
            (s.Se == 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << (s.Se + 1)) - 1) & ~((std::uint64_t{1} << s.Ss) - 1);
        // A correction bit for a coefficient that is already non-zero.
        auto correct = [&](JCOEF* block, int k) {
            bits_.Ensure();
            if (bits_.Take(1) && block) {
                JCOEF& coef = block[kNatural[static_cast<std::size_t>(k)]];
                if ((coef & p1) == 0) coef = static_cast<JCOEF>(coef + (coef >= 0 ? p1 : m1));
            }
        };
        for (long long mcu = 0; mcu < total;) {
            if (mcu > 0 && mcu % interval == 0) Restart(s);
            const long long segmentEnd = std::min(total, (mcu / interval + 1) * interval);
            int by = static_cast<int>(mcu / c.WidthInBlocks), bx = static_cast<int>(mcu % c.WidthInBlocks);
            for (; mcu < segmentEnd; ++mcu, bx = bx + 1 == c.WidthInBlocks ? 0 : bx + 1, by += bx == 0) {
                JCOEF* block = c.KeptBlock(bx, by);
                std::uint64_t& nz = c.NonZero[static_cast<std::size_t>(mcu)];
                int k = s.Ss;
                if (eobRun_ == 0) {
                    for (; k <= s.Se; ++k) {
                        bits_.Ensure();
                        int rs = table.Decode(bits_);
                        int r = rs >> 4, n = rs & 15;
                        int value = 0;
                        if (n) {
                            if (n != 1) Decline(); // libjpeg warns on a bad code
                            value = bits_.Take(1) ? p1 : m1;
                        } else if (r != 15) {
                            eobRun_ = 1u << r;
                            if (r) eobRun_ += bits_.Take(r);
                            break;
                        }
                        // Past r zero coefficients (correcting the non-zero
                        // ones on the way) to where the new one goes. Outside
                        // the kept blocks the corrections are only skipped.
                        if (!block) {
                            const std::uint64_t from = ~std::uint64_t{0} << k;
                            std::uint64_t zeros = ~nz & band & from;
                            for (int i = 0; i < r; ++i) zeros &= zeros - 1;
                            const int target = zeros ? std::countr_zero(zeros) : s.Se + 1;
                            const std::uint64_t before =
                                target > 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << target) - 1;
                            bits_.Discard(CountBits(nz & from & before));
                            k = target;
                        } else do {
                                if (nz >> k & 1) {
                                    correct(block, k);
                                } else if (--r < 0) {
                                    break;
                                }
                                ++k;
                            } while (k <= s.Se);
                        if (value) {
                            if (block) block[kNatural[static_cast<std::size_t>(k)]] = static_cast<JCOEF>(value);
                            nz |= std::uint64_t{1} << std::min(k, 63);
                        }
                    }
                }
                if (eobRun_ > 0) {
                    // The rest of the band only corrects its non-zero coefficients.
                    const std::uint64_t below = k > 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << k) - 1;
                    const std::uint64_t rest = nz & band & ~below;
                    if (block) {
                        for (std::uint64_t m = rest; m; m &= m - 1) correct(block, std::countr_zero(m));
                    } else {
                        bits_.Discard(CountBits(rest));
                    }
                    --eobRun_;
                }
            }
        }
    }

    // libjpeg smooths blocks whose low coefficients are not fully known when
    // the scans end; a baseline copy would not. Such files, and files where a
    // component never got its DC, are left to libjpeg.
    void FinishChecks() const
    {
        for (const TComponent& c : comps_)
            for (int k = 0; k < 10; ++k)
                if (c.CoefBits[static_cast<std::size_t>(k)] != 0) Decline();
    }

    TByteReader in_;
    TBitReader bits_;
    jpeg_decompress_struct& d_;
    std::vector<TComponent> comps_;
    std::array<THuffman, NUM_HUFF_TBLS> dc_, ac_;
    int mcuWidth_ = 8, mcuHeight_ = 8, mcusPerRow_ = 0, mcuRows_ = 0;
    int cropWidth_ = 0, cropHeight_ = 0;
    unsigned restartInterval_ = 0;
    int restartCount_ = 0;
    unsigned eobRun_ = 0;
    int scans_ = 0;
    std::uint64_t walked_ = 0;
};

// Writing the kept coefficients as a baseline JPEG with libjpeg, into a
// vector. Everything a longjmp out of libjpeg must not skip lives here.
struct TWriter {
    jpeg_compress_struct Info{};
    jpeg_error_mgr Errors{};
    jpeg_destination_mgr Output{};
    std::jmp_buf Escape;
    std::vector<unsigned char> Bytes;
    bool Created = false;
    ~TWriter()
    {
        if (Created) jpeg_destroy_compress(&Info);
    }
};

constexpr std::size_t kWriteChunk = 16 * 1024;

TWriter& WriterOf(j_compress_ptr info) { return *static_cast<TWriter*>(info->client_data); }

void OnWriteError(j_common_ptr info) { std::longjmp(static_cast<TWriter*>(info->client_data)->Escape, 1); }
void OnWriteMessage(j_common_ptr) {}

void OnInitOutput(j_compress_ptr info)
{
    TWriter& w = WriterOf(info);
    w.Bytes.resize(kWriteChunk);
    info->dest->next_output_byte = w.Bytes.data();
    info->dest->free_in_buffer = w.Bytes.size();
}

boolean OnOutputFull(j_compress_ptr info)
{
    TWriter& w = WriterOf(info);
    const std::size_t used = w.Bytes.size();
    w.Bytes.resize(used + kWriteChunk);
    info->dest->next_output_byte = w.Bytes.data() + used;
    info->dest->free_in_buffer = kWriteChunk;
    return TRUE;
}

void OnTermOutput(j_compress_ptr info)
{
    TWriter& w = WriterOf(info);
    w.Bytes.resize(w.Bytes.size() - info->dest->free_in_buffer);
}

void WriteBaseline(TWriter& w, jpeg_decompress_struct& header, const TDecoder& decoder)
{
    jpeg_compress_struct& c = w.Info;
    jpeg_create_compress(&c);
    w.Created = true;
    w.Output.init_destination = OnInitOutput;
    w.Output.empty_output_buffer = OnOutputFull;
    w.Output.term_destination = OnTermOutput;
    c.dest = &w.Output;
    jpeg_copy_critical_parameters(&header, &c);
    c.image_width = static_cast<JDIMENSION>(decoder.CropWidth());
    c.image_height = static_cast<JDIMENSION>(decoder.CropHeight());
    c.optimize_coding = FALSE;
    std::array<jvirt_barray_ptr, MAX_COMPONENTS> arrays{};
    const auto& comps = decoder.Components();
    for (std::size_t i = 0; i < comps.size(); ++i)
        arrays[i] = (*c.mem->request_virt_barray)(
            reinterpret_cast<j_common_ptr>(&c), JPOOL_IMAGE, TRUE, static_cast<JDIMENSION>(comps[i].KeptWidth),
            static_cast<JDIMENSION>(comps[i].KeptHeight), static_cast<JDIMENSION>(comps[i].V));
    jpeg_write_coefficients(&c, arrays.data());
    for (std::size_t i = 0; i < comps.size(); ++i) {
        const TComponent& comp = comps[i];
        for (int by = 0; by < comp.KeptHeight; ++by) {
            JBLOCKARRAY row = (*c.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&c), arrays[i],
                                                           static_cast<JDIMENSION>(by), 1, TRUE);
            const JCOEF* from = comp.Kept.data() + static_cast<std::size_t>(by) * comp.KeptWidth * 64;
            std::copy(from, from + static_cast<std::size_t>(comp.KeptWidth) * 64, &row[0][0][0]);
        }
    }
    jpeg_finish_compress(&c);
}

bool WriteBaselineGuarded(TWriter& w, jpeg_decompress_struct& header, const TDecoder& decoder)
{
    if (setjmp(w.Escape)) return false;
    WriteBaseline(w, header, decoder);
    return true;
}

} // namespace

bool DecodesHere(const jpeg_decompress_struct& d)
{
    if (!d.progressive_mode || d.arith_code || d.data_precision != 8) return false;
    switch (d.jpeg_color_space) {
    case JCS_GRAYSCALE:
        if (d.num_components != 1) return false;
        break;
    case JCS_YCbCr:
    case JCS_RGB:
        if (d.num_components != 3) return false;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        if (d.num_components != 4) return false;
        break;
    default: return false;
    }
    for (int i = 0; i < d.num_components; ++i) {
        const jpeg_component_info& c = d.comp_info[i];
        if (c.h_samp_factor > 2 || c.v_samp_factor > 2 || d.max_h_samp_factor % c.h_samp_factor != 0 ||
            d.max_v_samp_factor % c.v_samp_factor != 0)
            return false;
        if (c.quant_tbl_no < 0 || c.quant_tbl_no >= NUM_QUANT_TBLS || !d.quant_tbl_ptrs[c.quant_tbl_no]) return false;
    }
    return true;
}

std::optional<std::vector<unsigned char>> DecodeVisibleCoefficients(TByteSource& source, std::uint64_t dataOffset,
                                                                    jpeg_decompress_struct& header, int visibleWidth,
                                                                    int visibleHeight)
{
    try {
        auto decoder = std::make_unique<TDecoder>(source, dataOffset, header, visibleWidth, visibleHeight);
        decoder->Run();
        // A baseline file's Huffman codes hold magnitudes below 1024 (libjpeg
        // writes larger ones without a word, as broken codes); corrupt scans
        // can make larger ones, and libjpeg's own path decodes those.
        for (const TComponent& c : decoder->Components())
            for (JCOEF v : c.Kept)
                if (v > 1023 || v < -1023) return std::nullopt;
        auto writer = std::make_unique<TWriter>();
        writer->Info.err = jpeg_std_error(&writer->Errors);
        writer->Errors.error_exit = OnWriteError;
        writer->Errors.output_message = OnWriteMessage;
        writer->Info.client_data = writer.get();
        if (!WriteBaselineGuarded(*writer, header, *decoder)) return std::nullopt;
        return std::move(writer->Bytes);
    } catch (const TNeedsLibjpeg&) {
        return std::nullopt;
    }
}

} // namespace mirt::jpeg
