#include "volume/KBasicVolumeIO.h"

#include "base/VlmErrors.h"
#include "device/KDeviceManager.h"

KBasicVolumeIO::~KBasicVolumeIO()
{
    if (m_pDevice)
    {
        m_pDevice->Close();
        KDeviceManager().DestroyDevice(m_pDevice);
        m_pDevice = nullptr;
    }
}

bool KBasicVolumeIO::Open(const tagVolumeInfo* record, uint32_t index)
{
    if (!record || record->Extents.empty()) return false;
    m_Record = *record;
    m_Record.VolumeIO = nullptr;
    m_nIndex = static_cast<int32_t>(index);
    KDeviceManager manager;
    IDeviceIO* device = manager.CreateDevice();
    if (!device) return false;
    const tagVolumeExtent& first = m_Record.Extents.front();
    if (device->Open(first.DeviceKind, first.DeviceNumber) != ERROR_SUCCESS)
    {
        manager.DestroyDevice(device);
        return false;
    }
    m_pDevice = device;
    return true;
}

uint32_t KBasicVolumeIO::ReadSectors(uint64_t firstSector, void* buffer, uint32_t count)
{
    if (!m_pDevice) return ERROR_FUNCTION_FAILED;
    // No check against the record's SectorCount: reads past the partition reach the following
    // device sectors and are refused only at the end of the device.
    const uint64_t start = m_Record.Extents.front().DeviceStart;
    if (firstSector > UINT64_MAX - start) return ERROR_END_OF_MEDIA;
    return m_pDevice->ReadSectors(firstSector + start, buffer, count);
}

uint32_t KBasicVolumeIO::GetDeviceKind(uint32_t* kind)
{
    if (!m_pDevice) return ERROR_FUNCTION_FAILED;
    return m_pDevice->GetKind(kind);
}

uint32_t KBasicVolumeIO::GetVolumeType(uint32_t* type)
{
    *type = static_cast<uint32_t>(m_Record.VolumeType);
    return ERROR_SUCCESS;
}

uint32_t KBasicVolumeIO::GetGeometry(tagDiskGeometry* geometry)
{
    if (!m_pDevice) return ERROR_FUNCTION_FAILED;
    const uint32_t err = m_pDevice->GetGeometry(geometry);
    if (err != ERROR_SUCCESS) return err;
    const uint64_t count = m_Record.SectorCount;
    geometry->TotalSectors = count;
    geometry->TotalSectors512 = count * (geometry->BytesPerSector / 512);
    const uint64_t track = uint64_t{geometry->SectorsPerTrack} * geometry->TracksPerCylinder;
    if (track != 0)
    {
        geometry->Cylinders = static_cast<uint32_t>(count / track);
    }
    else
    {
        geometry->SectorsPerTrack = 63;
        geometry->TracksPerCylinder = 255;
        geometry->Cylinders = static_cast<uint32_t>(count / (63 * 255));
    }
    return ERROR_SUCCESS;
}

uint32_t KBasicVolumeIO::GetDescription(std::string* text)
{
    if (!m_pDevice) return ERROR_FUNCTION_FAILED;
    return m_pDevice->GetDescription(text);
}

bool KBasicVolumeIO::IsRemovable() { return m_pDevice && m_pDevice->IsRemovable(); }

uint32_t KBasicVolumeIO::GetName(std::string* name)
{
    *name = m_Record.Drive;
    return ERROR_SUCCESS;
}
