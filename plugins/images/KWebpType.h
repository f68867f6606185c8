#pragma once
#include "common/KRawTypeBase.h"

// WebP pictures: a RIFF form "WEBP" whose length gives the file's, with a first chunk that is
// one of the three WebP bitstream kinds.
class KWebpType final : public KRawTypeBase
{
public:
    KWebpType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
};
