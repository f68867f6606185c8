#pragma once
#include "common/KRawTypeBase.h"

// Photoshop documents: a 26-byte header, three length-prefixed sections (colour mode data,
// image resources, layers and masks), then the merged image, raw or run-length coded.
class KPsdType final : public KRawTypeBase
{
public:
    KPsdType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
};
