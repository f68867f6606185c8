#include "common/KDeflateWalker.h"

#include <algorithm>

namespace {
constexpr unsigned kMaxBits = 15;
constexpr unsigned kMaxLengthCodes = 286;
constexpr unsigned kMaxDistanceCodes = 30;
constexpr unsigned kEndOfBlock = 256;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint16_t kDistanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                        33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                        1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which a dynamic block sends the code lengths of its code-length code.
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

uint32_t Reverse(uint32_t code, unsigned length)
{
    uint32_t r = 0;
    for (unsigned i = 0; i < length; ++i, code >>= 1) r = (r << 1) | (code & 1);
    return r;
}
} // namespace

KDeflateWalker::KDeflateWalker()
{
    uint8_t lengths[288];
    std::fill(lengths, lengths + 144, uint8_t{8});
    std::fill(lengths + 144, lengths + 256, uint8_t{9});
    std::fill(lengths + 256, lengths + 280, uint8_t{7});
    std::fill(lengths + 280, lengths + 288, uint8_t{8});
    Build(m_FixedLengths, lengths, 288);
    std::fill(lengths, lengths + 30, uint8_t{5});
    Build(m_FixedDistances, lengths, 30);
}

int KDeflateWalker::Build(tagHuffman& h, const uint8_t* lengths, unsigned n)
{
    h.count.fill(0);
    h.fast.fill(0);
    for (unsigned s = 0; s < n; ++s) ++h.count[lengths[s]];
    if (h.count[0] == n) return 0; // no codes: complete, but nothing decodes

    int left = 1;
    for (unsigned len = 1; len <= kMaxBits; ++len)
    {
        left = left * 2 - h.count[len];
        if (left < 0) return left;
    }
    std::array<uint16_t, kMaxBits + 2> offsets{};
    std::array<uint32_t, kMaxBits + 2> next{};
    uint32_t code = 0;
    for (unsigned len = 1; len <= kMaxBits; ++len)
    {
        offsets[len + 1] = static_cast<uint16_t>(offsets[len] + h.count[len]);
        code = (code + (len > 1 ? h.count[len - 1] : 0u)) << 1;
        next[len] = code;
    }
    for (unsigned s = 0; s < n; ++s)
    {
        const unsigned len = lengths[s];
        if (len == 0) continue;
        h.symbol[offsets[len]++] = static_cast<uint16_t>(s);
        // Short codes also go into the table indexed by the next kFastBits bits of the stream
        // (codes are sent first bit first, so the table holds them reversed).
        const uint32_t c = next[len]++;
        if (len > kFastBits) continue;
        for (uint32_t k = Reverse(c, len); k < (1u << kFastBits); k += 1u << len)
            h.fast[k] = static_cast<uint16_t>(s << 4 | len);
    }
    return left;
}

int KDeflateWalker::Decode(KRawBitReader& bits, const tagHuffman& h)
{
    const uint16_t e = h.fast[bits.Peek(kFastBits)];
    if (e)
    {
        bits.Drop(e & 15u);
        return e >> 4;
    }
    // A longer code (or none): canonical decoding one bit at a time.
    const uint32_t peek = bits.Peek(kMaxBits);
    int code = 0, first = 0, index = 0;
    for (unsigned len = 1; len <= kMaxBits; ++len)
    {
        code |= static_cast<int>((peek >> (len - 1)) & 1u);
        const int count = h.count[len];
        if (code - count < first)
        {
            bits.Drop(len);
            return h.symbol[static_cast<size_t>(index + (code - first))];
        }
        index += count;
        first = (first + count) << 1;
        code <<= 1;
    }
    return -1;
}

KDeflateWalker::Step KDeflateWalker::Stored(KRawBitReader& bits, uint64_t& output)
{
    bits.AlignToByte();
    const uint32_t len = bits.Bits(16);
    const uint32_t nlen = bits.Bits(16);
    if (bits.Exhausted()) return Step::Truncated;
    if (len != (~nlen & 0xFFFFu)) return Step::Invalid;
    bits.SkipBytes(len);
    if (bits.Exhausted()) return Step::Truncated;
    output += len;
    return Step::Ok;
}

KDeflateWalker::Step KDeflateWalker::Dynamic(KRawBitReader& bits)
{
    const unsigned nlen = bits.Bits(5) + 257;
    const unsigned ndist = bits.Bits(5) + 1;
    const unsigned ncode = bits.Bits(4) + 4;
    if (bits.Exhausted()) return Step::Truncated;
    if (nlen > kMaxLengthCodes || ndist > kMaxDistanceCodes) return Step::Invalid;

    uint8_t lengths[kMaxLengthCodes + kMaxDistanceCodes] = {};
    for (unsigned i = 0; i < ncode; ++i) lengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(bits.Bits(3));
    if (Build(m_Lengths, lengths, 19) != 0) return bits.Exhausted() ? Step::Truncated : Step::Invalid;

    for (unsigned i = 0; i < nlen + ndist;)
    {
        const int sym = Decode(bits, m_Lengths);
        if (bits.Exhausted()) return Step::Truncated;
        if (sym < 0) return Step::Invalid;
        if (sym < 16)
        {
            lengths[i++] = static_cast<uint8_t>(sym);
            continue;
        }
        uint8_t value = 0;
        unsigned repeat = 0;
        if (sym == 16)
        {
            if (i == 0) return Step::Invalid; // nothing to repeat
            value = lengths[i - 1];
            repeat = 3 + bits.Bits(2);
        }
        else if (sym == 17)
        {
            repeat = 3 + bits.Bits(3);
        }
        else
        {
            repeat = 11 + bits.Bits(7);
        }
        if (repeat > nlen + ndist - i) return Step::Invalid;
        std::fill(lengths + i, lengths + i + repeat, value);
        i += repeat;
    }
    if (bits.Exhausted()) return Step::Truncated;
    if (lengths[kEndOfBlock] == 0) return Step::Invalid; // a block that cannot end
    // An incomplete code is allowed only when it is a single code.
    int left = Build(m_Lengths, lengths, nlen);
    if (left < 0 || (left > 0 && nlen - m_Lengths.count[0] != 1)) return Step::Invalid;
    left = Build(m_Distances, lengths + nlen, ndist);
    if (left < 0 || (left > 0 && ndist - m_Distances.count[0] != 1)) return Step::Invalid;
    return Step::Ok;
}

KDeflateWalker::Step KDeflateWalker::Codes(KRawBitReader& bits, const tagHuffman& lengths, const tagHuffman& distances,
                                           uint64_t& output)
{
    // Every symbol takes at least one bit, and bits run out at the reader's limit.
    for (;;)
    {
        const int sym = Decode(bits, lengths);
        if (bits.Exhausted()) return Step::Truncated;
        if (sym < 0) return Step::Invalid;
        if (sym < static_cast<int>(kEndOfBlock))
        {
            ++output;
            continue;
        }
        if (sym == static_cast<int>(kEndOfBlock)) return Step::Ok;
        const unsigned li = static_cast<unsigned>(sym) - 257;
        if (li >= 29) return Step::Invalid;
        const uint32_t length = kLengthBase[li] + bits.Bits(kLengthExtra[li]);
        const int dsym = Decode(bits, distances);
        if (bits.Exhausted()) return Step::Truncated;
        if (dsym < 0 || dsym >= static_cast<int>(kMaxDistanceCodes)) return Step::Invalid;
        const uint32_t distance = kDistanceBase[dsym] + bits.Bits(kDistanceExtra[dsym]);
        if (bits.Exhausted()) return Step::Truncated;
        if (distance > output) return Step::Invalid; // before the first byte of output
        output += length;
    }
}

tagDeflateWalk KDeflateWalker::Walk(KRawReader& reader, uint64_t offset)
{
    tagDeflateWalk w;
    KRawBitReader bits(reader, offset);
    bool last = false;
    while (!last)
    {
        last = bits.Bits(1) != 0;
        const uint32_t type = bits.Bits(2);
        Step step = Step::Invalid;
        if (bits.Exhausted())
        {
            step = Step::Truncated;
        }
        else if (type == 0)
        {
            step = Stored(bits, w.output);
        }
        else if (type == 1)
        {
            step = Codes(bits, m_FixedLengths, m_FixedDistances, w.output);
        }
        else if (type == 2)
        {
            step = Dynamic(bits);
            if (step == Step::Ok) step = Codes(bits, m_Lengths, m_Distances, w.output);
        }
        w.reached = bits.BytePos();
        if (step != Step::Ok)
        {
            w.outcome = step == Step::Truncated ? tagDeflateWalk::Outcome::Truncated : tagDeflateWalk::Outcome::Invalid;
            return w;
        }
        ++w.blocks;
    }
    bits.AlignToByte();
    w.end = w.reached = bits.BytePos();
    w.outcome = tagDeflateWalk::Outcome::End;
    return w;
}
