#include "os/OsDeviceTable.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>

#include "base/DeviceKind.h"
#include "base/VlmErrors.h"
#include "os/OsImage.h"

namespace {

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Whole-disk names only: partitions (sda1, nvme0n1p1, mmcblk0p1) have their own entries in
// /sys/block only for disks, so listing /sys/block already excludes them.
bool IsDiskName(const std::string& name)
{
    if (StartsWith(name, "sd") || StartsWith(name, "vd") || StartsWith(name, "hd") || StartsWith(name, "xvd"))
        return true;
    // eMMC boot and replay-protected areas are not user data disks.
    if (StartsWith(name, "mmcblk"))
        return name.find("boot") == std::string::npos && name.find("rpmb") == std::string::npos;
    // nvme<ctrl>n<ns> only; nvme<ctrl>c<path>n<ns> are hidden multipath nodes.
    if (StartsWith(name, "nvme"))
    {
        size_t i = 4;
        while (i < name.size() && std::isdigit(static_cast<unsigned char>(name[i]))) ++i;
        return i > 4 && i < name.size() && name[i] == 'n';
    }
    if (StartsWith(name, "loop"))
    {
        std::ifstream backing("/sys/block/" + name + "/loop/backing_file");
        std::string file;
        return backing && std::getline(backing, file) && !file.empty();
    }
    return false;
}

bool FileExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace

OsDeviceTable& OsDeviceTable::Instance()
{
    static OsDeviceTable table;
    return table;
}

void OsDeviceTable::RegisterImage(const std::string& path, uint32_t sectorSize, const std::string& mapPath)
{
    m_Images.push_back({path, "", true, sectorSize, mapPath});
}

bool OsDeviceTable::SetImageSectorSize(uint32_t number, uint32_t sectorSize)
{
    if (number >= m_Images.size()) return false;
    m_Images[number].SectorSize = sectorSize;
    return true;
}
void OsDeviceTable::RegisterFloppyImage(const std::string& path) { m_FloppyImages.push_back(path); }
void OsDeviceTable::RegisterOpticalImage(const std::string& path) { m_OpticalImages.push_back(path); }

std::vector<std::string> OsDeviceTable::RegisteredImages() const
{
    std::vector<std::string> all;
    for (const OsDeviceEntry& image : m_Images)
    {
        all.push_back(image.Path);
        // The other parts of a split image or an E01, and the rescue map, are the source too.
        std::unique_ptr<OsImage> opened;
        if (OsOpenImage(image.Path, &opened) == ERROR_SUCCESS)
        {
            for (const std::string& file : opened->Files())
            {
                if (file != image.Path) all.push_back(file);
            }
        }
        if (!image.MapPath.empty()) all.push_back(image.MapPath);
    }
    all.insert(all.end(), m_FloppyImages.begin(), m_FloppyImages.end());
    all.insert(all.end(), m_OpticalImages.begin(), m_OpticalImages.end());
    return all;
}

void OsDeviceTable::ClearImages()
{
    m_Images.clear();
    m_FloppyImages.clear();
    m_OpticalImages.clear();
}

void OsDeviceTable::SetMachineDevicesEnabled(bool enabled) { m_MachineDevices = enabled; }

std::vector<OsDeviceEntry> OsDeviceTable::HardDisks() const
{
    std::vector<OsDeviceEntry> out;
    out = m_Images;
    if (!m_MachineDevices) return out;
    if (!m_MachineListed) ListMachineDisks();
    out.insert(out.end(), m_MachineDisks.begin(), m_MachineDisks.end());
    return out;
}

void OsDeviceTable::RefreshMachineDevices() { ListMachineDisks(); }

void OsDeviceTable::ListMachineDisks() const
{
    m_MachineDisks.clear();
    m_MachineListed = true;
    std::vector<std::string> names;
    if (DIR* dir = ::opendir("/sys/block"))
    {
        while (dirent* e = ::readdir(dir))
        {
            std::string name = e->d_name;
            if (name != "." && name != ".." && IsDiskName(name)) names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) m_MachineDisks.push_back({"/dev/" + name, name, false, 0, {}});
}

uint32_t OsDeviceTable::HardDiskCount() const { return static_cast<uint32_t>(HardDisks().size()); }

bool OsDeviceTable::Lookup(uint32_t kind, uint32_t number, OsDeviceEntry* entry) const
{
    switch (kind)
    {
    case DEVICE_HARDDISK:
    {
        const std::vector<OsDeviceEntry> disks = HardDisks();
        if (number >= disks.size()) return false;
        *entry = disks[number];
        return true;
    }
    case DEVICE_FLOPPY:
        if (number > 1) return false;
        if (number < m_FloppyImages.size())
        {
            *entry = {m_FloppyImages[number], "", true, 0, {}};
            return true;
        }
        if (m_MachineDevices)
        {
            const std::string node = "/dev/fd" + std::to_string(number);
            if (FileExists(node))
            {
                *entry = {node, "fd" + std::to_string(number), false, 0, {}};
                return true;
            }
        }
        return false;
    case DEVICE_CDROM:
        if (number < m_OpticalImages.size())
        {
            *entry = {m_OpticalImages[number], "", true, 0, {}};
            return true;
        }
        if (m_MachineDevices)
        {
            const std::string node = "/dev/sr" + std::to_string(number);
            if (FileExists(node))
            {
                *entry = {node, "sr" + std::to_string(number), false, 0, {}};
                return true;
            }
        }
        return false;
    default: return false;
    }
}
