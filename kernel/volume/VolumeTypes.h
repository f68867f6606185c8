#pragma once
#include <cstdint>

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
    VOLUME_DELETED = 16,     // partition found in unallocated space
    VOLUME_PHYSICAL = 256,   // a whole physical device
};

// File-system type codes, as in a partition table.
enum FileSystemTypeCode : int32_t
{
    FS_TYPE_NONE = -1,  // not recognised
    FS_TYPE_RAW = 0,    // deep-scan candidate
    FS_TYPE_FAT12 = 1,
    FS_TYPE_FAT16 = 6,
    FS_TYPE_NTFS = 7,
    FS_TYPE_FAT32 = 11,
    // exFAT shares partition type 7 with NTFS; the boot sector tells them apart, and this
    // code (no partition type) names it once it has been read.
    FS_TYPE_EXFAT = 0x107,
};
