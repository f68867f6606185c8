#pragma once
// Which file system a boot sector carries, by the type labels the formatters write.
#include <cstdint>
#include <string>

#include "base/ByteView.h"

// 1 (FAT12), 6 (FAT16), 11 (FAT32), 7 (NTFS), FS_TYPE_EXFAT or -1. The FAT labels are tested first: a sector
// that carries a FAT label at 54 or 82 is never taken for NTFS. A view shorter than 90 bytes
// gives -1.
int FileSystemTypeFromBoot(ByteView sector);

// "FAT12", "FAT16", "FAT32", "NTFS", "exFAT", else "Unidentified".
void FileSystemTypeName(int type, std::string* out);
