#pragma once
#include "common/KRawTypeBase.h"

// Windows event logs (EVTX): a 4096-byte file header ("ElfFile", version 3.1 or 3.2, header
// block size 4096, the number of chunks) followed by that many 64 KiB chunks ("ElfChnk").
class KEvtxType final : public KRawTypeBase
{
public:
    KEvtxType();

protected:
    RawHeader CheckHeader(ByteView head, uint64_t& size) const override;
};
