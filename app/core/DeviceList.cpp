#include "core/DeviceList.h"

#include <algorithm>

#include "base/FormatSize.h"
#include "core/CGlobalParamTable.h"
#include "core/TextFormat.h"
#include "core/VlmStrings.h"
#include "format/FileSystemType.h"
#include "volume/IVolumeIO.h"
#include "volume/KVolumeManager.h"
#include "volume/VolumeTypes.h"

namespace {

bool IsTopLevel(const tagDeviceKey& key)
{
    return key.nVolumeType == VOLUME_PHYSICAL || key.nVolumeType == VOLUME_STRIPED ||
        key.nVolumeType == VOLUME_SPANNED || key.nVolumeType == VOLUME_RAID5 || key.dwDeviceKind == DEVICE_FLOPPY;
}

bool IsUndelete(EModule module) { return module == EModule::Undelete; }

} // namespace

std::vector<std::string> CDeviceList::Headers(EModule module)
{
    if (IsUndelete(module))
        return {VlmString(IDS_COL_DEVICE), VlmString(IDS_COL_CAPACITY), VlmString(IDS_COL_INFORMATION)};
    return {VlmString(IDS_COL_DEVICE), VlmString(IDS_COL_TYPE), VlmString(IDS_COL_START_SECTOR),
            VlmString(IDS_COL_CAPACITY), VlmString(IDS_COL_INFORMATION)};
}

std::vector<std::string> CDeviceList::Columns(const tagDeviceRow& row, EModule module)
{
    if (IsUndelete(module)) return {row.strDevice, row.strCapacity, row.strInformation};
    return {row.strDevice, row.strType, row.strStartSector, row.strCapacity, row.strInformation};
}

std::string CDeviceList::Heading(EModule module)
{
    switch (module)
    {
    case EModule::Undelete: return VlmString(IDS_DEVICE_HEADING_UNDELETE);
    case EModule::Advanced: return VlmString(IDS_DEVICE_HEADING_ADVANCED);
    case EModule::DeepScan: return VlmString(IDS_DEVICE_HEADING_DEEP_SCAN);
    default: return {};
    }
}

std::string CDeviceList::Hint(EModule module)
{
    switch (module)
    {
    case EModule::Undelete: return VlmString(IDS_DEVICE_HINT_UNDELETE);
    case EModule::Advanced: return VlmString(IDS_DEVICE_HINT_ADVANCED);
    default: return {};
    }
}

std::vector<tagDeviceRowRef> CDeviceList::Order(const std::vector<tagDeviceKey>& keys, EModule module)
{
    std::vector<tagDeviceRowRef> rows;
    const int count = static_cast<int>(keys.size());
    if (IsUndelete(module))
    {
        std::vector<int> volumes;
        for (int i = 0; i < count; ++i)
        {
            if (keys[static_cast<size_t>(i)].nVolumeType != VOLUME_PHYSICAL) volumes.push_back(i);
        }
        // By the drive's first character as an unsigned byte; an empty drive sorts first.
        auto first = [&](int i) {
            const std::string& drive = keys[static_cast<size_t>(i)].strDrive;
            return drive.empty() ? -1 : static_cast<int>(static_cast<unsigned char>(drive[0]));
        };
        std::stable_sort(volumes.begin(), volumes.end(), [&](int a, int b) { return first(a) < first(b); });
        for (int i : volumes) rows.push_back({i, false});
        for (int i = 0; i < count; ++i)
        {
            if (keys[static_cast<size_t>(i)].nVolumeType == VOLUME_PHYSICAL) rows.push_back({i, false});
        }
        return rows;
    }
    for (int i = 0; i < count; ++i)
    {
        const tagDeviceKey& top = keys[static_cast<size_t>(i)];
        if (!IsTopLevel(top)) continue;
        rows.push_back({i, false});
        if (top.nVolumeType != VOLUME_PHYSICAL || top.dwDeviceKind == DEVICE_FLOPPY) continue;
        for (int j = 0; j < count; ++j)
        {
            const tagDeviceKey& member = keys[static_cast<size_t>(j)];
            if (!IsTopLevel(member) && member.dwDeviceKind == top.dwDeviceKind &&
                member.dwDeviceNumber == top.dwDeviceNumber)
                rows.push_back({j, true});
        }
    }
    return rows;
}

std::string CDeviceList::DeviceText(const tagVolumeInfo& record, IVolumeIO* volume)
{
    if (record.VolumeType == VOLUME_PHYSICAL)
    {
        std::string description;
        if (volume) volume->GetDescription(&description);
        return description;
    }
    std::string fileSystem;
    FileSystemTypeName(record.PartitionType, &fileSystem);
    if (record.Label.empty()) return FormatText("%s(%s)", record.Drive.c_str(), fileSystem.c_str());
    return FormatText("%s(%s,%s)", record.Drive.c_str(), record.Label.c_str(), fileSystem.c_str());
}

std::string CDeviceList::TypeName(int32_t volumeType)
{
    switch (volumeType)
    {
    case VOLUME_BASIC: return VlmString(IDS_BASIC_VOLUME);
    case VOLUME_SIMPLE: return VlmString(IDS_SIMPLE_VOLUME);
    case VOLUME_STRIPED: return VlmString(IDS_STRIPED_VOLUME);
    case VOLUME_SPANNED: return VlmString(IDS_SPANNED_VOLUME);
    case VOLUME_MIRRORED: return VlmString(IDS_MIRRORED_VOLUME);
    case VOLUME_RAID5: return VlmString(IDS_RAID5_VOLUME);
    case VOLUME_DELETED: return VlmString(IDS_DELETED_PARTITION);
    case VOLUME_PHYSICAL: return VlmString(IDS_PHYSICAL_DEVICE);
    default: return {};
    }
}

std::vector<tagDeviceRow> CDeviceList::Rows(KVolumeManager& volumes, EModule module)
{
    const size_t count = volumes.GetVolumeCount();
    std::vector<tagDeviceKey> keys(count);
    for (size_t i = 0; i < count; ++i)
    {
        const tagVolumeInfo& record = volumes.GetVolumeInfo(i);
        IVolumeIO* volume = volumes.GetVolumeIO(i);
        keys[i].nVolumeType = record.VolumeType;
        keys[i].strDrive = record.Drive;
        keys[i].dwDeviceNumber = record.Extents.empty() ? 0 : record.Extents.front().DeviceNumber;
        // A volume whose kind cannot be asked is never taken for a floppy.
        uint32_t kind = DEVICE_HARDDISK;
        if (!volume || volume->GetDeviceKind(&kind) != 0) kind = DEVICE_HARDDISK;
        keys[i].dwDeviceKind = kind;
    }
    std::vector<tagDeviceRow> rows;
    for (const tagDeviceRowRef& ref : Order(keys, module))
    {
        const auto index = static_cast<size_t>(ref.nVolume);
        const tagVolumeInfo& record = volumes.GetVolumeInfo(index);
        IVolumeIO* volume = volumes.GetVolumeIO(index);
        tagDeviceRow row;
        row.nVolume = ref.nVolume;
        row.bIndented = ref.bIndented;
        row.bPhysical = record.VolumeType == VOLUME_PHYSICAL;
        row.nVolumeType = record.VolumeType;
        row.strDevice = DeviceText(record, volume);
        row.strType = TypeName(record.VolumeType);
        const int64_t start = record.Extents.empty() ? 0 : static_cast<int64_t>(record.Extents.front().DeviceStart);
        row.strStartSector = FormatText("%lld", static_cast<long long>(start));
        tagDiskGeometry geometry{};
        uint32_t bytesPerSector = 512;
        if (volume && volume->GetGeometry(&geometry) == 0 && geometry.BytesPerSector != 0)
            bytesPerSector = geometry.BytesPerSector;
        row.u64CapacityBytes = record.SectorCount * bytesPerSector;
        row.strCapacity = FormatSize(static_cast<int64_t>(row.u64CapacityBytes));
        if (volume) volume->GetDescription(&row.strInformation);
        FileSystemTypeName(record.PartitionType, &row.strFileSystem);
        rows.push_back(std::move(row));
    }
    return rows;
}
