#pragma once
#include "common/KRawTypeBase.h"

// AIFF and AIFF-C audio: an IFF form "FORM", big-endian length, form type "AIFF" or "AIFC",
// with a common chunk ("COMM") among its first chunks; the form's length gives the file's.
class KAiffType final : public KRawTypeBase
{
public:
    KAiffType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
};
