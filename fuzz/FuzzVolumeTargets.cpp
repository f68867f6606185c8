// Partition discovery over a fuzzed disk: the partition table with its extended chain, the
// search of unallocated gaps for deleted volumes, and the dynamic-disk database.
#include <vector>

#include "FuzzImage.h"
#include "FuzzTargets.h"
#include "volume/LdmReader.h"
#include "volume/PartitionTable.h"
#include "volume/VolumeDiscovery.h"

namespace {

// Reads a discovery run may make: a table chain, ten reads per gap search and a few per
// database. Far more means a walk lost its bound.
constexpr uint64_t kMaxDiscoveryReads = 200000;

void CheckRecords(const std::vector<tagVolumeInfo>& list, uint64_t sectors)
{
    for (const tagVolumeInfo& v : list)
        for (const tagVolumeExtent& e : v.Extents)
            if (e.DeviceStart > sectors + (uint64_t{1} << 33))
                __builtin_trap(); // a 32-bit table entry cannot place a volume this far
}

} // namespace

int FuzzDiscovery(const uint8_t* data, size_t size)
{
    const KSparseImage image = KSparseImage::FromSparse(data, size);
    KFuzzDevice device(image, 0);
    std::vector<tagVolumeInfo> list;
    ParseBasicDisk(&device, &list);
    IsDynamicDisk(&device);
    tagVolumeInfo physical;
    MakePhysicalDeviceRecord(&device, &physical);
    CheckRecords(list, image.Sectors());
    if (device.ReadCount() > kMaxDiscoveryReads)
        __builtin_trap();
    return 0;
}

int FuzzLdm(const uint8_t* data, size_t size)
{
    const KSparseImage image = KSparseImage::FromSparse(data, size);
    // The same image as one disk and as two: the second run meets every volume twice and
    // must keep each once.
    KFuzzDevice first(image, 0);
    KFuzzDevice second(image, 1);
    std::vector<tagVolumeInfo> one;
    ParseDynamicDisks({&first}, &one, nullptr, nullptr);
    std::vector<tagVolumeInfo> two;
    int64_t counter = 0;
    ParseDynamicDisks({&first, &second}, &two, nullptr, &counter);
    if (first.ReadCount() + second.ReadCount() > kMaxDiscoveryReads)
        __builtin_trap();
    return 0;
}
