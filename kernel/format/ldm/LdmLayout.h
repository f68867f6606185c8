#pragma once
// The dynamic-disk database ("logical disk manager"): a private header per disk, a table of
// contents, the database header and 128-byte record slots at the end of every member disk.
// Every multi-byte number is big-endian; offsets below are byte offsets in their sector/slot.
#include <cstddef>
#include <cstdint>

#include "base/ResourceLimits.h"

// PRIVHEAD: one sector, at sector 6 of the disk and again near its end.
inline constexpr char kPrivHeadMagic[] = "PRIVHEAD";
inline constexpr uint64_t kPrivHeadSector = 6;
inline constexpr size_t kPrivHeadVersionMajor = 0x00C; // u16
inline constexpr size_t kPrivHeadVersionMinor = 0x00E; // u16
inline constexpr size_t kPrivHeadDiskId = 0x030;       // zero-terminated GUID text
inline constexpr size_t kPrivHeadDiskIdSize = 64;
inline constexpr size_t kPrivHeadHostId = 0x070;        // GUID text, 64 bytes
inline constexpr size_t kPrivHeadGroupId = 0x0B0;       // GUID text, 64 bytes
inline constexpr size_t kPrivHeadGroupName = 0x0F0;     // text, 32 bytes
inline constexpr size_t kPrivHeadLogicalStart = 0x11B;  // u64: partitions are addressed from here
inline constexpr size_t kPrivHeadLogicalSize = 0x123;   // u64
inline constexpr size_t kPrivHeadConfigStart = 0x12B;   // u64: first sector of the database area
inline constexpr size_t kPrivHeadConfigSize = 0x133;    // u64: sectors of the database area
inline constexpr size_t kPrivHeadTocCount = 0x13B;      // u64
inline constexpr size_t kPrivHeadTocSize = 0x143;       // u64
inline constexpr size_t kPrivHeadConfigCount = 0x14B;   // u32
inline constexpr size_t kPrivHeadLogCount = 0x14F;      // u32
inline constexpr size_t kPrivHeadConfigBytes = 0x153;   // u64
inline constexpr size_t kPrivHeadLogBytes = 0x15B;      // u64
inline constexpr size_t kPrivHeadDiskSignature = 0x163; // u32

// TOCBLOCK: one sector, at database sectors 1 and 2 (and near the end of the area).
inline constexpr char kTocMagic[] = "TOCBLOCK";
inline constexpr size_t kTocFirstEntry = 0x24;
inline constexpr size_t kTocEntrySize = 34;  // name[8], flags u16, start u64, size u64, flags u64
inline constexpr size_t kTocEntryCount = 14; // entries that fit the scanned part of the sector
inline constexpr size_t kTocEntryName = 0;   // zero-terminated
inline constexpr size_t kTocEntryNameSize = 10;
inline constexpr size_t kTocEntryStart = 10;     // u64, sectors from the database start
inline constexpr size_t kTocEntrySizeField = 18; // u64, sectors
inline constexpr char kTocConfigName[] = "config";

// VMDB: the database header, the first sector of the "config" area.
inline constexpr char kVmdbMagic[] = "VMDB";
inline constexpr size_t kVmdbLastSequence = 4; // u32
inline constexpr size_t kVmdbSlotSize = 8;     // u32, bytes per record slot
inline constexpr size_t kVmdbFirstSlot = 12;   // u32, byte offset of slot 0 from the VMDB
inline constexpr size_t kVmdbVersionMajor = 0x12;
inline constexpr size_t kVmdbVersionMinor = 0x14;
inline constexpr size_t kVmdbGroupName = 0x16;   // 31 bytes
inline constexpr size_t kVmdbGroupId = 0x35;     // 64 bytes of GUID text
inline constexpr size_t kVmdbCommitted = 0x75;   // u64
inline constexpr size_t kVmdbPending = 0x7D;     // u64
inline constexpr size_t kVmdbCountVolumes = 133; // u32 committed volume records
inline constexpr size_t kVmdbCountComponents = 137;
inline constexpr size_t kVmdbCountPartitions = 141;
inline constexpr size_t kVmdbCountDisks = 145;

// VBLK slot. Fragments after the first carry their part of the record from kVblkFragmentData.
inline constexpr char kVblkMagic[] = "VBLK";
inline constexpr size_t kVblkSequence = 0x04;      // u32
inline constexpr size_t kVblkGroup = 0x08;         // u32, shared by the fragments of one record; 0 unused
inline constexpr size_t kVblkFragment = 0x0C;      // u16, fragment index from 0
inline constexpr size_t kVblkFragmentCount = 0x0E; // u16
inline constexpr size_t kVblkFragmentData = 0x10;  // continuation bytes start here
inline constexpr size_t kVblkFlags = 0x12;         // u8 (first fragment)
inline constexpr size_t kVblkType = 0x13;          // u8: low nibble kind, high nibble revision
inline constexpr size_t kVblkDataLength = 0x14;    // u32, bytes of record data from kVblkData
inline constexpr size_t kVblkData = 0x18;
inline constexpr uint32_t kVblkDefaultSlotSize = 128; // slot size of a database without VMDB

inline constexpr uint8_t kVblkTypeVolume = 0x51;
inline constexpr uint8_t kVblkTypeComponent = 0x32;
inline constexpr uint8_t kVblkTypePartition = 0x33;
inline constexpr uint8_t kVblkTypeDisk3 = 0x34; // identifier as GUID text
inline constexpr uint8_t kVblkTypeDisk4 = 0x44; // identifier as 16 binary bytes
inline constexpr uint8_t kVblkTypeGroup3 = 0x35;
inline constexpr uint8_t kVblkTypeGroup4 = 0x45;

inline constexpr uint8_t kVblkFlagVolumeHint = 0x02;      // volume: drive hint string follows
inline constexpr uint8_t kVblkFlagComponentStripe = 0x10; // component: stripe size and columns
inline constexpr uint8_t kVblkFlagPartitionIndex = 0x08;  // partition: column index follows

inline constexpr uint8_t kLdmComponentStriped = 1;
inline constexpr uint8_t kLdmComponentSpanned = 2;
inline constexpr uint8_t kLdmComponentRaid5 = 3;

// Caps on counts read from disk.
inline constexpr uint32_t kLdmMaxSlotSize = VlmLimits::kMaxLdmSlotBytes;
inline constexpr uint64_t kLdmMaxDatabaseBytes = VlmLimits::kMaxLdmDatabaseBytes;
inline constexpr uint32_t kLdmMaxFragments = VlmLimits::kMaxLdmFragments;
inline constexpr uint64_t kLdmMaxComponents = VlmLimits::kMaxLdmComponents;
inline constexpr uint64_t kLdmMaxPartitions = VlmLimits::kMaxLdmPartitions;
inline constexpr uint64_t kLdmMaxVblkSearch = 4096; // sectors searched for the first slot without VMDB
