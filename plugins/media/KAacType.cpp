#include "media/KAacType.h"

namespace {
constexpr tagRawTypeInfo kInfo{"aac", "AAC Audio", 256, 2LL * 1024 * 1024 * 1024};
// Sync word, MPEG-4 or MPEG-2, layer 0, with or without CRC.
constexpr tagRawSignature kSignatures[] = {
    {0, 2, "\xFF\xF1"}, {0, 2, "\xFF\xF9"}, {0, 2, "\xFF\xF0"}, {0, 2, "\xFF\xF8"}};

constexpr size_t kHeaderBytes = 7;
constexpr uint32_t kMinFrame = 8;
constexpr int kMinFrames = 8;
constexpr uint64_t kMaxFrames = 1ull << 28;

struct tagAdts
{
    uint32_t fixed;  // the fields every frame of a stream repeats
    uint32_t length; // the whole frame, header included
};

bool ParseAdts(ByteView h, tagAdts& out)
{
    if (h.size() < kHeaderBytes || h[0] != 0xFF || (h[1] & 0xF6) != 0xF0) return false;
    const uint8_t rate = (h[2] >> 2) & 0x0F;
    const uint8_t channels = static_cast<uint8_t>((h[2] & 0x01) << 2 | h[3] >> 6);
    if (rate > 12 || channels == 0) return false;
    out.fixed = static_cast<uint32_t>(h[1]) << 16 | static_cast<uint32_t>(h[2] & 0xFD) << 8 | (h[3] & 0xF0);
    out.length = static_cast<uint32_t>(h[3] & 0x03) << 11 | static_cast<uint32_t>(h[4]) << 3 | h[5] >> 5;
    return out.length >= kMinFrame;
}
} // namespace

KAacType::KAacType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KAacType::CheckHeader(ByteView head, uint64_t&) const
{
    tagAdts first{};
    return ParseAdts(head, first) ? RawHeader::Open : RawHeader::No;
}

tagRawMatch KAacType::FindEnd(KRawReader& reader) const
{
    tagAdts first{};
    if (!ParseAdts(reader.View(0, kHeaderBytes), first)) return {};
    uint64_t pos = 0, frames = 0;
    for (; frames < kMaxFrames; ++frames)
    {
        const ByteView h = reader.View(pos, kHeaderBytes);
        tagAdts f{};
        if (h.empty())
        {
            if (frames >= kMinFrames) return {true, 0, pos}; // cut by the volume
            return {};
        }
        if (!ParseAdts(h, f) || f.fixed != first.fixed) break;
        pos += f.length;
    }
    if (frames < kMinFrames) return {};
    return {true, pos};
}
