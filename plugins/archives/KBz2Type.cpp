#include "archives/KBz2Type.h"

#include <cstring>

#include "archives/ArchivesLayout.h"

namespace {
constexpr tagRawTypeInfo kInfo{"bz2", "bzip2 Compressed File", 14, 16LL * 1024 * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 3, "BZh"}};

constexpr uint64_t kMagicMask = (uint64_t{1} << 48) - 1;
constexpr int kMaxStreams = 4096;
// A block holds at most level x 100 000 bytes before compression; incompressible data grows a
// little. A gap between magics longer than this means the stream is damaged or was overwritten.
constexpr uint64_t kBlockSlack = 64 * 1024;

bool StreamHeader(ByteView h)
{
    if (h.size() < 10 || std::memcmp(h.data(), "BZh", 3) != 0 || h[3] < '1' || h[3] > '9') return false;
    uint64_t magic = 0;
    for (size_t i = 4; i < 10; ++i) magic = magic << 8 | h[i];
    return magic == kBz2BlockMagic || magic == kBz2EndMagic;
}

uint32_t Rotl1(uint32_t v) { return v << 1 | v >> 31; }
} // namespace

KBz2Type::KBz2Type() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KBz2Type::CheckHeader(ByteView head, uint64_t&) const
{
    return StreamHeader(head) ? RawHeader::Open : RawHeader::No;
}

uint64_t KBz2Type::StreamEnd(KRawReader& reader, uint64_t offset)
{
    ByteView h = reader.View(offset, 10);
    if (!StreamHeader(h)) return 0;
    const uint64_t maxGap = static_cast<uint64_t>(h[3] - '0') * 125000 + kBlockSlack;

    // Bits go through a 64-bit shift register, first bit highest. A magic found at shift s
    // (bits below it in the register) is followed by a 32-bit CRC, complete 4 bytes later.
    uint64_t reg = 0;
    uint32_t combined = 0;
    uint64_t lastMagic = offset;
    int pending = 0; // bytes still to load before the CRC after a magic is complete
    unsigned pendingShift = 0;
    bool pendingEnd = false;
    uint64_t pos = offset + kBz2StreamHeader;
    while (pos < reader.Limit())
    {
        ByteView v = reader.ViewUpTo(pos, KRawReader::kMaxView);
        if (v.empty()) break;
        for (size_t i = 0; i < v.size(); ++i)
        {
            reg = reg << 8 | v[i];
            if (pending > 0)
            {
                if (--pending > 0) continue;
                const uint32_t crc = static_cast<uint32_t>(reg >> pendingShift);
                if (!pendingEnd)
                {
                    combined = Rotl1(combined) ^ crc;
                    continue;
                }
                // The end of the stream: the byte holding the CRC's last bit is the last one.
                if (crc == combined) return pos + i + 1;
                continue; // an end magic by chance inside a block: keep looking
            }
            for (unsigned s = 0; s < 8; ++s)
            {
                const uint64_t bits = (reg >> s) & kMagicMask;
                if (bits != kBz2BlockMagic && bits != kBz2EndMagic) continue;
                pending = 4;
                pendingShift = s;
                pendingEnd = bits == kBz2EndMagic;
                lastMagic = pos + i;
                break;
            }
            if (pending == 0 && pos + i - lastMagic > maxGap) return 0;
        }
        pos += v.size();
    }
    return 0;
}

tagRawMatch KBz2Type::FindEnd(KRawReader& reader) const
{
    uint64_t end = 0;
    for (int n = 0; n < kMaxStreams; ++n)
    {
        const uint64_t next = StreamEnd(reader, end);
        // A stream header (with its byte-aligned first block magic) was seen: a damaged or
        // cut stream is still a bzip2 file, with an end that cannot be told.
        if (next == 0) return {true, 0};
        end = next;
        // Parallel compressors write one stream per chunk, end to end.
        ByteView h = reader.View(end, 10);
        if (!StreamHeader(h)) break;
    }
    return {true, end};
}
