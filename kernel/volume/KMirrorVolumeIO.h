#pragma once
// A dynamic mirrored volume: every member holds the whole volume. A request goes wholly to
// the first member that reads it.
#include "volume/KSpannedVolumeIO.h"

class KMirrorVolumeIO final : public KSpannedVolumeIO
{
public:
    /// The last member's error when every member fails.
    uint32_t ReadSectors(uint64_t firstSector, void* buffer, uint32_t count) override;
    /// True when at least one member answers.
    bool Open(const tagVolumeInfo* record, uint32_t index) override;
};
