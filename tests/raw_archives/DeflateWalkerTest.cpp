// The deflate walker and the inflater on streams composed bit by bit (where each kind of block
// ends, what it inflates to, the corruptions both must refuse) and on real gzip streams.
#include <gtest/gtest.h>

#include <vector>

#include "ArchiveScan.h"
#include "common/Inflate.h"
#include "common/KDeflateWalker.h"
#include "common/RawCrc32.h"
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
    const tagDeflateWalk w = walker.Walk(reader, 0);

    // The inflater decodes every stream as the walker does, and ends where it ends.
    const tagInflated in = Inflate(stream, 1u << 20);
    const InflateOutcome same = w.outcome == tagDeflateWalk::Outcome::End ? InflateOutcome::Done
        : w.outcome == tagDeflateWalk::Outcome::Truncated                 ? InflateOutcome::Truncated
                                                                          : InflateOutcome::Invalid;
    EXPECT_EQ(in.outcome, same);
    if (in.outcome == InflateOutcome::Done)
    {
        EXPECT_EQ(in.bytes.size(), w.output);
        EXPECT_EQ(in.used, w.end);
    }
    return w;
}

std::vector<uint8_t> Inflated(const std::vector<uint8_t>& stream)
{
    const tagInflated in = Inflate(stream, 1u << 20);
    EXPECT_EQ(in.outcome, InflateOutcome::Done);
    return in.bytes;
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
    EXPECT_EQ(Inflated(s), (std::vector<uint8_t>{'a', 200, 200, 200, 200, 200, 200, 200}));
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
    EXPECT_EQ(Inflated(s), (std::vector<uint8_t>{1, 2, 3, 4, 5, 2, 3, 4}));
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

// Streams written by gzip (dynamic blocks; stored blocks after a file name; one fixed block):
// the inflated bytes match the CRC-32 and length of the trailer, the walker agrees on the end,
// a cap one byte short refuses the stream, and no cut of it inflates as if whole.
TEST(Inflate, RealGzipStreamsInflateToTheirTrailer)
{
    for (const char* file : {"words.gz", "mixed-named.gz", "line.gz"})
    {
        SCOPED_TRACE(file);
        const std::vector<uint8_t> gz = ArchiveSample(file);
        ASSERT_GT(gz.size(), 18u);
        ASSERT_EQ(gz[3] & ~0x08, 0); // at most a file name follows the fixed header
        size_t at = 10;
        if (gz[3] & 0x08)
            while (at < gz.size() && gz[at++] != 0)
            {}
        const std::vector<uint8_t> stream(gz.begin() + static_cast<std::ptrdiff_t>(at), gz.end() - 8);
        const uint32_t crc = PeekU32LE(gz.data() + gz.size() - 8);
        const uint32_t length = PeekU32LE(gz.data() + gz.size() - 4);

        const tagInflated in = Inflate(stream, length);
        ASSERT_EQ(in.outcome, InflateOutcome::Done);
        EXPECT_EQ(in.used, stream.size());
        EXPECT_EQ(in.bytes.size(), length);
        EXPECT_EQ(RawCrc32(in.bytes), crc);
        WalkBytes(stream); // agrees on the end and the length

        const tagInflated shorter = Inflate(stream, length - 1);
        EXPECT_EQ(shorter.outcome, InflateOutcome::TooLarge);
        EXPECT_LE(shorter.bytes.size(), length - 1u);

        const size_t step = std::max<size_t>(stream.size() / 64, 1);
        for (size_t cut = 0; cut < stream.size(); cut += step)
        {
            const ByteView part(stream.data(), cut);
            EXPECT_NE(Inflate(part, length).outcome, InflateOutcome::Done) << cut;
        }
    }
}

// A few bytes that inflate to far more than the cap (one literal, then matches of 258 bytes
// at distance 1): refused at the cap, with no more than the cap held.
TEST(Inflate, OutputBeyondTheCapIsRefused)
{
    KBitWriter w;
    w.Bits(1, 1), w.Bits(1, 2), w.Literal('z');
    for (int i = 0; i < 2000; ++i) w.Code(0xC5, 8), w.Code(0, 5); // length 258, distance 1
    w.EndOfBlock();
    const std::vector<uint8_t> bomb = w.Take();
    const tagInflated capped = Inflate(bomb, 64 * 1024);
    EXPECT_EQ(capped.outcome, InflateOutcome::TooLarge);
    EXPECT_LE(capped.bytes.size(), 64u * 1024);
    const tagInflated whole = Inflate(bomb, 1 + 2000 * 258);
    ASSERT_EQ(whole.outcome, InflateOutcome::Done);
    EXPECT_EQ(whole.bytes, std::vector<uint8_t>(1 + 2000 * 258, 'z'));
}
