#pragma once
#include "common/KRawTypeBase.h"

// Windows shortcuts (.lnk): a 76-byte header with the shell-link class id and flags that say
// which parts follow (an item id list, link information, up to five counted strings), then
// extra data blocks, each with its own length, ended by a block length below 4.
class KLnkType final : public KRawTypeBase
{
public:
    KLnkType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
    tagRawMatch FindEnd(KRawReader& reader) const override;
};
