#pragma once
#include "common/KRawTypeBase.h"

// AVI video: a RIFF form "AVI " that opens with the header list (hdrl/avih), followed by any
// "RIFF AVIX" continuation forms of a large (OpenDML) file.
class KAviType final : public KRawTypeBase
{
public:
    KAviType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
};
