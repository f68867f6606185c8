#include "system/KEvtxType.h"

#include <cstring>

namespace {
constexpr tagRawTypeInfo kInfo{"evtx", "Windows Event Log", 4096 + 65536, 4LL * 1024 * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 8, "ElfFile"}}; // with its zero byte

// File header: signature (8), first and last chunk numbers, next record id (8 each), header
// size (4, 128), minor and major version (2 each), header block size and chunk count (2 each).
constexpr size_t kHeaderSize = 32, kMinor = 36, kMajor = 38, kBlockSize = 40, kChunks = 42;
constexpr uint64_t kHeaderBlock = 4096, kChunkBytes = 65536;
} // namespace

KEvtxType::KEvtxType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KEvtxType::CheckHeader(ByteView head, uint64_t& size) const
{
    uint32_t headerSize = 0;
    uint16_t minor = 0, major = 0, block = 0, chunks = 0;
    if (!LoadU32LE(head, kHeaderSize, headerSize) || !LoadU16LE(head, kMinor, minor) ||
        !LoadU16LE(head, kMajor, major) || !LoadU16LE(head, kBlockSize, block) || !LoadU16LE(head, kChunks, chunks))
        return RawHeader::No;
    if (headerSize != 128 || major != 3 || (minor != 1 && minor != 2) || block != kHeaderBlock || chunks == 0)
        return RawHeader::No;
    // The first chunk follows the header block.
    if (head.size() >= kHeaderBlock + 8 && std::memcmp(head.data() + kHeaderBlock, "ElfChnk", 8) != 0)
        return RawHeader::No;
    size = kHeaderBlock + kChunkBytes * chunks;
    return RawHeader::Sized;
}
