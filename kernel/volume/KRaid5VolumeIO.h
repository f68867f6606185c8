#pragma once
// A dynamic RAID-5 volume, left-symmetric: parity moves from the last member towards the
// first, and each row's data units start on the member after the parity. The data of one
// missing or unreadable member is rebuilt as the XOR of parity and the other members.
#include "volume/KSpannedVolumeIO.h"

class KRaid5VolumeIO final : public KSpannedVolumeIO
{
public:
    /// A second failing member fails the request; 8 when the rebuild buffer cannot be had.
    uint32_t ReadSectors(uint64_t firstSector, void* buffer, uint32_t count) override;
    /// True when at least 2 and at least N - 1 members answer.
    bool Open(const tagVolumeInfo* record, uint32_t index) override;

private:
    uint32_t Rebuild(uint32_t missing, uint32_t parity, uint64_t position, uint8_t* out, uint32_t count);
};
