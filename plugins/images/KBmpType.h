#pragma once
#include "common/KRawTypeBase.h"

// Windows bitmaps: "BM", a 14-byte file header and a DIB header whose fields must agree with
// the file header's size and pixel-data offset.
class KBmpType final : public KRawTypeBase
{
public:
    KBmpType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
};
