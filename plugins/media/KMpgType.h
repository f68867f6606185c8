#pragma once
#include "common/KRawTypeBase.h"

// MPEG program streams (MPEG-1 system streams, MPEG-2 PS, DVD VOB): a sequence of packs,
// each a pack header followed by PES packets, to the program end code or until the
// structure stops.
class KMpgType final : public KRawTypeBase
{
public:
    KMpgType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
};
