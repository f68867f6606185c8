#include "media/KCafType.h"

#include <cstring>

namespace {
constexpr tagRawTypeInfo kInfo{"caf", "Core Audio File", 64, 16LL * 1024 * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 8, "caff\0\x01\0\0"}};

constexpr uint64_t kFileHeader = 8, kChunkHeader = 12;
constexpr uint64_t kDescBytes = 32;
constexpr int kMaxChunks = 4096;

bool ChunkType(const uint8_t* t)
{
    for (int i = 0; i < 4; ++i)
        if (t[i] < 0x20 || t[i] > 0x7E) return false;
    return true;
}
} // namespace

KCafType::KCafType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KCafType::CheckHeader(ByteView head, uint64_t&) const
{
    uint64_t desc = 0;
    if (!LoadU64BE(head, kFileHeader + 4, desc) || std::memcmp(head.data() + kFileHeader, "desc", 4) != 0 ||
        desc != kDescBytes)
        return RawHeader::No;
    return RawHeader::Open;
}

tagRawMatch KCafType::FindEnd(KRawReader& reader) const
{
    uint64_t pos = kFileHeader;
    bool data = false;
    for (int n = 0; n < kMaxChunks; ++n)
    {
        const ByteView h = reader.View(pos, kChunkHeader);
        if (h.empty()) return data ? tagRawMatch{true, 0, pos} : tagRawMatch{};
        uint64_t bytes = 0;
        LoadU64BE(h, 4, bytes);
        if (!ChunkType(h.data())) break;
        const bool isData = std::memcmp(h.data(), "data", 4) == 0;
        if (isData && bytes == UINT64_MAX) return {true, 0, pos}; // to the end of the file
        if (bytes > reader.Limit()) break;
        data = data || isData;
        pos += kChunkHeader + bytes;
    }
    if (!data) return {};
    return {true, pos};
}
