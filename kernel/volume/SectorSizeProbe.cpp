#include "volume/SectorSizeProbe.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "device/IDeviceIO.h"
#include "format/FileSystemType.h"
#include "format/gpt/GptLayout.h"
#include "volume/VolumeTypes.h"

namespace {

constexpr uint32_t kSectorSizes[] = {512, 1024, 2048, 4096};
// The bytes-per-sector field of the BIOS parameter block, the same in FAT and NTFS.
constexpr size_t kBpbBytesPerSector = 11;

bool GptHeaderAt(ByteView first, uint32_t offset)
{
    tagGptHeader header{};
    return LoadRecord(first, offset, header) &&
           std::memcmp(header.Signature, kGptSignature, sizeof(kGptSignature)) == 0 &&
           header.MyLba == kGptPrimaryLba;
}

} // namespace

uint32_t ProbeSectorSize(ByteView first)
{
    for (uint32_t size : kSectorSizes)
        if (GptHeaderAt(first, size))
            return size;
    uint16_t bytesPerSector = 0;
    // exFAT keeps its sector size as a power of two at 108; the old parameter block is zero.
    constexpr size_t kExFatSectorShift = 108;
    if (FileSystemTypeFromBoot(first) == FS_TYPE_EXFAT && first.size() > kExFatSectorShift &&
        first[kExFatSectorShift] >= 9 && first[kExFatSectorShift] <= 12)
        return 1u << first[kExFatSectorShift];
    if (FileSystemTypeFromBoot(first) != FS_TYPE_NONE && LoadU16LE(first, kBpbBytesPerSector, bytesPerSector))
        for (uint32_t size : kSectorSizes)
            if (bytesPerSector == size)
                return size;
    return 0;
}

void AdoptImageSectorSize(IDeviceIO* device)
{
    tagDiskGeometry geometry;
    if (!device || !device->SectorSizeIsAssumed() || device->GetGeometry(&geometry) != ERROR_SUCCESS ||
        geometry.BytesPerSector != 512 || geometry.TotalSectors == 0)
        return;
    const auto sectors = static_cast<uint32_t>(std::min<uint64_t>(geometry.TotalSectors, kSectorProbeBytes / 512));
    std::vector<uint8_t> first(size_t{sectors} * 512);
    if (device->ReadSectors(0, first.data(), sectors) != ERROR_SUCCESS)
        return;
    const uint32_t size = ProbeSectorSize(ByteView(first.data(), first.size()));
    if (size <= 512)
        return;
    VlmTrace("Disk image %d: read in %u-byte sectors, as its first sectors tell\n", device->GetNumber(), size);
    device->SetSectorSize(size);
}
