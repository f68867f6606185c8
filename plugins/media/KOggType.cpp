#include "media/KOggType.h"

#include <array>
#include <cstring>

namespace {
constexpr tagRawTypeInfo kInfo{"ogg", "Ogg Media", 58, 16LL * 1024 * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 4, "OggS"}};

// Page header: "OggS", version 0, flags, u64 granule position, u32 stream serial, u32 page
// sequence, u32 CRC, segment count, then one lacing byte per segment and the segments.
constexpr size_t kPageHeader = 27;
constexpr size_t kFlagsOffset = 5;
constexpr size_t kSerialOffset = 14;
constexpr size_t kSequenceOffset = 18;
constexpr size_t kCrcOffset = 22;
constexpr size_t kSegmentsOffset = 26;
constexpr uint8_t kFlagContinued = 0x01;
constexpr uint8_t kFlagFirst = 0x02;
constexpr uint8_t kFlagLast = 0x04;
constexpr size_t kMaxStreams = 32;
constexpr uint64_t kMaxPages = 1ull << 28;

// The Ogg CRC-32: polynomial 0x04C11DB7 fed most significant bit first, initial value 0,
// no final inversion, computed with the CRC field taken as zero.
constexpr std::array<uint32_t, 256> MakeTable()
{
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i)
    {
        uint32_t c = i << 24;
        for (int k = 0; k < 8; ++k) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
        t[i] = c;
    }
    return t;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeTable();

uint32_t OggCrc(ByteView page)
{
    uint32_t crc = 0;
    for (size_t i = 0; i < page.size(); ++i)
    {
        const uint8_t b = (i >= kCrcOffset && i < kCrcOffset + 4) ? 0 : page[i];
        crc = (crc << 8) ^ kCrcTable[((crc >> 24) ^ b) & 0xFF];
    }
    return crc;
}

// A page's length from its header and lacing values, or 0 when its header is not a page's.
size_t PageLength(ByteView v)
{
    if (v.size() < kPageHeader || std::memcmp(v.data(), "OggS", 4) != 0 || v[4] != 0 ||
        (v[kFlagsOffset] & ~(kFlagContinued | kFlagFirst | kFlagLast)) != 0)
        return 0;
    const size_t segments = v[kSegmentsOffset];
    if (v.size() < kPageHeader + segments) return 0;
    size_t length = kPageHeader + segments;
    for (size_t i = 0; i < segments; ++i) length += v[kPageHeader + i];
    return length;
}

// Reads and checks the page at `pos`: its length, or 0 when it is not a whole, intact page.
size_t CheckedPage(KRawReader& reader, uint64_t pos, uint8_t& flags, uint32_t& serial, uint32_t& sequence)
{
    // The longest page is 27 + 255 + 255 * 255 bytes, well inside one view.
    ByteView v = reader.ViewUpTo(pos, kPageHeader + 255 + 255 * 255);
    const size_t length = PageLength(v);
    uint32_t crc = 0;
    if (length == 0 || length > v.size() || !LoadU32LE(v, kCrcOffset, crc) || OggCrc(v.first(length)) != crc) return 0;
    flags = v[kFlagsOffset];
    LoadU32LE(v, kSerialOffset, serial);
    LoadU32LE(v, kSequenceOffset, sequence);
    return length;
}
} // namespace

KOggType::KOggType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KOggType::CheckHeader(ByteView head, uint64_t&) const
{
    // A file starts with the first page of a stream: flagged so, sequence number 0, granule 0.
    uint32_t sequence = 1;
    uint64_t granule = 1;
    if (head.size() < kPageHeader || head[4] != 0 || head[kFlagsOffset] != kFlagFirst ||
        !LoadU32LE(head, kSequenceOffset, sequence) || !LoadU64LE(head, 6, granule) || sequence != 0 || granule != 0)
        return RawHeader::No;
    return RawHeader::Open;
}

tagRawMatch KOggType::FindEnd(KRawReader& reader) const
{
    std::array<uint32_t, kMaxStreams> open{};
    size_t openCount = 0;
    uint64_t pos = 0;
    for (uint64_t n = 0; n < kMaxPages; ++n)
    {
        uint8_t flags = 0;
        uint32_t serial = 0, sequence = 0;
        const size_t length = CheckedPage(reader, pos, flags, serial, sequence);
        if (length == 0)
        {
            // The first page must be intact; after it, damage or the volume's end: the file
            // goes on, its end unknown.
            return {n > 0, 0};
        }
        size_t idx = 0;
        while (idx < openCount && open[idx] != serial) ++idx;
        if (flags & kFlagFirst)
        {
            if (idx != openCount || openCount == kMaxStreams) return {n > 0, 0};
            open[openCount++] = serial;
        }
        else if (idx == openCount)
        {
            // A page of a stream that never started here: another file, or damage.
            return {n > 0, 0};
        }
        pos += length;
        if (flags & kFlagLast)
        {
            open[idx] = open[--openCount];
            if (openCount == 0)
            {
                // A chained file goes on with the first page of a new stream.
                uint8_t nextFlags = 0;
                uint32_t nextSerial = 0, nextSequence = 1;
                if (CheckedPage(reader, pos, nextFlags, nextSerial, nextSequence) == 0 || !(nextFlags & kFlagFirst) ||
                    nextSequence != 0)
                    return {true, pos};
            }
        }
    }
    return {true, 0};
}
