#pragma once
#include "common/KRawTypeBase.h"

// Standard MIDI files: a header chunk "MThd" (length 6: format, track count, division) and
// then the track chunks "MTrk", each with a big-endian length; the file ends after the last
// track the header counts.
class KMidiType final : public KRawTypeBase
{
public:
    KMidiType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
};
