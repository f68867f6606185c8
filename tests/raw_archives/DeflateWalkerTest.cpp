// The deflate walker on streams composed bit by bit: where each kind of block ends, how much it
// inflates to, and the corruptions it must refuse.
#include <gtest/gtest.h>

#include <vector>

#include "common/KDeflateWalker.h"
#include "support/MemoryMedia.h"

namespace {
// Writes bits least significant first, as deflate packs them; Huffman codes go most
// significant bit first.
class KBitWriter
{
public:
    void Bits(uint32_t value, unsigned n)
    {
        for (unsigned i = 0; i < n; ++i) Bit((value >> i) & 1);
    }
    void Code(uint32_t code, unsigned n)
    {
        for (unsigned i = n; i-- > 0;) Bit((code >> i) & 1);
    }
    void Align() { m_Used = 0; }
    void Byte(uint8_t b)
    {
        Align();
        m_Bytes.push_back(b);
    }
    // Fixed-code symbols.
    void Literal(uint8_t b) { b < 144 ? Code(0x30u + b, 8) : Code(0x190u + b - 144, 9); }
    void EndOfBlock() { Code(0, 7); }
    void Match3(uint32_t distanceCode) { Code(1, 7), Code(distanceCode, 5); } // length 3

    std::vector<uint8_t> Take() { return std::move(m_Bytes); }

private:
    void Bit(uint32_t b)
    {
        if (m_Used == 0 || m_Used == 8)
        {
            m_Bytes.push_back(0);
            m_Used = 0;
        }
        m_Bytes.back() = static_cast<uint8_t>(m_Bytes.back() | (b << m_Used));
        ++m_Used;
    }

    std::vector<uint8_t> m_Bytes;
    unsigned m_Used = 0;
};

tagDeflateWalk WalkBytes(const std::vector<uint8_t>& stream)
{
    std::vector<uint8_t> image(stream);
    image.resize((image.size() / 512 + 1) * 512, 0xEE);
    MemoryVolume volume(image);
    RawScanArgs args{0, image.data(), static_cast<uint32_t>(image.size() / 512), 512, &volume};
    // The reader ends where the stream's bytes end, as at the end of a volume.
    KRawReader reader(args, 0, stream.size());
    KDeflateWalker walker;
    return walker.Walk(reader, 0);
}
} // namespace

TEST(DeflateWalker, FixedBlockEndsAfterItsEndCodeAndCountsItsOutput)
{
    KBitWriter w;
    w.Bits(1, 1), w.Bits(1, 2); // final, fixed codes
    w.Literal('a'), w.Literal(200), w.Match3(0), w.Match3(1), w.EndOfBlock();
    std::vector<uint8_t> s = w.Take();
    const size_t streamBytes = s.size();
    s.insert(s.end(), {0xAA, 0xBB}); // what follows is not the stream's
    const tagDeflateWalk r = WalkBytes(s);
    EXPECT_EQ(r.outcome, tagDeflateWalk::Outcome::End);
    EXPECT_EQ(r.end, streamBytes);
    EXPECT_EQ(r.output, 2u + 3u + 3u);
    EXPECT_EQ(r.blocks, 1u);
}

TEST(DeflateWalker, StoredBlocksAreSkippedByTheirLength)
{
    KBitWriter w;
    w.Bits(0, 1), w.Bits(0, 2); // not final, stored
    w.Byte(5), w.Byte(0), w.Byte(0xFA), w.Byte(0xFF);
    for (uint8_t b : {1, 2, 3, 4, 5}) w.Byte(b);
    w.Bits(1, 1), w.Bits(1, 2), w.Match3(3), w.EndOfBlock(); // distance 4 reaches into the stored bytes
    const std::vector<uint8_t> s = w.Take();
    const tagDeflateWalk r = WalkBytes(s);
    EXPECT_EQ(r.outcome, tagDeflateWalk::Outcome::End);
    EXPECT_EQ(r.end, s.size());
    EXPECT_EQ(r.output, 8u);
    EXPECT_EQ(r.blocks, 2u);
}

TEST(DeflateWalker, CorruptStreamsAreRefused)
{
    {
        SCOPED_TRACE("a match before any output");
        KBitWriter w;
        w.Bits(1, 1), w.Bits(1, 2), w.Match3(0), w.EndOfBlock();
        EXPECT_EQ(WalkBytes(w.Take()).outcome, tagDeflateWalk::Outcome::Invalid);
    }
    {
        SCOPED_TRACE("a distance beyond the output");
        KBitWriter w;
        w.Bits(1, 1), w.Bits(1, 2), w.Literal('x'), w.Literal('y'), w.Match3(2), w.EndOfBlock();
        EXPECT_EQ(WalkBytes(w.Take()).outcome, tagDeflateWalk::Outcome::Invalid);
    }
    {
        SCOPED_TRACE("stored length and its complement disagree");
        KBitWriter w;
        w.Bits(1, 1), w.Bits(0, 2);
        w.Byte(5), w.Byte(0), w.Byte(0xFA), w.Byte(0xFE);
        for (uint8_t b : {1, 2, 3, 4, 5}) w.Byte(b);
        EXPECT_EQ(WalkBytes(w.Take()).outcome, tagDeflateWalk::Outcome::Invalid);
    }
    {
        SCOPED_TRACE("reserved block type");
        KBitWriter w;
        w.Bits(1, 1), w.Bits(3, 2), w.Bits(0, 16);
        EXPECT_EQ(WalkBytes(w.Take()).outcome, tagDeflateWalk::Outcome::Invalid);
    }
    {
        SCOPED_TRACE("distance codes 30 and 31 do not exist");
        KBitWriter w;
        w.Bits(1, 1), w.Bits(1, 2), w.Literal('x'), w.Match3(30), w.EndOfBlock();
        EXPECT_EQ(WalkBytes(w.Take()).outcome, tagDeflateWalk::Outcome::Invalid);
    }
    {
        SCOPED_TRACE("dynamic block with an over-subscribed code-length code");
        KBitWriter w;
        w.Bits(1, 1), w.Bits(2, 2);
        w.Bits(0, 5), w.Bits(0, 5), w.Bits(15, 4); // 257 + 1 codes, 19 code-length codes
        for (int i = 0; i < 19; ++i) w.Bits(1, 3); // nineteen codes of one bit
        EXPECT_EQ(WalkBytes(w.Take()).outcome, tagDeflateWalk::Outcome::Invalid);
    }
}

TEST(DeflateWalker, StreamsCutShortAreTruncatedNotEnded)
{
    KBitWriter w;
    w.Bits(0, 1), w.Bits(1, 2); // a fixed block that is not the last
    for (int i = 0; i < 40; ++i) w.Literal(static_cast<uint8_t>('a' + i % 26));
    w.EndOfBlock();
    const std::vector<uint8_t> s = w.Take(); // and no final block after it
    const tagDeflateWalk r = WalkBytes(s);
    EXPECT_EQ(r.outcome, tagDeflateWalk::Outcome::Truncated);
    EXPECT_EQ(r.blocks, 1u);

    std::vector<uint8_t> cut(s.begin(), s.begin() + 10);
    EXPECT_EQ(WalkBytes(cut).outcome, tagDeflateWalk::Outcome::Truncated);

    // A stored block that claims more bytes than there are.
    KBitWriter big;
    big.Bits(1, 1), big.Bits(0, 2), big.Byte(0xFF), big.Byte(0x7F), big.Byte(0x00), big.Byte(0x80), big.Byte(1);
    EXPECT_EQ(WalkBytes(big.Take()).outcome, tagDeflateWalk::Outcome::Truncated);
}
