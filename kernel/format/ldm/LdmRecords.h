#pragma once
// Pure parsers of the dynamic-disk database: private header, table of contents, database
// header, assembly of records from their slots, and the five record kinds. No I/O here.
#include <cstdint>
#include <string>
#include <vector>

#include "base/ByteView.h"

// What a PRIVHEAD tells about its disk (numbers in 512-byte sectors).
struct tagPrivHead
{
    uint64_t LogicalDiskStart = 0;
    uint64_t LogicalDiskSize = 0;
    uint64_t ConfigStart = 0;
    uint64_t ConfigSize = 0;
    std::string DiskId; // GUID text
};

// True when `sector` begins with "PRIVHEAD"; fills `out`.
bool ParsePrivHead(ByteView sector, tagPrivHead* out);

// True when `sector` is a TOCBLOCK with a "config" entry (name compared without case);
// start and size are in sectors from the database start.
bool ParseTocConfig(ByteView sector, uint64_t* start, uint64_t* size);

// The database header: slot size and byte offset of slot 0 from the header.
enum class VmdbResult
{
    Absent,
    Valid,
    Corrupt
};
// Absent when `sector` does not begin with "VMDB"; Corrupt when its slot size cannot be used.
VmdbResult ParseVmdb(ByteView sector, uint32_t* slotSize, uint32_t* firstSlotOffset);

// An assembled record: the first slot's bytes, then each later fragment's continuation.
// Its data starts at byte 0x18 and never runs past the record's own size.
using LdmRecord = std::vector<uint8_t>;

// Assembles every record whose first fragment lies in `slots` (`slotCount` slots of
// `slotSize` bytes; slots beyond the bytes given are never examined). Records keep slot order.
std::vector<LdmRecord> AssembleLdmRecords(ByteView slots, uint32_t slotSize, uint64_t slotCount);

// The record's kind byte (0x13), or 0 when it is not a "VBLK" record.
uint8_t LdmRecordType(const LdmRecord& record);
// The object identifier that begins every record's data; false when unreadable.
bool LdmRecordObjectId(const LdmRecord& record, uint64_t* id);

struct tagLdmVolume
{
    uint64_t Id = 0;
    std::string Name;
    std::string TypeText;
    uint64_t Components = 0;
    uint64_t Size = 0;
    uint8_t PartitionType = 0;
};

struct tagLdmComponent
{
    uint64_t Id = 0;
    std::string Name;
    uint8_t Type = 0;        // 1 striped, 2 spanned/simple/mirror half, 3 RAID-5
    uint64_t Children = 0;   // partitions
    uint64_t ParentId = 0;   // the volume
    uint64_t StripeSize = 0; // sectors
    uint64_t Columns = 0;
};

struct tagLdmPartition
{
    uint64_t Id = 0;
    std::string Name;
    uint64_t Start = 0;        // from the disk's logical disk start
    uint64_t VolumeOffset = 0; // position within the volume
    uint64_t Size = 0;
    uint64_t ParentId = 0; // the component
    uint64_t DiskId = 0;   // object id of a disk record
    uint64_t Index = 0;    // column within the component
};

struct tagLdmDisk
{
    uint64_t Id = 0;
    std::string Name;
    std::string DiskId; // GUID text, as in the PRIVHEAD
};

// Each parser walks the record's fields inside the record's own length and fails on a
// record of another kind or one whose fields run past its end.
bool ParseLdmVolume(const LdmRecord& record, tagLdmVolume* out);
bool ParseLdmComponent(const LdmRecord& record, tagLdmComponent* out);
bool ParseLdmPartition(const LdmRecord& record, tagLdmPartition* out);
bool ParseLdmDisk(const LdmRecord& record, tagLdmDisk* out);
