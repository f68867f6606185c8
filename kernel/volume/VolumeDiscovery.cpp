#include "base/ResourceLimits.h"
#include "volume/VolumeDiscovery.h"

#include <algorithm>
#include <utility>

#include "base/VlmErrors.h"
#include "volume/GapSearch.h"
#include "volume/PartitionTable.h"

namespace {

// Each pass finds one volume inside a gap that later passes exclude; this bounds the number
// of passes on a huge disk full of old boot sectors.
constexpr int kMaxGapPasses = VlmLimits::kMaxGapSearchPasses;
// The searches of one disk read at most this many times (a disk of thousands of partitions
// with large gaps between them would otherwise keep the discovery reading for hours).
constexpr uint64_t kMaxGapReads = VlmLimits::kMaxGapSearchReads;

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
    // The LDM partitions occupy their sectors although they are not listed; the protective
    // entry of a lost GPT is listed but does not hide the deleted partitions inside it.
    std::vector<tagVolumeInfo> list, ldm, unbacked;
    ReadPartitionTable(device, &list, leaveLdm ? &ldm : nullptr, &unbacked);
    tagDiskGeometry geometry;
    const bool haveGeometry = device->GetGeometry(&geometry) == ERROR_SUCCESS;
    std::vector<tagDiskGap> searched, splitAt; // gaps searched whole; the parts in front of finds
    uint64_t readsLeft = kMaxGapReads;
    for (int pass = 0; pass < kMaxGapPasses; ++pass)
    {
        SortByDeviceStart(&list);
        if (!haveGeometry) break;
        std::vector<tagVolumeInfo> occupied = list;
        occupied.insert(occupied.end(), ldm.begin(), ldm.end());
        SortByDeviceStart(&occupied);
        bool found = false;
        for (const tagDiskGap& gap : ComputeGaps(occupied, geometry.TotalSectors))
        {
            // A gap searched in an earlier pass is not read again. The part of a gap in front of
            // a find was searched up to the find (the sectors read depend only on where the gap
            // starts), all but its last sector, which may end an NTFS volume.
            const auto same = [&](const tagDiskGap& d) { return d.Start == gap.Start && d.End() == gap.End(); };
            if (std::any_of(searched.begin(), searched.end(), same)) continue;
            const bool split = std::any_of(splitAt.begin(), splitAt.end(), same);
            searched.push_back(gap);
            if ((found = split ? SearchGapEnd(device, gap, &list) : SearchGap(device, gap, &list, &readsLeft)))
            {
                const uint64_t at = list.back().Extents.front().DeviceStart;
                if (at > gap.Start) splitAt.push_back({gap.Start, at - gap.Start});
                break;
            }
        }
        if (!found) break;
    }
    list.insert(list.end(), unbacked.begin(), unbacked.end());
    SortByDeviceStart(&list);
    for (tagVolumeInfo& record : list) out->push_back(std::move(record));
}
