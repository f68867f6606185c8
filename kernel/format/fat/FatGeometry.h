#pragma once
// The layout of the selected FAT file system, from a candidate or from the boot sector at
// volume sector 0. All sector numbers are volume-relative; -1 means unknown.
#include <cstdint>

#include "base/ByteView.h"
#include "format/fat/FatLayout.h"

struct FatGeometry
{
    uint32_t SectorsPerCluster = 0; // never 0 once set (0 becomes 1)
    uint32_t SectorsPerFat = 0;     // 0 for an inferred candidate
    int64_t Fat1Start = -1;
    int64_t Fat2Start = -1;
    int64_t RootStart = -1; // FAT12/16 fixed root area; FAT32 first root cluster
    uint32_t RootSectors = 0;
    int64_t DataStart = 0; // first sector of cluster 2
    int64_t EndSector = 0;
    uint32_t ClusterCount = 0; // entries of the table: bound for every cluster number
    int32_t FatType = -1;
    uint32_t BytesPerSector = 512; // of the volume, which the file system's own must equal

    int64_t ClusterSector(uint32_t cluster) const
    {
        return DataStart + (static_cast<int64_t>(cluster) - 2) * static_cast<int64_t>(SectorsPerCluster);
    }
};

// Entries a table of `sectorsPerFat` sectors of `bytesPerSector` holds for `type`; an inferred
// candidate (no table) gets sectorCount / sectorsPerCluster + 2.
uint32_t FatClusterCount(int32_t type, uint32_t sectorsPerFat, int64_t sectorCount, uint32_t sectorsPerCluster,
                         uint32_t bytesPerSector);

// A candidate of a volume of `bytesPerSector`-byte sectors.
FatGeometry FatGeometryFromCandidate(const FatCandidate& c, uint32_t bytesPerSector);

// The table sectors that hold entries 0 .. n + 1, where n is the number of clusters
// whose first sector lies on a volume of `volumeSectors` (a table never needs more). A boot
// sector's FAT size beyond that describes clusters no read can reach; those entries read as
// free. 0 when the data area starts past the volume.
uint32_t FatSectorsForVolume(const FatGeometry& g, int64_t volumeSectors);

// The volume's own file system; `type` is the FAT type the caller determined. Returns 87 when
// the boot sector has no total sector count, `type` is not a FAT type, or it declares another
// sector size than the volume's `bytesPerSector`.
uint32_t FatGeometryFromBootSector(ByteView boot, int32_t type, uint32_t bytesPerSector, FatGeometry* out);
