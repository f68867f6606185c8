#pragma once
#include "common/KRawTypeBase.h"

// PNG pictures: the 8-byte signature, an IHDR chunk whose CRC must match, chunks to IEND.
class KPngType final : public KRawTypeBase
{
public:
    KPngType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
};
