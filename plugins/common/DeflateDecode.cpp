#include "common/DeflateDecode.h"

#include <algorithm>

namespace {

uint32_t Reverse(uint32_t code, unsigned length)
{
    uint32_t r = 0;
    for (unsigned i = 0; i < length; ++i, code >>= 1) r = (r << 1) | (code & 1);
    return r;
}

// Fixed-code blocks: literal/length symbols 0-143 take 8 bits, 144-255 9, 256-279 7 and
// 280-287 8; the 30 distance symbols 5 bits each.
struct tagFixedCodes
{
    tagDeflateCode lengths;
    tagDeflateCode distances;
    tagFixedCodes()
    {
        uint8_t l[288];
        std::fill(l, l + 144, uint8_t{8});
        std::fill(l + 144, l + 256, uint8_t{9});
        std::fill(l + 256, l + 280, uint8_t{7});
        std::fill(l + 280, l + 288, uint8_t{8});
        Deflate::Build(lengths, l, 288);
        std::fill(l, l + Deflate::kMaxDistanceCodes, uint8_t{5});
        Deflate::Build(distances, l, Deflate::kMaxDistanceCodes);
    }
};

const tagFixedCodes& Fixed()
{
    static const tagFixedCodes s_Codes;
    return s_Codes;
}

} // namespace

namespace Deflate {

const tagDeflateCode& FixedLengths() { return Fixed().lengths; }
const tagDeflateCode& FixedDistances() { return Fixed().distances; }

int Build(tagDeflateCode& h, const uint8_t* lengths, unsigned n)
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
        if (len > tagDeflateCode::kFastBits) continue;
        for (uint32_t k = Reverse(c, len); k < (1u << tagDeflateCode::kFastBits); k += 1u << len)
            h.fast[k] = static_cast<uint16_t>(s << 4 | len);
    }
    return left;
}

} // namespace Deflate
