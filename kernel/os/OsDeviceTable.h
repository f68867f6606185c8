#pragma once
// The table that device numbers index, standing in for the system's device namespace.
//
// Hard-disk numbers: first the disk-image files registered for this run, in the order given,
// then the machine's whole-disk block devices from /sys/block (sd*, vd*, hd*, xvd*, nvme*n*,
// mmcblk*, and loop devices with a backing file), sorted by name. The machine's devices can
// be switched off (tests and the demo do, so that nothing depends on the disks of the host).
// Floppy numbers 0 and 1: a registered floppy image, else /dev/fd0 or /dev/fd1 when present.
// Optical number n: a registered optical image, else /dev/srN.
// Logical drives (kind 5) are not supported on this platform: mounted file systems are reached
// through their block devices instead.
#include <cstdint>
#include <string>
#include <vector>

// Not thread-safe: the device table is used from one thread.

struct OsDeviceEntry
{
    std::string Path;    // what is opened (image file or /dev node)
    std::string SysName; // /sys/block name for block devices, empty for images
    bool IsImage = false;
    uint32_t SectorSize = 0; // of a hard-disk image: given by the user or found in it; 0 unknown
    std::string MapPath;     // rescue map of a hard-disk image: what it does not mark rescued is unreadable
};

class OsDeviceTable
{
public:
    static OsDeviceTable& Instance();

    // Next hard-disk number; `sectorSize` 0 leaves the image's sector size to be found. With
    // `mapPath`, the bytes its rescue map does not mark as rescued read as unreadable sectors.
    void RegisterImage(const std::string& path, uint32_t sectorSize = 0, const std::string& mapPath = "");
    // The sector size found in hard-disk image `number` (kept until the images are cleared);
    // false when `number` is not an image.
    bool SetImageSectorSize(uint32_t number, uint32_t sectorSize);
    void RegisterFloppyImage(const std::string& path);  // floppy 0, then 1
    void RegisterOpticalImage(const std::string& path); // optical 0, 1, ...
    void ClearImages();
    // Every file the registered images are read from (hard disks with their parts, segments and
    // rescue maps, floppies, optical).
    std::vector<std::string> RegisteredImages() const;
    void SetMachineDevicesEnabled(bool enabled);
    bool MachineDevicesEnabled() const { return m_MachineDevices; }

    // The entry for (kind, number); false when there is none.
    bool Lookup(uint32_t kind, uint32_t number, OsDeviceEntry* entry) const;
    // Number of hard-disk entries (images plus machine disks).
    uint32_t HardDiskCount() const;
    // Lists the machine's disks again. Numbers stay stable between refreshes, so a disk
    // plugged in between listing and opening cannot take another disk's number.
    void RefreshMachineDevices();

private:
    std::vector<OsDeviceEntry> HardDisks() const;
    void ListMachineDisks() const;

    std::vector<OsDeviceEntry> m_Images;
    std::vector<std::string> m_FloppyImages;
    std::vector<std::string> m_OpticalImages;
    bool m_MachineDevices = true;
    // The machine's disks, listed on first use and on RefreshMachineDevices.
    mutable bool m_MachineListed = false;
    mutable std::vector<OsDeviceEntry> m_MachineDisks;
};
