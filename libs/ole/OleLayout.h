#pragma once
// On-disk records of compound files: a FAT-allocated container of streams and storages, laid
// out in sectors of 512 or 4096 bytes after a 512-byte header. All little-endian, packed.
#include <cstdint>

#pragma pack(push, 1)

inline constexpr uint8_t kOleSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
inline constexpr uint32_t kOleFreeSect = 0xFFFFFFFF;
inline constexpr uint32_t kOleEndOfChain = 0xFFFFFFFE;
inline constexpr uint32_t kOleHeaderDifat = 109; // DIFAT entries held in the header

struct tagOleHeader // sector -1: the first 512 bytes of the file
{
    uint8_t Signature[8];            //   0 kOleSignature
    uint8_t Clsid[16];               //   8 zero
    uint16_t MinorVersion;           //  24
    uint16_t MajorVersion;           //  26 3 (512-byte sectors) or 4 (4096-byte sectors)
    uint16_t ByteOrder;              //  28 0xFFFE
    uint16_t SectorShift;            //  30 9 or 12
    uint16_t MiniSectorShift;        //  32 6
    uint8_t Reserved[6];             //  34
    uint32_t DirSectorCount;         //  40 0 for version 3
    uint32_t FatSectorCount;         //  44
    uint32_t FirstDirSector;         //  48
    uint32_t TransactionSig;         //  52
    uint32_t MiniStreamCutoff;       //  56 4096
    uint32_t FirstMiniFatSector;     //  60
    uint32_t MiniFatSectorCount;     //  64
    uint32_t FirstDifatSector;       //  68
    uint32_t DifatSectorCount;       //  72
    uint32_t Difat[kOleHeaderDifat]; //  76 the first FAT sector numbers
};
static_assert(sizeof(tagOleHeader) == 512);

inline constexpr uint8_t kOleTypeStorage = 1;
inline constexpr uint8_t kOleTypeStream = 2;
inline constexpr uint8_t kOleTypeRoot = 5;
inline constexpr uint32_t kOleNoStream = 0xFFFFFFFF;

struct tagOleDirEntry // 128 bytes; entries form red-black trees per storage
{
    uint16_t Name[32];     //   0 UTF-16, zero-terminated
    uint16_t NameLength;   //  64 bytes including the terminator
    uint8_t Type;          //  66 kOleType...
    uint8_t Color;         //  67
    uint32_t LeftSibling;  //  68
    uint32_t RightSibling; //  72
    uint32_t Child;        //  76 root of the storage's own tree
    uint8_t Clsid[16];     //  80
    uint32_t StateBits;    //  96
    uint64_t Created;      // 100
    uint64_t Modified;     // 108
    uint32_t StartSector;  // 116
    uint64_t StreamSize;   // 120
};
static_assert(sizeof(tagOleDirEntry) == 128);

#pragma pack(pop)
