#include "images/KWebpType.h"

#include <cstring>

namespace {
constexpr tagRawTypeInfo kInfo{"webp", "WebP Image", 26, 0xFFFFFFFFLL + 8};
constexpr tagRawSignature kSignatures[] = {{0, 4, "RIFF"}};

// "RIFF", u32 length of what follows, "WEBP", then the first chunk: id, u32 length, data.
constexpr size_t kFormOffset = 8;
constexpr size_t kChunkOffset = 12;
constexpr uint32_t kFormHeader = 8;       // "RIFF" and the length
constexpr uint32_t kMinForm = 4 + 8 + 10; // form type, chunk header, the smallest bitstream header
} // namespace

KWebpType::KWebpType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KWebpType::CheckHeader(ByteView head, uint64_t& size) const
{
    uint32_t formLength = 0, chunkLength = 0;
    if (!LoadU32LE(head, 4, formLength) || !LoadU32LE(head, kChunkOffset + 4, chunkLength) ||
        std::memcmp(head.data() + kFormOffset, "WEBP", 4) != 0)
        return RawHeader::No;
    const uint8_t* chunk = head.data() + kChunkOffset;
    const bool lossy = std::memcmp(chunk, "VP8 ", 4) == 0;
    const bool lossless = std::memcmp(chunk, "VP8L", 4) == 0;
    const bool extended = std::memcmp(chunk, "VP8X", 4) == 0;
    if (!lossy && !lossless && !extended) return RawHeader::No;
    // The first chunk lies inside the form; a form length of all ones is an unfinished write.
    if (formLength < kMinForm || formLength == 0xFFFFFFFFu || chunkLength > formLength - 4 - 8) return RawHeader::No;
    // Bitstream headers: a lossy key frame carries the start code 9D 01 2A, a lossless one the
    // signature byte 0x2F, and the extended header is ten bytes with reserved bits clear.
    if (lossy && (head.size() < 26 || head[23] != 0x9D || head[24] != 0x01 || head[25] != 0x2A)) return RawHeader::No;
    if (lossless && (head.size() < 21 || head[20] != 0x2F)) return RawHeader::No;
    if (extended && (chunkLength != 10 || head.size() < 21 || (head[20] & 0xC1) != 0)) return RawHeader::No;
    size = kFormHeader + static_cast<uint64_t>(formLength) + (formLength & 1);
    return RawHeader::Sized;
}
