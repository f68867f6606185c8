#include "common/KDeflateWalker.h"

#include "common/KRawBitReader.h"

namespace {

// Counts what the stream inflates to and keeps nothing.
class KCountingSink
{
public:
    uint64_t Size() const { return m_Output; }
    bool Literal(uint8_t)
    {
        ++m_Output;
        return true;
    }
    bool Copy(uint32_t length, uint32_t)
    {
        m_Output += length;
        return true;
    }
    DeflateStep Stored(KRawBitReader& bits, uint32_t length)
    {
        bits.SkipBytes(length);
        if (bits.Exhausted()) return DeflateStep::Truncated;
        m_Output += length;
        return DeflateStep::Ok;
    }

private:
    uint64_t m_Output = 0;
};

} // namespace

tagDeflateWalk KDeflateWalker::Walk(KRawReader& reader, uint64_t offset)
{
    tagDeflateWalk w;
    KRawBitReader bits(reader, offset);
    KCountingSink sink;
    bool last = false;
    while (!last)
    {
        const DeflateStep step = m_Blocks.Block(bits, sink, last);
        w.reached = bits.BytePos();
        w.output = sink.Size();
        if (step != DeflateStep::Ok)
        {
            w.outcome =
                step == DeflateStep::Truncated ? tagDeflateWalk::Outcome::Truncated : tagDeflateWalk::Outcome::Invalid;
            return w;
        }
        ++w.blocks;
    }
    bits.AlignToByte();
    w.end = w.reached = bits.BytePos();
    w.outcome = tagDeflateWalk::Outcome::End;
    return w;
}
