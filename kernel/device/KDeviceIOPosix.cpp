#include "device/KDeviceIOPosix.h"

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "os/OsAdminOpener.h"
#include "os/OsDevice.h"
#include "os/OsDeviceTable.h"
#include "os/OsImage.h"
#include "os/OsRescueMapFile.h"
#include "format/rescuemap/RescueMap.h"
#include "base/EngineStrings.h"

namespace {

constexpr uint64_t kGeometryUnknown = ~uint64_t{0};
constexpr uint32_t kFallbackHeads = 255;
constexpr uint32_t kFallbackSectorsPerTrack = 63;
constexpr uint32_t kMaxSectorSize = 4096;

} // namespace

KDeviceIOPosix::KDeviceIOPosix() { m_Geometry.TotalSectors512 = kGeometryUnknown; }

KDeviceIOPosix::~KDeviceIOPosix() { Close(); }

uint32_t KDeviceIOPosix::Open(uint32_t kind, uint32_t number)
{
    if (IsOpen()) Close();
    if (kind != DEVICE_FLOPPY && kind != DEVICE_HARDDISK && kind != DEVICE_CDROM)
        return ERROR_INVALID_PARAMETER; // logical drives do not exist on this platform
    if (kind == DEVICE_FLOPPY && number > 1) return ERROR_INVALID_PARAMETER;

    OsDeviceEntry entry;
    if (!OsDeviceTable::Instance().Lookup(kind, number, &entry))
        return kind == DEVICE_FLOPPY ? ERROR_INVALID_PARAMETER : ERROR_FILE_NOT_FOUND;

    m_Kind = static_cast<int32_t>(kind);
    m_Number = static_cast<int32_t>(number);
    // Disks may need administrator rights (through the helper); images are the user's own files.
    int fd = -1;
    const uint32_t err = entry.IsImage ? OpenImage(entry) : OsOpenDeviceReadOnly(entry.Path, &fd);
    if (err != ERROR_SUCCESS)
    {
        m_pImage.reset();
        m_pMap.reset();
        m_Kind = m_Number = -1;
        return err;
    }
    m_Fd = fd;
    m_Path = entry.Path;
    m_SysName = entry.SysName;
    m_IsImage = entry.IsImage;
    m_dwImageSectorSize = entry.SectorSize;
    return QueryGeometry();
}

uint32_t KDeviceIOPosix::OpenImage(const OsDeviceEntry& entry)
{
    std::string why;
    if (const uint32_t err = OsOpenImage(entry.Path, &m_pImage, &why); err != ERROR_SUCCESS)
    {
        VlmTrace("KDeviceIOPosix: image %s: %s\n", entry.Path.c_str(), why.c_str());
        return err;
    }
    if (entry.MapPath.empty()) return ERROR_SUCCESS;
    auto map = std::make_unique<RescueMap>();
    if (const uint32_t err = OsLoadRescueMap(entry.MapPath, map.get(), &why); err != ERROR_SUCCESS)
    {
        VlmTrace("KDeviceIOPosix: rescue map %s: %s\n", entry.MapPath.c_str(), why.c_str());
        return err;
    }
    m_pMap = std::move(map);
    return ERROR_SUCCESS;
}

uint32_t KDeviceIOPosix::Close()
{
    uint32_t err = ERROR_SUCCESS;
    if (m_Fd >= 0) err = OsCloseFd(m_Fd);
    m_pImage.reset();
    m_pMap.reset();
    m_Fd = -1;
    m_Kind = m_Number = -1;
    m_Geometry.TotalSectors512 = kGeometryUnknown;
    return err;
}

uint32_t KDeviceIOPosix::SetSectorSize(uint32_t bytesPerSector)
{
    if (!IsOpen() || !m_bSectorSizeAssumed) return ERROR_INVALID_FUNCTION;
    if (bytesPerSector != 512 && bytesPerSector != 1024 && bytesPerSector != 2048 && bytesPerSector != 4096)
        return ERROR_INVALID_PARAMETER;
    OsDeviceTable::Instance().SetImageSectorSize(static_cast<uint32_t>(m_Number), bytesPerSector);
    m_dwImageSectorSize = bytesPerSector;
    return QueryGeometry();
}

uint64_t KDeviceIOPosix::ChooseTotalSectors(uint64_t cylinders, uint32_t heads, uint32_t sectorsPerTrack,
                                            uint64_t scsiBlocks, uint64_t lengthSectors)
{
    const uint64_t track = uint64_t{heads} * sectorsPerTrack;
    const uint64_t g = cylinders * track;
    const uint64_t u = (cylinders + 1) * track;
    uint64_t total = g;
    if (scsiBlocks != 0 && g <= scsiBlocks && scsiBlocks <= u) total = scsiBlocks;
    if (lengthSectors != 0 && total <= lengthSectors && lengthSectors <= u) total = lengthSectors;
    return total;
}

uint32_t KDeviceIOPosix::QueryGeometry()
{
    if (!IsOpen()) return ERROR_DEVICE_NOT_AVAILABLE;

    // A block device tells its logical sector size, also when it is given as an image (a loop
    // device, /dev/sdX); an image file's was given by the user or found in it, else 512 is
    // assumed until the volume layer looks at its first sectors.
    uint32_t bytesPerSector = m_Kind == DEVICE_CDROM ? 2048 : 512;
    m_bSectorSizeAssumed = false;
    const bool stated = m_pImage ? m_pImage->SectorSize() != 0 : OsQuerySectorSize(m_Fd, &bytesPerSector);
    if (m_pImage && stated) bytesPerSector = m_pImage->SectorSize();
    if (!stated)
    {
        if (m_IsImage && m_dwImageSectorSize != 0)
            bytesPerSector = m_dwImageSectorSize;
        else
            m_bSectorSizeAssumed = m_IsImage && m_Kind == DEVICE_HARDDISK;
    }
    if (bytesPerSector < 512 || bytesPerSector % 512 != 0 || bytesPerSector > kMaxSectorSize) bytesPerSector = 512;

    uint64_t lengthBytes = m_pImage ? m_pImage->Length() : 0;
    const bool haveLength = m_pImage ? true : OsQueryLength(m_Fd, &lengthBytes);
    const uint64_t lengthSectors = haveLength ? lengthBytes / bytesPerSector : 0;

    // A: the length; B: the SCSI capacity (hard disks only, optional).
    uint64_t scsiBlocks = 0;
    if (m_Kind == DEVICE_HARDDISK && !m_IsImage) OsScsiReadCapacity(m_Fd, &scsiBlocks);

    OsCylinderGeometry cyl;
    if (m_IsImage || !OsQueryCylinderGeometry(m_Fd, &cyl))
    {
        if (!haveLength) return ERROR_INVALID_FUNCTION;
        cyl.Heads = kFallbackHeads;
        cyl.SectorsPerTrack = kFallbackSectorsPerTrack;
        cyl.Cylinders = lengthSectors / (uint64_t{kFallbackHeads} * kFallbackSectorsPerTrack);
    }
    else if (haveLength)
    {
        // HDIO_GETGEO's cylinder field is 16 bits and wraps; derive it from the length.
        cyl.Cylinders = lengthSectors / (uint64_t{cyl.Heads} * cyl.SectorsPerTrack);
    }

    // Images and disks smaller than one cylinder: the length is exact, take it as it is.
    uint64_t total = ChooseTotalSectors(cyl.Cylinders, cyl.Heads, cyl.SectorsPerTrack,
                                        m_Kind == DEVICE_HARDDISK ? scsiBlocks : 0, lengthSectors);
    if (m_Kind == DEVICE_FLOPPY || m_Kind == DEVICE_CDROM) total = lengthSectors;

    m_Geometry.Cylinders = static_cast<uint32_t>(cyl.Cylinders);
    m_Geometry.TracksPerCylinder = cyl.Heads;
    m_Geometry.SectorsPerTrack = cyl.SectorsPerTrack;
    m_Geometry.BytesPerSector = bytesPerSector;
    m_Geometry.TotalSectors = total;
    m_Geometry.TotalSectors512 = total * (bytesPerSector / 512);
    return ERROR_SUCCESS;
}

uint32_t KDeviceIOPosix::ReadSectors(uint64_t firstSector, void* buffer, uint32_t count)
{
    if (!IsOpen()) return ERROR_DEVICE_NOT_AVAILABLE;
    if (firstSector > m_Geometry.TotalSectors || count > m_Geometry.TotalSectors - firstSector)
    {
        VlmTrace("KDeviceIONT::ReadSectors()==ERROR_END_OF_MEDIA\n");
        return ERROR_END_OF_MEDIA;
    }
    const uint64_t bps = m_Geometry.BytesPerSector;
    const size_t length = static_cast<size_t>(uint64_t{count} * bps);
    if (m_pMap && !m_pMap->Rescued(firstSector * bps, length))
    {
        VlmTrace("KDeviceIONT::ReadSectors()==GetLastError()\n");
        return ERROR_IO_DEVICE; // not rescued: what the image holds there is not the disk's data
    }
    size_t got = 0;
    uint32_t err = ERROR_SUCCESS;
    if (!m_pImage)
        err = OsReadAt(m_Fd, firstSector * bps, buffer, length, &got);
    else if (m_pImage->ConcurrentReads())
        err = m_pImage->ReadAt(firstSector * bps, buffer, length, &got);
    else
    {
        const std::lock_guard<std::mutex> lock(m_ImageLock);
        err = m_pImage->ReadAt(firstSector * bps, buffer, length, &got);
    }
    if (err != ERROR_SUCCESS)
    {
        VlmTrace("KDeviceIONT::ReadSectors()==GetLastError()\n");
        return err;
    }
    if (got < length)
    {
        VlmTrace("KDeviceIONT::ReadSectors()==ERROR_READ_FAULT\n");
        return ERROR_READ_FAULT;
    }
    return ERROR_SUCCESS;
}

void KDeviceIOPosix::AdviseSequential()
{
    if (m_pImage)
        m_pImage->AdviseSequential();
    else if (m_Fd >= 0)
        OsAdviseSequential(m_Fd);
}

uint32_t KDeviceIOPosix::GetKind(uint32_t* kind)
{
    *kind = static_cast<uint32_t>(m_Kind);
    return ERROR_SUCCESS;
}

uint32_t KDeviceIOPosix::GetGeometry(tagDiskGeometry* geometry)
{
    uint32_t err = ERROR_SUCCESS;
    if (m_Geometry.TotalSectors512 == kGeometryUnknown) err = QueryGeometry();
    *geometry = m_Geometry;
    return err;
}

uint32_t KDeviceIOPosix::GetDescription(std::string* text)
{
    if (!IsOpen()) return ERROR_DEVICE_NOT_AVAILABLE;
    if (m_Kind == DEVICE_FLOPPY)
    {
        *text = EngineString(IDS_FLOPPY_DISK);
        return ERROR_SUCCESS;
    }
    if (m_IsImage)
    {
        // An image is described by its file name.
        const size_t slash = m_Path.find_last_of('/');
        *text = slash == std::string::npos ? m_Path : m_Path.substr(slash + 1);
        return ERROR_SUCCESS;
    }
    OsDeviceIdentity id;
    if (!OsQueryIdentity(m_SysName, &id)) return ERROR_FUNCTION_FAILED;
    const char* bus = nullptr;
    switch (id.Bus)
    {
    case 1: bus = EngineString(IDS_BUS_SCSI); break;
    case 7: bus = EngineString(IDS_BUS_USB); break;
    case 6: bus = EngineString(IDS_BUS_FIBRE); break;
    case 8: bus = EngineString(IDS_BUS_RAID); break;
    default: break;
    }
    std::string out = id.Vendor;
    if (!out.empty()) out += ' ';
    out += id.Model.empty() ? m_SysName : id.Model;
    if (bus)
    {
        out += ' ';
        out += bus;
    }
    *text = out;
    return ERROR_SUCCESS;
}

bool KDeviceIOPosix::IsRemovable()
{
    if (!IsOpen() || m_IsImage) return false;
    OsDeviceIdentity id;
    return OsQueryIdentity(m_SysName, &id) && id.Removable;
}
