#include "volume/StripeMath.h"

#include <algorithm>

bool MapStripedSector(uint64_t first, uint32_t count, uint32_t stripe, uint32_t members, tagStripePiece* out)
{
    if (stripe == 0 || members == 0) return false;
    const uint64_t chunk = first / stripe;
    const uint64_t offset = first % stripe;
    out->Member = static_cast<uint32_t>(chunk % members);
    out->Parity = 0;
    out->Position = (chunk / members) * stripe + offset;
    out->Count = static_cast<uint32_t>(std::min<uint64_t>(stripe - offset, count));
    return true;
}

bool MapRaid5Sector(uint64_t first, uint32_t count, uint32_t stripe, uint32_t members, tagStripePiece* out)
{
    if (stripe == 0 || members < 2) return false;
    const uint64_t chunk = first / stripe;
    const uint64_t offset = first % stripe;
    const uint64_t row = chunk / (members - 1);
    out->Member = static_cast<uint32_t>(chunk % members);
    out->Parity = static_cast<uint32_t>(members - 1 - row % members);
    out->Position = row * stripe + offset;
    out->Count = static_cast<uint32_t>(std::min<uint64_t>(stripe - offset, count));
    return true;
}
