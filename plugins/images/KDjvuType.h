#pragma once
#include "common/KRawTypeBase.h"

// DjVu documents: "AT&T" and one IFF form ("FORM", big-endian length, form type DJVU for a
// page, DJVM for a bundled document, DJVI or THUM for shared parts); the form's length gives
// the file's.
class KDjvuType final : public KRawTypeBase
{
public:
    KDjvuType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
};
