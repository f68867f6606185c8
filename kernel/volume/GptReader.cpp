#include "volume/GptReader.h"

#include <new>

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "format/gpt/GptLayout.h"
#include "format/mbr/MbrLayout.h"

bool ReadGpt(IDeviceIO* device, uint32_t bytesPerSector, uint64_t totalSectors, std::vector<tagGptPartition>* out)
{
    if (bytesPerSector < 512 || totalSectors <= kGptPrimaryLba) return false;
    try
    {
        std::vector<uint8_t> sector(bytesPerSector);
        std::vector<uint8_t> array;
        // The primary copy, then the backup in the last sector (on a two-sector device that
        // would be the primary again).
        for (int copy = 0; copy < 2; ++copy)
        {
            const uint64_t lba = copy == 0 ? kGptPrimaryLba : totalSectors - 1;
            if (copy == 1 && lba == kGptPrimaryLba) break;
            tagGptArrayInfo info;
            if (device->ReadSectors(lba, sector.data(), 1) != ERROR_SUCCESS ||
                !ParseGptHeader(sector, lba, totalSectors, &info))
            {
                VlmTrace("GPT header in sector %llu is damaged\n", static_cast<unsigned long long>(lba));
                continue;
            }
            // Bounded by the header check: at most kMaxGptArrayBytes, so the count fits.
            const auto sectors = static_cast<uint32_t>(GptArraySectors(info, bytesPerSector));
            array.assign(size_t{sectors} * bytesPerSector, 0);
            if ((sectors != 0 && device->ReadSectors(info.EntryLba, array.data(), sectors) != ERROR_SUCCESS) ||
                !GptArrayIntact(array, info))
            {
                VlmTrace("GPT entry array of the header in sector %llu is damaged\n",
                         static_cast<unsigned long long>(lba));
                continue;
            }
            *out = ParseGptEntries(array, info, totalSectors);
            return true;
        }
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    return false;
}

bool FindLdmMetadataPartition(IDeviceIO* device, tagGptPartition* out)
{
    tagDiskGeometry geometry;
    if (device->GetGeometry(&geometry) != ERROR_SUCCESS || geometry.BytesPerSector < 512) return false;
    bool protective = false;
    try
    {
        std::vector<uint8_t> mbr(geometry.BytesPerSector);
        if (device->ReadSectors(0, mbr.data(), 1) != ERROR_SUCCESS) return false;
        protective = HasGptProtectiveEntry(mbr);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    std::vector<tagGptPartition> partitions;
    if (!protective || !ReadGpt(device, geometry.BytesPerSector, geometry.TotalSectors, &partitions)) return false;
    for (const tagGptPartition& p : partitions)
        if (IsGptType(p, kGptTypeLdmMetadata))
        {
            *out = p;
            return true;
        }
    return false;
}
