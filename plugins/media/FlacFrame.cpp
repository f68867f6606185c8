#include "media/FlacFrame.h"

#include <array>
#include <bit>

namespace {
constexpr uint32_t kMaxUnary = 1u << 24; // a quotient longer than any real residual

constexpr std::array<uint8_t, 256> MakeCrc8()
{
    std::array<uint8_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i)
    {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 0x80) ? (c << 1) ^ 0x07 : c << 1;
        t[i] = static_cast<uint8_t>(c);
    }
    return t;
}
constexpr std::array<uint16_t, 256> MakeCrc16()
{
    std::array<uint16_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i)
    {
        uint32_t c = i << 8;
        for (int k = 0; k < 8; ++k) c = (c & 0x8000) ? (c << 1) ^ 0x8005 : c << 1;
        t[i] = static_cast<uint16_t>(c);
    }
    return t;
}
constexpr std::array<uint8_t, 256> kCrc8 = MakeCrc8();
constexpr std::array<uint16_t, 256> kCrc16 = MakeCrc16();

// Bits of a view, most significant first, with a sticky overrun flag.
class KMsbBits
{
public:
    explicit KMsbBits(ByteView v) : m_View(v) {}

    uint64_t Bits(unsigned n) // n <= 57
    {
        if (n == 0) return 0;
        const uint64_t v = Peek() >> (64 - n);
        Skip(n);
        return v;
    }
    void Skip(uint64_t n)
    {
        if (n > m_View.size() * 8 - m_Pos)
        {
            m_Overrun = true;
            m_Pos = m_View.size() * 8;
            return;
        }
        m_Pos += n;
    }
    // Zero bits up to and including the next one bit; their count.
    uint32_t Unary()
    {
        uint32_t zeros = 0;
        while (!m_Overrun && zeros < kMaxUnary)
        {
            const uint64_t p = Peek();
            if (p != 0)
            {
                const unsigned z = static_cast<unsigned>(std::countl_zero(p));
                if (z < 57)
                {
                    Skip(z + 1);
                    return zeros + z;
                }
            }
            zeros += 56;
            Skip(56);
        }
        m_Overrun = true;
        return zeros;
    }
    void AlignToByte() { m_Pos = (m_Pos + 7) & ~uint64_t{7}; }
    uint64_t BytePos() const { return m_Pos / 8; }
    bool Overrun() const { return m_Overrun; }

    // One Rice-coded value: a unary quotient and `param` low bits. Usually all of it lies in
    // one look at the next bits.
    void SkipRice(uint64_t param)
    {
        const uint64_t p = Peek();
        if (p != 0)
        {
            const uint64_t z = static_cast<uint64_t>(std::countl_zero(p));
            if (z + 1 + param <= 57)
            {
                Skip(z + 1 + param);
                return;
            }
        }
        Unary();
        Skip(param);
    }

private:
    // The next 57 bits or more (zeros past the end), first bit highest.
    uint64_t Peek() const
    {
        const size_t byte = static_cast<size_t>(m_Pos / 8);
        uint64_t v = 0;
        if (byte + 8 <= m_View.size())
        {
            v = __builtin_bswap64(PeekU64LE(m_View.data() + byte));
        }
        else
        {
            for (size_t i = 0; i < 8; ++i) v = v << 8 | (byte + i < m_View.size() ? m_View[byte + i] : 0);
        }
        return v << (m_Pos % 8);
    }

    ByteView m_View;
    uint64_t m_Pos = 0;
    bool m_Overrun = false;
};

bool Residual(KMsbBits& bits, uint32_t blockSize, uint32_t order)
{
    const uint64_t method = bits.Bits(2);
    if (method > 1) return false;
    const unsigned paramBits = method == 0 ? 4 : 5;
    const uint64_t escape = (1u << paramBits) - 1;
    const unsigned partitionOrder = static_cast<unsigned>(bits.Bits(4));
    const uint32_t perPartition = blockSize >> partitionOrder;
    if ((perPartition << partitionOrder) != blockSize || perPartition < order) return false;
    for (uint32_t p = 0; p < (1u << partitionOrder) && !bits.Overrun(); ++p)
    {
        const uint32_t samples = p == 0 ? perPartition - order : perPartition;
        const uint64_t param = bits.Bits(paramBits);
        if (param == escape)
        {
            bits.Skip(static_cast<uint64_t>(samples) * bits.Bits(5));
            continue;
        }
        for (uint32_t s = 0; s < samples && !bits.Overrun(); ++s) bits.SkipRice(param);
    }
    return !bits.Overrun();
}

bool Subframe(KMsbBits& bits, uint32_t blockSize, uint32_t bps)
{
    if (bits.Bits(1) != 0) return false; // zero padding bit
    const uint32_t type = static_cast<uint32_t>(bits.Bits(6));
    if (bits.Bits(1))
    {
        const uint32_t wasted = bits.Unary() + 1;
        if (wasted >= bps) return false;
        bps -= wasted;
    }
    if (type == 0)
    {
        bits.Skip(bps);
    }
    else if (type == 1)
    {
        bits.Skip(static_cast<uint64_t>(blockSize) * bps);
    }
    else if (type >= 8 && type <= 12)
    {
        const uint32_t order = type - 8;
        bits.Skip(static_cast<uint64_t>(order) * bps);
        if (!Residual(bits, blockSize, order)) return false;
    }
    else if (type >= 32)
    {
        const uint32_t order = type - 31;
        bits.Skip(static_cast<uint64_t>(order) * bps);
        const uint32_t precision = static_cast<uint32_t>(bits.Bits(4)) + 1;
        if (precision == 16) return false;
        bits.Skip(5 + static_cast<uint64_t>(order) * precision);
        if (!Residual(bits, blockSize, order)) return false;
    }
    else
    {
        return false; // reserved types
    }
    return !bits.Overrun();
}
} // namespace

bool ParseFlacStreamInfo(ByteView body, tagFlacStreamInfo& info)
{
    if (body.size() < 34) return false;
    KMsbBits bits(body);
    const uint32_t minBlock = static_cast<uint32_t>(bits.Bits(16));
    info.maxBlockSize = static_cast<uint32_t>(bits.Bits(16));
    bits.Skip(48); // minimum and maximum frame size
    info.sampleRate = static_cast<uint32_t>(bits.Bits(20));
    info.channels = static_cast<uint32_t>(bits.Bits(3)) + 1;
    info.bitsPerSample = static_cast<uint32_t>(bits.Bits(5)) + 1;
    info.totalSamples = bits.Bits(36);
    return info.sampleRate != 0 && info.maxBlockSize >= 16 && minBlock <= info.maxBlockSize && info.bitsPerSample >= 4;
}

FlacFrameResult ParseFlacFrame(ByteView bytes, const tagFlacStreamInfo& info, tagFlacFrame& frame)
{
    KMsbBits bits(bytes);
    if (bits.Bits(15) != 0x7FFC) return FlacFrameResult::NoFrame; // sync code and the reserved zero bit
    bits.Skip(1);                                                 // blocking strategy
    const uint32_t sizeCode = static_cast<uint32_t>(bits.Bits(4));
    const uint32_t rateCode = static_cast<uint32_t>(bits.Bits(4));
    const uint32_t layout = static_cast<uint32_t>(bits.Bits(4));
    const uint32_t depthCode = static_cast<uint32_t>(bits.Bits(3));
    if (bits.Bits(1) != 0 || sizeCode == 0 || rateCode == 15 || layout > 10 || depthCode == 3)
        return FlacFrameResult::NoFrame;
    // The frame or sample number, coded like UTF-8 in one to seven bytes.
    const uint32_t lead = static_cast<uint32_t>(bits.Bits(8));
    const unsigned extra = lead < 0x80 ? 0 : static_cast<unsigned>(std::countl_one(static_cast<uint8_t>(lead))) - 1;
    if ((lead >= 0x80 && lead < 0xC0) || lead == 0xFF || extra > 6) return FlacFrameResult::NoFrame;
    for (unsigned i = 0; i < extra; ++i)
    {
        if (bits.Bits(2) != 2) return FlacFrameResult::NoFrame; // continuation bytes are 10xxxxxx
        bits.Skip(6);
    }

    uint32_t blockSize = 0;
    if (sizeCode == 1)
        blockSize = 192;
    else if (sizeCode <= 5)
        blockSize = 576u << (sizeCode - 2);
    else if (sizeCode == 6)
        blockSize = static_cast<uint32_t>(bits.Bits(8)) + 1;
    else if (sizeCode == 7)
        blockSize = static_cast<uint32_t>(bits.Bits(16)) + 1;
    else
        blockSize = 256u << (sizeCode - 8);
    if (rateCode == 12)
        bits.Skip(8);
    else if (rateCode == 13 || rateCode == 14)
        bits.Skip(16);
    if (bits.Overrun()) return FlacFrameResult::Broken; // cut inside the header
    const size_t headerBytes = static_cast<size_t>(bits.BytePos());
    uint8_t crc8 = 0;
    for (size_t i = 0; i < headerBytes; ++i) crc8 = kCrc8[crc8 ^ bytes[i]];
    if (headerBytes >= bytes.size()) return FlacFrameResult::Broken;
    if (crc8 != bytes[headerBytes]) return FlacFrameResult::NoFrame;
    bits.Skip(8);

    static constexpr uint32_t kDepths[8] = {0, 8, 12, 0, 16, 20, 24, 32};
    const uint32_t bps = depthCode == 0 ? info.bitsPerSample : kDepths[depthCode];
    const uint32_t channels = layout < 8 ? layout + 1 : 2;
    if (channels != info.channels || blockSize > info.maxBlockSize || bps < 4 || bps > 32)
        return FlacFrameResult::NoFrame;
    for (uint32_t ch = 0; ch < channels; ++ch)
    {
        // The side channel of a stereo pair carries one bit more.
        const bool side = (layout == 8 && ch == 1) || (layout == 9 && ch == 0) || (layout == 10 && ch == 1);
        if (!Subframe(bits, blockSize, bps + (side ? 1 : 0))) return FlacFrameResult::Broken;
    }
    bits.AlignToByte();
    const size_t body = static_cast<size_t>(bits.BytePos());
    if (!RangeFits(bytes.size(), body, 2)) return FlacFrameResult::Broken;
    uint16_t crc16 = 0;
    for (size_t i = 0; i < body; ++i) crc16 = static_cast<uint16_t>((crc16 << 8) ^ kCrc16[(crc16 >> 8) ^ bytes[i]]);
    if (crc16 != static_cast<uint16_t>(bytes[body] << 8 | bytes[body + 1])) return FlacFrameResult::Broken;
    frame.length = static_cast<uint32_t>(body + 2);
    frame.blockSize = blockSize;
    return FlacFrameResult::Frame;
}
