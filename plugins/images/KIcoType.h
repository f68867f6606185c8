#pragma once
#include "common/KRawTypeBase.h"

// Windows icons and cursors: a directory of images (BMP without file header, or PNG); the file
// ends with the image that ends last.
class KIcoType final : public KRawTypeBase
{
public:
    explicit KIcoType(bool cursor = false);

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;

private:
    bool m_Cursor;
};
