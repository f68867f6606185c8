#pragma once
// Writes dynamic-disk member images for tests: MBR with the 0x42 marker, PRIVHEAD, table of
// contents, database header and VBLK records for a disk group, its disks, volumes, components
// and partitions. Laid out as the published format describes it, so that other readers
// accept the result too. A member may be a dynamic disk on GPT instead: protective MBR, GPT
// with an LDM metadata partition (database, PRIVHEAD in its last sector), a reserved
// partition and an LDM data partition that is the member's logical disk.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct LdmTestPartition
{
    size_t Disk = 0;    // index into LdmTestGroup::DiskGuids
    uint64_t Start = 0; // from the disk's logical disk start
    uint64_t VolumeOffset = 0;
    uint64_t Size = 0;
    int Index = -1; // column; -1 writes no index
};

struct LdmTestComponent
{
    uint8_t Type = 2;        // 1 striped, 2 spanned/simple/mirror half, 3 RAID-5
    uint64_t StripeSize = 0; // sectors; 0 writes no stripe fields
    uint64_t Columns = 0;
    std::vector<LdmTestPartition> Partitions;
};

struct LdmTestVolume
{
    std::string Name;
    bool Raid5 = false;
    uint64_t Size = 0;
    uint8_t PartitionType = 0x07;
    std::vector<LdmTestComponent> Components;
};

struct LdmTestGroup
{
    std::string GroupGuid = "8e7a6f3c-1d2b-4c5e-9f01-23456789abcd";
    std::string GroupName = "TESTDG";
    std::vector<std::string> DiskGuids;
    std::vector<LdmTestVolume> Volumes;
};

struct LdmWriteOptions
{
    uint64_t TotalSectors = 0;       // of every member image
    bool PrivHeadAtSector6 = true;   // false: only the copy in the last sector
    bool WriteVmdb = true;           // false: 128-byte slots found by their "VBLK" magic
    bool TocInFirstSector = true;    // false: TOCBLOCK only at database sector 2
    bool ScatterFragments = false;   // continuation fragments placed apart, blank slots between
    bool PartitionsReversed = false; // partition records stored in reverse order
    uint32_t GptMembers = 0;         // bit d set: member d is a dynamic disk on GPT
};

inline constexpr uint64_t kLdmTestLogicalStart = 63;
inline constexpr uint64_t kLdmTestConfigSectors = 2048;
// GPT members: LDM metadata partition (the database) from sector 34, a reserved partition
// after it, the LDM data partition from kLdmTestGptDataStart to 34 sectors before the end.
inline constexpr uint64_t kLdmTestGptMetadataStart = 34;
inline constexpr uint64_t kLdmTestGptDataStart = 4096;
inline constexpr uint64_t kLdmTestGptTailSectors = 33; // backup array and header

inline bool LdmTestIsGpt(const LdmWriteOptions& options, size_t disk)
{
    return disk < 32 && (options.GptMembers >> disk & 1) != 0;
}
// Where member `disk`'s logical disk (the sector its partitions count from) begins.
inline uint64_t LdmTestLogicalStartOf(const LdmWriteOptions& options, size_t disk)
{
    return LdmTestIsGpt(options, disk) ? kLdmTestGptDataStart : kLdmTestLogicalStart;
}

// What member `disk` holds besides its data: (first sector, bytes) pieces in writing order,
// a later piece overwriting an earlier one where they meet.
using LdmTestPieces = std::vector<std::pair<uint64_t, std::vector<uint8_t>>>;
LdmTestPieces MakeLdmMemberPieces(const LdmTestGroup& group, size_t disk, const LdmWriteOptions& options);

// The whole image of member `disk` (TotalSectors x 512 bytes), data area zero.
std::vector<uint8_t> MakeLdmMemberImage(const LdmTestGroup& group, size_t disk, const LdmWriteOptions& options);

// The bytes of the database area (kLdmTestConfigSectors sectors), the same on every member.
std::vector<uint8_t> MakeLdmDatabase(const LdmTestGroup& group, const LdmWriteOptions& options);

// The VBLK records of the group, each as (flags, type, data): for unit tests of the parser.
struct LdmTestRecord
{
    uint8_t Flags = 0;
    uint8_t Type = 0;
    std::vector<uint8_t> Data;
};
std::vector<LdmTestRecord> MakeLdmRecords(const LdmTestGroup& group, const LdmWriteOptions& options);

// Slots of `slotSize` bytes for the records: fragments, sequence numbers from `firstSequence`.
std::vector<uint8_t> MakeLdmSlots(const std::vector<LdmTestRecord>& records, uint32_t slotSize, bool scatter,
                                  uint32_t firstSequence);
