#pragma once
#include "common/KRawTypeBase.h"

// MPEG audio layer III: an optional ID3v2 tag, a run of frames whose headers agree with each
// other, an optional 128-byte ID3v1 trailer.
class KMp3Type final : public KRawTypeBase
{
public:
    KMp3Type();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
    /// "Artist - Title" from the ID3v2 tag, else from the ID3v1 trailer.
    std::string NameOf(KRawReader& reader, const tagRawMatch& match) const override;
};
