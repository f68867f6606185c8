#pragma once
#include "common/KRawTypeBase.h"

// GIF pictures: header, logical screen, then images and extensions as data sub-blocks, up to
// the 0x3B trailer.
class KGifType final : public KRawTypeBase
{
public:
    KGifType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;

private:
    static bool SkipSubBlocks(KRawReader& reader, uint64_t& pos);
};
