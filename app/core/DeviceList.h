#pragma once
// The device page's list: which volumes of the volume manager appear, in which order and with
// which texts, for each recovery module.
//
// Undelete Recovery lists every volume that is not a physical device, by the first character
// of its drive (an empty drive first, ties in discovery order), then the physical devices.
// Advanced and Deep Scan Recovery list the physical devices, floppies and the dynamic volumes
// that span disks (striped, spanned, RAID-5) at the top level, each physical device (not a
// floppy) followed by the indented volumes that lie on it.
#include <cstdint>
#include <string>
#include <vector>

#include "core/RecoveryModule.h"

class IVolumeIO;
class KVolumeManager;
struct tagVolumeInfo;

// What the order depends on, per volume.
struct tagDeviceKey
{
    int32_t nVolumeType = 0;
    uint32_t dwDeviceKind = 0;   // of the volume object (0: floppy)
    uint32_t dwDeviceNumber = 0; // of the first extent
    std::string strDrive;
};

struct tagDeviceRowRef
{
    int nVolume = 0;        // index in the volume manager's list
    bool bIndented = false; // a volume shown under its physical device
};

struct tagDeviceRow
{
    int nVolume = 0;
    bool bIndented = false;
    bool bPhysical = false; // "Open" does not apply to a physical device
    int32_t nVolumeType = 0;
    std::string strDevice;      // "C:(DATA,NTFS)" or the device's description
    std::string strType;        // "Basic Volume", ...
    std::string strStartSector; // the first extent's device sector
    std::string strCapacity;    // FormatSize of the volume's bytes
    uint64_t u64CapacityBytes = 0;
    std::string strInformation; // the volume's description
    std::string strFileSystem;  // "FAT32", ..., "Unidentified"
};

class CDeviceList
{
public:
    static std::vector<std::string> Headers(EModule module);
    /// The column texts of a row in the module's layout.
    static std::vector<std::string> Columns(const tagDeviceRow& row, EModule module);
    static std::string Heading(EModule module);
    /// The hint under the list; "" in Deep Scan Recovery.
    static std::string Hint(EModule module);

    /// The rows of the module's layout, as indices into `keys`.
    static std::vector<tagDeviceRowRef> Order(const std::vector<tagDeviceKey>& keys, EModule module);
    /// "%s(%s,%s)" with drive, label and file system, or "%s(%s)" without a label; a physical
    /// device shows its own description.
    static std::string DeviceText(const tagVolumeInfo& record, IVolumeIO* volume);
    /// The name of a volume type, "" for an unknown one.
    static std::string TypeName(int32_t volumeType);

    /// The rows for the volumes `volumes` holds now.
    static std::vector<tagDeviceRow> Rows(KVolumeManager& volumes, EModule module);
};
