#include "media/KAiffType.h"

#include <cstring>

namespace {
constexpr tagRawTypeInfo kInfo{"aiff", "AIFF Audio", 54, 4LL * 1024 * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 4, "FORM"}};

constexpr size_t kFormHeader = 12;  // "FORM", u32 length, form type
constexpr uint32_t kCommBytes = 18; // channels, frames, sample size, 80-bit rate
constexpr int kMaxChunksBeforeComm = 8;
} // namespace

KAiffType::KAiffType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KAiffType::CheckHeader(ByteView head, uint64_t& size) const
{
    uint32_t length = 0, chunk = 0;
    if (!LoadU32BE(head, 4, length) || head.size() < kFormHeader + 8) return RawHeader::No;
    if (std::memcmp(head.data() + 8, "AIFC", 4) != 0 && std::memcmp(head.data() + 8, "AIFF", 4) != 0)
        return RawHeader::No;
    // The common chunk comes early, after at most a few others (version, comments, name).
    size_t at = kFormHeader;
    for (int i = 0; i < kMaxChunksBeforeComm; ++i)
    {
        if (!RangeFits(head.size(), at, 8) || !LoadU32BE(head, at + 4, chunk)) return RawHeader::No;
        if (std::memcmp(head.data() + at, "COMM", 4) == 0) break;
        for (size_t k = 0; k < 4; ++k)
            if (head[at + k] < 0x20 || head[at + k] > 0x7E) return RawHeader::No;
        at += 8 + static_cast<size_t>(chunk) + (chunk & 1);
    }
    if (!RangeFits(head.size(), at, 8) || std::memcmp(head.data() + at, "COMM", 4) != 0) return RawHeader::No;
    uint16_t channels = 0, bits = 0;
    if (!LoadU32BE(head, at + 4, chunk) || chunk < kCommBytes || !LoadU16BE(head, at + 8, channels) ||
        !LoadU16BE(head, at + 14, bits) || channels == 0 || bits == 0 || bits > 64)
        return RawHeader::No;
    // The form covers everything after its first 8 bytes; an odd length is padded.
    size = 8 + static_cast<uint64_t>(length) + (length & 1);
    return length >= 4 + 8 + kCommBytes ? RawHeader::Sized : RawHeader::No;
}
