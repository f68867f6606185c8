#include "base/ResourceLimits.h"
#include "volume/GapSearch.h"

#include <algorithm>
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

// A gap smaller than this holds no file system worth listing.
constexpr uint64_t kMinGap = 16;
// Every sector of a gap's first 630 is a possible start: a partition right where the gap
// begins, or one track (63 sectors) behind an extended boot record.
constexpr uint32_t kGapReadSectors = 63;
constexpr uint32_t kGapReads = 10;
// Beyond them, partitioning tools start partitions on boundaries: 1 MiB since 2008, a cylinder
// of 255 heads of 63 sectors before (and a track behind such a boundary for a logical drive).
// Only the boundaries in the gap's first GiB are read, one sector each, so that a large free
// area costs a bounded number of reads.
constexpr uint64_t kAlignBytes = 1024 * 1024;
constexpr uint64_t kCylinderSectors = 255 * 63;
constexpr uint64_t kTrackSectors = 63;
constexpr uint64_t kBoundarySpanBytes = uint64_t{1} << 30;
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

// A FAT12 or FAT16 boot sector at device sector n: its parameter block must be sound, its
// table must begin with the media byte and an end-of-chain entry (in both copies), and the
// used entries of the first root-folder sector must be plausible. Returns the volume's size
// in sectors, 0 when the test fails.
uint64_t PassesFat16Test(IDeviceIO* device, ByteView sector, uint64_t n, uint32_t bytesPerSector)
{
    const int type = FileSystemTypeFromBoot(sector);
    tagFatBootCommon c;
    FatGeometry g;
    if ((type != FS_TYPE_FAT12 && type != FS_TYPE_FAT16) || !LoadRecord(sector, 0, c) ||
        !IsClusterSize(c.SectorsPerCluster) || (c.FatCount != 1 && c.FatCount != 2) || c.ReservedSectors == 0 ||
        c.RootEntries == 0 || c.FatSize16 == 0 || c.Media < 0xF0 ||
        FatGeometryFromBootSector(sector, type, bytesPerSector, &g) != ERROR_SUCCESS || g.DataStart > g.EndSector)
        return 0;
    std::vector<uint8_t> table;
    for (const int64_t fat : {g.Fat1Start, g.Fat2Start})
    {
        if (fat < 0) continue;
        if (!ReadOne(device, n + static_cast<uint64_t>(fat), 1, bytesPerSector, &table) || table[0] != c.Media ||
            table[1] != 0xFF)
            return 0;
    }
    std::vector<uint8_t> root;
    if (!ReadOne(device, n + static_cast<uint64_t>(g.RootStart), 1, bytesPerSector, &root)) return 0;
    const uint64_t clusters = static_cast<uint64_t>(g.EndSector + 1 - g.DataStart) / g.SectorsPerCluster;
    for (const FatDirEntryView entry : FatDirEntrySlots(root))
        if (!entry.IsUnused() && !entry.IsDeleted() && !IsPlausibleFolderEntry(entry, clusters)) return 0;
    return FatTotalSectors(c);
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
    // `covered` is the end of the volumes so far: one that lies inside or over another leaves
    // no gap, and one that runs past the device end leaves none after it.
    uint64_t covered = 0;
    const auto addGap = [&](uint64_t next) {
        if (next > covered && next - covered >= kMinGap) gaps.push_back({covered, next - covered});
    };
    for (const tagVolumeInfo& v : sorted)
    {
        const uint64_t start = v.Extents.empty() ? 0 : v.Extents.front().DeviceStart;
        addGap(std::min(start, totalSectors));
        covered = std::max(covered, start + std::min(v.SectorCount, totalSectors));
    }
    addGap(totalSectors);
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

namespace {

// The volume whose boot sector is `sector` at device sector n, when one of the tests passes
// and the volume ends inside the gap (n + its size <= gapEnd); its type and size in device
// sectors, or false. A boot sector that claims more than the gap holds is not the one of a
// partition that was here.
bool VolumeAt(IDeviceIO* device, ByteView sector, uint64_t n, uint64_t gapEnd, uint32_t bps, int32_t* type,
              uint64_t* count)
{
    const uint64_t room = gapEnd > n ? gapEnd - n : 0;
    uint64_t total = 0;
    if (PassesNtfsTest(device, sector, n, bps))
    {
        tagNtfsBootSector boot;
        LoadRecord(sector, 0, boot);
        // The backup boot sector follows the sectors the count covers.
        total = boot.TotalSectors < room ? boot.TotalSectors + 1 : 0;
        *type = FS_TYPE_NTFS;
    }
    else if ((total = PassesExFatTest(device, sector, n, bps)) != 0)
        *type = FS_TYPE_EXFAT;
    else if (PassesFat32Test(device, sector, n, bps))
    {
        tagFatBootCommon boot;
        LoadRecord(sector, 0, boot);
        total = FatTotalSectors(boot);
        *type = FS_TYPE_FAT32;
    }
    else if ((total = PassesFat16Test(device, sector, n, bps)) != 0)
        *type = FileSystemTypeFromBoot(sector);
    if (total == 0 || total > room) return false;
    *count = total;
    return true;
}

// The first partitioning boundary at or after n: 1 MiB, or (on 512-byte sectors) a cylinder or
// one track behind one.
uint64_t NextBoundary(uint64_t n, uint32_t bps)
{
    const auto up = [n](uint64_t step, uint64_t offset) {
        if (n <= offset) return offset;
        return offset + ((n - offset + step - 1) / step) * step;
    };
    uint64_t next = up(std::max<uint64_t>(1, kAlignBytes / bps), 0);
    if (bps == 512) next = std::min({next, up(kCylinderSectors, 0), up(kCylinderSectors, kTrackSectors)});
    return next;
}

// The device's geometry and kind, when a gap of it can be searched at all.
bool GapDevice(IDeviceIO* device, tagDiskGeometry* geometry, uint32_t* kind)
{
    return device->GetGeometry(geometry) == ERROR_SUCCESS && geometry->BytesPerSector >= 512 &&
        device->GetKind(kind) == ERROR_SUCCESS;
}

} // namespace

bool SearchGap(IDeviceIO* device, const tagDiskGap& gap, std::vector<tagVolumeInfo>* out, uint64_t* readsLeft)
{
    tagDiskGeometry geometry;
    uint32_t kind = 0;
    if (!GapDevice(device, &geometry, &kind)) return false;
    const uint32_t bps = geometry.BytesPerSector;
    const auto number = static_cast<uint32_t>(device->GetNumber());
    const uint64_t end = std::min(gap.End(), geometry.TotalSectors);
    const auto found = [&](int32_t type, uint64_t n, uint64_t count) {
        out->push_back(MakeExtentRecord(VOLUME_DELETED, type, kind, number, n, count));
        return true;
    };
    int32_t type = FS_TYPE_NONE;
    uint64_t count = 0;
    std::vector<uint8_t> buffer;
    const uint64_t dense = std::min<uint64_t>(end, gap.Start + uint64_t{kGapReadSectors} * kGapReads);
    for (uint64_t first = gap.Start; first < dense; first += kGapReadSectors)
    {
        const auto sectors = static_cast<uint32_t>(std::min<uint64_t>(kGapReadSectors, dense - first));
        if (*readsLeft == 0) return false;
        --*readsLeft;
        if (!ReadOne(device, first, sectors, bps, &buffer)) continue; // an unreadable stretch is skipped
        for (uint32_t s = 0; s < sectors; ++s)
        {
            const ByteView sector = ByteView(buffer).subspan(size_t{s} * bps, 512);
            if (VolumeAt(device, sector, first + s, end, bps, &type, &count)) return found(type, first + s, count);
        }
    }
    const uint64_t span = std::max<uint64_t>(1, kBoundarySpanBytes / bps);
    const uint64_t last = end - gap.Start > span ? gap.Start + span : end;
    for (uint64_t n = NextBoundary(dense, bps); n < last; n = NextBoundary(n + 1, bps))
    {
        if (*readsLeft == 0) return false;
        --*readsLeft;
        if (!ReadOne(device, n, 1, bps, &buffer)) continue;
        if (VolumeAt(device, ByteView(buffer).first(512), n, end, bps, &type, &count)) return found(type, n, count);
    }
    return SearchGapEnd(device, gap, out);
}

bool SearchGapEnd(IDeviceIO* device, const tagDiskGap& gap, std::vector<tagVolumeInfo>* out)
{
    tagDiskGeometry geometry;
    uint32_t kind = 0;
    if (!GapDevice(device, &geometry, &kind)) return false;
    const uint32_t bps = geometry.BytesPerSector;
    const uint64_t end = std::min(gap.End(), geometry.TotalSectors);
    std::vector<uint8_t> buffer;
    // An NTFS volume keeps a copy of its boot sector in the sector after the ones it counts,
    // usually the last of its partition: one that ends where the gap ends is found by the copy
    // even when its start lies beyond the boundaries searched or its first sector is damaged.
    if (end <= gap.Start || end - gap.Start < 2 || !ReadOne(device, end - 1, 1, bps, &buffer)) return false;
    tagNtfsBootSector boot;
    const ByteView sector = ByteView(buffer).first(512);
    if (FileSystemTypeFromBoot(sector) != FS_TYPE_NTFS || !LoadRecord(sector, 0, boot) || boot.TotalSectors == 0 ||
        boot.TotalSectors > end - 1 - gap.Start)
        return false;
    const uint64_t n = end - 1 - boot.TotalSectors;
    if (!PassesNtfsTest(device, sector, n, bps)) return false;
    out->push_back(MakeExtentRecord(VOLUME_DELETED, FS_TYPE_NTFS, kind, static_cast<uint32_t>(device->GetNumber()), n,
                                    boot.TotalSectors + 1));
    return true;
}
