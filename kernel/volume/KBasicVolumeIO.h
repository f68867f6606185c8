#pragma once
// A volume that lies in one contiguous run of one device: a partition from a partition table,
// a partition found in unallocated space, a superfloppy, a whole device.
#include "volume/IVolumeIO.h"

class KBasicVolumeIO final : public IVolumeIO
{
public:
    KBasicVolumeIO() = default;
    ~KBasicVolumeIO() override;

    uint32_t ReadSectors(uint64_t firstSector, void* buffer, uint32_t count) override;
    uint32_t GetDeviceKind(uint32_t* kind) override;
    uint32_t GetVolumeType(uint32_t* type) override;
    uint32_t GetGeometry(tagDiskGeometry* geometry) override;
    uint32_t GetDescription(std::string* text) override;
    bool IsRemovable() override;
    int32_t GetIndex() override { return m_nIndex; }
    uint32_t GetName(std::string* name) override;
    bool Open(const tagVolumeInfo* record, uint32_t index) override;
    void AdviseSequential() override
    {
        if (m_pDevice) m_pDevice->AdviseSequential();
    }

private:
    IDeviceIO* m_pDevice = nullptr; // owned, created through KDeviceManager
    tagVolumeInfo m_Record;
    int32_t m_nIndex = 0;
};
