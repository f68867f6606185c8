#pragma once
// Deleted partitions: the unallocated gaps of a disk's partition list and the search of the
// first sectors of a gap for an NTFS, exFAT or FAT32 boot sector that still describes a file
// system.
#include <cstdint>
#include <vector>

#include "base/ByteView.h"
#include "device/IDeviceIO.h"
#include "volume/tagVolumeInfo.h"

struct tagDiskGap
{
    uint64_t Start = 0;
    uint64_t Length = 0; // one more than the free sectors: an upper bound for a volume found in it
};

// The gaps of a list sorted by start: before a lone volume starting at or beyond 0x100000,
// between neighbours and after the last one when at least 0x200000 sectors are free. Volumes
// that overlap or run past the device end leave no gap there.
std::vector<tagDiskGap> ComputeGaps(const std::vector<tagVolumeInfo>& sorted, uint64_t totalSectors);

// The checks of a FAT32 boot sector that need no device: type, cluster size, sector size (the
// device's own), FAT count, totals, FAT size and root cluster.
bool Fat32BootPlausible(ByteView sector, uint32_t bytesPerSector);
// The file-record size an NTFS boot sector made on a disk of `bytesPerSector`-byte sectors
// declares, in those sectors; 0 when the value is unusable or larger than 8 KiB.
uint32_t NtfsRecordSectors(ByteView boot, uint32_t bytesPerSector);
// A file record (fixups applied by the check) whose first file name begins with "$MFT".
bool IsMftRecord(MutableByteView record);

// Searches the first 630 sectors of `gap` (10 reads of 63 sectors). Appends the first deleted
// NTFS, exFAT or FAT32 volume that fits the gap to `out` and returns true.
bool SearchGap(IDeviceIO* device, const tagDiskGap& gap, std::vector<tagVolumeInfo>* out);
