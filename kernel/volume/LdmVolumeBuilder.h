#pragma once
// Turns the assembled records of one disk's database into volume records: each volume record
// with its components, each component with its partitions, each partition matched to the
// member disk that carries it. Pure: the member disks are given as plain descriptions.
#include <cstdint>
#include <string>
#include <vector>

#include "format/ldm/LdmRecords.h"
#include "volume/tagVolumeInfo.h"

// A dynamic disk that is present: its identifier and how to open it.
struct tagLdmMemberDisk
{
    std::string DiskId;
    uint32_t DeviceKind = 0;
    uint32_t DeviceNumber = 0;
    uint64_t LogicalDiskStart = 0;
};

// Appends one record per volume record of `records` whose components and partitions are all
// found. VolumeType is -1 for layouts that cannot be read. Members on absent disks keep
// DeviceKind and DeviceNumber -1 and their start relative to that disk's logical start.
void BuildLdmVolumes(const std::vector<LdmRecord>& records, const std::vector<tagLdmMemberDisk>& disks,
                     std::vector<tagVolumeInfo>* out);

// True when two records describe the same volume (every member disk carries the database).
bool SameDynamicVolume(const tagVolumeInfo& a, const tagVolumeInfo& b);
