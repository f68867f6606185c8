#include "media/KWavPackType.h"

#include <cstring>

namespace {
constexpr tagRawTypeInfo kInfo{"wv", "WavPack Audio", 64, 4LL * 1024 * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 4, "wvpk"}};

constexpr size_t kHeaderBytes = 32;
constexpr uint16_t kMinVersion = 0x402, kMaxVersion = 0x410;
constexpr uint32_t kMaxBlock = 1u << 24;
constexpr uint64_t kMaxBlocks = 1ull << 26;

bool BlockHeader(ByteView h, uint32_t& bytes)
{
    uint32_t size = 0;
    uint16_t version = 0;
    if (h.size() < kHeaderBytes || std::memcmp(h.data(), "wvpk", 4) != 0 || !LoadU32LE(h, 4, size) ||
        !LoadU16LE(h, 8, version))
        return false;
    if (version < kMinVersion || version > kMaxVersion || size < kHeaderBytes - 8 || size > kMaxBlock || (size & 1))
        return false;
    bytes = size + 8;
    return true;
}
} // namespace

KWavPackType::KWavPackType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KWavPackType::CheckHeader(ByteView head, uint64_t&) const
{
    uint32_t bytes = 0;
    return BlockHeader(head, bytes) ? RawHeader::Open : RawHeader::No;
}

tagRawMatch KWavPackType::FindEnd(KRawReader& reader) const
{
    uint64_t pos = 0, blocks = 0;
    for (; blocks < kMaxBlocks; ++blocks)
    {
        const ByteView h = reader.View(pos, kHeaderBytes);
        if (h.empty()) return blocks ? tagRawMatch{true, 0, pos} : tagRawMatch{};
        uint32_t bytes = 0;
        if (!BlockHeader(h, bytes)) break;
        pos += bytes;
    }
    if (blocks == 0) return {};
    return {true, pos};
}
