#include "volume/KMemoryVolumeIO.h"

#include <cstring>

#include "base/VlmErrors.h"

KMemoryVolumeIO::KMemoryVolumeIO(std::vector<uint8_t> image, uint32_t bytesPerSector, uint32_t deviceKind)
    : m_Image(std::move(image)), m_BytesPerSector(bytesPerSector ? bytesPerSector : 512), m_DeviceKind(deviceKind)
{}

uint32_t KMemoryVolumeIO::ReadSectors(uint64_t firstSector, void* buffer, uint32_t count)
{
    m_ReadCount.fetch_add(1, std::memory_order_relaxed);
    const uint64_t total = m_Image.size() / m_BytesPerSector;
    if (firstSector > total || count > total - firstSector) return ERROR_END_OF_MEDIA;
    if (m_BadCount && firstSector < m_BadFirst + m_BadCount && firstSector + count > m_BadFirst) return ERROR_IO_DEVICE;
    if (count)
        std::memcpy(buffer, m_Image.data() + firstSector * m_BytesPerSector,
                    static_cast<size_t>(count) * m_BytesPerSector);
    return ERROR_SUCCESS;
}

uint32_t KMemoryVolumeIO::GetDeviceKind(uint32_t* kind)
{
    *kind = m_DeviceKind;
    return ERROR_SUCCESS;
}

uint32_t KMemoryVolumeIO::GetVolumeType(uint32_t* type)
{
    *type = m_VolumeType;
    return ERROR_SUCCESS;
}

uint32_t KMemoryVolumeIO::GetGeometry(tagDiskGeometry* geometry)
{
    const uint64_t total = m_Image.size() / m_BytesPerSector;
    geometry->BytesPerSector = m_BytesPerSector;
    geometry->TracksPerCylinder = 255;
    geometry->SectorsPerTrack = 63;
    geometry->Cylinders = static_cast<uint32_t>(total / (255 * 63));
    geometry->TotalSectors = total;
    geometry->TotalSectors512 = total * (m_BytesPerSector / 512);
    return ERROR_SUCCESS;
}

uint32_t KMemoryVolumeIO::GetDescription(std::string* text)
{
    *text = "Memory Image";
    return ERROR_SUCCESS;
}

uint32_t KMemoryVolumeIO::GetName(std::string* name)
{
    *name = m_Name;
    return ERROR_SUCCESS;
}

bool KMemoryVolumeIO::Open(const tagVolumeInfo* record, uint32_t index)
{
    m_Index = static_cast<int32_t>(index);
    if (record)
    {
        m_Name = record->Drive;
        m_VolumeType = static_cast<uint32_t>(record->VolumeType);
    }
    return true;
}
