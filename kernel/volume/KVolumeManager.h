#pragma once
// Finds every volume the program can recover from and keeps them in g_VolumeList: physical
// devices, partitions of partition tables, deleted partitions found in unallocated space and
// dynamic-disk volumes. Each record owns its volume object while it is in the list.
#include <cstdint>
#include <vector>

#include "fs/IProgress.h"
#include "volume/IVolumeIO.h"
#include "volume/tagVolumeInfo.h"

// The process-wide volume list. Destroying it deletes the volume objects, which return their
// devices to g_DeviceList; it is therefore made after the device list and destroyed before it.
class VolumeInfoArray : public std::vector<tagVolumeInfo>
{
public:
    VolumeInfoArray();
    VolumeInfoArray(const VolumeInfoArray&) = delete;
    VolumeInfoArray& operator=(const VolumeInfoArray&) = delete;
    virtual ~VolumeInfoArray();
};

extern VolumeInfoArray g_VolumeList;
extern bool g_bScanBasic;   // floppies and partition tables ("Initiate Basic Volume")
extern bool g_bScanDynamic; // dynamic-disk databases ("Initiate Dynamic Volume")

class KVolumeManager : public IProgress_Server
{
public:
    /// The discovery run. Progress: stage 0, maximum 194, one step per probe; never cancelled.
    void ScanVolumes();
    size_t GetVolumeCount() const;
    tagVolumeInfo& GetVolumeInfo(size_t i);
    IVolumeIO* GetVolumeIO(size_t i);
    /// Deletes every record's volume object and empties the list.
    void ClearVolumes();

    /// The volume object for a record by its VolumeType, opened with `index`; null when the
    /// type has no reader or the volume cannot be opened.
    static IVolumeIO* CreateVolumeIO(const tagVolumeInfo& record, uint32_t index);

private:
    void Report(int64_t* counter);
    void NameVolumes();
};

// The label of the volume list's record whose volume object is `volume`, or "" when the volume
// is not in the list (in-memory volumes of tests, for example).
std::string VolumeRecordLabel(IVolumeIO* volume);
