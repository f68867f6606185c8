#pragma once
// On-disk records of the archive formats: 7z, Cabinet, gzip, bzip2, xz and tar.
#include <cstdint>

#pragma pack(push, 1)

// ---- 7z -------------------------------------------------------------------------------------
// The signature header opens every archive; it points to the "next header" (the archive's
// directory), which the writer puts last. The archive ends right after it.
inline constexpr char k7zMagic[] = "7z\xBC\xAF\x27\x1C";
struct tag7zSignatureHeader
{
    uint8_t Magic[6];          //  0 k7zMagic
    uint8_t MajorVersion;      //  6 0
    uint8_t MinorVersion;      //  7 2..4 in the wild
    uint32_t StartHeaderCrc;   //  8 CRC-32 of bytes 12..31
    uint64_t NextHeaderOffset; // 12 from byte 32
    uint64_t NextHeaderSize;   // 20
    uint32_t NextHeaderCrc;    // 28 CRC-32 of the next header
};                             // 32
static_assert(sizeof(tag7zSignatureHeader) == 32);

// ---- Cabinet --------------------------------------------------------------------------------
inline constexpr char kCabMagic[] = "MSCF\0\0\0\0"; // signature and the zero reserved1
struct tagCabHeader
{
    uint8_t Magic[4];      //  0 "MSCF"
    uint32_t Reserved1;    //  4 0
    uint32_t CabinetSize;  //  8 bytes of the whole cabinet
    uint32_t Reserved2;    // 12 0
    uint32_t FilesOffset;  // 16 first CFFILE entry
    uint32_t Reserved3;    // 20 0
    uint8_t VersionMinor;  // 24 3
    uint8_t VersionMajor;  // 25 1
    uint16_t FolderCount;  // 26 CFFOLDER entries, at least one
    uint16_t FileCount;    // 28 CFFILE entries
    uint16_t Flags;        // 30 bit 0 previous cabinet, 1 next, 2 reserve fields present
    uint16_t SetId;        // 32
    uint16_t CabinetIndex; // 34 number of this cabinet in its set
};                         // 36, then optional reserve sizes and names, CFFOLDERs
static_assert(sizeof(tagCabHeader) == 36);
inline constexpr uint16_t kCabKnownFlags = 0x0007;
inline constexpr uint32_t kCabFolderEntry = 8;   // CFFOLDER without reserve bytes
inline constexpr uint32_t kCabFileEntryMin = 17; // CFFILE with a one-character name

// ---- gzip -----------------------------------------------------------------------------------
// A member: this header, optional fields named by Flags, a deflate stream, then the CRC-32 and
// the length modulo 2^32 of the uncompressed data. A file may hold several members end to end.
struct tagGzHeader
{
    uint8_t Id1;        //  0 0x1F
    uint8_t Id2;        //  1 0x8B
    uint8_t Method;     //  2 8 (deflate), the only one defined
    uint8_t Flags;      //  3 kGzFlag*
    uint32_t ModTime;   //  4 Unix time, or 0
    uint8_t ExtraFlags; //  8 0, 2 (best) or 4 (fastest)
    uint8_t Os;         //  9 0..13, or 255 for unknown
};                      // 10
static_assert(sizeof(tagGzHeader) == 10);
inline constexpr uint8_t kGzFlagHeaderCrc = 0x02; // a CRC-16 of the header follows the fields
inline constexpr uint8_t kGzFlagExtra = 0x04;     // u16 length, then that many bytes
inline constexpr uint8_t kGzFlagName = 0x08;      // zero-terminated original name
inline constexpr uint8_t kGzFlagComment = 0x10;   // zero-terminated comment
inline constexpr uint8_t kGzReservedFlags = 0xE0;
inline constexpr uint32_t kGzTrailer = 8; // CRC-32, ISIZE

// ---- bzip2 ----------------------------------------------------------------------------------
// "BZh", the block size digit '1'..'9' (hundreds of kB), then blocks that start with a 48-bit
// magic and the block's CRC-32; the stream ends with another 48-bit magic and the combined CRC
// (each block's CRC folded in as crc = rotl(crc, 1) ^ block). Only the first block magic is
// byte-aligned; the rest lie at any bit offset, the stream end padded to a whole byte.
inline constexpr uint64_t kBz2BlockMagic = 0x314159265359ull;
inline constexpr uint64_t kBz2EndMagic = 0x177245385090ull;
inline constexpr uint32_t kBz2StreamHeader = 4;

// ---- xz -------------------------------------------------------------------------------------
// Stream header, blocks, index, stream footer. Every block header and the index carry a
// CRC-32; the footer repeats the header's flags and gives the index size, so a walk from the
// header to a footer that agrees with it is the exact file.
inline constexpr char kXzMagic[] = "\xFD"
                                   "7zXZ\0";
inline constexpr char kXzFooterMagic[] = "YZ";
struct tagXzStreamHeader
{
    uint8_t Magic[6]; //  0 kXzMagic
    uint8_t Flags[2]; //  6 0, then the check type in the low nibble
    uint32_t Crc;     //  8 CRC-32 of Flags
};                    // 12
static_assert(sizeof(tagXzStreamHeader) == 12);
struct tagXzStreamFooter
{
    uint32_t Crc;          //  0 CRC-32 of bytes 4..9
    uint32_t BackwardSize; //  4 index size / 4 - 1
    uint8_t Flags[2];      //  8 as in the header
    uint8_t Magic[2];      // 10 "YZ"
};                         // 12
static_assert(sizeof(tagXzStreamFooter) == 12);
inline constexpr uint8_t kXzBlockHasCompressedSize = 0x40;
inline constexpr uint8_t kXzBlockHasUncompressedSize = 0x80;
inline constexpr uint8_t kXzBlockReservedFlags = 0x3C;
inline constexpr uint64_t kXzFilterLzma2 = 0x21;

// ---- tar ------------------------------------------------------------------------------------
// 512-byte blocks: a header per member, its data padded to whole blocks, two zero blocks at the
// end, and (tar's own record size) zeros up to a multiple of 10240 bytes. Numbers are octal
// text; the checksum is the sum of the header's bytes with its own field taken as spaces.
inline constexpr uint32_t kTarBlock = 512;
inline constexpr uint32_t kTarRecord = 10240;
inline constexpr char kTarMagic[] = "ustar";
struct tagTarHeader
{
    char Name[100];     //   0
    char Mode[8];       // 100
    char Uid[8];        // 108
    char Gid[8];        // 116
    char Size[12];      // 124 octal, or base 256 when the first byte has bit 7 set
    char ModTime[12];   // 136
    char Checksum[8];   // 148 octal
    char TypeFlag;      // 156 '0' file, '5' folder, 'x' 'g' 'L' 'K' extended headers, ...
    char LinkName[100]; // 157
    char Magic[6];      // 257 "ustar\0" (POSIX) or "ustar " (GNU)
    char Version[2];    // 263 "00" (POSIX) or " \0" (GNU)
    char Rest[247];     // 265 owner names, device numbers, name prefix
};                      // 512
static_assert(sizeof(tagTarHeader) == kTarBlock);

#pragma pack(pop)
