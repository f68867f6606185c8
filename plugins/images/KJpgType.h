#pragma once
#include "common/KRawTypeBase.h"

// JPEG/JFIF/EXIF pictures: marker segments from SOI to the first SOS, then entropy-coded data
// up to the EOI marker (progressive pictures go back to marker segments between scans).
class KJpgType final : public KRawTypeBase
{
public:
    KJpgType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;

private:
    static uint64_t SkipEntropyData(KRawReader& reader, uint64_t pos, uint8_t& marker);
};
