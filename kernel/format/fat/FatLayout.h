#pragma once
// On-disk and stored records of the FAT12/16/32 scanner. Every record is packed, little-endian
// and filled only by a checked copy (LoadRecord), never by casting into a sector buffer.
#include <bit>
#include <cstddef>
#include <cstdint>

#include "base/ResourceLimits.h"

static_assert(std::endian::native == std::endian::little, "FAT records are little-endian");

#pragma pack(push, 1)

// The BIOS parameter block shared by every FAT variant, bytes 0..35 of the boot sector.
struct tagFatBootCommon
{
    uint8_t Jump[3];           //  0, 3: jump to the boot code
    uint8_t OemName[8];        //  3, 8: formatter name
    uint16_t BytesPerSector;   // 11, 2: the sector size of the disk it was made on
    uint8_t SectorsPerCluster; // 13, 1: a power of two
    uint16_t ReservedSectors;  // 14, 2: sectors before the first FAT (boot sector included)
    uint8_t FatCount;          // 16, 1: copies of the table, 1 or 2
    uint16_t RootEntries;      // 17, 2: entries of the fixed root folder (0 on FAT32)
    uint16_t TotalSectors16;   // 19, 2: total sectors, 0 when the 32-bit field holds them
    uint8_t Media;             // 21, 1: media descriptor (0xF8 fixed disk)
    uint16_t FatSize16;        // 22, 2: sectors per FAT (0 on FAT32)
    uint16_t SectorsPerTrack;  // 24, 2
    uint16_t Heads;            // 26, 2
    uint32_t HiddenSectors;    // 28, 4: sectors before the volume on its device
    uint32_t TotalSectors32;   // 32, 4: total sectors when the 16-bit field is 0
};
static_assert(sizeof(tagFatBootCommon) == 36);
static_assert(offsetof(tagFatBootCommon, SectorsPerCluster) == 13);
static_assert(offsetof(tagFatBootCommon, TotalSectors32) == 32);

// FAT12/16 continuation at byte 36.
struct tagFat16BootTail
{
    uint8_t DriveNumber;   // 36, 1
    uint8_t Reserved;      // 37, 1
    uint8_t BootSignature; // 38, 1: 0x29 when the next three fields are valid
    uint32_t SerialNumber; // 39, 4
    uint8_t Label[11];     // 43, 11: label written at format time
    uint8_t TypeString[8]; // 54, 8: "FAT12   " or "FAT16   "
};
static_assert(sizeof(tagFat16BootTail) == 26);

// FAT32 continuation at byte 36.
struct tagFat32BootTail
{
    uint32_t FatSize32;        // 36, 4: sectors per FAT
    uint16_t ExtFlags;         // 40, 2: mirroring flags
    uint16_t Version;          // 42, 2
    uint32_t RootCluster;      // 44, 4: first cluster of the root folder
    uint16_t FsInfoSector;     // 48, 2
    uint16_t BackupBootSector; // 50, 2: usually 6
    uint8_t Reserved[12];      // 52, 12
    uint8_t DriveNumber;       // 64, 1
    uint8_t Reserved1;         // 65, 1
    uint8_t BootSignature;     // 66, 1
    uint32_t SerialNumber;     // 67, 4
    uint8_t Label[11];         // 71, 11
    uint8_t TypeString[8];     // 82, 8: "FAT32   "
};
static_assert(sizeof(tagFat32BootTail) == 54);

inline constexpr size_t kFatBootTailOffset = 36;
inline constexpr size_t kFat16TypeOffset = 54;
inline constexpr size_t kFat32TypeOffset = 82;

// A short directory entry, 32 bytes.
struct tagFatDirEntry
{
    uint8_t Name[8];      //  0, 8: blank-padded; 0xE5 first = deleted, 0x00 = unused
    uint8_t Ext[3];       //  8, 3: blank-padded
    uint8_t Attributes;   // 11, 1: FAT_ATTR_* (0x0F = long-name part)
    uint8_t NtCase;       // 12, 1
    uint8_t CreateTenths; // 13, 1
    uint16_t CreateTime;  // 14, 2: bits 0-4 seconds/2, 5-10 minutes, 11-15 hours
    uint16_t CreateDate;  // 16, 2: bits 0-4 day, 5-8 month, 9-15 years since 1980
    uint16_t AccessDate;  // 18, 2
    uint16_t ClusterHigh; // 20, 2: first cluster, high word (FAT32)
    uint16_t WriteTime;   // 22, 2
    uint16_t WriteDate;   // 24, 2
    uint16_t ClusterLow;  // 26, 2: first cluster, low word
    uint32_t FileSize;    // 28, 4: bytes
};
static_assert(sizeof(tagFatDirEntry) == 32);
static_assert(offsetof(tagFatDirEntry, ClusterHigh) == 20);
static_assert(offsetof(tagFatDirEntry, ClusterLow) == 26);
static_assert(offsetof(tagFatDirEntry, FileSize) == 28);

// A long-name part, 32 bytes; the parts precede their short entry, last part first.
struct tagFatLongNameEntry
{
    uint8_t Sequence;   //  0, 1: part number | 0x40 on the last part; 0xE5 deleted
    uint16_t Chars1[5]; //  1, 10: characters 1-5 (UTF-16)
    uint8_t Attributes; // 11, 1: 0x0F
    uint8_t Type;       // 12, 1
    uint8_t Checksum;   // 13, 1: of the 11 short-name bytes
    uint16_t Chars2[6]; // 14, 12: characters 6-11
    uint16_t Cluster;   // 26, 2: always 0
    uint16_t Chars3[2]; // 28, 4: characters 12-13
};
static_assert(sizeof(tagFatLongNameEntry) == 32);
static_assert(offsetof(tagFatLongNameEntry, Chars2) == 14);
static_assert(offsetof(tagFatLongNameEntry, Chars3) == 28);

// A FAT file system recognised on a volume; stored as it is in scan results. Its first 165
// bytes are the common candidate head every scanner hands out.
struct FatCandidate
{
    uint16_t RecordLength;      //   0, 2: 212
    int32_t FatType;            //   2, 4: 1 FAT12, 6 FAT16, 11 FAT32
    uint16_t SectorsPerCluster; //   6, 2
    int64_t FirstSector;        //   8, 8: boot sector, or data start of an inferred candidate
    int64_t SectorCount;        //  16, 8
    char Label[128];            //  24, 128: zero-terminated
    uint32_t FilesMatched;      // 152, 4: files counted
    uint32_t FoldersMatched;    // 156, 4: folder starts credited
    uint32_t Score;             // 160, 4
    int64_t RootStart;          // 164, 8: -1 unknown
    uint32_t RootSectors;       // 172, 4
    uint32_t SectorsPerFat;     // 176, 4: 0 for an inferred candidate
    int64_t Fat1Start;          // 180, 8: -1 unknown
    int64_t Fat2Start;          // 188, 8: -1 one FAT or unknown
    int64_t DataStart;          // 196, 8: first sector of cluster 2
    uint32_t RootChildren;      // 204, 4: folders whose dot-dot entry names cluster 0
    uint32_t HighestClusterEnd; // 208, 4: first cluster + clusters of the size, maximum seen
};
static_assert(sizeof(FatCandidate) == 212);
static_assert(offsetof(FatCandidate, Label) == 24);
static_assert(offsetof(FatCandidate, FilesMatched) == 152);
static_assert(offsetof(FatCandidate, RootStart) == 164);
static_assert(offsetof(FatCandidate, DataStart) == 196);
static_assert(offsetof(FatCandidate, HighestClusterEnd) == 208);

// A sector that looked like (part of) a folder during the scan; stored in scan results.
struct FatDirSector
{
    uint8_t IsStart;  // 0, 1: 1 = holds the dot and dot-dot entries
    int64_t Sector;   // 1, 8: volume sector
    uint32_t Cluster; // 9, 4: the folder's own cluster from its dot entry (0 if not a start)
};
static_assert(sizeof(FatDirSector) == 13);
static_assert(offsetof(FatDirSector, Cluster) == 9);

// The same record in scan results of stored layout 1, which kept only the low 32 bits of the
// sector: such a result describes a volume whose folders all lie below sector 2^32.
struct FatDirSectorLayout1
{
    uint8_t IsStart;  // 0, 1
    uint32_t Sector;  // 1, 4: volume sector, low 32 bits
    uint32_t Cluster; // 5, 4
};
static_assert(sizeof(FatDirSectorLayout1) == 9);

#pragma pack(pop)

// A stored FAT state of layout 1 begins with its candidate count. Later layouts begin with
// this mark, a count no stored state can hold (each candidate takes 212 bytes), followed by the
// u32 layout number.
inline constexpr uint32_t kFatStoredLayoutMark = 0xFFFFFFFF;
inline constexpr uint32_t kFatStoredLayout = 2; // written; 64-bit folder sectors

inline constexpr uint16_t kFatCandidateLength = 212;
inline constexpr size_t kFatCandidateHeadLength = 165;
inline constexpr uint32_t kFatEntrySize = 32;
// The smallest sector; a boot sector's fields lie in its first 512 bytes whatever its size.
inline constexpr uint32_t kFatSectorSize = 512;
// Sector sizes a FAT file system may declare (the disk's own logical sector size).
inline constexpr bool FatSectorSizeIsValid(uint32_t bytes)
{
    return bytes == 512 || bytes == 1024 || bytes == 2048 || bytes == 4096;
}
// Sectors a fixed root folder of `entries` entries fills.
inline constexpr uint32_t FatRootSectors(uint32_t entries, uint32_t bytesPerSector)
{
    return bytesPerSector < kFatEntrySize ? 0 : (entries * kFatEntrySize + bytesPerSector - 1) / bytesPerSector;
}
inline constexpr uint32_t kFatLongNameChars = 13;     // UTF-16 units per long-name part
inline constexpr uint8_t kFatLongNameLastFlag = 0x40; // in a part's sequence byte
inline constexpr uint8_t kFatLongNameOrdinalMask = 0x3F;
inline constexpr uint32_t kFatMaxLongNameParts = VlmLimits::kMaxLongNameParts;
inline constexpr uint32_t kFatNameBufferBytes = 520; // stored long-name buffers
inline constexpr uint32_t kFatMaxNameBytes = VlmLimits::kMaxNameBytes;

// Directory-entry attribute bits.
inline constexpr uint8_t FAT_ATTR_READ_ONLY = 0x01;
inline constexpr uint8_t FAT_ATTR_HIDDEN = 0x02;
inline constexpr uint8_t FAT_ATTR_SYSTEM = 0x04;
inline constexpr uint8_t FAT_ATTR_VOLUME = 0x08;
inline constexpr uint8_t FAT_ATTR_FOLDER = 0x10;
inline constexpr uint8_t FAT_ATTR_ARCHIVE = 0x20;
inline constexpr uint8_t FAT_ATTR_RESERVED = 0x40;
inline constexpr uint8_t FAT_ATTR_LONG_NAME = 0x0F;

inline constexpr uint8_t kFatDeletedMark = 0xE5;

// File-system type codes used in candidates and geometry.
inline constexpr int32_t kFatType12 = 1;
inline constexpr int32_t kFatType16 = 6;
inline constexpr int32_t kFatType32 = 11;
