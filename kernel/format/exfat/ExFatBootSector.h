#pragma once
// The exFAT boot sector and boot region: recognition, geometry and checksum.
#include <cstdint>

#include "base/ByteView.h"

struct ExFatBoot
{
    uint64_t PartitionOffset = 0; // sectors, as the formatter wrote it (informational)
    uint64_t VolumeLength = 0;    // sectors
    uint32_t FatOffset = 0;       // sectors from the boot sector
    uint32_t FatLength = 0;       // sectors of one FAT
    uint32_t HeapOffset = 0;      // sectors from the boot sector to cluster 2
    uint32_t ClusterCount = 0;
    uint32_t RootCluster = 0;
    uint32_t Serial = 0;
    uint16_t VolumeFlags = 0;
    uint32_t BytesPerSector = 0;
    uint32_t SectorsPerCluster = 0;
    uint8_t NumberOfFats = 0;

    uint64_t ClusterBytes() const { return uint64_t{BytesPerSector} * SectorsPerCluster; }
    /// The FAT the volume uses (the second one when the flags say so and there are two).
    uint64_t ActiveFatOffset() const
    {
        const bool second = NumberOfFats == 2 && (VolumeFlags & 1);
        return FatOffset + (second ? uint64_t{FatLength} : 0);
    }
    /// Sector of cluster `cluster` (>= 2) from the boot sector, in the volume's own sectors.
    uint64_t ClusterSector(uint32_t cluster) const { return HeapOffset + uint64_t{cluster - 2} * SectorsPerCluster; }
    bool ClusterValid(uint32_t cluster) const { return cluster >= 2 && cluster - 2 < ClusterCount; }
};

/// True when `sector` (at least 512 bytes) is an exFAT boot sector whose geometry holds
/// together: signature, zeroed legacy fields, shifts in range, FAT and heap inside the volume
/// and in order, the root cluster in the heap. Fills `out` when true.
bool ParseExFatBootSector(ByteView sector, ExFatBoot* out);

/// True when the bytes carry the exFAT signature at 3 (a cheap test before parsing).
bool HasExFatSignature(ByteView sector);

/// The checksum of a boot region's first 11 sectors (`sectors` holds 11 × bytesPerSector
/// bytes): the volume-flags and percent-in-use bytes of the boot sector are left out, since
/// they change while the volume is used.
uint32_t ExFatBootChecksum(ByteView sectors, uint32_t bytesPerSector);

/// True when `region` (12 × bytesPerSector bytes) is a boot region whose checksum sector
/// repeats the checksum of the sectors before it and whose boot sector parses.
bool ExFatBootRegionSound(ByteView region, uint32_t bytesPerSector, ExFatBoot* out);

/// Which region to believe: 0 the main one, 1 the backup, -1 neither. `bytes` holds the 24
/// sectors of both regions. The backup stands in when the main region is damaged.
int ChooseExFatBootRegion(ByteView bytes, uint32_t bytesPerSector, ExFatBoot* out);
