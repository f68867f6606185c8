#pragma once
#include "common/KRawTypeBase.h"

// WAVE audio: a RIFF form "WAVE" with a format chunk that describes real PCM-like audio.
class KWavType final : public KRawTypeBase
{
public:
    KWavType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;

private:
    /// The whole check; `needMore` when the format chunk lies beyond `head`.
    static RawHeader Classify(ByteView head, uint64_t& size, bool& needMore);
};
