#include "common/Inflate.h"

#include "common/DeflateDecode.h"

namespace {

// Bits of a byte view, least significant first. Reading past the end sets a sticky flag and
// yields zero bits.
class KSpanBitReader
{
public:
    explicit KSpanBitReader(ByteView bytes) : m_Bytes(bytes), m_End(uint64_t{bytes.size()} * 8) {}

    uint32_t Peek(unsigned n) const
    {
        // n <= 32 bits from any bit position span at most five bytes.
        const size_t at = static_cast<size_t>(m_Pos / 8);
        uint64_t v = 0;
        for (size_t k = 0; k < 5 && at + k < m_Bytes.size(); ++k) v |= uint64_t{m_Bytes[at + k]} << (8 * k);
        v >>= m_Pos % 8;
        return static_cast<uint32_t>(v & ((uint64_t{1} << n) - 1));
    }
    void Drop(unsigned n)
    {
        if (n > m_End - m_Pos)
        {
            m_Exhausted = true;
            m_Pos = m_End;
            return;
        }
        m_Pos += n;
    }
    uint32_t Bits(unsigned n)
    {
        if (n > m_End - m_Pos)
        {
            m_Exhausted = true;
            m_Pos = m_End;
            return 0;
        }
        const uint32_t v = Peek(n);
        m_Pos += n;
        return v;
    }
    void AlignToByte() { m_Pos = (m_Pos + 7) / 8 * 8; }
    /// The next `n` whole bytes (after AlignToByte); empty and Exhausted when they are not there.
    ByteView Take(size_t n)
    {
        const size_t at = static_cast<size_t>(m_Pos / 8);
        if (!RangeFits(m_Bytes.size(), at, n))
        {
            m_Exhausted = true;
            m_Pos = m_End;
            return {};
        }
        m_Pos += uint64_t{n} * 8;
        return m_Bytes.subspan(at, n);
    }
    size_t BytePos() const { return static_cast<size_t>((m_Pos + 7) / 8); }
    bool Exhausted() const { return m_Exhausted; }

private:
    ByteView m_Bytes;
    uint64_t m_End;
    uint64_t m_Pos = 0; // bit position
    bool m_Exhausted = false;
};

// Writes the output, up to the cap; a match copies from the output itself (the window is the
// whole output, which the cap keeps small).
class KBufferSink
{
public:
    KBufferSink(std::vector<uint8_t>& out, size_t cap) : m_Out(out), m_Cap(cap) {}

    uint64_t Size() const { return m_Out.size(); }
    bool Literal(uint8_t b)
    {
        if (m_Out.size() >= m_Cap) return false;
        m_Out.push_back(b);
        return true;
    }
    bool Copy(uint32_t length, uint32_t distance)
    {
        if (length > m_Cap - m_Out.size()) return false;
        // Byte by byte: a match may overlap the bytes it produces (distance < length).
        size_t from = m_Out.size() - distance;
        for (uint32_t i = 0; i < length; ++i)
        {
            const uint8_t b = m_Out[from++];
            m_Out.push_back(b);
        }
        return true;
    }
    DeflateStep Stored(KSpanBitReader& bits, uint32_t length)
    {
        const ByteView v = bits.Take(length);
        if (bits.Exhausted()) return DeflateStep::Truncated;
        if (length > m_Cap - m_Out.size()) return DeflateStep::Full;
        m_Out.insert(m_Out.end(), v.begin(), v.end());
        return DeflateStep::Ok;
    }

private:
    std::vector<uint8_t>& m_Out;
    size_t m_Cap;
};

} // namespace

tagInflated Inflate(ByteView deflated, size_t cap)
{
    tagInflated r;
    KSpanBitReader bits(deflated);
    KBufferSink sink(r.bytes, cap);
    KDeflateBlocks blocks;
    bool last = false;
    while (!last)
    {
        switch (blocks.Block(bits, sink, last))
        {
        case DeflateStep::Ok: break;
        case DeflateStep::Truncated: r.outcome = InflateOutcome::Truncated; return r;
        case DeflateStep::Invalid: r.outcome = InflateOutcome::Invalid; return r;
        case DeflateStep::Full: r.outcome = InflateOutcome::TooLarge; return r;
        }
    }
    r.outcome = InflateOutcome::Done;
    r.used = bits.BytePos();
    return r;
}
