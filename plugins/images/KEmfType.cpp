#include "images/KEmfType.h"

#include <cstring>

namespace {
constexpr tagRawTypeInfo kInfo{"emf", "Enhanced Metafile", 108, 512LL * 1024 * 1024};
constexpr tagRawSignature kSignatures[] = {{0, 4, "\x01\0\0\0"}};

// Header record: type, record size, bounds and frame (32), signature " EMF", version, file
// size, record count, handle count.
constexpr size_t kRecordSize = 4, kSignature = 40, kVersion = 44, kBytes = 48, kRecords = 52;
constexpr uint32_t kMinHeaderRecord = 88;
} // namespace

KEmfType::KEmfType() : KRawTypeBase(kInfo, kSignatures) {}

RawHeader KEmfType::CheckHeader(ByteView head, uint64_t& size) const
{
    uint32_t recordSize = 0, version = 0, bytes = 0, records = 0;
    if (!LoadU32LE(head, kRecordSize, recordSize) || !LoadU32LE(head, kVersion, version) ||
        !LoadU32LE(head, kBytes, bytes) || !LoadU32LE(head, kRecords, records))
        return RawHeader::No;
    if (std::memcmp(head.data() + kSignature, " EMF", 4) != 0 || version != 0x10000 || recordSize < kMinHeaderRecord ||
        (recordSize & 3) || records < 2 || bytes < recordSize || (bytes & 3))
        return RawHeader::No;
    size = bytes;
    return RawHeader::Sized;
}
