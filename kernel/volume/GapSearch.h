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
    uint64_t Length = 0; // free sectors: a volume found in the gap ends by Start + Length
    uint64_t End() const { return Start + Length; }
};

// The free stretches of at least 16 sectors of a list sorted by start: before the first
// volume, between neighbours and after the last one. Volumes that overlap or run past the
// device end leave no gap there.
std::vector<tagDiskGap> ComputeGaps(const std::vector<tagVolumeInfo>& sorted, uint64_t totalSectors);

// The checks of a FAT32 boot sector that need no device: type, cluster size, sector size (the
// device's own), FAT count, totals, FAT size and root cluster.
bool Fat32BootPlausible(ByteView sector, uint32_t bytesPerSector);
// The file-record size an NTFS boot sector made on a disk of `bytesPerSector`-byte sectors
// declares, in those sectors; 0 when the value is unusable or larger than 8 KiB.
uint32_t NtfsRecordSectors(ByteView boot, uint32_t bytesPerSector);
// A file record (fixups applied by the check) whose first file name begins with "$MFT".
bool IsMftRecord(MutableByteView record);

// Searches `gap` for the boot sector of a deleted NTFS, exFAT, FAT32, FAT16 or FAT12 volume:
// every one of its first 630 sectors, then the partitioning boundaries (1 MiB, cylinders) of
// its first GiB, then the last sector for the backup boot sector of an NTFS volume that ends
// there. Appends the first volume found that fits inside the gap to `out` and returns true.
// Each read of the search (not those of a test) takes one from *readsLeft; at 0 it ends.
bool SearchGap(IDeviceIO* device, const tagDiskGap& gap, std::vector<tagVolumeInfo>* out, uint64_t* readsLeft);

// The last step of SearchGap alone: the backup boot sector of an NTFS volume ending where the
// gap ends.
bool SearchGapEnd(IDeviceIO* device, const tagDiskGap& gap, std::vector<tagVolumeInfo>* out);
