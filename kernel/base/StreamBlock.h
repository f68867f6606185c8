#pragma once
// Where a file's data lies on its volume: a list of sector runs, holes included.
#include <cstdint>
#include <vector>

#pragma pack(push, 1)
// One run of a file's data, stored in this form in scan-result files.
struct tagStreamBlock
{
    int64_t s64FirstSector; // 0  volume-relative; all bits set marks a hole (reads as zeros)
    uint32_t dwSectorCount; // 8
    uint32_t dwReserved;    // 12 ignored by streams
};
#pragma pack(pop)
static_assert(sizeof(tagStreamBlock) == 16);

inline constexpr int64_t STREAM_HOLE_SECTOR = -1;

using StreamVector = std::vector<tagStreamBlock>;
