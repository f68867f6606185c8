#include "images/KPngType.h"

#include <cstring>

#include "common/RawCrc32.h"

namespace {
constexpr tagRawTypeInfo kInfo{"png", "PNG Image", 67, 512LL * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 8, "\x89PNG\r\n\x1A\n"}};

constexpr uint32_t kSignatureBytes = 8;
constexpr uint32_t kChunkOverhead = 12; // length, type, CRC
constexpr uint32_t kIhdrLength = 13;
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;
constexpr int kMaxChunks = 1 << 20;

bool IsLetter(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
} // namespace

KPngType::KPngType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KPngType::CheckHeader(ByteView head, uint64_t&) const
{
    // IHDR: width, height, bit depth, colour type, compression, filter, interlace.
    uint32_t length = 0, width = 0, height = 0, crc = 0;
    if (!LoadU32BE(head, 8, length) || length != kIhdrLength || !RangeFits(head.size(), 12, 4 + kIhdrLength + 4))
        return RawHeader::No;
    if (std::memcmp(head.data() + 12, "IHDR", 4) != 0) return RawHeader::No;
    LoadU32BE(head, 16, width);
    LoadU32BE(head, 20, height);
    LoadU32BE(head, 29, crc);
    const uint8_t depth = head[24], colour = head[25];
    if (width == 0 || height == 0 || width > kMaxChunkLength || height > kMaxChunkLength) return RawHeader::No;
    if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16) return RawHeader::No;
    if (colour > 6 || colour == 1 || colour == 5 || head[26] != 0 || head[27] != 0 || head[28] > 1)
        return RawHeader::No;
    if (RawCrc32(head.subspan(12, 4 + kIhdrLength)) != crc) return RawHeader::No;
    return RawHeader::Open;
}

tagRawMatch KPngType::FindEnd(KRawReader& reader) const
{
    uint64_t pos = kSignatureBytes;
    for (int n = 0; n < kMaxChunks; ++n)
    {
        ByteView h = reader.View(pos, 8);
        if (h.empty()) break;
        uint32_t length = 0;
        LoadU32BE(h, 0, length);
        if (length > kMaxChunkLength || !IsLetter(h[4]) || !IsLetter(h[5]) || !IsLetter(h[6]) || !IsLetter(h[7])) break;
        pos += kChunkOverhead + static_cast<uint64_t>(length);
        if (std::memcmp(h.data() + 4, "IEND", 4) == 0) return {true, pos};
    }
    // Chunks broke off (overwritten, or beyond the volume): the end cannot be told.
    return {true, 0};
}
