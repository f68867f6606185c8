#pragma once
// The dynamic-disk reader: finds the disks that carry a database (PRIVHEAD), reads each
// disk's database and turns it into volume records, keeping each volume once although every
// member disk carries a copy. The parsing itself is in LdmRecords and LdmVolumeBuilder.
#include <cstdint>
#include <string>
#include <vector>

#include "device/IDeviceIO.h"
#include "base/IProgress.h"
#include "volume/tagVolumeInfo.h"

struct tagDiskRecord
{
    IDeviceIO* Device = nullptr; // owned by the discovery run
    uint64_t LogicalDiskStart = 0;
    uint64_t LogicalDiskSize = 0;
    uint64_t ConfigStart = 0;
    uint64_t ConfigSize = 0;
    std::string DiskId;
};

// Fills `out` with one record per distinct dynamic volume of `fixedDisks`. After each disk
// that has a PRIVHEAD, *counter is raised by one and reported through `progress` (optional).
void ParseDynamicDisks(const std::vector<IDeviceIO*>& fixedDisks, std::vector<tagVolumeInfo>* out,
                       IProgress_Server* progress, int64_t* counter);

// The volumes described by the database of disks[diskIndex]. False when the disk yields
// nothing (a read failed or a structure is missing).
bool ParseConfigDatabase(size_t diskIndex, const std::vector<tagDiskRecord>& disks, std::vector<tagVolumeInfo>* out);

// The PRIVHEAD of one disk: on a GPT with an LDM metadata partition the last sector of that
// partition first; then sector 6, else the last sector, else the one before it.
bool ReadPrivHead(IDeviceIO* device, tagDiskRecord* out);
