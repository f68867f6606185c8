#pragma once
// On-disk records of the document, archive and mailbox formats. All little-endian, packed.
#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)

// ---- ZIP ------------------------------------------------------------------------------------
inline constexpr uint32_t kZipLocalSig = 0x04034B50;   // "PK\3\4"
inline constexpr uint32_t kZipCentralSig = 0x02014B50; // "PK\1\2"
inline constexpr uint32_t kZipEndSig = 0x06054B50;     // "PK\5\6"
inline constexpr uint32_t kZip64EndSig = 0x06064B50;   // "PK\6\6"
inline constexpr uint32_t kZip64LocSig = 0x07064B50;   // "PK\6\7"
inline constexpr uint32_t kZipDigSigSig = 0x05054B50;  // "PK\5\5", central-directory signature

struct tagZipLocalHeader // precedes every member's data
{
    uint32_t Signature;        //  0 kZipLocalSig
    uint16_t VersionNeeded;    //  4 low byte: version x 10; high byte: host system
    uint16_t Flags;            //  6 bit 0 encrypted, bit 3 sizes in a trailing descriptor
    uint16_t Method;           //  8 0 stored, 8 deflated, ...
    uint16_t Time;             // 10 DOS time
    uint16_t Date;             // 12 DOS date
    uint32_t Crc32;            // 14
    uint32_t CompressedSize;   // 18 0xFFFFFFFF: see the ZIP64 extra field
    uint32_t UncompressedSize; // 22
    uint16_t NameLength;       // 26
    uint16_t ExtraLength;      // 28
};                             // 30, then name, extra field, data
static_assert(sizeof(tagZipLocalHeader) == 30);

// After the data of a member whose local header has flag bit 3: the sizes the header could
// not tell, preceded by kZipDescriptorSig or not (both are written).
inline constexpr uint32_t kZipDescriptorSig = 0x08074B50; // "PK\7\8"
struct tagZipDescriptor
{
    uint32_t Crc32;            // 0
    uint32_t CompressedSize;   // 4
    uint32_t UncompressedSize; // 8
};
static_assert(sizeof(tagZipDescriptor) == 12);

struct tagZipCentralHeader // one per member in the central directory
{
    uint32_t Signature;          //  0 kZipCentralSig
    uint16_t VersionMadeBy;      //  4
    uint16_t VersionNeeded;      //  6
    uint16_t Flags;              //  8
    uint16_t Method;             // 10
    uint16_t Time;               // 12
    uint16_t Date;               // 14
    uint32_t Crc32;              // 16
    uint32_t CompressedSize;     // 20
    uint32_t UncompressedSize;   // 24
    uint16_t NameLength;         // 28
    uint16_t ExtraLength;        // 30
    uint16_t CommentLength;      // 32
    uint16_t DiskStart;          // 34
    uint16_t InternalAttributes; // 36
    uint32_t ExternalAttributes; // 38
    uint32_t LocalHeaderOffset;  // 42
};                               // 46, then name, extra field, comment
static_assert(sizeof(tagZipCentralHeader) == 46);

struct tagZipEndRecord // the last record of an archive
{
    uint32_t Signature;     //  0 kZipEndSig
    uint16_t DiskNumber;    //  4
    uint16_t CentralDisk;   //  6 disk holding the central directory
    uint16_t EntriesOnDisk; //  8
    uint16_t EntriesTotal;  // 10
    uint32_t CentralSize;   // 12 bytes of the central directory
    uint32_t CentralOffset; // 16 from the archive's first byte; 0xFFFFFFFF: ZIP64
    uint16_t CommentLength; // 20
};                          // 22, then the comment
static_assert(sizeof(tagZipEndRecord) == 22);

struct tagZip64Locator // immediately before the end record of a ZIP64 archive
{
    uint32_t Signature; //  0 kZip64LocSig
    uint32_t Disk;      //  4 disk holding the ZIP64 end record
    uint64_t EndOffset; //  8 offset of the ZIP64 end record
    uint32_t DiskCount; // 16
};
static_assert(sizeof(tagZip64Locator) == 20);

struct tagZip64EndRecord
{
    uint32_t Signature;     //  0 kZip64EndSig
    uint64_t RecordSize;    //  4 bytes after this field (44 plus extensible data)
    uint16_t VersionMadeBy; // 12
    uint16_t VersionNeeded; // 14
    uint32_t DiskNumber;    // 16
    uint32_t CentralDisk;   // 20
    uint64_t EntriesOnDisk; // 24
    uint64_t EntriesTotal;  // 32
    uint64_t CentralSize;   // 40
    uint64_t CentralOffset; // 48
};
static_assert(sizeof(tagZip64EndRecord) == 56);

// ---- Property set stream ("\x05SummaryInformation" below the root of a compound file) ------
// A header, one (format id, offset) pair per section, then each section: its size, its
// property count, (property id, offset) pairs and the typed values, all offsets from the
// section's first byte. Values start with a u32 type; strings then give their length.
inline constexpr uint8_t kSummaryInfoFmtid[16] = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10,
                                                  0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
inline constexpr uint32_t kPidCodePage = 1; // VT_I2: the code page of the section's 8-bit strings
inline constexpr uint32_t kPidTitle = 2;
inline constexpr uint16_t kVtI2 = 2;
inline constexpr uint16_t kVtLpstr = 0x1E;  // u32 bytes (with the terminator), text in the code page
inline constexpr uint16_t kVtLpwstr = 0x1F; // u32 UTF-16 units (with the terminator), UTF-16LE
inline constexpr uint16_t kCodePageUtf16 = 1200;
inline constexpr uint16_t kCodePageWestern = 1252;
inline constexpr uint16_t kCodePageUtf8 = 65001;

struct tagPropertySetHeader
{
    uint16_t ByteOrder;    //  0 0xFFFE
    uint16_t Version;      //  2 0 or 1
    uint32_t SystemId;     //  4
    uint8_t Clsid[16];     //  8
    uint32_t SectionCount; // 24 at least 1
};                         // 28, then tagPropertySection entries
static_assert(sizeof(tagPropertySetHeader) == 28);

struct tagPropertySection
{
    uint8_t Fmtid[16]; //  0
    uint32_t Offset;   // 16 from the stream's first byte
};
static_assert(sizeof(tagPropertySection) == 20);

// ---- RAR 1.5 to 4.x -------------------------------------------------------------------------
inline constexpr uint8_t kRar4Marker[7] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x00};
inline constexpr uint8_t kRar5Marker[8] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x01, 0x00};
inline constexpr uint8_t kRar4Archive = 0x73;
inline constexpr uint8_t kRar4File = 0x74;
inline constexpr uint8_t kRar4NewSub = 0x7A;
inline constexpr uint8_t kRar4End = 0x7B;
inline constexpr uint16_t kRar4LongBlock = 0x8000; // an ADD_SIZE field follows the base block
inline constexpr uint16_t kRar4LargeFile = 0x0100; // file header carries HIGH_PACK_SIZE
inline constexpr uint16_t kRar4Encrypted = 0x0080; // archive header: headers are encrypted

struct tagRar4Block // every block starts so
{
    uint16_t HeadCrc;   // 0 low 16 bits of the CRC-32 of the header from HeadType
    uint8_t HeadType;   // 2 0x72..0x7B
    uint16_t HeadFlags; // 3
    uint16_t HeadSize;  // 5 header bytes including these 7
};
static_assert(sizeof(tagRar4Block) == 7);

struct tagRar4FileHeader // types 0x74 and 0x7A
{
    tagRar4Block Base;     //  0
    uint32_t PackSize;     //  7 data bytes after the header (low 32 bits)
    uint32_t UnpackSize;   // 11
    uint8_t HostOs;        // 15
    uint32_t FileCrc;      // 16
    uint32_t FileTime;     // 20
    uint8_t UnpackVersion; // 24
    uint8_t Method;        // 25
    uint16_t NameSize;     // 26
    uint32_t Attributes;   // 28
};                         // 32; HIGH_PACK_SIZE u32 at 32 when kRar4LargeFile
static_assert(sizeof(tagRar4FileHeader) == 32);

// RAR 5: blocks of CRC-32 (u32), header size (vint), then header type, flags, ... (vints).
inline constexpr uint64_t kRar5Main = 1;
inline constexpr uint64_t kRar5Encryption = 4;
inline constexpr uint64_t kRar5End = 5;
inline constexpr uint64_t kRar5HasExtra = 0x0001;
inline constexpr uint64_t kRar5HasData = 0x0002;
inline constexpr uint64_t kRar5MaxHeader = 2 * 1024 * 1024; // header size limit of the format

// ---- Personal mail store --------------------------------------------------------------------
inline constexpr uint8_t kPstMagic[4] = {'!', 'B', 'D', 'N'};
inline constexpr uint16_t kPstClientMagic = 0x4D53;    // "SM" at offset 8
inline constexpr uint32_t kPstVersionOffset = 10;      // u16 wVer: 14/15 ANSI, 23 and up Unicode
inline constexpr uint32_t kPstAnsiEofOffset = 0xA8;    // u32 ibFileEof of the ANSI root
inline constexpr uint32_t kPstUnicodeEofOffset = 0xB8; // u64 ibFileEof of the Unicode root
inline constexpr uint32_t kPstPlatformOffset = 14;     // two bytes, both 0x01
inline constexpr uint64_t kPstFirstAmap = 0x4400;      // first allocation map page

// ---- Mailbox database (message store of a folder) -------------------------------------------
inline constexpr uint8_t kDbxMagic[4] = {0xCF, 0xAD, 0x12, 0xFE};
inline constexpr uint32_t kDbxHeaderSize = 0x24BC;
inline constexpr uint32_t kDbxFileSizeOffset = 0x7C; // u32 bytes in use = file length

// ---- SQLite database ------------------------------------------------------------------------
// A database is a whole number of pages; the first 100 bytes of page 1 are this header. The
// page count in it is current only while the version-valid-for number equals the change
// counter (writers older than 3.7.0 left it stale).
inline constexpr char kSqliteMagic[] = "SQLite format 3"; // 16 bytes with its zero
struct tagSqliteHeader                                    // all fields big-endian
{
    uint8_t Magic[16];           //  0 kSqliteMagic and a zero byte
    uint16_t PageSize;           // 16 power of two 512..32768, or 1 for 65536
    uint8_t WriteVersion;        // 18 1 rollback journal, 2 write-ahead log
    uint8_t ReadVersion;         // 19 1 or 2
    uint8_t ReservedPerPage;     // 20 unused bytes at the end of each page
    uint8_t MaxPayloadFraction;  // 21 64
    uint8_t MinPayloadFraction;  // 22 32
    uint8_t LeafPayloadFraction; // 23 32
    uint32_t ChangeCounter;      // 24
    uint32_t PageCount;          // 28 database size in pages
    uint32_t FirstFreelistPage;  // 32
    uint32_t FreelistPages;      // 36
    uint32_t SchemaCookie;       // 40
    uint32_t SchemaFormat;       // 44 1..4
    uint8_t Other[44];           // 48 cache size, vacuum, encoding, user version, ...
    uint32_t VersionValidFor;    // 92 change counter at the time PageCount was written
    uint32_t LibraryVersion;     // 96
};                               // 100
static_assert(sizeof(tagSqliteHeader) == 100);
static_assert(offsetof(tagSqliteHeader, VersionValidFor) == 92);

#pragma pack(pop)
