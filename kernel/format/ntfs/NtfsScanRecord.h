#pragma once
// The fixed-size record to which the full scan reduces every FILE record and every directory
// index entry it meets. It carries no name, only a hash of it, so that millions of them fit
// in flat arrays that are sorted once and searched by halving.
#include <cstdint>
#include <string>

#include "base/ByteView.h"

inline constexpr uint64_t kNtfsUnknownNumber = ~0ull;        // own number not known
inline constexpr uint32_t kNtfsNoIndexPosition = 0xFFFFFFFF; // not a directory / no index

struct NtfsScanRecord
{
    uint64_t u64NameHash = 0; // sum of unit(i) × 5^i over the name, modulo 2^64
    uint64_t u64Modified = 0; // file time as stored; a directory keeps its creation time here
    uint64_t u64Created = 0;
    uint64_t u64Size = 0;   // $FILE_NAME data size
    uint64_t u64Parent = 0; // parent record number (48 bits)
    uint64_t u64Self = kNtfsUnknownNumber;
    int64_t s64Sector = -1;                          // FILE record or index record where it was found
    uint32_t dwIndexPosition = kNtfsNoIndexPosition; // directory: first index cluster; entry: VCN
    uint32_t dwFirstDataCluster = 0;
    uint32_t dwAttributes = 0;      // file-attribute bits, 0x10 for a directory
    uint32_t dwClusterEstimate = 0; // estimated sectors per cluster, 0 when unknown

    bool IsDirectory() const { return (dwAttributes & 0x10) != 0; }
};
static_assert(sizeof(NtfsScanRecord) == 72);

// Hash of the whole UTF-16LE units of a name: unit(i) × 5^i summed in 64-bit arithmetic.
uint64_t NtfsNameHash(ByteView utf16);

// Orders scan records by parent, size, creation time ÷ 1000, modification time ÷ 1000, name
// hash and attributes (the 64-bit fields as signed numbers). Times that differ only below
// 100 microseconds compare equal, so an index entry meets the record it was copied from.
int CompareScanRecords(const NtfsScanRecord& a, const NtfsScanRecord& b);
inline bool ScanRecordLess(const NtfsScanRecord& a, const NtfsScanRecord& b) { return CompareScanRecords(a, b) < 0; }

// True when `number` is one of the metafile numbers 0 .. 8 and `name` is not that metafile's
// name (compared without regard to case): such an entry is garbage.
bool IsMetafileNameMismatch(uint64_t number, const std::string& name);

// Sectors per cluster from the ratio of a stream's sectors to its clusters.
uint32_t GuessSectorsPerCluster(uint64_t ratio);

// Fills `out` from a FILE record that passed CheckFileRecord with its fixup applied (the view
// is its allocated size) and gives its name. `bytesPerSector` is the scanned volume's. False
// when the record has no usable $FILE_NAME.
bool ParseScanRecord(ByteView record, uint32_t bytesPerSector, NtfsScanRecord* out, std::string* name);
