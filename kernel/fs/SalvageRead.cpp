#include "fs/SalvageRead.h"

#include <cstring>

#include "base/VlmErrors.h"
#include "fs/KSectorRanges.h"
#include "volume/IVolumeIO.h"

uint32_t ReadSectorsSalvaging(IVolumeIO& volume, uint64_t first, uint8_t* buffer, uint32_t count,
                              uint32_t bytesPerSector, KSectorRanges* unreadable)
{
    if (count == 0) return 0;
    if (volume.ReadSectors(first, buffer, count) == ERROR_SUCCESS) return 0;
    uint32_t failed = 0;
    for (uint32_t i = 0; i < count; ++i)
    {
        uint8_t* sector = buffer + static_cast<uint64_t>(i) * bytesPerSector;
        if (volume.ReadSectors(first + i, sector, 1) == ERROR_SUCCESS) continue;
        std::memset(sector, 0, bytesPerSector);
        ++failed;
        if (unreadable) unreadable->Add(first + i, 1);
    }
    return failed;
}
