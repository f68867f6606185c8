#include "volume/LdmReader.h"

#include <algorithm>
#include <new>

#include "base/VlmErrors.h"
#include "volume/GptReader.h"
#include "format/ldm/LdmLayout.h"
#include "format/ldm/LdmRecords.h"
#include "volume/LdmVolumeBuilder.h"

namespace {

constexpr uint32_t kLdmSector = 512;
constexpr size_t kPrivHeadBuffer = 2048;

// Reads `count` sectors at `first`. The database counts 512-byte sectors; the buffer holds
// `count` device sectors in any case, so a device with larger sectors cannot overrun it.
bool ReadLdmSectors(IDeviceIO* device, uint64_t first, uint32_t count, std::vector<uint8_t>* out)
{
    tagDiskGeometry geometry;
    if (device->GetGeometry(&geometry) != ERROR_SUCCESS) return false;
    const size_t bytes = size_t{count} * std::max<uint32_t>(kLdmSector, geometry.BytesPerSector);
    try
    {
        out->assign(bytes, 0);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    return device->ReadSectors(first, out->data(), count) == ERROR_SUCCESS;
}

std::vector<tagLdmMemberDisk> MemberDisks(const std::vector<tagDiskRecord>& disks)
{
    std::vector<tagLdmMemberDisk> members;
    for (const tagDiskRecord& disk : disks)
    {
        uint32_t kind = 0;
        if (!disk.Device || disk.Device->GetKind(&kind) != ERROR_SUCCESS) continue;
        tagLdmMemberDisk member;
        member.DiskId = disk.DiskId;
        member.DeviceKind = kind;
        member.DeviceNumber = static_cast<uint32_t>(disk.Device->GetNumber());
        member.LogicalDiskStart = disk.LogicalDiskStart;
        members.push_back(member);
    }
    return members;
}

// The "config" entry of the table of contents: at database sector 1 or 2, else in the two
// sectors before the last of the area.
bool FindConfigEntry(const tagDiskRecord& disk, uint64_t* cs, uint64_t* n)
{
    std::vector<uint8_t> toc;
    const auto look = [&]() {
        for (size_t s = 0; s < 2; ++s)
            if (ParseTocConfig(ByteView(toc).subspan(s * kLdmSector, kLdmSector), cs, n)) return true;
        return false;
    };
    if (!ReadLdmSectors(disk.Device, disk.ConfigStart + 1, 2, &toc)) return false;
    if (look()) return true;
    if (disk.ConfigSize < 3 || !ReadLdmSectors(disk.Device, disk.ConfigStart + disk.ConfigSize - 3, 2, &toc))
        return false;
    return look();
}

// Where the slots start (sectors from the database start) and how large they are.
bool FindFirstSlot(const tagDiskRecord& disk, uint64_t cs, uint64_t* firstSlot, uint32_t* slotSize)
{
    std::vector<uint8_t> sector;
    if (!ReadLdmSectors(disk.Device, disk.ConfigStart + cs, 1, &sector)) return false;
    uint32_t offset = 0;
    switch (ParseVmdb(ByteView(sector).first(kLdmSector), slotSize, &offset))
    {
    case VmdbResult::Valid: *firstSlot = cs + offset / kLdmSector; return true;
    case VmdbResult::Corrupt: return false;
    case VmdbResult::Absent: break;
    }
    // Without a header the slots are 128 bytes from the first sector that holds one.
    *slotSize = kVblkDefaultSlotSize;
    const uint64_t last = std::min<uint64_t>(disk.ConfigSize, cs + 1 + kLdmMaxVblkSearch);
    for (uint64_t s = cs + 1; s < last; ++s)
    {
        if (!ReadLdmSectors(disk.Device, disk.ConfigStart + s, 1, &sector)) return false;
        if (std::equal(kVblkMagic, kVblkMagic + 4, sector.begin()))
        {
            *firstSlot = s;
            return true;
        }
    }
    return false;
}

} // namespace

bool ReadPrivHead(IDeviceIO* device, tagDiskRecord* out)
{
    tagDiskGeometry geometry;
    if (device->GetGeometry(&geometry) != ERROR_SUCCESS) return false;
    const uint64_t total = geometry.TotalSectors;
    // On GPT the private header is the last sector of the LDM metadata partition, which also
    // holds the database; the logical disk it names is the LDM data partition, and both are
    // given in sectors from the start of the disk, as on MBR.
    std::vector<uint64_t> candidates;
    tagGptPartition metadata;
    if (FindLdmMetadataPartition(device, &metadata)) candidates.push_back(metadata.LastLba);
    candidates.push_back(kPrivHeadSector);
    for (uint64_t back = 1; back <= 2 && back <= total; ++back) candidates.push_back(total - back);
    for (const uint64_t candidate : candidates)
    {
        std::vector<uint8_t> sector(std::max<size_t>(kPrivHeadBuffer, geometry.BytesPerSector), 0);
        if (device->ReadSectors(candidate, sector.data(), 1) != ERROR_SUCCESS)
            std::fill(sector.begin(), sector.end(), 0); // a failed read leaves the buffer blank
        tagPrivHead head;
        if (!ParsePrivHead(ByteView(sector).first(kLdmSector), &head)) continue;
        out->Device = device;
        out->LogicalDiskStart = head.LogicalDiskStart;
        out->LogicalDiskSize = head.LogicalDiskSize;
        out->ConfigStart = head.ConfigStart;
        out->ConfigSize = head.ConfigSize;
        out->DiskId = head.DiskId;
        return true;
    }
    return false;
}

bool ParseConfigDatabase(size_t diskIndex, const std::vector<tagDiskRecord>& disks, std::vector<tagVolumeInfo>* out)
{
    if (diskIndex >= disks.size() || !disks[diskIndex].Device) return false;
    const tagDiskRecord& disk = disks[diskIndex];
    uint64_t cs = 0, n = 0;
    if (!FindConfigEntry(disk, &cs, &n)) return false;
    uint64_t firstSlot = 0;
    uint32_t slotSize = 0;
    if (!FindFirstSlot(disk, cs, &firstSlot, &slotSize) || firstSlot >= disk.ConfigSize) return false;

    // n slots, rounded up to whole sectors, but never beyond the database area.
    const uint64_t maxSlots = kLdmMaxDatabaseBytes / slotSize;
    const uint64_t slots = std::min(n, maxSlots);
    uint64_t sectors = (slots * slotSize + kLdmSector - 1) / kLdmSector;
    sectors = std::min(sectors, disk.ConfigSize - firstSlot);
    if (sectors == 0) return false;
    std::vector<uint8_t> bytes;
    if (!ReadLdmSectors(disk.Device, disk.ConfigStart + firstSlot, static_cast<uint32_t>(sectors), &bytes))
        return false;

    // Only the slots inside the bytes read are examined.
    const std::vector<LdmRecord> records =
        AssembleLdmRecords(ByteView(bytes).first(static_cast<size_t>(sectors) * kLdmSector), slotSize, slots);
    BuildLdmVolumes(records, MemberDisks(disks), out);
    return true;
}

void ParseDynamicDisks(const std::vector<IDeviceIO*>& fixedDisks, std::vector<tagVolumeInfo>* out,
                       IProgress_Server* progress, int64_t* counter)
{
    std::vector<tagDiskRecord> disks;
    for (IDeviceIO* device : fixedDisks)
    {
        tagDiskRecord disk;
        if (device && ReadPrivHead(device, &disk)) disks.push_back(disk);
    }
    for (size_t i = 0; i < disks.size(); ++i)
    {
        std::vector<tagVolumeInfo> local;
        ParseConfigDatabase(i, disks, &local);
        for (tagVolumeInfo& volume : local)
        {
            const bool known = std::any_of(out->begin(), out->end(),
                                           [&](const tagVolumeInfo& v) { return SameDynamicVolume(v, volume); });
            if (!known) out->push_back(std::move(volume));
        }
        if (counter)
        {
            ++*counter;
            if (progress) progress->SetValue(*counter);
        }
    }
}
