#include "format/exfat/ExFatBootSector.h"

#include <algorithm>
#include <cstring>

#include "format/exfat/ExFatLayout.h"

using namespace ExFat;

bool HasExFatSignature(ByteView sector)
{
    return RangeFits(sector.size(), kOffName, 8) && std::memcmp(sector.data() + kOffName, kSignature, 8) == 0;
}

bool ParseExFatBootSector(ByteView sector, ExFatBoot* out)
{
    if (sector.size() < kBootSectorBytes || !HasExFatSignature(sector)) return false;
    if (sector[kOffBootSignature] != 0x55 || sector[kOffBootSignature + 1] != 0xAA) return false;
    // The old BIOS parameter block is zero, so no FAT driver takes the volume for its own.
    const uint8_t* zeros = sector.data() + kOffZeroStart;
    if (std::any_of(zeros, zeros + kZeroLength, [](uint8_t b) { return b != 0; })) return false;
    ExFatBoot b;
    KByteCursor c(sector, kOffPartitionOffset);
    b.PartitionOffset = c.U64LE();
    b.VolumeLength = c.U64LE();
    b.FatOffset = c.U32LE();
    b.FatLength = c.U32LE();
    b.HeapOffset = c.U32LE();
    b.ClusterCount = c.U32LE();
    b.RootCluster = c.U32LE();
    b.Serial = c.U32LE();
    c.U16LE(); // revision
    b.VolumeFlags = c.U16LE();
    const uint32_t bpsShift = c.U8();
    const uint32_t spcShift = c.U8();
    b.NumberOfFats = c.U8();
    if (!c.Ok()) return false;
    if (bpsShift < kMinBytesPerSectorShift || bpsShift > kMaxBytesPerSectorShift ||
        spcShift > kMaxClusterShift - bpsShift)
        return false;
    if (b.NumberOfFats != 1 && b.NumberOfFats != 2) return false;
    b.BytesPerSector = 1u << bpsShift;
    b.SectorsPerCluster = 1u << spcShift;
    // Layout order: boot regions, FAT(s), heap; all inside the volume.
    const uint64_t fatEnd = uint64_t{b.FatOffset} + uint64_t{b.FatLength} * b.NumberOfFats;
    const uint64_t heapEnd = uint64_t{b.HeapOffset} + uint64_t{b.ClusterCount} * b.SectorsPerCluster;
    if (b.FatOffset < 2 * kBootRegionSectors || b.FatLength == 0 || fatEnd > b.HeapOffset) return false;
    if (b.ClusterCount == 0 || b.ClusterCount > kMaxClusterCount || heapEnd > b.VolumeLength) return false;
    // The FAT holds an entry for every cluster and the two reserved ones.
    if ((uint64_t{b.ClusterCount} + 2) * 4 > uint64_t{b.FatLength} * b.BytesPerSector) return false;
    if (!b.ClusterValid(b.RootCluster)) return false;
    *out = b;
    return true;
}

uint32_t ExFatBootChecksum(ByteView sectors, uint32_t bytesPerSector)
{
    const size_t n = std::min<size_t>(sectors.size(), size_t{kChecksummedSectors} * bytesPerSector);
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i)
    {
        if (i == kOffVolumeFlags || i == kOffVolumeFlags + 1 || i == kOffPercentInUse) continue;
        sum = ((sum & 1) ? 0x80000000u : 0u) + (sum >> 1) + sectors[i];
    }
    return sum;
}

bool ExFatBootRegionSound(ByteView region, uint32_t bytesPerSector, ExFatBoot* out)
{
    if (bytesPerSector < 512 || region.size() < size_t{kBootRegionSectors} * bytesPerSector) return false;
    ExFatBoot boot;
    if (!ParseExFatBootSector(region.first(bytesPerSector), &boot) || boot.BytesPerSector != bytesPerSector)
        return false;
    const uint32_t sum = ExFatBootChecksum(region, bytesPerSector);
    const ByteView check = region.subspan(size_t{kChecksummedSectors} * bytesPerSector, bytesPerSector);
    for (size_t off = 0; off + 4 <= check.size(); off += 4)
        if (PeekU32LE(check.data() + off) != sum) return false;
    *out = boot;
    return true;
}

int ChooseExFatBootRegion(ByteView bytes, uint32_t bytesPerSector, ExFatBoot* out)
{
    const size_t regionBytes = size_t{kBootRegionSectors} * bytesPerSector;
    if (bytesPerSector < 512) return -1;
    if (bytes.size() >= regionBytes && ExFatBootRegionSound(bytes.first(regionBytes), bytesPerSector, out)) return 0;
    if (bytes.size() >= 2 * regionBytes &&
        ExFatBootRegionSound(bytes.subspan(regionBytes, regionBytes), bytesPerSector, out))
        return 1;
    return -1;
}
