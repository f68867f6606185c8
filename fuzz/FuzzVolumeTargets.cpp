// Partition discovery over a fuzzed disk: the partition table with its extended chain, the
// GUID partition table, the search of unallocated gaps for deleted volumes, and the
// dynamic-disk database.
#include <algorithm>
#include <cstddef>
#include <vector>

#include "FuzzImage.h"
#include "FuzzTargets.h"
#include "base/Crc32.h"
#include "format/gpt/GptLayout.h"
#include "format/gpt/GptTable.h"
#include "volume/LdmReader.h"
#include "volume/PartitionTable.h"
#include "volume/SectorSizeProbe.h"
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

void StoreU32(std::vector<uint8_t>& bytes, size_t off, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i) bytes[off + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A mutated GPT header or array almost never keeps its CRC, so discovery alone would stop at
// the CRC checks. Here the header in sector 1 and the array it names get fresh CRCs and go
// through the parsers on bytes: every field check and the entry walk are reached.
void ParseGptWithFreshCrcs(MemorySectors& image)
{
    std::vector<uint8_t> header(kFuzzSectorBytes);
    if (image.Read(kGptPrimaryLba, header.data(), 1) != 0) return;
    tagGptHeader fields;
    LoadRecord(header, 0, fields);
    const uint64_t bytes = uint64_t{fields.EntryCount} * fields.EntrySize;
    std::vector<uint8_t> array;
    if (bytes <= kMaxGptArrayBytes)
    {
        const uint64_t sectors = (bytes + kFuzzSectorBytes - 1) / kFuzzSectorBytes;
        array.assign(static_cast<size_t>(sectors * kFuzzSectorBytes), 0);
        if (sectors != 0 && image.Read(fields.EntryLba, array.data(), static_cast<uint32_t>(sectors)) != 0)
            array.clear();
        StoreU32(header, offsetof(tagGptHeader, EntryArrayCrc),
                 Crc32(ByteView(array).first(std::min<size_t>(array.size(), static_cast<size_t>(bytes)))));
    }
    if (fields.HeaderSize >= sizeof(tagGptHeader) && fields.HeaderSize <= header.size())
    {
        StoreU32(header, offsetof(tagGptHeader, HeaderCrc), 0);
        StoreU32(header, offsetof(tagGptHeader, HeaderCrc), Crc32(ByteView(header).first(fields.HeaderSize)));
    }
    tagGptArrayInfo info;
    if (!ParseGptHeader(header, kGptPrimaryLba, image.TotalSectors(), &info)) return;
    // An accepted header names an array inside the device and within the byte cap, so it was
    // read above and its fresh CRC must match.
    if (!GptArrayIntact(array, info)) __builtin_trap();
    for (const tagGptPartition& p : ParseGptEntries(array, info, image.TotalSectors()))
        if (p.FirstLba > p.LastLba || p.LastLba >= image.TotalSectors()) __builtin_trap();
}

} // namespace

int FuzzDiscovery(const uint8_t* data, size_t size)
{
    MemoryDisk device;
    LoadSparseInput(data, size, device);
    std::vector<tagVolumeInfo> list;
    ParseBasicDisk(&device, &list);
    CheckRecords(list, device.TotalSectors());
    if (DynamicKindOf(&device) == DynamicDiskKind::Gpt)
    {
        // A dynamic disk on GPT: its LDM partitions are left out of the list and out of the
        // gap search.
        std::vector<tagVolumeInfo> left;
        ParseBasicDisk(&device, &left, true);
        CheckRecords(left, device.TotalSectors());
    }
    tagVolumeInfo physical;
    MakePhysicalDeviceRecord(&device, &physical);
    if (device.ReadCount() > kMaxDiscoveryReads) __builtin_trap();
    ParseGptWithFreshCrcs(device);
    ProbeSectorSize(ByteView(data, std::min<size_t>(size, kSectorProbeBytes)));
    return 0;
}

int FuzzLdm(const uint8_t* data, size_t size)
{
    // The same image as one disk and as two: the second run meets every volume twice and
    // must keep each once.
    MemoryDisk first;
    LoadSparseInput(data, size, first);
    MemoryDisk second;
    LoadSparseInput(data, size, second);
    second.SetNumber(1);
    std::vector<tagVolumeInfo> one;
    ParseDynamicDisks({&first}, &one, nullptr, nullptr);
    std::vector<tagVolumeInfo> two;
    int64_t counter = 0;
    ParseDynamicDisks({&first, &second}, &two, nullptr, &counter);
    if (first.ReadCount() + second.ReadCount() > kMaxDiscoveryReads) __builtin_trap();
    return 0;
}
