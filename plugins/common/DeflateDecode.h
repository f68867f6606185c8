#pragma once
// The block structure of a deflate stream (RFC 1951), decoded once for every use: the walker
// that only follows a stream to its end and the inflater that writes its bytes differ only in
// what they do with a literal, a match and a stored block (the sink). Every Huffman code table
// is checked (over-subscribed and incomplete codes refused, but for the single-code case the
// format allows), every repeat of code lengths and every length and distance symbol is checked,
// and a match that reaches before the first byte of output is corruption.
//
// A bit source has Bits(n), Peek(n), Drop(n), AlignToByte() and Exhausted(), least significant
// bit first; reading past its end sets the sticky Exhausted flag and yields zero bits. A sink
// has Size() (bytes of output so far), Literal(byte), Copy(length, distance) and
// Stored(bits, length); the first three of those writing return false when the output is full.
#include <array>
#include <cstddef>
#include <cstdint>

struct tagDeflateCode
{
    static constexpr unsigned kFastBits = 9;
    std::array<uint16_t, 16> count{};             // codes of each length
    std::array<uint16_t, 288> symbol{};           // symbols ordered by code
    std::array<uint16_t, 1u << kFastBits> fast{}; // symbol << 4 | length; 0: decode slowly
};

enum class DeflateStep
{
    Ok,
    Truncated, // the bits ran out first
    Invalid,   // the bits break the format
    Full       // the sink refused more output
};

namespace Deflate {

inline constexpr unsigned kMaxBits = 15;
inline constexpr unsigned kMaxLengthCodes = 286;
inline constexpr unsigned kMaxDistanceCodes = 30;
inline constexpr unsigned kEndOfBlock = 256;
inline constexpr unsigned kLengthSymbols = 29; // 257 .. 285

inline constexpr uint16_t kLengthBase[kLengthSymbols] = {
    3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr uint8_t kLengthExtra[kLengthSymbols] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                         2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr uint16_t kDistanceBase[kMaxDistanceCodes] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
inline constexpr uint8_t kDistanceExtra[kMaxDistanceCodes] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                              6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which a dynamic block sends the code lengths of its code-length code.
inline constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

/// Builds `h` from code lengths (each <= kMaxBits). 0: complete, > 0: incomplete, < 0:
/// over-subscribed.
int Build(tagDeflateCode& h, const uint8_t* lengths, unsigned n);
/// The codes of fixed-code blocks, built once.
const tagDeflateCode& FixedLengths();
const tagDeflateCode& FixedDistances();

/// The next symbol of code `h`; -1 when the bits match no code.
template <class Bits> int DecodeSymbol(Bits& bits, const tagDeflateCode& h)
{
    const uint16_t e = h.fast[bits.Peek(tagDeflateCode::kFastBits)];
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

} // namespace Deflate

/// Decodes one block at a time; keeps the code tables of the current dynamic block.
class KDeflateBlocks
{
public:
    /// Decodes the next block; `last` tells whether it was the final one.
    template <class Bits, class Sink> DeflateStep Block(Bits& bits, Sink& sink, bool& last);

private:
    template <class Bits> DeflateStep Dynamic(Bits& bits);
    template <class Bits, class Sink>
    static DeflateStep Codes(Bits& bits, Sink& sink, const tagDeflateCode& lengths, const tagDeflateCode& distances);

    tagDeflateCode m_Lengths;
    tagDeflateCode m_Distances;
};

template <class Bits, class Sink> DeflateStep KDeflateBlocks::Block(Bits& bits, Sink& sink, bool& last)
{
    last = bits.Bits(1) != 0;
    const uint32_t type = bits.Bits(2);
    if (bits.Exhausted()) return DeflateStep::Truncated;
    if (type == 0)
    {
        bits.AlignToByte();
        const uint32_t len = bits.Bits(16);
        const uint32_t nlen = bits.Bits(16);
        if (bits.Exhausted()) return DeflateStep::Truncated;
        if (len != (~nlen & 0xFFFFu)) return DeflateStep::Invalid;
        return sink.Stored(bits, len);
    }
    if (type == 1) return Codes(bits, sink, Deflate::FixedLengths(), Deflate::FixedDistances());
    if (type == 2)
    {
        const DeflateStep step = Dynamic(bits);
        return step == DeflateStep::Ok ? Codes(bits, sink, m_Lengths, m_Distances) : step;
    }
    return DeflateStep::Invalid; // block type 3 is reserved
}

template <class Bits> DeflateStep KDeflateBlocks::Dynamic(Bits& bits)
{
    using namespace Deflate;
    const unsigned nlen = bits.Bits(5) + 257;
    const unsigned ndist = bits.Bits(5) + 1;
    const unsigned ncode = bits.Bits(4) + 4;
    if (bits.Exhausted()) return DeflateStep::Truncated;
    if (nlen > kMaxLengthCodes || ndist > kMaxDistanceCodes) return DeflateStep::Invalid;

    uint8_t lengths[kMaxLengthCodes + kMaxDistanceCodes] = {};
    for (unsigned i = 0; i < ncode; ++i) lengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(bits.Bits(3));
    if (Build(m_Lengths, lengths, 19) != 0) return bits.Exhausted() ? DeflateStep::Truncated : DeflateStep::Invalid;

    for (unsigned i = 0; i < nlen + ndist;)
    {
        const int sym = DecodeSymbol(bits, m_Lengths);
        if (bits.Exhausted()) return DeflateStep::Truncated;
        if (sym < 0) return DeflateStep::Invalid;
        if (sym < 16)
        {
            lengths[i++] = static_cast<uint8_t>(sym);
            continue;
        }
        uint8_t value = 0;
        unsigned repeat = 0;
        if (sym == 16)
        {
            if (i == 0) return DeflateStep::Invalid; // nothing to repeat
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
        if (repeat > nlen + ndist - i) return DeflateStep::Invalid;
        for (unsigned k = 0; k < repeat; ++k) lengths[i + k] = value;
        i += repeat;
    }
    if (bits.Exhausted()) return DeflateStep::Truncated;
    if (lengths[kEndOfBlock] == 0) return DeflateStep::Invalid; // a block that cannot end
    // An incomplete code is allowed only when it is a single code.
    int left = Build(m_Lengths, lengths, nlen);
    if (left < 0 || (left > 0 && nlen - m_Lengths.count[0] != 1)) return DeflateStep::Invalid;
    left = Build(m_Distances, lengths + nlen, ndist);
    if (left < 0 || (left > 0 && ndist - m_Distances.count[0] != 1)) return DeflateStep::Invalid;
    return DeflateStep::Ok;
}

template <class Bits, class Sink>
DeflateStep KDeflateBlocks::Codes(Bits& bits, Sink& sink, const tagDeflateCode& lengths,
                                  const tagDeflateCode& distances)
{
    using namespace Deflate;
    // Every symbol takes at least one bit, and the bits run out at the source's end.
    for (;;)
    {
        const int sym = DecodeSymbol(bits, lengths);
        if (bits.Exhausted()) return DeflateStep::Truncated;
        if (sym < 0) return DeflateStep::Invalid;
        if (sym < static_cast<int>(kEndOfBlock))
        {
            if (!sink.Literal(static_cast<uint8_t>(sym))) return DeflateStep::Full;
            continue;
        }
        if (sym == static_cast<int>(kEndOfBlock)) return DeflateStep::Ok;
        const unsigned li = static_cast<unsigned>(sym) - 257;
        if (li >= kLengthSymbols) return DeflateStep::Invalid;
        const uint32_t length = kLengthBase[li] + bits.Bits(kLengthExtra[li]);
        const int dsym = DecodeSymbol(bits, distances);
        if (bits.Exhausted()) return DeflateStep::Truncated;
        if (dsym < 0 || dsym >= static_cast<int>(kMaxDistanceCodes)) return DeflateStep::Invalid;
        const uint32_t distance = kDistanceBase[dsym] + bits.Bits(kDistanceExtra[dsym]);
        if (bits.Exhausted()) return DeflateStep::Truncated;
        if (distance > sink.Size()) return DeflateStep::Invalid; // before the first byte of output
        if (!sink.Copy(length, distance)) return DeflateStep::Full;
    }
}
