#include "volume/VolumeLabel.h"

#include <vector>

#include "base/VlmErrors.h"
#include "format/FileSystemType.h"
#include "format/exfat/ExFatBootSector.h"
#include "format/exfat/ExFatEntrySet.h"
#include "format/exfat/ExFatLayout.h"
#include "format/fat/FatDirEntry.h"
#include "format/fat/FatLayout.h"
#include "format/ntfs/NtfsLayout.h"
#include "volume/NtfsVolumeLabel.h"
#include "volume/IVolumeIO.h"
#include "volume/VolumeTypes.h"

namespace {

constexpr uint64_t kMaxRootBytes = 65536 * 32; // a FAT12/16 root folder holds at most 65535 entries

// The label entry of the root folder's first `count` sectors, converted from the DOS code page
// as the FAT reader does.
bool SearchFatRoot(IVolumeIO* volume, uint64_t first, uint64_t count, uint32_t bytesPerSector, uint64_t total,
                   std::string* label)
{
    count = std::min(count, kMaxRootBytes / bytesPerSector);
    if (count == 0 || first >= total || count > total - first) return false;
    std::vector<uint8_t> root(count * bytesPerSector);
    if (volume->ReadSectors(first, root.data(), static_cast<uint32_t>(count)) != ERROR_SUCCESS) return false;
    return FatRootLabel(ByteView(root), label);
}

// The label entry among the first entries of an exFAT root folder (its first sector).
bool SearchExFatRoot(IVolumeIO* volume, ByteView boot, uint32_t bytesPerSector, uint64_t total, std::string* label)
{
    ExFatBoot b;
    if (!ParseExFatBootSector(boot, &b) || b.BytesPerSector < bytesPerSector || b.BytesPerSector % bytesPerSector)
        return false;
    const uint64_t first = b.ClusterSector(b.RootCluster) * (b.BytesPerSector / bytesPerSector);
    std::vector<uint8_t> root(bytesPerSector);
    if (first >= total || volume->ReadSectors(first, root.data(), 1) != ERROR_SUCCESS) return false;
    for (size_t off = 0; off + ExFat::kEntryBytes <= root.size() && root[off] != ExFat::kTypeEndOfDirectory;
         off += ExFat::kEntryBytes)
        if (ExFatLabelText(root, off, label)) return !label->empty();
    return false;
}

} // namespace

bool GetVolumeLabel(IVolumeIO* volume, std::string* label)
{
    tagDiskGeometry geometry;
    if (volume->GetGeometry(&geometry) != ERROR_SUCCESS || geometry.BytesPerSector < 512) return false;
    std::vector<uint8_t> boot(geometry.BytesPerSector);
    if (volume->ReadSectors(0, boot.data(), 1) != ERROR_SUCCESS) return false;
    const ByteView b = ByteView(boot).first(512);
    // Every record below lies inside the first 512 bytes.
    tagFatBootCommon fat{};
    LoadRecord(b, 0, fat);
    const uint64_t reserved = fat.ReservedSectors;
    const uint64_t fats = fat.FatCount;
    const uint64_t spc = fat.SectorsPerCluster;
    switch (FileSystemTypeFromBoot(b))
    {
    case FS_TYPE_FAT12:
    case FS_TYPE_FAT16:
    {
        const uint64_t bps = geometry.BytesPerSector;
        const uint64_t rootSectors = (uint64_t{fat.RootEntries} * kFatEntrySize + bps - 1) / bps;
        return SearchFatRoot(volume, reserved + fats * fat.FatSize16, rootSectors, geometry.BytesPerSector,
                             geometry.TotalSectors, label);
    }
    case FS_TYPE_FAT32:
    {
        tagFat32BootTail tail{};
        LoadRecord(b, kFatBootTailOffset, tail);
        const uint64_t root = tail.RootCluster;
        if (root < 2) return false;
        return SearchFatRoot(volume, reserved + fats * tail.FatSize32 + (root - 2) * spc, spc, geometry.BytesPerSector,
                             geometry.TotalSectors, label);
    }
    case FS_TYPE_EXFAT: return SearchExFatRoot(volume, b, geometry.BytesPerSector, geometry.TotalSectors, label);
    case FS_TYPE_NTFS:
    {
        tagNtfsBootSector ntfs{};
        LoadRecord(b, 0, ntfs);
        const uint64_t ntfsSpc = ntfs.SectorsPerCluster;
        if (ReadVolumeLabel(volume, static_cast<int64_t>(ntfs.MftCluster * ntfsSpc), label)) return true;
        return ReadVolumeLabel(volume, static_cast<int64_t>(ntfs.MftMirrorCluster * ntfsSpc), label);
    }
    default: return false;
    }
}
