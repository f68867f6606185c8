#include "media/KMpgType.h"

namespace {
constexpr tagRawTypeInfo kInfo{"mpg", "MPEG Video", 2048, 16LL * 1024 * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 4, "\0\0\1\xBA"}};

constexpr uint8_t kPackStart = 0xBA, kSystemHeader = 0xBB, kProgramEnd = 0xB9;
constexpr uint64_t kMpeg1PackBytes = 12;
constexpr uint64_t kMpeg2PackBytes = 14;
// Packs in a row before a start is believed.
constexpr uint32_t kMinPacks = 2;

// Pack header length at `p` (which holds at least 14 bytes), 0 when the marker bits are wrong.
uint64_t PackLength(ByteView p)
{
    if ((p[4] & 0xC0) == 0x40)
    {
        // MPEG-2: '01' SCR with marker bits, mux rate ending in two marker bits, stuffing count.
        if (!(p[4] & 0x04) || !(p[6] & 0x04) || !(p[8] & 0x04) || !(p[9] & 0x01) || (p[12] & 0x03) != 0x03) return 0;
        return kMpeg2PackBytes + (p[13] & 0x07);
    }
    if ((p[4] & 0xF0) == 0x20)
    {
        // MPEG-1: '0010' SCR with marker bits, then mux rate between marker bits.
        if (!(p[4] & 0x01) || !(p[6] & 0x01) || !(p[8] & 0x01) || !(p[9] & 0x80) || !(p[11] & 0x01)) return 0;
        return kMpeg1PackBytes;
    }
    return 0;
}
} // namespace

KMpgType::KMpgType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KMpgType::CheckHeader(ByteView head, uint64_t&) const
{
    return head.size() >= kMpeg2PackBytes && PackLength(head) ? RawHeader::Open : RawHeader::No;
}

tagRawMatch KMpgType::FindEnd(KRawReader& reader) const
{
    uint64_t pos = 0;
    uint64_t packs = 0;
    for (;;)
    {
        ByteView p = reader.View(pos, kMpeg2PackBytes);
        if (p.empty() || p[0] != 0 || p[1] != 0 || p[2] != 1) break;
        const uint8_t id = p[3];
        if (id == kProgramEnd)
        {
            pos += 4;
            break;
        }
        if (id == kPackStart)
        {
            const uint64_t len = PackLength(p);
            if (!len) break;
            pos += len;
            ++packs;
            continue;
        }
        // System header and PES packets: a 16-bit length after the start code.
        if (id < kSystemHeader) break;
        const uint16_t len = static_cast<uint16_t>(p[4] << 8 | p[5]);
        if (len == 0) break;
        pos += 6 + static_cast<uint64_t>(len);
    }
    if (packs < kMinPacks) return {};
    if (pos > reader.Limit()) return {true, 0};
    return {true, pos};
}
