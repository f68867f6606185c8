#pragma once
#include "common/KRawTypeBase.h"

// Core Audio files: "caff", version 1, flags 0, then chunks of a four-character type and a
// signed 64-bit big-endian length, the first an audio description ("desc", 32 bytes). An audio
// data chunk of length -1 runs to the end of the file, which is then not told.
class KCafType final : public KRawTypeBase
{
public:
    KCafType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
};
