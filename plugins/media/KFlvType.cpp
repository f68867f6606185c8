#include "media/KFlvType.h"

namespace {
constexpr tagRawTypeInfo kInfo{"flv", "Flash Video", 64, 16LL * 1024 * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 4, "FLV\x01"}};

constexpr uint32_t kHeaderBytes = 9;
constexpr uint64_t kTagHeader = 11;
constexpr uint8_t kAudio = 8, kVideo = 9, kScript = 18;
constexpr uint64_t kMaxTags = 1ull << 26;
} // namespace

KFlvType::KFlvType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KFlvType::CheckHeader(ByteView head, uint64_t&) const
{
    uint32_t headerBytes = 0, first = 1;
    if (!LoadU32BE(head, 5, headerBytes) || !LoadU32BE(head, kHeaderBytes, first)) return RawHeader::No;
    // Flags: bit 0 video, bit 2 audio, the rest reserved; the first "previous tag size" is 0.
    if ((head[4] & ~0x05) != 0 || (head[4] & 0x05) == 0 || headerBytes != kHeaderBytes || first != 0)
        return RawHeader::No;
    return RawHeader::Open;
}

tagRawMatch KFlvType::FindEnd(KRawReader& reader) const
{
    uint64_t pos = kHeaderBytes + 4;
    uint64_t tags = 0;
    for (; tags < kMaxTags; ++tags)
    {
        const ByteView h = reader.View(pos, kTagHeader);
        if (h.empty()) break;
        const uint8_t type = h[0] & 0x1F;
        const uint32_t length = static_cast<uint32_t>(h[1]) << 16 | static_cast<uint32_t>(h[2]) << 8 | h[3];
        if ((h[0] & 0xC0) != 0 || (type != kAudio && type != kVideo && type != kScript) || h[8] || h[9] || h[10]) break;
        uint32_t trailer = 0;
        if (!reader.U32BE(pos + kTagHeader + length, trailer)) return {true, 0, pos}; // cut by the volume
        if (trailer != kTagHeader + length) break;
        pos += kTagHeader + length + 4;
    }
    if (tags == 0) return {};
    return {true, pos};
}
