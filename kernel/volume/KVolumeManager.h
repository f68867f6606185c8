#pragma once
// Finds every volume the program can recover from and keeps them in its list: physical
// devices, partitions of partition tables, deleted partitions found in unallocated space and
// dynamic-disk volumes. Each record owns its volume object while it is in the list. The list
// is the process's one list (every KVolumeManager object works on it); nothing else touches it.
#include <cstdint>
#include <vector>

#include "base/IProgress.h"
#include "volume/IVolumeIO.h"
#include "volume/tagVolumeInfo.h"

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
    /// Every record, in list order.
    const std::vector<tagVolumeInfo>& Records() const;
    /// Appends a record made outside discovery (an in-memory volume, for example); the list
    /// owns its volume object from then on. Returns the record's index.
    uint32_t AddRecord(const tagVolumeInfo& record);
    /// Deletes record i's volume object and takes the record out of the list; the records after
    /// it move up by one.
    void RemoveRecord(size_t i);
    /// Deletes every record's volume object and empties the list.
    void ClearVolumes();

    /// The volume object for a record by its VolumeType, opened with `index`; null when the
    /// type has no reader or the volume cannot be opened.
    static IVolumeIO* CreateVolumeIO(const tagVolumeInfo& record, uint32_t index);

private:
    void Report(int64_t* counter);
    void NameVolumes();
};

// The record whose volume object is `volume` (found by identity), or null when the volume is
// not in the list (in-memory volumes of tests, for example).
const tagVolumeInfo* VolumeRecordOf(const IVolumeIO* volume);

// The label of that record, or "" when there is none.
std::string VolumeRecordLabel(IVolumeIO* volume);
