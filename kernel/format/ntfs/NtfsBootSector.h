#pragma once
// Sizes an NTFS boot sector declares.
#include <cstdint>

inline constexpr uint32_t kNtfsMaxRecordSectors = 128; // 64 KiB: larger records are refused

// Sectors per record from a boot-sector clusters-per-record field: c >= 0 gives the whole
// 32-bit field × sectors per cluster, c < 0 gives 2^-c bytes. 0 when the result is not a
// record size of 1 .. kNtfsMaxRecordSectors sectors.
uint32_t NtfsRecordSectors(uint32_t field, uint32_t sectorsPerCluster, uint32_t bytesPerSector);
