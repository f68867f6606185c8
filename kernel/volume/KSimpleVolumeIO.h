#pragma once
// A dynamic simple volume: one extent, read like a spanned volume.
#include "volume/KSpannedVolumeIO.h"

class KSimpleVolumeIO final : public KSpannedVolumeIO
{
public:
    KSimpleVolumeIO() = default;
    ~KSimpleVolumeIO() override = default;
};
