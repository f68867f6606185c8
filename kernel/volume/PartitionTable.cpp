#include "volume/PartitionTable.h"

#include <new>
#include <string>

#include "base/VlmErrors.h"
#include "format/FileSystemType.h"
#include "format/gpt/GptLayout.h"
#include "volume/GptReader.h"
#include "format/mbr/MbrLayout.h"
#include "volume/VolumeTypes.h"

namespace {

struct DeviceContext
{
    IDeviceIO* Device;
    uint32_t Kind;
    uint32_t Number;
    uint64_t TotalSectors;
    std::vector<uint8_t> Sector; // one device sector
};

// Reads one sector into ctx.Sector and returns its partition type code; false on failure.
bool ReadBootType(DeviceContext& ctx, uint64_t sector, int32_t* type)
{
    if (ctx.Device->ReadSectors(sector, ctx.Sector.data(), 1) != ERROR_SUCCESS) return false;
    *type = FileSystemTypeFromBoot(ByteView(ctx.Sector).first(512));
    return true;
}

// The type of a partition from its first sector. A bad sector there is what a damaged disk
// looks like: the partition is still listed, of unknown type, so that its file system can be
// searched for, and the partitions after it are still read.
int32_t PartitionTypeAt(DeviceContext& ctx, uint64_t sector)
{
    int32_t type = FS_TYPE_NONE;
    ReadBootType(ctx, sector, &type); // left unknown when the read fails
    return type;
}

void AddPartition(DeviceContext& ctx, uint64_t start, uint32_t count, int32_t type, std::vector<tagVolumeInfo>* out)
{
    out->push_back(MakeExtentRecord(VOLUME_BASIC, type, ctx.Kind, ctx.Number, start, count));
}

// Logical partitions of one extended entry. Links are relative to the extended entry; the
// walk is bounded, so a chain that loops back on itself ends after kMaxExtendedRecords.
void WalkExtendedChain(DeviceContext& ctx, uint64_t base, std::vector<tagVolumeInfo>* out)
{
    uint64_t current = base;
    std::vector<uint8_t> ebr(ctx.Sector.size());
    for (uint32_t k = 0; k < kMaxExtendedRecords; ++k)
    {
        if (ctx.Device->ReadSectors(current, ebr.data(), 1) != ERROR_SUCCESS) return;
        const tagMbrEntry e0 = MbrEntryAt(ebr, kMbrEntryOffset);
        tagMbrEntry link = MbrEntryAt(ebr, kEbrLinkOffset);
        if (IsExtendedType(e0.Type))
        {
            link = e0; // this record holds no logical partition, only the link
        }
        else if (e0.Type != 0)
        {
            const uint64_t start = current + e0.FirstSector;
            if (start >= ctx.TotalSectors) return;
            AddPartition(ctx, start, e0.SectorCount, PartitionTypeAt(ctx, start), out);
        }
        if (link.Type == 0) return;
        current = base + link.FirstSector;
    }
}

// The partitions of a GUID partition table, listed as primary partitions are, in entry
// order. False when neither copy of the table is sound: the caller then reads the MBR as
// before, so a damaged GPT still shows its protective entry as a volume.
bool ReadGptVolumes(DeviceContext& ctx, std::vector<tagVolumeInfo>* out, std::vector<tagVolumeInfo>* ldm)
{
    std::vector<tagGptPartition> partitions;
    if (!ReadGpt(ctx.Device, static_cast<uint32_t>(ctx.Sector.size()), ctx.TotalSectors, &partitions)) return false;
    for (const tagGptPartition& p : partitions)
    {
        std::vector<tagVolumeInfo>* list = ldm && IsLdmGptPartition(p) ? ldm : out;
        list->push_back(MakeExtentRecord(VOLUME_BASIC, PartitionTypeAt(ctx, p.FirstLba), ctx.Kind, ctx.Number,
                                         p.FirstLba, p.LastLba - p.FirstLba + 1));
    }
    return true;
}

} // namespace

tagVolumeInfo MakeExtentRecord(int32_t volumeType, int32_t partitionType, uint32_t kind, uint32_t number,
                               uint64_t start, uint64_t count)
{
    tagVolumeInfo rec;
    rec.VolumeType = volumeType;
    rec.PartitionType = partitionType;
    tagVolumeExtent extent;
    extent.DeviceKind = kind;
    extent.DeviceNumber = number;
    extent.DeviceStart = start;
    extent.SectorCount = count;
    rec.Extents.push_back(extent);
    rec.SectorCount = count;
    return rec;
}

bool IsDynamicDiskSector(ByteView sector0)
{
    bool used = false;
    for (size_t i = 0; i < kMbrEntryCount; ++i)
    {
        const tagMbrEntry entry = MbrEntryAt(sector0, kMbrEntryOffset + i * sizeof(tagMbrEntry));
        if (entry.Type == 0) continue;
        if (entry.Type != kMbrTypeDynamic) return false;
        used = true;
    }
    return used;
}

DynamicDiskKind DynamicKindOf(IDeviceIO* device)
{
    tagDiskGeometry geometry;
    if (device->GetGeometry(&geometry) != ERROR_SUCCESS || geometry.BytesPerSector < 512) return DynamicDiskKind::None;
    std::vector<uint8_t> sector(geometry.BytesPerSector);
    if (device->ReadSectors(0, sector.data(), 1) != ERROR_SUCCESS) return DynamicDiskKind::None;
    if (IsDynamicDiskSector(ByteView(sector).first(512))) return DynamicDiskKind::Mbr;
    tagGptPartition metadata;
    return FindLdmMetadataPartition(device, &metadata) ? DynamicDiskKind::Gpt : DynamicDiskKind::None;
}

void ReadPartitionTable(IDeviceIO* device, std::vector<tagVolumeInfo>* out, std::vector<tagVolumeInfo>* ldm,
                        std::vector<tagVolumeInfo>* unbacked)
{
    tagDiskGeometry geometry;
    if (device->GetGeometry(&geometry) != ERROR_SUCCESS || geometry.BytesPerSector < 512) return;
    DeviceContext ctx{device, 0, static_cast<uint32_t>(device->GetNumber()), geometry.TotalSectors, {}};
    if (device->GetKind(&ctx.Kind) != ERROR_SUCCESS) return;
    ctx.Sector.assign(geometry.BytesPerSector, 0);
    int32_t t0 = FS_TYPE_NONE;
    if (!ReadBootType(ctx, 0, &t0)) return;

    if (t0 != FS_TYPE_NONE || ctx.Kind == DEVICE_FLOPPY)
    {
        tagVolumeInfo whole = MakeExtentRecord(VOLUME_BASIC, t0, ctx.Kind, ctx.Number, 0, ctx.TotalSectors);
        if (ctx.Kind == DEVICE_FLOPPY) whole.Drive = std::string(1, static_cast<char>('A' + ctx.Number)) + ":";
        out->push_back(whole);
        return;
    }

    const std::vector<uint8_t> mbr = ctx.Sector;
    tagMbrEntry entries[kMbrEntryCount];
    for (size_t i = 0; i < kMbrEntryCount; ++i) entries[i] = MbrEntryAt(mbr, kMbrEntryOffset + i * sizeof(tagMbrEntry));
    // A protective entry announces a GUID partition table, which checks itself by its CRCs,
    // so it is read before the MBR's boot indicators are judged. A hybrid MBR (the protective
    // entry beside ordinary ones, for systems that only read MBRs) mirrors a few of the GPT's
    // partitions; the GPT lists all of them, so it is the one taken and the other MBR entries
    // are not listed a second time.
    // A table with no entry at all (sector 0 wiped or never written) may still stand in front
    // of a GUID partition table, whose backup copy at the disk's end survives a wipe of the
    // first sectors.
    bool empty = true;
    for (const tagMbrEntry& entry : entries) empty = empty && entry.Type == 0;
    if ((empty || HasGptProtectiveEntry(mbr)) && ReadGptVolumes(ctx, out, ldm)) return;
    for (const tagMbrEntry& entry : entries)
    {
        if (entry.BootIndicator != 0x00 && entry.BootIndicator != 0x80) return; // not a partition table we can trust
    }
    for (const tagMbrEntry& entry : entries)
    {
        if (entry.FirstSector >= ctx.TotalSectors || entry.Type == 0) continue;
        if (IsExtendedType(entry.Type))
        {
            WalkExtendedChain(ctx, entry.FirstSector, out);
            continue;
        }
        // A protective entry without a sound GPT behind it holds the disk's partitions, not a
        // file system: still listed, so that it can be searched, but no hiding place for them.
        std::vector<tagVolumeInfo>* list = unbacked && entry.Type == kMbrTypeGptProtective ? unbacked : out;
        AddPartition(ctx, entry.FirstSector, entry.SectorCount, PartitionTypeAt(ctx, entry.FirstSector), list);
    }
}

bool MakePhysicalDeviceRecord(IDeviceIO* device, tagVolumeInfo* out)
{
    uint32_t kind = 0;
    if (device->GetKind(&kind) != ERROR_SUCCESS) return false;
    tagDiskGeometry geometry;
    const uint64_t total = device->GetGeometry(&geometry) == ERROR_SUCCESS ? geometry.TotalSectors : 0;
    *out = MakeExtentRecord(VOLUME_PHYSICAL, FS_TYPE_NONE, kind, static_cast<uint32_t>(device->GetNumber()), 0, total);
    return true;
}
