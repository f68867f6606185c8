#pragma once
// Where a volume sector of a striped or RAID-5 volume lives. Pure arithmetic, all in 64 bits:
// members may be larger than 2^32 sectors.
#include <cstdint>

struct tagStripePiece
{
    uint32_t Member = 0;   // member (extent) that holds the data
    uint32_t Parity = 0;   // RAID-5: member that holds the row's parity
    uint64_t Position = 0; // sector within the member, from its DeviceStart
    uint32_t Count = 0;    // sectors of the request that lie in this stripe unit
};

// Striped: unit c = first / stripe lies on member c mod members, at row c / members.
// False when stripe or members is 0.
bool MapStripedSector(uint64_t first, uint32_t count, uint32_t stripe, uint32_t members, tagStripePiece* out);

// RAID-5, left-symmetric: data unit c lies on member c mod members in row c / (members - 1);
// the parity of row r lies on member members - 1 - (r mod members). False when stripe is 0
// or there are fewer than 2 members.
bool MapRaid5Sector(uint64_t first, uint32_t count, uint32_t stripe, uint32_t members, tagStripePiece* out);
