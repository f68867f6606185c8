#pragma once
#include "common/KRawTypeBase.h"

// Cabinet archives: the header gives the cabinet's size; the fields around it (reserved
// zeros, version 1.3, folder and file counts that fit) tell a real header from chance.
class KCabType final : public KRawTypeBase
{
public:
    KCabType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
};
