#pragma once
#include "common/KRawTypeBase.h"

// AAC audio in ADTS frames: each frame starts with a 7-byte header (9 with a CRC) holding the
// sync word 0xFFF, layer 0, the profile, sampling rate and channel layout, and the frame's
// whole length. The file is the run of frames whose headers agree with the first one; a run
// shorter than a few frames is chance.
class KAacType final : public KRawTypeBase
{
public:
    KAacType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
};
