#pragma once
#include "common/KRawTypeBase.h"

// FLAC audio: an optional ID3v2 tag, "fLaC", metadata blocks (STREAMINFO first), then frames. Every frame is parsed
// to its CRC-16; the file ends after the frame that completes the sample count STREAMINFO
// gives, or, when the encoder left that count unknown, after the last intact frame.
class KFlacType final : public KRawTypeBase
{
public:
    KFlacType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
    /// "Artist - Title" from the Vorbis comment block, else from an ID3v2 tag in front.
    std::string NameOf(KRawReader& reader, const tagRawMatch& match) const override;
};
