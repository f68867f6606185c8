#pragma once
// GUID partition tables: the checks of a header and of its entry array, on bytes alone, and
// the reading of the primary copy, or of the backup when the primary is damaged.
#include <cstdint>
#include <vector>

#include "base/ByteView.h"

// What a header that passed every check says about its entry array.
struct tagGptArrayInfo
{
    uint64_t EntryLba = 0;
    uint32_t EntryCount = 0;
    uint32_t EntrySize = 0;
    uint32_t ArrayCrc = 0;
    uint64_t Bytes() const { return uint64_t{EntryCount} * EntrySize; }
};

// A used entry: a partition from FirstLba to LastLba inclusive, inside the device.
struct tagGptPartition
{
    uint64_t FirstLba = 0;
    uint64_t LastLba = 0;
    uint8_t TypeGuid[16] = {}; // as stored in the entry
};

// True when the partition's type GUID is `type` (given in stored byte order).
bool IsGptType(const tagGptPartition& partition, const uint8_t (&type)[16]);
// True for the two partitions of a dynamic disk: LDM metadata and LDM data.
bool IsLdmGptPartition(const tagGptPartition& partition);

// True when one of the four MBR entries of `sector0` is a protective entry (type 0xEE): the
// announcement of a GUID partition table.
bool HasGptProtectiveEntry(ByteView sector0);

// Checks the header in `sector` (one whole logical sector), expected in sector `myLba` of a
// device of `totalSectors` sectors of sector.size() bytes: signature, major revision, header
// size, header CRC, its own position, the usable range, and an entry array of bounded count,
// entry size and total size that lies inside the device. False when any check fails.
bool ParseGptHeader(ByteView sector, uint64_t myLba, uint64_t totalSectors, tagGptArrayInfo* out);

// Sectors of `bytesPerSector` bytes the array of `info` covers (its last sector partly).
uint64_t GptArraySectors(const tagGptArrayInfo& info, uint32_t bytesPerSector);

// True when `array` holds info.Bytes() bytes whose CRC-32 is the one the header gives.
bool GptArrayIntact(ByteView array, const tagGptArrayInfo& info);

// The used entries of `array` in entry order: type GUID not zero, FirstLba <= LastLba <
// totalSectors. Other entries are skipped; nothing beyond the view or info.Bytes() is read.
std::vector<tagGptPartition> ParseGptEntries(ByteView array, const tagGptArrayInfo& info, uint64_t totalSectors);
