#pragma once
// The exFAT on-disk layout: boot region, allocation table, directory entries. Every rule about
// these bytes lives here and in the parsers beside this header (boot sector, entry sets,
// chains); they depend on nothing but kernel/base.
//
// A volume starts with two boot regions of 12 sectors each (the main one at sector 0, its
// backup at 12): the boot sector, 8 extended boot sectors, OEM parameters, a reserved sector
// and a checksum sector whose every 32-bit word is the checksum of the 11 sectors before it.
// The FAT and the cluster heap follow at offsets the boot sector gives; clusters are numbered
// from 2. The allocation bitmap, the upcase table and the root folder are files in the heap,
// found through the root folder's first entries.
#include <cstddef>
#include <cstdint>

#include "base/ResourceLimits.h"

namespace ExFat {

// --- Boot sector -------------------------------------------------------------------------
inline constexpr char kSignature[] = "EXFAT   "; // 8 bytes at kOffName
inline constexpr size_t kOffName = 3;
inline constexpr size_t kOffZeroStart = 11; // 53 bytes that must be zero (the old BPB)
inline constexpr size_t kZeroLength = 53;
inline constexpr size_t kOffPartitionOffset = 64; // u64
inline constexpr size_t kOffVolumeLength = 72;    // u64, sectors
inline constexpr size_t kOffFatOffset = 80;       // u32, sectors
inline constexpr size_t kOffFatLength = 84;       // u32, sectors
inline constexpr size_t kOffHeapOffset = 88;      // u32, sectors
inline constexpr size_t kOffClusterCount = 92;    // u32
inline constexpr size_t kOffRootCluster = 96;     // u32
inline constexpr size_t kOffSerial = 100;         // u32
inline constexpr size_t kOffRevision = 104;       // u16
inline constexpr size_t kOffVolumeFlags = 106;    // u16 (bit 0: second FAT active)
inline constexpr size_t kOffBytesPerSectorShift = 108;
inline constexpr size_t kOffSectorsPerClusterShift = 109;
inline constexpr size_t kOffNumberOfFats = 110;
inline constexpr size_t kOffPercentInUse = 112;
inline constexpr size_t kOffBootSignature = 510; // 55 AA
inline constexpr size_t kBootSectorBytes = 512;  // the part the boot sector's fields occupy

inline constexpr uint32_t kMinBytesPerSectorShift = 9;  // 512
inline constexpr uint32_t kMaxBytesPerSectorShift = 12; // 4096
inline constexpr uint32_t kMaxClusterShift = 25;        // bytes per cluster at most 32 MiB
inline constexpr uint32_t kMaxClusterCount = 0xFFFFFFF5u;
inline constexpr uint16_t kVolumeFlagSecondFat = 0x0001;

// Boot region: sectors 0-10 are summed, sector 11 repeats the sum; the backup follows at 12.
inline constexpr uint32_t kBootRegionSectors = 12;
inline constexpr uint32_t kChecksummedSectors = 11;
inline constexpr uint32_t kBackupBootSector = 12;

// --- FAT ---------------------------------------------------------------------------------
inline constexpr uint32_t kFirstCluster = 2;
inline constexpr uint32_t kClusterBad = 0xFFFFFFF7u;
inline constexpr uint32_t kClusterEnd = 0xFFFFFFFFu;

// --- Directory entries -------------------------------------------------------------------
inline constexpr size_t kEntryBytes = 32;
inline constexpr uint8_t kInUse = 0x80; // bit 7 of the type byte; deleted entries clear it
inline constexpr uint8_t kTypeEndOfDirectory = 0x00;
inline constexpr uint8_t kTypeBitmap = 0x81;
inline constexpr uint8_t kTypeUpcase = 0x82;
inline constexpr uint8_t kTypeVolumeLabel = 0x83;
inline constexpr uint8_t kTypeFile = 0x85;
inline constexpr uint8_t kTypeStream = 0xC0;
inline constexpr uint8_t kTypeFileName = 0xC1;

// File entry (primary of a set).
inline constexpr size_t kOffSecondaryCount = 1;
inline constexpr size_t kOffSetChecksum = 2; // u16, skipped when the set is summed
inline constexpr size_t kOffAttributes = 4;  // u16
inline constexpr size_t kOffCreateTime = 8;  // u32 timestamps
inline constexpr size_t kOffModifyTime = 12;
inline constexpr size_t kOffAccessTime = 16;
inline constexpr size_t kOffCreate10ms = 20; // 0-199: 10 ms units added to the 2-second time
inline constexpr size_t kOffModify10ms = 21;
inline constexpr size_t kOffCreateUtcOffset = 22; // bit 7 valid, bits 0-6 signed quarter hours
inline constexpr size_t kOffModifyUtcOffset = 23;
inline constexpr size_t kOffAccessUtcOffset = 24;
inline constexpr uint32_t kMinSecondaryCount = 2;  // a stream entry and one name entry
inline constexpr uint32_t kMaxSecondaryCount = 18; // a stream entry and 17 name entries
inline constexpr uint16_t kAttrDirectory = 0x0010;

// Stream extension entry (first secondary).
inline constexpr size_t kOffStreamFlags = 1;
inline constexpr size_t kOffNameLength = 3;
inline constexpr size_t kOffNameHash = 4;        // u16
inline constexpr size_t kOffValidDataLength = 8; // u64
inline constexpr size_t kOffFirstCluster = 20;   // u32 (also in bitmap and upcase entries)
inline constexpr size_t kOffDataLength = 24;     // u64 (also in bitmap and upcase entries)
inline constexpr uint8_t kFlagAllocationPossible = 0x01;
inline constexpr uint8_t kFlagNoFatChain = 0x02; // the data is contiguous; the FAT is not used

// File name entry: 15 UTF-16 units from offset 2.
inline constexpr size_t kOffNameChars = 2;
inline constexpr uint32_t kNameCharsPerEntry = 15;
inline constexpr uint32_t kMaxNameLength = 255;

// Volume label entry: a count of UTF-16 units, then up to 11 of them.
inline constexpr size_t kOffLabelLength = 1;
inline constexpr size_t kOffLabelChars = 2;
inline constexpr uint32_t kMaxLabelLength = 11;

// Bitmap entry: bit 0 of the flags tells which FAT's bitmap it is.
inline constexpr size_t kOffBitmapFlags = 1;
// Upcase entry: u32 checksum of the table's bytes.
inline constexpr size_t kOffUpcaseChecksum = 4;

// Largest folder: 256 MiB of entries. Its chain is never followed further.
inline constexpr uint64_t kMaxFolderBytes = 256ull * 1024 * 1024;
// The upcase table maps at most every UTF-16 unit; a compressed one is smaller.
inline constexpr uint64_t kMaxUpcaseBytes = 65536 * 2 * 2;
// Pieces a file's chain is cut into when read.
inline constexpr uint32_t kMaxFileRuns = VlmLimits::kMaxFatFileRuns;
// The table held in memory for a listing (as for FAT: 1 GiB, 256 M entries).
inline constexpr uint64_t kMaxFatBytes = 1ull << 30;

} // namespace ExFat
