#pragma once
#include "common/KRawTypeBase.h"

// JPEG 2000 (JP2 and JPX): a chain of boxes (u32 big-endian length, four-character type; length
// 1: a 64-bit length follows; length 0: the box runs to the end of the file), the first being
// the 12-byte signature box. The file ends after the contiguous codestream box "jp2c" and the
// boxes before the first box that cannot be one.
class KJp2Type final : public KRawTypeBase
{
public:
    KJp2Type();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
};
