#pragma once
// GUID partition tables. A disk carrying one has a protective MBR (one entry of type 0xEE from
// sector 1 over the disk) so that MBR-only tools see it as full. The header sits in logical
// sector 1 and again, as a backup, in the last sector; each points at its own copy of the
// entry array. Sector numbers (LBAs) count logical sectors of the device; all numbers are
// little-endian.
#include <cstddef>
#include <cstdint>

#include "base/ResourceLimits.h"

#pragma pack(push, 1)
struct tagGptHeader
{
    uint8_t Signature[8];    // 0x00 "EFI PART"
    uint32_t Revision;       // 0x08 0x00010000 (1.0); the major number is the high half
    uint32_t HeaderSize;     // 0x0C bytes covered by HeaderCrc: 92 up to the sector size
    uint32_t HeaderCrc;      // 0x10 CRC-32 over HeaderSize bytes with this field zeroed
    uint32_t Reserved;       // 0x14
    uint64_t MyLba;          // 0x18 the sector holding this header (1, or the last sector)
    uint64_t AlternateLba;   // 0x20 the sector holding the other copy
    uint64_t FirstUsableLba; // 0x28 first and last sectors partitions may use
    uint64_t LastUsableLba;  // 0x30
    uint8_t DiskGuid[16];    // 0x38
    uint64_t EntryLba;       // 0x48 first sector of this copy's entry array
    uint32_t EntryCount;     // 0x50 entries in the array, used or not
    uint32_t EntrySize;      // 0x54 bytes per entry: 128 times a power of two
    uint32_t EntryArrayCrc;  // 0x58 CRC-32 over EntryCount * EntrySize bytes of the array
};

struct tagGptEntry
{
    uint8_t TypeGuid[16];      // 0x00 all zero: the entry is unused
    uint8_t PartitionGuid[16]; // 0x10
    uint64_t FirstLba;         // 0x20 first and last sector of the partition, inclusive
    uint64_t LastLba;          // 0x28
    uint64_t Attributes;       // 0x30
    uint16_t Name[36];         // 0x38 UTF-16 partition name (file-system labels are used instead)
};
#pragma pack(pop)
static_assert(sizeof(tagGptHeader) == 92);
static_assert(offsetof(tagGptHeader, HeaderCrc) == 0x10);
static_assert(offsetof(tagGptHeader, MyLba) == 0x18);
static_assert(offsetof(tagGptHeader, EntryLba) == 0x48);
static_assert(offsetof(tagGptHeader, EntryArrayCrc) == 0x58);
static_assert(sizeof(tagGptEntry) == 128);
static_assert(offsetof(tagGptEntry, FirstLba) == 0x20);
static_assert(offsetof(tagGptEntry, Name) == 0x38);

inline constexpr uint8_t kMbrTypeGptProtective = 0xEE;
inline constexpr uint64_t kGptPrimaryLba = 1;
inline constexpr char kGptSignature[8] = {'E', 'F', 'I', ' ', 'P', 'A', 'R', 'T'};
inline constexpr uint32_t kGptMajorRevision = 1;
inline constexpr uint32_t kGptMinEntryBytes = sizeof(tagGptEntry);
inline constexpr uint32_t kGptMaxEntryBytes = 4096; // 128 << 5: larger ones are not in use
inline constexpr uint32_t kMaxGptEntries = VlmLimits::kMaxGptEntries;
inline constexpr uint64_t kMaxGptArrayBytes = VlmLimits::kMaxGptArrayBytes;

// Type GUIDs as stored in an entry: the first three groups little-endian, the rest as written.
// A dynamic disk on GPT keeps its database in the "LDM metadata" partition (its private header
// in the partition's last sector) and the dynamic volumes' data in the "LDM data" partition.
inline constexpr uint8_t kGptTypeLdmMetadata[16] = {0xAA, 0xC8, 0x08, 0x58, 0x8F, 0x7E, 0xE0, 0x42,
                                                    0x85, 0xD2, 0xE1, 0xE9, 0x04, 0x34, 0xCF, 0xB3};
inline constexpr uint8_t kGptTypeLdmData[16] = {0xA0, 0x60, 0x9B, 0xAF, 0x31, 0x14, 0x62, 0x4F,
                                                0xBC, 0x68, 0x33, 0x11, 0x71, 0x4A, 0x69, 0xAD};
