#pragma once
// How the front ends reach the devices and the rights to read them: disk images added by the
// user, the machine's own disks, and the administrator rights that reading those disks needs
// when the program does not run as root.
#include <cstdint>
#include <memory>
#include <string>

class IDeviceIO;

enum class EDiskRights
{
    NotNeeded,   // running as root, or the machine's disks are not listed at all
    NotAsked,    // the disks need rights that were not asked for
    Asked,       // asked for; the password dialog comes with the next device listing
    Granted,     // the helper that opens the disks runs
    Unavailable, // no way to ask here (no pkexec or no helper program)
    Refused,     // the rights were not given
};

namespace DeviceAccess {

/// Adds a disk image file to the devices of the next listing. With the rescue map of the run
/// that imaged it, the areas the map does not call rescued read as unreadable sectors.
/// `sectorSize` 0 finds the image's sector size.
void AddImage(const std::string& path, const std::string& mapPath = "", uint32_t sectorSize = 0);
/// Adds a floppy image (floppy 0, then 1) to the devices of the next listing.
void AddFloppyImage(const std::string& path);
/// An image the user named must open and be at least one sector long; false with the reason
/// in `error` otherwise.
bool CheckImage(const std::string& path, std::string* error);
/// A rescue map must parse (false with the reason in `error`); one that covers less than its
/// image leaves the rest unreadable and gets a `warning`, since it is most likely the map of
/// another image.
bool CheckMap(const std::string& mapPath, const std::string& imagePath, std::string* error, std::string* warning);
/// Lists (or leaves out) the machine's own disks from the next listing on.
void SetMachineDisks(bool listed);
/// The image file or device node behind disk `number` of kind `kind` (a volume extent's
/// device); "" when the device list knows none.
std::string DevicePath(uint32_t kind, uint32_t number);

/// Leaves the machine's disks out of the listings from now on and adds the image `path` as a
/// hard disk of its own: the number to open it under with OpenDisk.
uint32_t UseImageOnly(const std::string& path);
/// A disk device of the kind the listings read through, not yet open.
std::unique_ptr<IDeviceIO> NewDiskDevice();
/// Opens hard disk `number` read-only into `device`; false with the reason in `error`.
bool OpenDisk(IDeviceIO& device, uint32_t number, std::string* error);

/// Where the rights to read the machine's disks stand.
EDiskRights DiskRights();
/// Asks for the rights (again, after a refusal): the desktop's password dialog appears when
/// the next device listing opens the first disk that needs them.
void AskForDiskRights();
/// Asks for the rights when the machine's disks are listed and need them (not as root).
void AskForDiskRightsWhenNeeded();

} // namespace DeviceAccess
