#include "format/FileSystemType.h"

#include <cstring>

#include "base/EngineStrings.h"

namespace {

bool LabelAt(ByteView sector, size_t offset, const char (&label)[9])
{
    return RangeFits(sector.size(), offset, 8) && std::memcmp(sector.data() + offset, label, 8) == 0;
}

} // namespace

int FileSystemTypeFromBoot(ByteView sector)
{
    if (LabelAt(sector, 54, "FAT12   ")) return FS_TYPE_FAT12;
    if (LabelAt(sector, 54, "FAT16   ")) return FS_TYPE_FAT16;
    if (LabelAt(sector, 82, "FAT32   ")) return FS_TYPE_FAT32;
    if (LabelAt(sector, 3, "NTFS    ")) return FS_TYPE_NTFS;
    if (LabelAt(sector, 3, "EXFAT   ")) return FS_TYPE_EXFAT;
    return FS_TYPE_NONE;
}

void FileSystemTypeName(int type, std::string* out)
{
    switch (type)
    {
    case FS_TYPE_FAT12: *out = "FAT12"; break;
    case FS_TYPE_FAT16: *out = "FAT16"; break;
    case FS_TYPE_NTFS: *out = "NTFS"; break;
    case FS_TYPE_FAT32: *out = "FAT32"; break;
    case FS_TYPE_EXFAT: *out = "exFAT"; break;
    default: *out = EngineString(IDS_UNIDENTIFIED); break;
    }
}
