#pragma once
// Which file system a boot sector carries, by the type labels the formatters write.
#include <cstdint>
#include <string>

#include "base/ByteView.h"

// File-system type codes, as in a partition table.
enum FileSystemTypeCode : int32_t
{
    FS_TYPE_NONE = -1, // not recognised
    FS_TYPE_RAW = 0,   // deep-scan candidate
    FS_TYPE_FAT12 = 1,
    FS_TYPE_FAT16 = 6,
    FS_TYPE_NTFS = 7,
    FS_TYPE_FAT32 = 11,
    // exFAT shares partition type 7 with NTFS; the boot sector tells them apart, and this
    // code (no partition type) names it once it has been read.
    FS_TYPE_EXFAT = 0x107,
};

// 1 (FAT12), 6 (FAT16), 11 (FAT32), 7 (NTFS), FS_TYPE_EXFAT or -1. The FAT labels are tested
// first: a sector
// that carries a FAT label at 54 or 82 is never taken for NTFS. A view shorter than 90 bytes
// gives -1.
int FileSystemTypeFromBoot(ByteView sector);

// "FAT12", "FAT16", "FAT32", "NTFS", "exFAT", else "Unidentified".
void FileSystemTypeName(int type, std::string* out);
