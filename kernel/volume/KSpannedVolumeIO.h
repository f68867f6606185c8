#pragma once
// Dynamic volumes: one device per extent of the record, devices[i] reading extents[i].
// Simple and spanned volumes concatenate their extents by VolumeStart; this class is also the
// base of the striped, mirrored and RAID-5 readers. Dynamic volumes always use 512-byte
// sectors.
#include <vector>

#include "volume/IVolumeIO.h"

class KSpannedVolumeIO : public IVolumeIO
{
public:
    KSpannedVolumeIO() = default;
    ~KSpannedVolumeIO() override;
    KSpannedVolumeIO(const KSpannedVolumeIO&) = delete;
    KSpannedVolumeIO& operator=(const KSpannedVolumeIO&) = delete;

    /// A hole between extents or a sector beyond the last one is 1627; a member's read error
    /// is returned as it is.
    uint32_t ReadSectors(uint64_t firstSector, void* buffer, uint32_t count) override;
    uint32_t GetDeviceKind(uint32_t* kind) override;
    uint32_t GetVolumeType(uint32_t* type) override;
    uint32_t GetGeometry(tagDiskGeometry* geometry) override;
    /// The members' descriptions, each followed by ";".
    uint32_t GetDescription(std::string* text) override;
    bool IsRemovable() override { return false; }
    int32_t GetIndex() override { return m_nIndex; }
    uint32_t GetName(std::string* name) override;
    /// Opens one device per extent; a member that cannot be opened stays as a closed device
    /// whose reads fail. False only when no device object can be created.
    bool Open(const tagVolumeInfo* record, uint32_t index) override;

protected:
    static constexpr uint32_t kSectorBytes = 512;

    void ReleaseDevices();
    // The device of member i, or null when the volume holds none for it.
    IDeviceIO* Member(size_t i) const { return i < m_Devices.size() ? m_Devices[i] : nullptr; }
    // Number of members whose device answers the geometry query.
    size_t CountAnsweringMembers() const;

    std::vector<IDeviceIO*> m_Devices; // owned, created through KDeviceManager
    tagVolumeInfo m_Record;
    int32_t m_nIndex = 0;
};
