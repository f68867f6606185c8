#include "volume/SectorSizeProbe.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "device/IDeviceIO.h"
#include "format/FileSystemType.h"
#include "format/gpt/GptLayout.h"
#include "format/mbr/MbrLayout.h"
#include "volume/VolumeTypes.h"

namespace {

constexpr uint32_t kSectorSizes[] = {512, 1024, 2048, 4096};
// The bytes-per-sector field of the BIOS parameter block, the same in FAT and NTFS.
constexpr size_t kBpbBytesPerSector = 11;

bool GptHeaderAt(ByteView first, uint32_t offset)
{
    tagGptHeader header{};
    return LoadRecord(first, offset, header) &&
        std::memcmp(header.Signature, kGptSignature, sizeof(kGptSignature)) == 0 && header.MyLba == kGptPrimaryLba;
}

} // namespace

uint32_t DeclaredSectorSize(ByteView boot)
{
    const int type = FileSystemTypeFromBoot(boot);
    // exFAT keeps its sector size as a power of two at 108; the old parameter block is zero.
    constexpr size_t kExFatSectorShift = 108;
    if (type == FS_TYPE_EXFAT)
        return boot.size() > kExFatSectorShift && boot[kExFatSectorShift] >= 9 && boot[kExFatSectorShift] <= 12
            ? 1u << boot[kExFatSectorShift]
            : 0;
    uint16_t bytesPerSector = 0;
    if (type != FS_TYPE_NONE && LoadU16LE(boot, kBpbBytesPerSector, bytesPerSector))
        for (uint32_t size : kSectorSizes)
            if (bytesPerSector == size) return size;
    return 0;
}

uint32_t ProbeSectorSize(ByteView first)
{
    for (uint32_t size : kSectorSizes)
        if (GptHeaderAt(first, size)) return size;
    return DeclaredSectorSize(first);
}

bool FirstMbrPartitionStart(ByteView sector0, uint32_t size, uint64_t* byteOffset)
{
    if (sector0.size() < 512 || sector0[510] != 0x55 || sector0[511] != 0xAA) return false;
    for (size_t i = 0; i < kMbrEntryCount; ++i)
    {
        const tagMbrEntry e = MbrEntryAt(sector0, kMbrEntryOffset + i * sizeof(tagMbrEntry));
        if (e.Type == 0 || e.FirstSector == 0 || e.SectorCount == 0 || IsExtendedType(e.Type) ||
            e.Type == kMbrTypeDynamic || (e.BootIndicator != 0 && e.BootIndicator != 0x80))
            continue;
        *byteOffset = uint64_t{e.FirstSector} * size;
        return true;
    }
    return false;
}

namespace {

// The size an MBR disk was partitioned in, from the boot sector its first partition starts
// with; 0 when 512-byte sectors find one there or no larger size does.
uint32_t ProbeMbrSectorSize(IDeviceIO* device, ByteView sector0, uint64_t totalSectors512)
{
    std::vector<uint8_t> boot(512);
    for (uint32_t size : kSectorSizes)
    {
        uint64_t at = 0;
        if (!FirstMbrPartitionStart(sector0, size, &at) || at / 512 >= totalSectors512 ||
            device->ReadSectors(at / 512, boot.data(), 1) != ERROR_SUCCESS)
            continue;
        const uint32_t declared = DeclaredSectorSize(boot);
        if (size == 512 && declared != 0) return 0; // the table counts in the sectors it is read with
        if (declared == size) return size;
    }
    return 0;
}

// The size whose last sector holds the backup GPT header of a disk of `totalSectors512`
// 512-byte sectors: what is left to tell when the first sectors were wiped. 0 when none does.
uint32_t ProbeBackupGptSectorSize(IDeviceIO* device, uint64_t totalSectors512)
{
    constexpr uint32_t kTail = kSectorSizes[std::size(kSectorSizes) - 1] / 512;
    if (totalSectors512 < 2 * kTail) return 0;
    std::vector<uint8_t> tail(size_t{kTail} * 512);
    if (device->ReadSectors(totalSectors512 - kTail, tail.data(), kTail) != ERROR_SUCCESS) return 0;
    for (uint32_t size : kSectorSizes)
    {
        if ((totalSectors512 * 512) % size != 0) continue;
        tagGptHeader header{};
        if (LoadRecord(tail, tail.size() - size, header) &&
            std::memcmp(header.Signature, kGptSignature, sizeof(kGptSignature)) == 0 &&
            header.MyLba == totalSectors512 * 512 / size - 1)
            return size;
    }
    return 0;
}

// With no table left to tell (sector 0 holds no entry and no GPT header survives), the file
// system at the first partition's usual place, 1 MiB, declares the sector size it was made
// with; a file system made on a disk of 512-byte sectors declares 512.
uint32_t ProbeWipedDiskSectorSize(IDeviceIO* device, ByteView sector0, uint64_t totalSectors512)
{
    constexpr uint64_t kFirstPartition512 = 2048; // 1 MiB
    for (size_t i = 0; i < kMbrEntryCount; ++i)
        if (MbrEntryAt(sector0, kMbrEntryOffset + i * sizeof(tagMbrEntry)).Type != 0) return 0;
    std::vector<uint8_t> boot(512);
    if (totalSectors512 <= kFirstPartition512 ||
        device->ReadSectors(kFirstPartition512, boot.data(), 1) != ERROR_SUCCESS)
        return 0;
    return DeclaredSectorSize(boot);
}

} // namespace

void AdoptImageSectorSize(IDeviceIO* device)
{
    tagDiskGeometry geometry;
    if (!device || !device->SectorSizeIsAssumed() || device->GetGeometry(&geometry) != ERROR_SUCCESS ||
        geometry.BytesPerSector != 512 || geometry.TotalSectors == 0)
        return;
    const auto sectors = static_cast<uint32_t>(std::min<uint64_t>(geometry.TotalSectors, kSectorProbeBytes / 512));
    std::vector<uint8_t> first(size_t{sectors} * 512);
    if (device->ReadSectors(0, first.data(), sectors) != ERROR_SUCCESS) return;
    uint32_t size = ProbeSectorSize(ByteView(first.data(), first.size()));
    if (size == 0) size = ProbeMbrSectorSize(device, ByteView(first.data(), first.size()), geometry.TotalSectors);
    if (size == 0) size = ProbeBackupGptSectorSize(device, geometry.TotalSectors);
    if (size == 0)
        size = ProbeWipedDiskSectorSize(device, ByteView(first.data(), first.size()).first(512), geometry.TotalSectors);
    if (size <= 512) return;
    VlmTrace("Disk image %d: read in %u-byte sectors, as its partition table or boot sector tells\n",
             device->GetNumber(), size);
    device->SetSectorSize(size);
}
