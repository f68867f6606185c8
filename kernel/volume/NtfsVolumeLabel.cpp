#include "volume/NtfsVolumeLabel.h"

#include <algorithm>
#include <bit>
#include <vector>

#include "base/VlmErrors.h"
#include "format/ntfs/NtfsLayout.h"
#include "format/ntfs/NtfsRecord.h"
#include "base/TextCodec.h"
#include "volume/IVolumeIO.h"

bool ReadVolumeLabel(IVolumeIO* volume, int64_t mftSector, std::string* label)
{
    constexpr uint64_t kVolumeRecord = 3;
    constexpr size_t kMaxLabelBytes = 511;
    tagDiskGeometry g;
    if (!volume || volume->GetGeometry(&g) != ERROR_SUCCESS || g.BytesPerSector < kNtfsFixupStride ||
        g.BytesPerSector > kNtfsMaxRecordBytes)
        return false;
    if (mftSector < 0 || static_cast<uint64_t>(mftSector) >= g.TotalSectors) return false;
    const uint64_t bps = g.BytesPerSector;
    // Record 0 names the size of every record of its MFT.
    std::vector<uint8_t> first(bps);
    if (volume->ReadSectors(static_cast<uint64_t>(mftSector), first.data(), 1) != ERROR_SUCCESS) return false;
    tagNtfsFileRecordHeader header{};
    if (!LoadRecord(ByteView(first), 0, header)) return false;
    const uint32_t recordBytes = header.AllocatedSize;
    if (recordBytes < kNtfsFixupStride || recordBytes > kNtfsMaxRecordBytes || !std::has_single_bit(recordBytes))
        return false;
    // Record 3, from the sector it starts in through the sector it ends in.
    const uint64_t at = kVolumeRecord * recordBytes;
    const uint64_t sector = static_cast<uint64_t>(mftSector) + at / bps;
    const uint64_t skip = at % bps;
    const auto count = static_cast<uint32_t>((skip + recordBytes + bps - 1) / bps);
    if (sector >= g.TotalSectors || count > g.TotalSectors - sector) return false;
    std::vector<uint8_t> buffer(count * bps);
    if (volume->ReadSectors(sector, buffer.data(), count) != ERROR_SUCCESS) return false;
    const MutableByteView record = MutableByteView(buffer).subspan(skip, recordBytes);
    if (!CheckFileRecord(record, false)) return false;
    const NtfsAttribute name = FindAttribute(record, kNtfsAttrVolumeName, 0);
    ByteView value;
    if (!name || !ResidentValue(name, &value)) return false;
    std::string text;
    ConvertName(value, &text);
    *label = CutUtf8(text, kMaxLabelBytes);
    return true;
}
