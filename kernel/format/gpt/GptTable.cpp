#include "format/gpt/GptTable.h"

#include <cstddef>
#include <cstring>
#include <new>

#include "base/Crc32.h"
#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "format/gpt/GptLayout.h"
#include "format/mbr/MbrLayout.h"

namespace {

// The header CRC covers HeaderSize bytes with the CRC field itself taken as zero.
uint32_t HeaderCrc(ByteView header)
{
    constexpr size_t kCrcOffset = offsetof(tagGptHeader, HeaderCrc);
    constexpr uint8_t kZero[4] = {};
    uint32_t crc = Crc32(header.first(kCrcOffset));
    crc = Crc32(ByteView(kZero, sizeof kZero), crc);
    return Crc32(header.subspan(kCrcOffset + 4), crc);
}

bool IsZeroGuid(const uint8_t (&guid)[16])
{
    for (const uint8_t b : guid)
        if (b != 0) return false;
    return true;
}

} // namespace

bool ParseGptHeader(ByteView sector, uint64_t myLba, uint64_t totalSectors, tagGptArrayInfo* out)
{
    tagGptHeader h;
    if (!LoadRecord(sector, 0, h) || std::memcmp(h.Signature, kGptSignature, sizeof h.Signature) != 0) return false;
    if ((h.Revision >> 16) != kGptMajorRevision) return false;
    if (h.HeaderSize < sizeof(tagGptHeader) || h.HeaderSize > sector.size()) return false;
    if (HeaderCrc(sector.first(h.HeaderSize)) != h.HeaderCrc) return false;
    // A header copied to another place (a disk image written at an offset, a backup found
    // where the primary should be) does not describe the disk it is read from.
    if (h.MyLba != myLba || myLba >= totalSectors) return false;
    if (h.FirstUsableLba > h.LastUsableLba || h.LastUsableLba >= totalSectors) return false;
    if (h.EntryCount > kMaxGptEntries || h.EntrySize < kGptMinEntryBytes || h.EntrySize > kGptMaxEntryBytes ||
        h.EntrySize % 8 != 0)
        return false;
    tagGptArrayInfo info;
    info.EntryLba = h.EntryLba;
    info.EntryCount = h.EntryCount;
    info.EntrySize = h.EntrySize;
    info.ArrayCrc = h.EntryArrayCrc;
    if (info.Bytes() > kMaxGptArrayBytes) return false;
    const uint64_t sectors = GptArraySectors(info, static_cast<uint32_t>(sector.size()));
    if (info.EntryLba == 0 || !RangeFits(totalSectors, info.EntryLba, sectors))
        return false; // sector 0 is the protective MBR; the array must end inside the device
    *out = info;
    return true;
}

uint64_t GptArraySectors(const tagGptArrayInfo& info, uint32_t bytesPerSector)
{
    if (bytesPerSector == 0) return 0;
    return (info.Bytes() + bytesPerSector - 1) / bytesPerSector;
}

bool GptArrayIntact(ByteView array, const tagGptArrayInfo& info)
{
    if (!RangeFits(array.size(), 0, info.Bytes())) return false;
    return Crc32(array.first(static_cast<size_t>(info.Bytes()))) == info.ArrayCrc;
}

std::vector<tagGptPartition> ParseGptEntries(ByteView array, const tagGptArrayInfo& info, uint64_t totalSectors)
{
    std::vector<tagGptPartition> out;
    if (info.EntrySize < kGptMinEntryBytes) return out; // entries would overlap
    const uint32_t count = info.EntryCount < kMaxGptEntries ? info.EntryCount : kMaxGptEntries;
    for (uint32_t i = 0; i < count; ++i)
    {
        tagGptEntry entry;
        if (!LoadRecord(array, size_t{i} * info.EntrySize, entry)) break;
        if (IsZeroGuid(entry.TypeGuid)) continue;
        if (entry.FirstLba > entry.LastLba || entry.LastLba >= totalSectors)
            continue; // a damaged entry: the gap search may still find its file system
        tagGptPartition partition;
        partition.FirstLba = entry.FirstLba;
        partition.LastLba = entry.LastLba;
        std::memcpy(partition.TypeGuid, entry.TypeGuid, sizeof partition.TypeGuid);
        out.push_back(partition);
    }
    return out;
}

bool HasGptProtectiveEntry(ByteView sector0)
{
    for (size_t i = 0; i < kMbrEntryCount; ++i)
        if (MbrEntryAt(sector0, kMbrEntryOffset + i * sizeof(tagMbrEntry)).Type == kMbrTypeGptProtective) return true;
    return false;
}

bool IsGptType(const tagGptPartition& partition, const uint8_t (&type)[16])
{
    return std::memcmp(partition.TypeGuid, type, sizeof partition.TypeGuid) == 0;
}

bool IsLdmGptPartition(const tagGptPartition& partition)
{
    return IsGptType(partition, kGptTypeLdmMetadata) || IsGptType(partition, kGptTypeLdmData);
}
