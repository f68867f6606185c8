#include "ntfs/NtfsVolumeLabel.h"

#include <algorithm>
#include <vector>

#include "base/VlmErrors.h"
#include "ntfs/NtfsLayout.h"
#include "ntfs/NtfsRecord.h"
#include "os/OsText.h"
#include "volume/IVolumeIO.h"

bool ReadVolumeLabel(IVolumeIO* volume, int64_t mftSector, std::string* label)
{
    constexpr uint32_t kRecordBytes = 1024;
    constexpr size_t kMaxLabelBytes = 511;
    tagDiskGeometry g;
    if (!volume || volume->GetGeometry(&g) != ERROR_SUCCESS || g.BytesPerSector == 0)
        return false;
    if (mftSector < 0 || static_cast<uint64_t>(mftSector) >= g.TotalSectors)
        return false;
    // Record 3 at 1024 bytes per record lies 6 sectors of 512 bytes in.
    std::vector<uint8_t> buffer(std::max<size_t>(2 * static_cast<size_t>(g.BytesPerSector), kRecordBytes));
    if (volume->ReadSectors(static_cast<uint64_t>(mftSector) + 6, buffer.data(), 2) != ERROR_SUCCESS)
        return false;
    if (!CheckFileRecord(buffer.data(), kRecordBytes, false))
        return false;
    const uint8_t* name = FindAttribute(buffer.data(), kNtfsAttrVolumeName, 0, static_cast<int>(kRecordBytes));
    ByteView value;
    if (!name || !ResidentValue(name, &value))
        return false;
    std::string text;
    ConvertName(value.data(), static_cast<int>(value.size() / 2), &text);
    *label = CutUtf8(text, kMaxLabelBytes);
    return true;
}
