#include "base/ResourceLimits.h"
#include "volume/GapSearch.h"

#include <bit>
#include <new>

#include "base/VlmErrors.h"
#include "format/exfat/ExFatBootSector.h"
#include "ntfs/NtfsRecord.h"
#include "volume/FileSystemType.h"
#include "volume/PartitionTable.h"
#include "volume/VolumeTypes.h"

namespace {

constexpr uint64_t kLoneVolumeGap = 0x100000;
constexpr uint64_t kMinGap = 0x200000;
constexpr uint32_t kGapReadSectors = 63;
constexpr uint32_t kGapReads = 10;
constexpr uint32_t kMaxNtfsRecordBytes = VlmLimits::kMaxFileRecordBytes;
constexpr uint32_t kFileNameAttribute = 0x30;
constexpr size_t kFileNameNameOffset = 0x42;

uint8_t U8(ByteView v, size_t off) { uint8_t x = 0; LoadU8(v, off, x); return x; }
uint16_t U16(ByteView v, size_t off) { uint16_t x = 0; LoadU16LE(v, off, x); return x; }
uint32_t U32(ByteView v, size_t off) { uint32_t x = 0; LoadU32LE(v, off, x); return x; }
uint64_t U64(ByteView v, size_t off) { uint64_t x = 0; LoadU64LE(v, off, x); return x; }

bool IsClusterSize(uint8_t sectorsPerCluster)
{
    return sectorsPerCluster != 0 && std::has_single_bit(sectorsPerCluster);
}

uint64_t FatTotalSectors(ByteView boot)
{
    const uint16_t small = U16(boot, 0x13);
    return small != 0 ? small : U32(boot, 0x20);
}

uint64_t Fat32FatSize(ByteView boot)
{
    const uint16_t small = U16(boot, 0x16);
    return small != 0 ? small : U32(boot, 0x24);
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
bool PassesNtfsTest(IDeviceIO* device, ByteView boot, uint64_t n, uint32_t bytesPerSector)
{
    if (FileSystemTypeFromBoot(boot) != FS_TYPE_NTFS)
        return false;
    const uint8_t spc = U8(boot, 0x0D);
    if (!IsClusterSize(spc) || U16(boot, 0x0B) != 512)
        return false;
    const uint32_t recordSectors = NtfsRecordSectors(boot);
    if (recordSectors == 0)
        return false;
    // The record is read into a buffer of the size the boot sector declares (bounded above),
    // never into a fixed buffer that a larger declared record would overrun.
    std::vector<uint8_t> record;
    const uint64_t mirror = n + U64(boot, 0x38) * spc;
    const uint32_t deviceSectors = (recordSectors * 512 + bytesPerSector - 1) / bytesPerSector;
    if (!ReadOne(device, mirror, deviceSectors, bytesPerSector, &record))
        return false;
    return IsMftRecord(record.data(), recordSectors * 512);
}

bool PassesFat32Test(IDeviceIO* device, ByteView boot, uint64_t n, uint32_t bytesPerSector)
{
    if (!Fat32BootPlausible(boot))
        return false;
    const uint8_t spc = U8(boot, 0x0D);
    const uint64_t total = FatTotalSectors(boot);
    const uint64_t fatArea = uint64_t{U16(boot, 0x0E)} + uint64_t{U8(boot, 0x10)} * Fat32FatSize(boot);
    const uint64_t root = U32(boot, 0x2C);
    std::vector<uint8_t> cluster;
    if (!ReadOne(device, n + fatArea + (root - 2) * spc, spc, bytesPerSector, &cluster))
        return false;
    const uint64_t clusters = total > fatArea ? (total - fatArea) / spc : 0;
    for (size_t off = 0; off + 32 <= size_t{spc} * 512; off += 32)
    {
        const ByteView entry = ByteView(cluster).subspan(off, 32);
        if (entry[0] != 0 && entry[0] != 0xE5 && !IsPlausibleFolderEntry(entry, clusters))
            return false;
    }
    std::vector<uint8_t> backup;
    if (!ReadOne(device, n + 6, 1, bytesPerSector, &backup))
        return false;
    return Fat32BootPlausible(backup);
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
    if (sorted.size() == 1 && start(sorted.front()) >= kLoneVolumeGap)
        gaps.push_back({0, start(sorted.front())});
    // d = next start - (previous end - 1): one more than the free sectors in between.
    const auto addGap = [&](uint64_t end, uint64_t next) {
        if (end == 0 || next < end - 1)
            return;
        const uint64_t d = next - (end - 1);
        if (d >= kMinGap)
            gaps.push_back({end, d});
    };
    for (size_t i = 0; i + 1 < sorted.size(); ++i)
        addGap(start(sorted[i]) + sorted[i].SectorCount, start(sorted[i + 1]));
    addGap(start(sorted.back()) + sorted.back().SectorCount, totalSectors);
    return gaps;
}

bool Fat32BootPlausible(ByteView boot)
{
    if (FileSystemTypeFromBoot(boot) != FS_TYPE_FAT32)
        return false;
    const uint8_t spc = U8(boot, 0x0D);
    if (!IsClusterSize(spc) || U16(boot, 0x0B) != 512)
        return false;
    const uint8_t fats = U8(boot, 0x10);
    if (fats != 1 && fats != 2)
        return false;
    const uint64_t total = FatTotalSectors(boot);
    if (total == 0)
        return false;
    const uint16_t small = U16(boot, 0x16);
    const uint32_t large = U32(boot, 0x24);
    if (small != 0 && large != 0 && large != small)
        return false;
    if (Fat32FatSize(boot) == 0)
        return false;
    const uint32_t root = U32(boot, 0x2C);
    return root >= 2 && root < total / spc;
}

bool IsPlausibleFolderEntry(ByteView entry, uint64_t clusters)
{
    if (entry.size() < 32)
        return false;
    bool allSame = true;
    for (size_t i = 1; i < 32 && allSame; ++i)
        allSame = entry[i] == entry[0];
    if (allSame)
        return false;
    if (entry[11] == 0x0F)
    {
        const uint8_t seq = entry[0] & static_cast<uint8_t>(~0x40);
        return U16(entry, 26) == 0 && (entry[0] == 0xE5 || (seq >= 1 && seq <= 22));
    }
    const uint64_t cluster = uint64_t{U16(entry, 20)} * 65536 + U16(entry, 26);
    if (clusters != 0 && cluster >= clusters)
        return false;
    if (cluster < 2 && U32(entry, 28) != 0)
        return false;
    for (size_t i = 0; i < 11; ++i)
    {
        const uint8_t c = entry[i];
        if (c < 0x1A || c == 0xFF)
            return false;
        for (const char bad : {'"', '*', '/', ':', '<', '>', '?', '\\', '|'})
            if (c == static_cast<uint8_t>(bad))
                return false;
    }
    if (entry[11] & 0x40)
        return false;
    return (entry[11] & 0x08) || U16(entry, 14) || U16(entry, 16) || U16(entry, 22) || U16(entry, 24);
}

uint32_t NtfsRecordSectors(ByteView boot)
{
    const auto c = static_cast<int8_t>(U8(boot, 0x40));
    uint64_t bytes = 0;
    if (c >= 0)
        bytes = uint64_t{U8(boot, 0x0D)} * static_cast<uint64_t>(c) * 512;
    else if (c >= -31)
        bytes = uint64_t{1} << -c;
    if (bytes < 512 || bytes > kMaxNtfsRecordBytes)
        return 0;
    return static_cast<uint32_t>(bytes / 512);
}

bool IsMftRecord(uint8_t* record, uint32_t size)
{
    if (!CheckFileRecord(record, size, false))
        return false;
    const uint8_t* attribute = FindAttribute(record, kFileNameAttribute, 0, static_cast<int>(size));
    ByteView value;
    if (!attribute || !ResidentValue(attribute, &value))
        return false;
    static const char16_t name[] = u"$MFT";
    for (size_t i = 0; i < 4; ++i)
        if (U16(value, kFileNameNameOffset + 2 * i) != name[i])
            return false;
    return RangeFits(value.size(), kFileNameNameOffset, 8);
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
        if (!ReadOne(device, first, kGapReadSectors, bps, &buffer))
            continue; // an unreadable stretch is skipped
        for (uint32_t s = 0; s < kGapReadSectors; ++s)
        {
            const ByteView sector = ByteView(buffer).subspan(size_t{s} * bps, 512);
            const uint64_t n = first + s;
            if (PassesNtfsTest(device, sector, n, bps))
            {
                const uint64_t total = U64(sector, 0x28);
                if (total > gap.Length)
                    continue; // claims more than the gap holds: not the partition that was here
                out->push_back(MakeExtentRecord(VOLUME_DELETED, FS_TYPE_NTFS, kind, number, n, total + 1));
                return true;
            }
            if (const uint64_t total = PassesExFatTest(device, sector, n, bps); total != 0)
            {
                if (total > gap.Length)
                    continue;
                out->push_back(MakeExtentRecord(VOLUME_DELETED, FS_TYPE_EXFAT, kind, number, n, total));
                return true;
            }
            if (PassesFat32Test(device, sector, n, bps))
            {
                const uint64_t total = FatTotalSectors(sector);
                if (total > gap.Length)
                    continue;
                out->push_back(MakeExtentRecord(VOLUME_DELETED, FS_TYPE_FAT32, kind, number, n, total));
                return true;
            }
        }
    }
    return false;
}
