#include "volume/KMirrorVolumeIO.h"

#include "base/VlmErrors.h"

bool KMirrorVolumeIO::Open(const tagVolumeInfo* record, uint32_t index)
{
    KSpannedVolumeIO::Open(record, index);
    if (m_Devices.size() != m_Record.Extents.size()) return false;
    return CountAnsweringMembers() >= 1;
}

uint32_t KMirrorVolumeIO::ReadSectors(uint64_t first, void* buffer, uint32_t count)
{
    uint32_t r = ERROR_FUNCTION_FAILED;
    for (size_t i = 0; i < m_Devices.size(); ++i)
    {
        const uint64_t start = m_Record.Extents[i].DeviceStart;
        if (first > UINT64_MAX - start) continue;
        r = m_Devices[i]->ReadSectors(first + start, buffer, count);
        if (r == ERROR_SUCCESS) return ERROR_SUCCESS;
    }
    return r;
}
