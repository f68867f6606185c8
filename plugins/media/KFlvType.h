#pragma once
#include "common/KRawTypeBase.h"

// Flash video: a 9-byte header ("FLV", version 1, audio/video flags, header length), then tags
// (type, 24-bit data length, timestamp, stream id 0, data), each followed by the length of
// the tag just ended; the file ends after the last tag whose trailing length agrees.
class KFlvType final : public KRawTypeBase
{
public:
    KFlvType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
};
