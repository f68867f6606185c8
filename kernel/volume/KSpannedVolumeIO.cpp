#include "volume/KSpannedVolumeIO.h"

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "device/KDeviceManager.h"

KSpannedVolumeIO::~KSpannedVolumeIO() { ReleaseDevices(); }

void KSpannedVolumeIO::ReleaseDevices()
{
    KDeviceManager manager;
    for (IDeviceIO* device : m_Devices)
    {
        device->Close();
        manager.DestroyDevice(device);
    }
    m_Devices.clear();
}

bool KSpannedVolumeIO::Open(const tagVolumeInfo* record, uint32_t index)
{
    if (!record) return false;
    m_Record = *record;
    m_Record.VolumeIO = nullptr;
    m_nIndex = static_cast<int32_t>(index);
    ReleaseDevices();
    KDeviceManager manager;
    for (const tagVolumeExtent& extent : m_Record.Extents)
    {
        IDeviceIO* device = manager.CreateDevice();
        if (!device)
        {
            ReleaseDevices();
            return false;
        }
        m_Devices.push_back(device);
        if (device->Open(extent.DeviceKind, extent.DeviceNumber) != ERROR_SUCCESS)
            continue; // an absent member stays closed
        // Every member is read in the volume's sectors: one of another size (a disk that moved
        // to a 4K enclosure) would fill a buffer with more bytes than it holds. It is left
        // closed, as if absent.
        tagDiskGeometry geometry;
        if (device->GetGeometry(&geometry) != ERROR_SUCCESS || geometry.BytesPerSector != kSectorBytes)
        {
            VlmTrace("Dynamic volume member on disk %u has %u-byte sectors, not %u: not read\n", extent.DeviceNumber,
                     geometry.BytesPerSector, kSectorBytes);
            device->Close();
        }
    }
    return true;
}

uint32_t KSpannedVolumeIO::ReadSectors(uint64_t first, void* buffer, uint32_t count)
{
    auto* out = static_cast<uint8_t*>(buffer);
    while (count != 0)
    {
        size_t i = 0;
        const std::vector<tagVolumeExtent>& ext = m_Record.Extents;
        while (i < ext.size() && (ext[i].SectorCount == 0 || ext[i].VolumeStart + ext[i].SectorCount - 1 < first)) ++i;
        if (i == ext.size() || first < ext[i].VolumeStart || !Member(i))
            return ERROR_FUNCTION_FAILED; // beyond the last extent, or in a hole between extents
        const uint64_t offset = first - ext[i].VolumeStart;
        if (offset + count <= ext[i].SectorCount)
            return m_Devices[i]->ReadSectors(ext[i].DeviceStart + offset, out, count);
        const auto n = static_cast<uint32_t>(ext[i].SectorCount - offset);
        const uint32_t r = m_Devices[i]->ReadSectors(ext[i].DeviceStart + offset, out, n);
        if (r != ERROR_SUCCESS) return r;
        out += size_t{n} * kSectorBytes;
        first += n;
        count -= n;
    }
    return ERROR_SUCCESS;
}

uint32_t KSpannedVolumeIO::GetDeviceKind(uint32_t* kind)
{
    if (m_Devices.empty()) return ERROR_FUNCTION_FAILED;
    *kind = DEVICE_HARDDISK;
    return ERROR_SUCCESS;
}

uint32_t KSpannedVolumeIO::GetVolumeType(uint32_t* type)
{
    if (m_Devices.empty()) return ERROR_FUNCTION_FAILED;
    *type = static_cast<uint32_t>(m_Record.VolumeType);
    return ERROR_SUCCESS;
}

uint32_t KSpannedVolumeIO::GetGeometry(tagDiskGeometry* geometry)
{
    if (m_Devices.empty()) return ERROR_FUNCTION_FAILED;
    geometry->BytesPerSector = kSectorBytes;
    geometry->SectorsPerTrack = 63;
    geometry->TracksPerCylinder = 255;
    geometry->TotalSectors = m_Record.SectorCount;
    geometry->TotalSectors512 = m_Record.SectorCount;
    geometry->Cylinders = static_cast<uint32_t>(m_Record.SectorCount / (63 * 255));
    return ERROR_SUCCESS;
}

uint32_t KSpannedVolumeIO::GetDescription(std::string* text)
{
    text->clear();
    for (IDeviceIO* device : m_Devices)
    {
        std::string part;
        if (device->GetDescription(&part) == ERROR_SUCCESS) *text += part + ";";
    }
    return ERROR_SUCCESS;
}

uint32_t KSpannedVolumeIO::GetName(std::string* name)
{
    *name = m_Record.Drive;
    return ERROR_SUCCESS;
}

size_t KSpannedVolumeIO::CountAnsweringMembers() const
{
    size_t answering = 0;
    for (IDeviceIO* device : m_Devices)
    {
        tagDiskGeometry geometry;
        if (device->GetGeometry(&geometry) == ERROR_SUCCESS) ++answering;
    }
    return answering;
}
