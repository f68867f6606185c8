#pragma once
#include <cstdint>

#include "format/FileSystemType.h" // the file-system type codes

// Kinds of volume record (tagVolumeInfo::VolumeType).
enum VolumeType : int32_t
{
    VOLUME_UNSUPPORTED = -1, // a dynamic layout we cannot read; gets no volume object
    VOLUME_BASIC = 1,        // partition from a partition table, or a whole-device file system
    VOLUME_SIMPLE = 2,
    VOLUME_STRIPED = 3,
    VOLUME_SPANNED = 4,
    VOLUME_MIRRORED = 5,
    VOLUME_RAID5 = 6,
    VOLUME_DELETED = 16,   // partition found in unallocated space
    VOLUME_PHYSICAL = 256, // a whole physical device
};
