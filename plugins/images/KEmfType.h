#pragma once
#include "common/KRawTypeBase.h"

// Enhanced metafiles: the first record is the header record (type 1) with " EMF" at offset 40
// and the whole file's length at offset 48.
class KEmfType final : public KRawTypeBase
{
public:
    KEmfType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
};
