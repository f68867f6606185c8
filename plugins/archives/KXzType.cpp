#include "archives/KXzType.h"

#include <algorithm>
#include <cstring>

#include "archives/ArchivesLayout.h"
#include "common/RawCrc32.h"

namespace {
constexpr tagRawTypeInfo kInfo{"xz", "xz Compressed File", 32, 16LL * 1024 * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 6, kXzMagic}};

constexpr uint64_t kMaxBlocks = 1u << 24;
constexpr uint64_t kMaxChunks = 1ull << 32;
constexpr unsigned kMaxVliBytes = 9;
constexpr uint64_t kMaxStreams = 4096;
constexpr uint64_t kMaxStreamPadding = 64 * 1024;

// Bytes of the integrity check after each block, by the check type of the stream flags.
uint32_t CheckBytes(uint8_t type)
{
    if (type == 0) return 0;
    return 4u << ((type - 1) / 3);
}

uint64_t Align4(uint64_t v) { return (v + 3) & ~uint64_t{3}; }

// A variable-length integer: 7 bits a byte, low first, the high bit set on all but the last;
// at most nine bytes and no superfluous zero byte at the end.
bool Vli(KByteCursor& c, uint64_t& out)
{
    out = 0;
    for (unsigned i = 0; i < kMaxVliBytes; ++i)
    {
        const uint8_t b = c.U8();
        if (c.Overrun()) return false;
        out |= static_cast<uint64_t>(b & 0x7F) << (7 * i);
        if (!(b & 0x80)) return i == 0 || b != 0;
    }
    return false;
}

bool StreamHeader(ByteView head, tagXzStreamHeader& h)
{
    return LoadRecord(head, 0, h) && std::memcmp(h.Magic, kXzMagic, 6) == 0 && h.Flags[0] == 0 &&
        (h.Flags[1] & 0xF0) == 0 && RawCrc32(head.subspan(6, 2)) == h.Crc;
}
} // namespace

KXzType::KXzType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KXzType::CheckHeader(ByteView head, uint64_t&) const
{
    tagXzStreamHeader h;
    return StreamHeader(head, h) ? RawHeader::Open : RawHeader::No;
}

uint64_t KXzType::Lzma2End(KRawReader& reader, uint64_t pos)
{
    // Chunks: control 0 ends the data; 1 and 2 are stored chunks of a 16-bit size + 1;
    // 0x80 and up are compressed chunks with the packed size + 1 in bytes 3..4, and from 0xC0
    // on a properties byte after it. Every chunk takes at least two bytes, so the loop ends.
    for (uint64_t n = 0; n < kMaxChunks; ++n)
    {
        ByteView h = reader.ViewUpTo(pos, 6);
        if (h.empty()) return 0;
        const uint8_t control = h[0];
        uint16_t size = 0;
        if (control == 0) return pos + 1;
        if (control == 1 || control == 2)
        {
            if (!LoadU16BE(h, 1, size)) return 0;
            pos += 3 + static_cast<uint64_t>(size) + 1;
        }
        else if (control >= 0x80)
        {
            if (!LoadU16BE(h, 3, size)) return 0;
            pos += (control >= 0xC0 ? 6u : 5u) + static_cast<uint64_t>(size) + 1;
        }
        else
        {
            return 0;
        }
        if (pos >= reader.Limit()) return 0;
    }
    return 0;
}

uint64_t KXzType::BlockEnd(KRawReader& reader, uint64_t pos, uint32_t checkBytes, tagBlocks& blocks)
{
    uint8_t first = 0;
    if (!reader.U8(pos, first)) return 0;
    const uint32_t headerBytes = (static_cast<uint32_t>(first) + 1) * 4;
    ByteView h = reader.View(pos, headerBytes);
    uint32_t crc = 0;
    if (h.empty() || !LoadU32LE(h, headerBytes - 4, crc) || RawCrc32(h.first(headerBytes - 4)) != crc) return 0;
    const uint8_t flags = h[1];
    if (flags & kXzBlockReservedFlags) return 0;
    KByteCursor c(h.first(headerBytes - 4), 2);
    uint64_t compressed = 0, uncompressed = 0, filter = 0;
    if ((flags & kXzBlockHasCompressedSize) && (!Vli(c, compressed) || compressed == 0)) return 0;
    if ((flags & kXzBlockHasUncompressedSize) && !Vli(c, uncompressed)) return 0;
    for (unsigned f = 0; f <= (flags & 3u); ++f)
    {
        uint64_t propsBytes = 0;
        if (!Vli(c, filter) || !Vli(c, propsBytes) || propsBytes > c.Remaining()) return 0;
        c.Skip(static_cast<size_t>(propsBytes));
    }
    const uint64_t data = pos + headerBytes;
    if (!(flags & kXzBlockHasCompressedSize))
    {
        // Streamed by the writer: only the last filter's own framing tells where data ends.
        if (filter != kXzFilterLzma2) return 0;
        const uint64_t end = Lzma2End(reader, data);
        if (end == 0) return 0;
        compressed = end - data;
    }
    if (compressed > reader.Limit() - data) return 0;
    ++blocks.count;
    blocks.unpaddedSum += headerBytes + compressed + checkBytes;
    const uint64_t padded = Align4(data + compressed);
    return padded > reader.Limit() - checkBytes ? 0 : padded + checkBytes;
}

uint64_t KXzType::IndexSize(KRawReader& reader, uint64_t pos, const tagBlocks& blocks)
{
    // Indicator 0, the record count, then per record the unpadded and uncompressed size of a
    // block; zero padding to 4 bytes; CRC-32 of all of it. Records are read in windows.
    uint64_t off = pos + 1;
    auto vliAt = [&](uint64_t& out) {
        ByteView v = reader.ViewUpTo(off, kMaxVliBytes);
        KByteCursor c(v);
        if (!Vli(c, out)) return false;
        off += c.Pos();
        return true;
    };
    uint64_t count = 0;
    if (!vliAt(count) || count != blocks.count) return 0;
    uint64_t unpaddedSum = 0;
    for (uint64_t r = 0; r < count; ++r)
    {
        uint64_t unpadded = 0, uncompressed = 0;
        if (!vliAt(unpadded) || !vliAt(uncompressed)) return 0;
        unpaddedSum += unpadded;
    }
    if (unpaddedSum != blocks.unpaddedSum) return 0;
    const uint64_t crcAt = Align4(off);
    for (uint64_t p = off; p < crcAt; ++p)
    {
        uint8_t zero = 1;
        if (!reader.U8(p, zero) || zero != 0) return 0;
    }
    uint32_t crc = 0;
    for (uint64_t p = pos; p < crcAt;)
    {
        ByteView v = reader.View(p, static_cast<size_t>(std::min<uint64_t>(crcAt - p, KRawReader::kMaxView)));
        if (v.empty()) return 0;
        crc = RawCrc32(v, crc);
        p += v.size();
    }
    uint32_t stored = 0;
    if (!reader.U32LE(crcAt, stored) || stored != crc) return 0;
    return crcAt + 4 - pos;
}

uint64_t KXzType::StreamEnd(KRawReader& reader, uint64_t start)
{
    tagXzStreamHeader header;
    if (!StreamHeader(reader.View(start, sizeof(header)), header)) return 0;
    const uint32_t checkBytes = CheckBytes(header.Flags[1]);

    tagBlocks blocks;
    uint64_t pos = start + sizeof(header);
    for (;;)
    {
        uint8_t first = 0;
        if (!reader.U8(pos, first)) return 0;
        if (first == 0) break; // the index indicator
        if (blocks.count >= kMaxBlocks) return 0;
        pos = BlockEnd(reader, pos, checkBytes, blocks);
        if (pos == 0) return 0;
    }
    const uint64_t indexSize = IndexSize(reader, pos, blocks);
    if (indexSize == 0) return 0;
    const uint64_t footerAt = pos + indexSize;
    tagXzStreamFooter f;
    ByteView fv = reader.View(footerAt, sizeof(f));
    if (!LoadRecord(fv, 0, f) || std::memcmp(f.Magic, kXzFooterMagic, 2) != 0 ||
        std::memcmp(f.Flags, header.Flags, 2) != 0 || (static_cast<uint64_t>(f.BackwardSize) + 1) * 4 != indexSize ||
        RawCrc32(fv.subspan(4, 6)) != f.Crc)
        return 0;
    return footerAt + sizeof(f);
}

tagRawMatch KXzType::FindEnd(KRawReader& reader) const
{
    tagXzStreamHeader header;
    if (!StreamHeader(reader.View(0, sizeof(header)), header)) return {};
    // Streams may follow each other (files joined with cat), with stream padding between
    // them: zero bytes in groups of four. Padding after the last stream cannot be told from
    // the zeros of free space, so the file ends after the last footer.
    uint64_t end = 0;
    for (uint64_t n = 0; n < kMaxStreams; ++n)
    {
        const uint64_t next = StreamEnd(reader, end);
        // A stream that breaks off leaves the end unknown, after whole ones too.
        if (next == 0) return {true, 0, end};
        end = next;
        uint64_t pos = end;
        uint32_t word = 0;
        while (pos - end < kMaxStreamPadding && reader.U32LE(pos, word) && word == 0) pos += 4;
        tagXzStreamHeader following;
        if (!StreamHeader(reader.View(pos, sizeof(following)), following)) return {true, end};
        end = pos;
    }
    return {true, end};
}
