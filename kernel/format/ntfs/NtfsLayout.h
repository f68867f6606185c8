#pragma once
// On-disk layout of NTFS as this engine reads it. Every record is little-endian and packed;
// structures are filled only by a checked copy (LoadRecord), never by casting a pointer into
// a sector buffer. Offsets are from the start of the structure.
#include <bit>
#include <cstddef>
#include <cstdint>

#include "base/ResourceLimits.h"

static_assert(std::endian::native == std::endian::little, "NTFS structures are little-endian");

#pragma pack(push, 1)

// Boot sector (sector 0 of the file system; a copy sits in its last sector).
struct tagNtfsBootSector
{
    uint8_t Jump[3];                 // 0, 3: jump instruction
    char OemName[8];                 // 3, 8: "NTFS    " (four blanks)
    uint16_t BytesPerSector;         // 11, 2: the sector size of the disk it was made on
    uint8_t SectorsPerCluster;       // 13, 1: power of two, 1 .. 128
    uint16_t ReservedSectors;        // 14, 2: 0 on NTFS
    uint8_t Unused1[5];              // 16, 5: zero on NTFS (FAT count, root entries, sectors16)
    uint8_t MediaDescriptor;         // 21, 1: 0xF8 for a hard disk
    uint16_t Unused2;                // 22, 2: zero (FAT size)
    uint16_t SectorsPerTrack;        // 24, 2
    uint16_t Heads;                  // 26, 2
    uint32_t HiddenSectors;          // 28, 4: sectors before the file system on its disk
    uint32_t Unused3;                // 32, 4
    uint32_t Unused4;                // 36, 4: 0x00800080 as written by the formatter
    uint64_t TotalSectors;           // 40, 8: sectors of the file system, less the backup boot sector
    uint64_t MftCluster;             // 48, 8: first cluster of $MFT
    uint64_t MftMirrorCluster;       // 56, 8: first cluster of $MFTMirr
    uint32_t ClustersPerFileRecord;  // 64, 4: low byte signed; c < 0 means 2^-c bytes
    uint32_t ClustersPerIndexRecord; // 68, 4: the same rule for index records
    uint64_t SerialNumber;           // 72, 8
    uint32_t Checksum;               // 80, 4: unused
};
static_assert(sizeof(tagNtfsBootSector) == 84);
static_assert(offsetof(tagNtfsBootSector, BytesPerSector) == 11);
static_assert(offsetof(tagNtfsBootSector, TotalSectors) == 40);
static_assert(offsetof(tagNtfsBootSector, MftCluster) == 48);
static_assert(offsetof(tagNtfsBootSector, ClustersPerFileRecord) == 64);
static_assert(offsetof(tagNtfsBootSector, ClustersPerIndexRecord) == 68);

// FILE record header: one MFT entry. The update sequence array protects the last two bytes of
// every 512-byte stride; the true bytes are kept in the array and put back by the fixup.
struct tagNtfsFileRecordHeader
{
    uint32_t Signature;            // 0, 4: "FILE"
    uint16_t UsaOffset;            // 4, 2: offset of the update sequence array
    uint16_t UsaCount;             // 6, 2: entries: the sequence number plus one per stride
    uint64_t LogSequenceNumber;    // 8, 8
    uint16_t SequenceNumber;       // 16, 2: reuse count of this record
    uint16_t LinkCount;            // 18, 2: hard links
    uint16_t FirstAttributeOffset; // 20, 2
    uint16_t Flags;                // 22, 2: bit 0 in use (clear = deleted), bit 1 directory
    uint32_t BytesInUse;           // 24, 4
    uint32_t AllocatedSize;        // 28, 4: allocated size of the record in bytes
    uint64_t BaseRecord;           // 32, 8: base record of an extension record, else 0
    uint16_t NextAttributeId;      // 40, 2
    uint16_t Reserved;             // 42, 2: zero in records of format 3.1
    uint32_t RecordNumber;         // 44, 4: own number (format 3.1 records only)
};
static_assert(sizeof(tagNtfsFileRecordHeader) == 48);
static_assert(offsetof(tagNtfsFileRecordHeader, FirstAttributeOffset) == 20);
static_assert(offsetof(tagNtfsFileRecordHeader, AllocatedSize) == 28);
static_assert(offsetof(tagNtfsFileRecordHeader, RecordNumber) == 44);

// Attribute header common to resident and non-resident attributes.
struct tagNtfsAttributeHeader
{
    uint32_t Type;       // 0, 4: attribute type; 0xFFFFFFFF ends the list
    uint32_t Length;     // 4, 4: length of the whole attribute
    uint8_t NonResident; // 8, 1: 0 = the value lies in the record
    uint8_t NameLength;  // 9, 1: name length in UTF-16 units, 0 = unnamed
    uint16_t NameOffset; // 10, 2
    uint16_t Flags;      // 12, 2: 0x0001 compressed, 0x4000 encrypted
    uint16_t Instance;   // 14, 2: attribute id within the record
};
static_assert(sizeof(tagNtfsAttributeHeader) == 16);

struct tagNtfsResidentAttribute
{
    tagNtfsAttributeHeader Header; // 0, 16
    uint32_t ValueLength;          // 16, 4
    uint16_t ValueOffset;          // 20, 2: from the attribute start
    uint8_t IndexedFlag;           // 22, 1
    uint8_t Padding;               // 23, 1
};
static_assert(sizeof(tagNtfsResidentAttribute) == 24);
static_assert(offsetof(tagNtfsResidentAttribute, ValueLength) == 16);
static_assert(offsetof(tagNtfsResidentAttribute, ValueOffset) == 20);

struct tagNtfsNonResidentAttribute
{
    tagNtfsAttributeHeader Header; // 0, 16
    uint64_t FirstVcn;             // 16, 8: first virtual cluster of this extent
    uint64_t LastVcn;              // 24, 8
    uint16_t MappingPairsOffset;   // 32, 2: runlist offset from the attribute start
    uint16_t CompressionUnit;      // 34, 2: compression unit as a power of two in clusters
    uint32_t Padding;              // 36, 4
    uint64_t AllocatedSize;        // 40, 8
    uint64_t DataSize;             // 48, 8: the stream's size in bytes
    uint64_t InitializedSize;      // 56, 8
};
static_assert(sizeof(tagNtfsNonResidentAttribute) == 64);
static_assert(offsetof(tagNtfsNonResidentAttribute, MappingPairsOffset) == 32);
static_assert(offsetof(tagNtfsNonResidentAttribute, DataSize) == 48);

// Value of $STANDARD_INFORMATION (the first 48 bytes).
struct tagNtfsStandardInformation
{
    uint64_t CreationTime;     // 0, 8: UTC file time
    uint64_t ModificationTime; // 8, 8: last write of the data
    uint64_t MftChangeTime;    // 16, 8
    uint64_t AccessTime;       // 24, 8
    uint32_t FileAttributes;   // 32, 4: file-attribute bits (low 16 used)
    uint32_t MaxVersions;      // 36, 4
    uint32_t VersionNumber;    // 40, 4
    uint32_t ClassId;          // 44, 4
};
static_assert(sizeof(tagNtfsStandardInformation) == 48);
static_assert(offsetof(tagNtfsStandardInformation, FileAttributes) == 32);

// Value of $FILE_NAME, followed by NameLength UTF-16 units.
struct tagNtfsFileName
{
    uint32_t ParentLow;        // 0, 4: parent record number, low 32 bits
    uint16_t ParentHigh;       // 4, 2: parent record number, high 16 bits
    uint16_t ParentSequence;   // 6, 2
    uint64_t CreationTime;     // 8, 8
    uint64_t ModificationTime; // 16, 8
    uint64_t MftChangeTime;    // 24, 8
    uint64_t AccessTime;       // 32, 8
    uint64_t AllocatedSize;    // 40, 8
    uint64_t DataSize;         // 48, 8
    uint32_t Flags;            // 56, 4: bit 28 directory, 0x4000 encrypted, 0x0800 compressed
    uint32_t ReparseTag;       // 60, 4
    uint8_t NameLength;        // 64, 1: in UTF-16 units
    uint8_t NameSpace;         // 65, 1: 0 POSIX, 1 Win32, 2 DOS, 3 Win32 and DOS
};
static_assert(sizeof(tagNtfsFileName) == 66);
static_assert(offsetof(tagNtfsFileName, DataSize) == 48);
static_assert(offsetof(tagNtfsFileName, Flags) == 56);
static_assert(offsetof(tagNtfsFileName, NameLength) == 64);

// One entry of an $ATTRIBUTE_LIST value: where an attribute of the file lives.
struct tagNtfsAttributeListEntry
{
    uint32_t Type;           // 0, 4: attribute type
    uint16_t Length;         // 4, 2: entry length
    uint8_t NameLength;      // 6, 1: in UTF-16 units
    uint8_t NameOffset;      // 7, 1
    uint64_t FirstVcn;       // 8, 8: first cluster of the extent held there
    uint32_t RecordLow;      // 16, 4: record holding it, low 32 bits of the reference
    uint16_t RecordHigh;     // 20, 2
    uint16_t RecordSequence; // 22, 2
    uint16_t Instance;       // 24, 2
};
static_assert(sizeof(tagNtfsAttributeListEntry) == 26);
static_assert(offsetof(tagNtfsAttributeListEntry, RecordLow) == 16);

// Index record ("INDX") header of a directory's $INDEX_ALLOCATION.
struct tagNtfsIndexRecordHeader
{
    uint32_t Signature;         // 0, 4: "INDX"
    uint16_t UsaOffset;         // 4, 2
    uint16_t UsaCount;          // 6, 2
    uint64_t LogSequenceNumber; // 8, 8
    uint64_t Vcn;               // 16, 8: position within the index allocation
    uint32_t EntriesOffset;     // 24, 4: counted from byte 24
    uint32_t BytesInUse;        // 28, 4: counted from byte 24
    uint32_t BytesAllocated;    // 32, 4: counted from byte 24
    uint8_t Flags;              // 36, 1: 1 = has child nodes
    uint8_t Padding[3];         // 37, 3
};
static_assert(sizeof(tagNtfsIndexRecordHeader) == 40);
static_assert(offsetof(tagNtfsIndexRecordHeader, EntriesOffset) == 24);

// Index entry header; a $FILE_NAME value follows at offset 16.
struct tagNtfsIndexEntryHeader
{
    uint32_t RecordLow;      // 0, 4: child record number, low 32 bits
    uint16_t RecordHigh;     // 4, 2: high 16 bits
    uint16_t RecordSequence; // 6, 2
    uint16_t Length;         // 8, 2: entry length
    uint16_t KeyLength;      // 10, 2
    uint16_t Flags;          // 12, 2: 1 child node, 2 last entry
    uint16_t Padding;        // 14, 2
};
static_assert(sizeof(tagNtfsIndexEntryHeader) == 16);

#pragma pack(pop)

inline constexpr uint32_t kNtfsFileSignature = 0x454C4946;  // "FILE"
inline constexpr uint32_t kNtfsIndexSignature = 0x58444E49; // "INDX"
inline constexpr uint32_t kNtfsEndOfAttributes = 0xFFFFFFFF;

// Attribute types read by the engine.
inline constexpr uint32_t kNtfsAttrStandardInformation = 0x10;
inline constexpr uint32_t kNtfsAttrAttributeList = 0x20;
inline constexpr uint32_t kNtfsAttrFileName = 0x30;
inline constexpr uint32_t kNtfsAttrVolumeName = 0x60;
inline constexpr uint32_t kNtfsAttrData = 0x80;
inline constexpr uint32_t kNtfsAttrIndexAllocation = 0xA0;
inline constexpr uint32_t kNtfsAttrLoggedUtilityStream = 0x100;

// Attribute header flags.
inline constexpr uint16_t kNtfsAttrFlagCompressed = 0x0001;
inline constexpr uint16_t kNtfsAttrFlagEncrypted = 0x4000;

// FILE record header flags.
inline constexpr uint16_t kNtfsRecordInUse = 0x0001;
inline constexpr uint16_t kNtfsRecordIsDirectory = 0x0002;

// $FILE_NAME flags and namespaces.
inline constexpr uint32_t kNtfsNameFlagDirectory = 0x10000000;
inline constexpr uint32_t kNtfsNameFlagEncrypted = 0x4000;
inline constexpr uint32_t kNtfsNameFlagCompressed = 0x0800;
inline constexpr uint8_t kNtfsNameSpacePosix = 0;
inline constexpr uint8_t kNtfsNameSpaceWin32 = 1;
inline constexpr uint8_t kNtfsNameSpaceDos = 2; // the 8.3 short name beside a Win32 one

// File-attribute bits kept in the node records.
inline constexpr uint16_t kFileAttrDirectory = 0x0010;
inline constexpr uint16_t kFileAttrEncrypted = 0x0040;
inline constexpr uint16_t kFileAttrCompressed = 0x0800;

// Fixed strides and limits.
inline constexpr uint32_t kNtfsSectorBytes = 512; // the smallest sector size
inline constexpr uint32_t kNtfsFixupStride = 512; // update sequence stride of FILE records
inline constexpr uint32_t kNtfsMaxUsaCount = 16;
inline constexpr uint32_t kNtfsMaxRecordBytes = VlmLimits::kMaxFileRecordBytes; // largest FILE record accepted
inline constexpr uint32_t kNtfsMinUsaOffset = 42;
inline constexpr uint32_t kNtfsMaxUsaOffset = 256;
inline constexpr uint32_t kNtfsRootDirectoryRecord = 5;
inline constexpr uint32_t kNtfsBitmapRecord = 6;       // $Bitmap: one bit per cluster, set when allocated
inline constexpr uint32_t kNtfsFirstListedRecord = 12; // records 0 .. 11 are metafiles
inline constexpr uint32_t kNtfsFirstUserRecord = 16;   // records 12 .. 15 are reserved, unnamed
inline constexpr uint32_t kNtfsLznt1UnitBytes = 65536; // output of one chunk lands in this
