#pragma once
// A dynamic striped volume: stripe units of StripeSize sectors dealt round the members in
// column order. No redundancy: a member's read error fails the request.
#include "volume/KSpannedVolumeIO.h"

class KStripeVolumeIO final : public KSpannedVolumeIO
{
public:
    uint32_t ReadSectors(uint64_t firstSector, void* buffer, uint32_t count) override;
    bool Open(const tagVolumeInfo* record, uint32_t index) override;
};
