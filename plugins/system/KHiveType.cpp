#include "system/KHiveType.h"

#include <cstring>

namespace {
constexpr tagRawTypeInfo kInfo{"dat", "Registry Hive", 8192, 4LL * 1024 * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 4, "regf"}};

// Base block fields.
constexpr size_t kMajor = 0x14, kMinor = 0x18, kFileType = 0x1C, kFormat = 0x20;
constexpr size_t kBinsBytes = 0x28, kChecksum = 0x1FC;
constexpr uint32_t kBaseBlock = 4096, kBinAlign = 4096;
} // namespace

KHiveType::KHiveType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KHiveType::CheckHeader(ByteView head, uint64_t& size) const
{
    uint32_t major = 0, minor = 0, fileType = 1, format = 0, bins = 0, checksum = 0;
    if (!LoadU32LE(head, kMajor, major) || !LoadU32LE(head, kMinor, minor) || !LoadU32LE(head, kFileType, fileType) ||
        !LoadU32LE(head, kFormat, format) || !LoadU32LE(head, kBinsBytes, bins) ||
        !LoadU32LE(head, kChecksum, checksum))
        return RawHeader::No;
    if (major != 1 || minor < 2 || minor > 6 || fileType != 0 || format != 1 || bins == 0 || bins % kBinAlign)
        return RawHeader::No;
    uint32_t x = 0;
    for (size_t i = 0; i < kChecksum; i += 4)
    {
        uint32_t v = 0;
        LoadU32LE(head, i, v);
        x ^= v;
    }
    if (x != checksum) return RawHeader::No;
    // The bins follow the base block; the first starts with "hbin".
    if (head.size() >= kBaseBlock + 4 && std::memcmp(head.data() + kBaseBlock, "hbin", 4) != 0) return RawHeader::No;
    size = static_cast<uint64_t>(kBaseBlock) + bins;
    return RawHeader::Sized;
}
