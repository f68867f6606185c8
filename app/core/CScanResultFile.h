#pragma once
// The scan-result file (".rrs"): which volume was scanned, when, in which module, the
// recovery-page view, and every file system of the session with its whole scanned state.
//
// Layout (little-endian, packed, no alignment; L = description length, E = extent count):
//   0        16      signature 15 54 7F 1F 9F AD 4F BC A3 A1 BD 72 2F 41 45 28
//   16       4       L
//   20       L       description of the volume, 8-bit text without terminator
//   20+L     16      local saving time: eight u16 (year, month, day of week, day, hour,
//                    minute, second, milliseconds)
//   36+L     4       recovery module (0 Undelete, 1 Advanced, 2 Deep Scan, 3 Resume)
//   40+L     20      volume identity: u32 stripe size, u32 partition type, u32 volume type,
//                    i64 sector count
//   60+L     4       E
//   64+L     32*E    extents: u32 device kind, u32 device number, i64 sector count,
//                    i64 start within the volume, i64 start on the device
//   64+L+32E 4       recovery-page view at saving time (2 partition list, 3 file list)
//   68+L+32E 4       F, number of file systems
//   72+L+32E ...     F sections: u32 current flag (1 = the file system whose files are
//                    listed), u32 kind (KFileSystemMgr), the state written by its SaveTo
// then the status, read from the end of the file (files without it are complete results that
// were named by their user; a loader that stops after the sections never sees it):
//   end-16-D 4       flags: 1 the scan was cut short (partial), 2 named and kept automatically
//   end-12-D D       the device scanned, 8-bit text without terminator
//   end-12   4       D
//   end-8    8       "VLMSTATE"
//
// Everything read back is untrusted: each length and count is capped before it is used.
#include <cstdint>
#include <string>
#include <vector>

#include "base/ResourceLimits.h"
#include "storage/IStorageManager.h"
#include "volume/tagVolumeInfo.h"

class IFileSystem;
class IVolumeIO;
class KFileSystemMgr;

#pragma pack(push, 1)
struct tagSaveTime
{
    uint16_t wYear;
    uint16_t wMonth;
    uint16_t wDayOfWeek; // 0 Sunday
    uint16_t wDay;
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
};

struct tagStoredExtent
{
    uint32_t dwDeviceKind;
    uint32_t dwDeviceNumber;
    int64_t s64SectorCount;
    int64_t s64VolumeStart;
    int64_t s64DeviceStart;
};

struct tagStoredIdentity
{
    uint32_t dwStripeSize;
    uint32_t dwPartitionType;
    uint32_t dwVolumeType;
    int64_t s64SectorCount;
};
#pragma pack(pop)
static_assert(sizeof(tagSaveTime) == 16);
static_assert(sizeof(tagStoredExtent) == 32);
static_assert(sizeof(tagStoredIdentity) == 20);

struct tagScanResultStatus
{
    static constexpr uint32_t kPartial = 1;
    static constexpr uint32_t kAutomatic = 2;
    uint32_t dwFlags = 0;
    std::string strDevice;
    bool IsPartial() const { return (dwFlags & kPartial) != 0; }
    bool IsAutomatic() const { return (dwFlags & kAutomatic) != 0; }
};

struct tagScanResultHeader
{
    std::string strDescription;
    tagSaveTime Time{};
    uint32_t dwModule = 0;
    tagStoredIdentity Identity{};
    std::vector<tagStoredExtent> Extents;
};

class CScanResultFile
{
public:
    static constexpr uint8_t kSignature[16] = {0x15, 0x54, 0x7F, 0x1F, 0x9F, 0xAD, 0x4F, 0xBC,
                                               0xA3, 0xA1, 0xBD, 0x72, 0x2F, 0x41, 0x45, 0x28};
    // Caps on what a stored file may claim. A description is a volume name (a few dozen bytes),
    // a volume has one extent per member disk, a session a handful of file systems.
    static constexpr uint32_t kMaxDescription = VlmLimits::kMaxStoredDescription;
    static constexpr uint32_t kMaxExtents = VlmLimits::kMaxStoredExtents;
    static constexpr uint32_t kMaxFileSystems = VlmLimits::kMaxStoredFileSystems;
    static constexpr uint32_t kModuleCount = 4;

    /// The text shown for a volume in the list of saved results: a physical device's own
    /// description, else "label(drive,fs)" or, without a drive, "label(fs)".
    static std::string DescribeVolume(const tagVolumeInfo& record, IVolumeIO* volume);
    /// The header for the current session's volume, saved now.
    static tagScanResultHeader MakeHeader(const tagVolumeInfo& record, IVolumeIO* volume, uint32_t module);
    /// True when the stored identity names exactly this volume record: same stripe size,
    /// partition type, volume type, size and the same extents in the same order.
    static bool MatchesVolume(const tagScanResultHeader& header, const tagVolumeInfo& record);

    /// Signature through extents. False when a write fell short.
    static bool WriteHeader(IStorageManager* out, const tagScanResultHeader& header);
    /// Signature through extents. False on a wrong signature, a short file, a length or count
    /// beyond its cap, or a module number that does not exist.
    static bool ReadHeader(IStorageManager* in, tagScanResultHeader* header);

    /// The view, the file-system count and every section. False when a write or SaveTo failed.
    static bool WriteFileSystems(IStorageManager* out, uint32_t view, const KFileSystemMgr& fileSystems,
                                 const IFileSystem* current);
    /// The view and every section, each file system created in `into` and given `volume`.
    /// False on a short file, a count beyond its cap, an unknown kind or a section that does not
    /// load; `into` may then hold part of the sections and is to be thrown away.
    static bool ReadFileSystems(IStorageManager* in, IVolumeIO* volume, KFileSystemMgr* into, IFileSystem** current,
                                uint32_t* view);

    /// The status after the sections. False when a write fell short.
    static bool WriteStatus(IStorageManager* out, const tagScanResultStatus& status);
    /// The status from the last `size` bytes of a result (`tail`). False, with the status of a
    /// complete, user-named result without device, when they end in no valid status.
    static bool ParseStatus(const uint8_t* tail, size_t size, tagScanResultStatus* status);
    /// The status at the end of the file at `path`, as ParseStatus gives it (also for a file that
    /// cannot be read).
    static tagScanResultStatus ReadStatus(const std::string& path);

    /// The machine's local wall-clock time now.
    static tagSaveTime LocalNow();
    /// A key that orders saving times as time goes (a 64-bit file time of the wall clock).
    static int64_t TimeKey(const tagSaveTime& time);
};
