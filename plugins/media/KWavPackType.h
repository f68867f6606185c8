#pragma once
#include "common/KRawTypeBase.h"

// WavPack audio: a run of blocks, each with a 32-byte header ("wvpk", the block's length less
// eight, the format version, sample counts, flags and a CRC); the file ends after the last
// block of the run.
class KWavPackType final : public KRawTypeBase
{
public:
    KWavPackType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
};
