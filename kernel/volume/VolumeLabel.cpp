#include "volume/VolumeLabel.h"

#include <algorithm>
#include <vector>

#include "base/VlmErrors.h"
#include "base/TextCodec.h"
#include "format/FileSystemType.h"
#include "format/exfat/ExFatBootSector.h"
#include "format/exfat/ExFatEntrySet.h"
#include "volume/NtfsVolumeLabel.h"
#include "volume/IVolumeIO.h"
#include "volume/VolumeTypes.h"

namespace {

constexpr uint64_t kMaxRootBytes = 65536 * 32; // a FAT12/16 root folder holds at most 65535 entries

uint8_t U8(ByteView v, size_t off)
{
    uint8_t x = 0;
    LoadU8(v, off, x);
    return x;
}
uint16_t U16(ByteView v, size_t off)
{
    uint16_t x = 0;
    LoadU16LE(v, off, x);
    return x;
}
uint32_t U32(ByteView v, size_t off)
{
    uint32_t x = 0;
    LoadU32LE(v, off, x);
    return x;
}
uint64_t U64(ByteView v, size_t off)
{
    uint64_t x = 0;
    LoadU64LE(v, off, x);
    return x;
}

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
    for (size_t off = 0; off + 32 <= root.size() && root[off] != 0; off += 32)
    {
        char16_t units[11];
        uint32_t n = 0;
        if (!ParseExFatLabel(root, off, units, &n)) continue;
        char utf8[64];
        size_t w = 0;
        ExFatNameToUtf8(units, n, utf8, sizeof(utf8), &w);
        label->assign(utf8, w);
        return n > 0;
    }
    return false;
}

} // namespace

bool FatRootLabel(ByteView root, std::string* label)
{
    // Folder entries: 32 bytes, name in 0..10, attributes at 11.
    constexpr size_t kEntry = 32, kAttributes = 11;
    constexpr uint8_t kLongName = 0x0F, kVolume = 0x08, kDeleted = 0xE5;
    for (size_t off = 0; RangeFits(root.size(), off, kEntry); off += kEntry)
    {
        const uint8_t* e = root.data() + off;
        if (e[0] == 0) return false;
        if (e[kAttributes] == kLongName || e[0] == kDeleted || !(e[kAttributes] & kVolume)) continue;
        // A zero byte ends the name as it would a C string.
        size_t begin = 0, end = static_cast<size_t>(std::find(e, e + kAttributes, uint8_t{0}) - e);
        while (begin < end && (e[begin] == ' ' || e[begin] == '\t')) ++begin;
        while (end > begin && (e[end - 1] == ' ' || e[end - 1] == '\t')) --end;
        *label = OemToUtf8(e + begin, end - begin);
        return true;
    }
    return false;
}

bool GetVolumeLabel(IVolumeIO* volume, std::string* label)
{
    tagDiskGeometry geometry;
    if (volume->GetGeometry(&geometry) != ERROR_SUCCESS || geometry.BytesPerSector < 512) return false;
    std::vector<uint8_t> boot(geometry.BytesPerSector);
    if (volume->ReadSectors(0, boot.data(), 1) != ERROR_SUCCESS) return false;
    const ByteView b = ByteView(boot).first(512);
    const uint64_t reserved = U16(b, 0x0E);
    const uint64_t fats = U8(b, 0x10);
    const uint64_t spc = U8(b, 0x0D);
    switch (FileSystemTypeFromBoot(b))
    {
    case FS_TYPE_FAT12:
    case FS_TYPE_FAT16:
    {
        const uint64_t bps = geometry.BytesPerSector;
        const uint64_t rootSectors = (uint64_t{U16(b, 0x11)} * 32 + bps - 1) / bps;
        return SearchFatRoot(volume, reserved + fats * U16(b, 0x16), rootSectors, geometry.BytesPerSector,
                             geometry.TotalSectors, label);
    }
    case FS_TYPE_FAT32:
    {
        const uint64_t root = U32(b, 0x2C);
        if (root < 2) return false;
        return SearchFatRoot(volume, reserved + fats * U32(b, 0x24) + (root - 2) * spc, spc, geometry.BytesPerSector,
                             geometry.TotalSectors, label);
    }
    case FS_TYPE_EXFAT: return SearchExFatRoot(volume, b, geometry.BytesPerSector, geometry.TotalSectors, label);
    case FS_TYPE_NTFS:
    {
        const auto mft = static_cast<int64_t>(U64(b, 0x30) * spc);
        if (ReadVolumeLabel(volume, mft, label)) return true;
        return ReadVolumeLabel(volume, static_cast<int64_t>(U64(b, 0x38) * spc), label);
    }
    default: return false;
    }
}
