#include "base/ResourceLimits.h"
#include "volume/GapSearch.h"

#include <bit>
#include <new>

#include "base/VlmErrors.h"
#include "format/exfat/ExFatBootSector.h"
#include "format/fat/FatDirEntry.h"
#include "format/fat/FatGeometry.h"
#include "format/fat/FatLayout.h"
#include "format/ntfs/NtfsBootSector.h"
#include "format/ntfs/NtfsLayout.h"
#include "format/ntfs/NtfsRecord.h"
#include "format/FileSystemType.h"
#include "volume/PartitionTable.h"
#include "volume/VolumeTypes.h"

namespace {

constexpr uint64_t kLoneVolumeGap = 0x100000;
constexpr uint64_t kMinGap = 0x200000;
constexpr uint32_t kGapReadSectors = 63;
constexpr uint32_t kGapReads = 10;
// A guess at a gap's contents reads no file record larger than this.
constexpr uint32_t kMaxGapRecordBytes = VlmLimits::kMaxFileRecordBytes;

// The FAT32 boot sector: the common block and the FAT32 continuation at byte 36.
struct Fat32Boot
{
    tagFatBootCommon Common{};
    tagFat32BootTail Tail{};
};

bool LoadFat32Boot(ByteView boot, Fat32Boot& out)
{
    return LoadRecord(boot, 0, out.Common) && LoadRecord(boot, kFatBootTailOffset, out.Tail);
}

uint64_t FatTotalSectors(const tagFatBootCommon& c)
{
    return c.TotalSectors16 != 0 ? c.TotalSectors16 : c.TotalSectors32;
}

bool IsClusterSize(uint8_t sectorsPerCluster)
{
    return sectorsPerCluster != 0 && std::has_single_bit(sectorsPerCluster);
}

bool ReadOne(IDeviceIO* device, uint64_t sector, uint32_t count, uint32_t bytesPerSector, std::vector<uint8_t>* out)
{
    try
    {
        out->assign(size_t{count} * bytesPerSector, 0);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    return device->ReadSectors(sector, out->data(), count) == ERROR_SUCCESS;
}

// The NTFS boot sector at device sector n must point at an MFT mirror whose first record is
// that of $MFT itself.
bool PassesNtfsTest(IDeviceIO* device, ByteView sector, uint64_t n, uint32_t bytesPerSector)
{
    tagNtfsBootSector boot;
    if (FileSystemTypeFromBoot(sector) != FS_TYPE_NTFS || !LoadRecord(sector, 0, boot)) return false;
    const uint32_t recordSectors = NtfsRecordSectors(sector, bytesPerSector);
    if (recordSectors == 0) return false;
    // The record is read into a buffer of the size the boot sector declares (bounded above),
    // never into a fixed buffer that a larger declared record would overrun.
    std::vector<uint8_t> record;
    const uint64_t mirror = n + boot.MftMirrorCluster * boot.SectorsPerCluster;
    if (!ReadOne(device, mirror, recordSectors, bytesPerSector, &record)) return false;
    return IsMftRecord(record);
}

bool PassesFat32Test(IDeviceIO* device, ByteView sector, uint64_t n, uint32_t bytesPerSector)
{
    FatGeometry g;
    if (!Fat32BootPlausible(sector, bytesPerSector) ||
        FatGeometryFromBootSector(sector, kFatType32, bytesPerSector, &g) != ERROR_SUCCESS)
        return false;
    std::vector<uint8_t> cluster;
    if (!ReadOne(device, n + static_cast<uint64_t>(g.RootStart), g.SectorsPerCluster, bytesPerSector, &cluster))
        return false;
    const uint64_t clusters =
        g.EndSector + 1 > g.DataStart ? static_cast<uint64_t>(g.EndSector + 1 - g.DataStart) / g.SectorsPerCluster : 0;
    for (const FatDirEntryView entry : FatDirEntrySlots(cluster))
        if (!entry.IsUnused() && !entry.IsDeleted() && !IsPlausibleFolderEntry(entry, clusters)) return false;
    Fat32Boot boot;
    std::vector<uint8_t> backup;
    if (!LoadFat32Boot(sector, boot) || boot.Tail.BackupBootSector == 0 ||
        !ReadOne(device, n + boot.Tail.BackupBootSector, 1, bytesPerSector, &backup))
        return false;
    return Fat32BootPlausible(backup, bytesPerSector);
}

// An exFAT boot sector at device sector n must head a whole boot region whose checksum holds.
// Returns the volume's size in device sectors, 0 when the test fails.
uint64_t PassesExFatTest(IDeviceIO* device, ByteView boot, uint64_t n, uint32_t bytesPerSector)
{
    ExFatBoot b;
    if (FileSystemTypeFromBoot(boot) != FS_TYPE_EXFAT || !ParseExFatBootSector(boot, &b) ||
        b.BytesPerSector < bytesPerSector || b.BytesPerSector % bytesPerSector)
        return 0;
    const uint32_t scale = b.BytesPerSector / bytesPerSector;
    std::vector<uint8_t> region;
    if (!ReadOne(device, n, 12 * scale, bytesPerSector, &region) || !ExFatBootRegionSound(region, b.BytesPerSector, &b))
        return 0;
    return b.VolumeLength * scale;
}

} // namespace

std::vector<tagDiskGap> ComputeGaps(const std::vector<tagVolumeInfo>& sorted, uint64_t totalSectors)
{
    std::vector<tagDiskGap> gaps;
    if (sorted.empty())
    {
        gaps.push_back({0, totalSectors});
        return gaps;
    }
    const auto start = [](const tagVolumeInfo& v) { return v.Extents.empty() ? 0 : v.Extents.front().DeviceStart; };
    if (sorted.size() == 1 && start(sorted.front()) >= kLoneVolumeGap) gaps.push_back({0, start(sorted.front())});
    // d = next start - (previous end - 1): one more than the free sectors in between.
    const auto addGap = [&](uint64_t end, uint64_t next) {
        if (end == 0 || next < end - 1) return;
        const uint64_t d = next - (end - 1);
        if (d >= kMinGap) gaps.push_back({end, d});
    };
    for (size_t i = 0; i + 1 < sorted.size(); ++i)
        addGap(start(sorted[i]) + sorted[i].SectorCount, start(sorted[i + 1]));
    addGap(start(sorted.back()) + sorted.back().SectorCount, totalSectors);
    return gaps;
}

bool Fat32BootPlausible(ByteView sector, uint32_t bytesPerSector)
{
    Fat32Boot boot;
    if (FileSystemTypeFromBoot(sector) != FS_TYPE_FAT32 || !LoadFat32Boot(sector, boot)) return false;
    const tagFatBootCommon& c = boot.Common;
    if (!IsClusterSize(c.SectorsPerCluster) || c.BytesPerSector != bytesPerSector ||
        !FatSectorSizeIsValid(bytesPerSector))
        return false;
    if (c.FatCount != 1 && c.FatCount != 2) return false;
    const uint64_t total = FatTotalSectors(c);
    if (total == 0) return false;
    const uint32_t fatSize = boot.Tail.FatSize32;
    if (c.FatSize16 != 0 && fatSize != 0 && fatSize != c.FatSize16) return false;
    if (c.FatSize16 == 0 && fatSize == 0) return false;
    const uint32_t root = boot.Tail.RootCluster;
    return root >= 2 && root < total / c.SectorsPerCluster;
}

uint32_t NtfsRecordSectors(ByteView sector, uint32_t bytesPerSector)
{
    tagNtfsBootSector boot;
    if (!LoadRecord(sector, 0, boot) || boot.BytesPerSector != bytesPerSector || !IsClusterSize(boot.SectorsPerCluster))
        return 0;
    const uint32_t sectors = NtfsRecordSectors(boot.ClustersPerFileRecord, boot.SectorsPerCluster, bytesPerSector);
    return uint64_t{sectors} * bytesPerSector <= kMaxGapRecordBytes ? sectors : 0;
}

bool IsMftRecord(MutableByteView record)
{
    if (!CheckFileRecord(record, false)) return false;
    const NtfsAttribute attribute = FindAttribute(record, kNtfsAttrFileName, 0);
    ByteView value;
    if (!attribute || !ResidentValue(attribute, &value)) return false;
    // The name's UTF-16 units follow the fixed part of the value.
    static const char16_t name[] = u"$MFT";
    for (size_t i = 0; i < 4; ++i)
    {
        uint16_t unit = 0;
        if (!LoadU16LE(value, sizeof(tagNtfsFileName) + 2 * i, unit) || unit != name[i]) return false;
    }
    return true;
}

bool SearchGap(IDeviceIO* device, const tagDiskGap& gap, std::vector<tagVolumeInfo>* out)
{
    tagDiskGeometry geometry;
    uint32_t kind = 0;
    if (device->GetGeometry(&geometry) != ERROR_SUCCESS || geometry.BytesPerSector < 512 ||
        device->GetKind(&kind) != ERROR_SUCCESS)
        return false;
    const uint32_t bps = geometry.BytesPerSector;
    const auto number = static_cast<uint32_t>(device->GetNumber());
    std::vector<uint8_t> buffer;
    for (uint32_t r = 0; r < kGapReads; ++r)
    {
        const uint64_t first = gap.Start + uint64_t{kGapReadSectors} * r;
        if (!ReadOne(device, first, kGapReadSectors, bps, &buffer)) continue; // an unreadable stretch is skipped
        for (uint32_t s = 0; s < kGapReadSectors; ++s)
        {
            const ByteView sector = ByteView(buffer).subspan(size_t{s} * bps, 512);
            const uint64_t n = first + s;
            if (PassesNtfsTest(device, sector, n, bps))
            {
                tagNtfsBootSector boot;
                LoadRecord(sector, 0, boot);
                const uint64_t total = boot.TotalSectors;
                if (total > gap.Length) continue; // claims more than the gap holds: not the partition that was here
                out->push_back(MakeExtentRecord(VOLUME_DELETED, FS_TYPE_NTFS, kind, number, n, total + 1));
                return true;
            }
            if (const uint64_t total = PassesExFatTest(device, sector, n, bps); total != 0)
            {
                if (total > gap.Length) continue;
                out->push_back(MakeExtentRecord(VOLUME_DELETED, FS_TYPE_EXFAT, kind, number, n, total));
                return true;
            }
            if (PassesFat32Test(device, sector, n, bps))
            {
                tagFatBootCommon boot;
                LoadRecord(sector, 0, boot);
                const uint64_t total = FatTotalSectors(boot);
                if (total > gap.Length) continue;
                out->push_back(MakeExtentRecord(VOLUME_DELETED, FS_TYPE_FAT32, kind, number, n, total));
                return true;
            }
        }
    }
    return false;
}
