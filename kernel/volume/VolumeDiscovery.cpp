#include "base/ResourceLimits.h"
#include "volume/VolumeDiscovery.h"

#include <utility>

#include "base/VlmErrors.h"
#include "volume/GapSearch.h"
#include "volume/PartitionTable.h"

namespace {

// Each pass finds one volume inside a gap that later passes exclude; this bounds the number
// of passes on a huge disk full of old boot sectors.
constexpr int kMaxGapPasses = VlmLimits::kMaxGapSearchPasses;

uint64_t StartOf(const tagVolumeInfo& v) { return v.Extents.empty() ? 0 : v.Extents.front().DeviceStart; }

} // namespace

void SortByDeviceStart(std::vector<tagVolumeInfo>* list)
{
    for (size_t i = 0; i < list->size(); ++i)
        for (size_t j = i + 1; j < list->size(); ++j)
            if (StartOf((*list)[j]) < StartOf((*list)[i])) std::swap((*list)[i], (*list)[j]);
}

void ParseBasicDisk(IDeviceIO* device, std::vector<tagVolumeInfo>* out, bool leaveLdm)
{
    std::vector<tagVolumeInfo> list, ldm;
    ReadPartitionTable(device, &list, leaveLdm ? &ldm : nullptr);
    tagDiskGeometry geometry;
    const bool haveGeometry = device->GetGeometry(&geometry) == ERROR_SUCCESS;
    for (int pass = 0; pass < kMaxGapPasses; ++pass)
    {
        SortByDeviceStart(&list);
        if (!haveGeometry) break;
        // The LDM partitions occupy their sectors although they are not listed.
        std::vector<tagVolumeInfo> occupied = list;
        occupied.insert(occupied.end(), ldm.begin(), ldm.end());
        SortByDeviceStart(&occupied);
        bool found = false;
        for (const tagDiskGap& gap : ComputeGaps(occupied, geometry.TotalSectors))
            if ((found = SearchGap(device, gap, &list))) break;
        if (!found) break;
    }
    SortByDeviceStart(&list);
    for (tagVolumeInfo& record : list) out->push_back(std::move(record));
}
