#include "volume/LdmVolumeBuilder.h"

#include <utility>

#include "format/ldm/LdmLayout.h"
#include "volume/VolumeTypes.h"

namespace {

bool SameTextNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
    {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// Exchange sort: each later position whose key is smaller than the one at i is swapped with
// i. Equal keys are never swapped, so a mirror's extents keep their component order.
template <typename Key> void ExchangeSort(std::vector<tagVolumeExtent>& extents, Key key)
{
    for (size_t i = 0; i < extents.size(); ++i)
        for (size_t j = i + 1; j < extents.size(); ++j)
            if (key(extents[j]) < key(extents[i])) std::swap(extents[i], extents[j]);
}

// The member disk of a partition: the record with the partition's disk id, read as a disk
// record, matched by identifier to a present disk. Null when any step fails.
const tagLdmMemberDisk* FindMemberDisk(const std::vector<LdmRecord>& records, uint64_t diskObjectId,
                                       const std::vector<tagLdmMemberDisk>& disks)
{
    for (const LdmRecord& record : records)
    {
        uint64_t id = 0;
        if (!LdmRecordObjectId(record, &id) || id != diskObjectId) continue;
        tagLdmDisk disk;
        if (!ParseLdmDisk(record, &disk))
            return nullptr; // not a disk record: no identifier, the member stays unmatched
        for (const tagLdmMemberDisk& member : disks)
            if (SameTextNoCase(member.DiskId, disk.DiskId)) return &member;
        return nullptr;
    }
    return nullptr;
}

// Appends the component's partitions as extents; false when one of them is missing.
bool AddPartitions(const std::vector<LdmRecord>& records, const tagLdmComponent& component,
                   const std::vector<tagLdmMemberDisk>& disks, tagVolumeInfo* volume)
{
    size_t from = 0;
    for (uint64_t p = 0; p < component.Children; ++p)
    {
        tagLdmPartition part;
        bool found = false;
        for (; from < records.size() && !found; ++from)
            found = ParseLdmPartition(records[from], &part) && part.ParentId == component.Id;
        if (!found) return false; // a volume with a lost member description cannot be mapped
        tagVolumeExtent extent;
        extent.ColumnIndex = static_cast<int32_t>(part.Index);
        extent.DeviceKind = UINT32_MAX;
        extent.DeviceNumber = UINT32_MAX;
        extent.DeviceStart = part.Start;
        extent.VolumeStart = part.VolumeOffset;
        extent.SectorCount = part.Size;
        if (const tagLdmMemberDisk* disk = FindMemberDisk(records, part.DiskId, disks))
        {
            extent.DeviceKind = disk->DeviceKind;
            extent.DeviceNumber = disk->DeviceNumber;
            extent.DeviceStart += disk->LogicalDiskStart;
        }
        volume->Extents.push_back(extent);
    }
    return true;
}

void ApplyComponentType(const tagLdmVolume& vol, const tagLdmComponent& comp, tagVolumeInfo* volume)
{
    switch (comp.Type)
    {
    case kLdmComponentStriped: volume->VolumeType = VOLUME_STRIPED; break;
    case kLdmComponentRaid5: volume->VolumeType = VOLUME_RAID5; break;
    case kLdmComponentSpanned:
        if (comp.Children > 1 || comp.Columns > 1)
            volume->VolumeType = vol.Components == 1 ? VOLUME_SPANNED : VOLUME_UNSUPPORTED;
        else if (vol.Components == 1)
            volume->VolumeType = VOLUME_SIMPLE;
        else if (vol.Components == 2)
            volume->VolumeType = VOLUME_MIRRORED;
        break;
    default: break;
    }
}

// The components of one volume, each found after the previous one; false drops the volume.
bool AddComponents(const std::vector<LdmRecord>& records, const tagLdmVolume& vol,
                   const std::vector<tagLdmMemberDisk>& disks, tagVolumeInfo* volume)
{
    if (vol.Components > kLdmMaxComponents) return false;
    size_t from = 0;
    for (uint64_t c = 0; c < vol.Components; ++c)
    {
        tagLdmComponent comp;
        bool found = false;
        for (; from < records.size() && !found; ++from)
            found = ParseLdmComponent(records[from], &comp) && comp.ParentId == vol.Id;
        if (!found || comp.Children > kLdmMaxPartitions) return false;
        volume->StripeSize = static_cast<uint32_t>(comp.StripeSize);
        ApplyComponentType(vol, comp, volume);
        if (!AddPartitions(records, comp, disks, volume)) return false;
        ExchangeSort(volume->Extents, [](const tagVolumeExtent& e) { return e.ColumnIndex; });
        if (volume->VolumeType == VOLUME_SPANNED)
            ExchangeSort(volume->Extents, [](const tagVolumeExtent& e) { return e.VolumeStart; });
    }
    return true;
}

} // namespace

void BuildLdmVolumes(const std::vector<LdmRecord>& records, const std::vector<tagLdmMemberDisk>& disks,
                     std::vector<tagVolumeInfo>* out)
{
    for (const LdmRecord& record : records)
    {
        tagLdmVolume vol;
        if (!ParseLdmVolume(record, &vol)) continue;
        tagVolumeInfo volume;
        volume.VolumeType = VOLUME_UNSUPPORTED;
        volume.PartitionType = FS_TYPE_NONE;
        volume.SectorCount = vol.Size;
        volume.StripeSize = 0;
        if (AddComponents(records, vol, disks, &volume)) out->push_back(std::move(volume));
    }
}

bool SameDynamicVolume(const tagVolumeInfo& a, const tagVolumeInfo& b)
{
    if (a.StripeSize != b.StripeSize || a.PartitionType != b.PartitionType || a.VolumeType != b.VolumeType ||
        a.SectorCount != b.SectorCount || a.Extents.size() != b.Extents.size())
        return false;
    for (size_t i = 0; i < a.Extents.size(); ++i)
    {
        const tagVolumeExtent& x = a.Extents[i];
        const tagVolumeExtent& y = b.Extents[i];
        if (x.DeviceNumber != y.DeviceNumber || x.DeviceKind != y.DeviceKind || x.ColumnIndex != y.ColumnIndex ||
            x.SectorCount != y.SectorCount || x.VolumeStart != y.VolumeStart || x.DeviceStart != y.DeviceStart)
            return false;
    }
    return true;
}
