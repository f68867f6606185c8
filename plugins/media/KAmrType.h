#pragma once
#include "common/KRawTypeBase.h"

// AMR speech: "#!AMR\n" (narrow band) or "#!AMR-WB\n" (wide band), then frames of one header
// byte (padding bit, frame type, quality bit, two padding bits) and the frame type's fixed
// number of speech bytes. The file ends where the frames stop (there is no length field; junk
// after the file can pass for a frame with a chance of about 1 in 25).
class KAmrType final : public KRawTypeBase
{
public:
    KAmrType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
};
