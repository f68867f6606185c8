#pragma once
#include "common/KRawTypeBase.h"

// TIFF pictures (and camera raw files built on TIFF): a chain of image file directories whose
// entries point at strips, tiles and value arrays anywhere in the file; the file ends with the
// last byte any of them covers.
class KTifType final : public KRawTypeBase
{
public:
    KTifType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
};
